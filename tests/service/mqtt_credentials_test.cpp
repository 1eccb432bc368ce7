// The service on a broker that knows its users: mosquitto with a TLS listener (certificates
// the test makes), a password file and the access control list of docs/mqtt.md. The
// service joins it over mqtts:// as MqttUser with MqttPasswordFile, trusting MqttCaFile.
#include <gtest/gtest.h>

#include <csignal>

#include <cstdlib>
#include <fstream>

#include "mqtt_broker.h"
#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using nlohmann::json;

// The access control list docs/mqtt.md gives as its example.
std::string documentedAcl()
{
    std::ifstream file(GC6890_SOURCE_DIR "/docs/mqtt.md");
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    const std::size_t start = text.find("# /etc/mosquitto/acl\n");
    return start == std::string::npos ? "" : text.substr(start, text.find("```", start) - start);
}

class MqttCredentialsTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        // A TLS client's alert after a cut connection (OpenSSL writes it without
        // MSG_NOSIGNAL) is an error result, as in the programs, not the test's end.
        std::signal(SIGPIPE, SIG_IGN);
        sila::ownTlsIdentity(tls, "127.0.0.1", sila::randomUuid());
        const std::string acl = documentedAcl();
        ASSERT_NE(acl.find("user scheduler"), std::string::npos) << "no ACL in docs/mqtt.md";
        write("acl", acl);
        for (const char* user : {"gc1", "scheduler", "watcher"})
            ASSERT_EQ(std::system(("mosquitto_passwd " + std::string(user[0] == 'g' ? "-c " : "") +
                                   "-b " + home.path() + "/passwd " + user + " pw-" + user)
                                      .c_str()),
                      0);
        write("gc1-password", "pw-gc1\n");
        write("registry.ini", quickPolls + "[Inlets\\Hubrel\\Service]\nMqttUser=gc1\n" +
                                  "MqttPasswordFile=" + home.path() + "/gc1-password\n" +
                                  "MqttCaFile=" + ca + "\n");
        ASSERT_TRUE(broker.start());
        ASSERT_TRUE(startSim());
        ASSERT_TRUE(service.start(
            link, {"--mqtt", broker.url("mqtts"), "--name", "gc1", "--mqtt-commands"}));
    }
    const std::string tls = home.path() + "/tls";
    const std::string ca = tls + "/ca.pem";
    Broker broker{home.path(), "cafile " + tls + "/ca.pem\ncertfile " + tls +
                                   "/server.pem\nkeyfile " + tls +
                                   "/server-key.pem\nallow_anonymous false\npassword_file " +
                                   home.path() + "/passwd\nacl_file " + home.path() + "/acl\n"};
};

// Every user logged in watches the lab; a command reaches the service from the user the
// list lets give it, from no other, and no one but the service reads it.
TEST_F(MqttCredentialsTest, OnlyTheSchedulerCommandsAndOnlyTheServiceReadsCommands)
{
    Subscriber watcher(broker.port(), {"gc6890/#"}, {"watcher", "pw-watcher", ca});
    Subscriber scheduler(broker.port(), {"gc6890/gc1/reply/#"}, {"scheduler", "pw-scheduler", ca});
    const std::optional<Message> online = watcher.waitFor("gc6890/gc1/online", 10000);
    ASSERT_TRUE(online) << "the service did not join with its user, password and CA";
    EXPECT_EQ(online->payload, "true");

    // Each with an operator's token: the broker's list alone tells them apart.
    const std::string token = addAccount("sched", "operator");
    watcher.publish("gc6890/gc1/cmd/zones",
                    json{{"id", "w1"}, {"on", true}, {"token", token}}.dump());
    scheduler.publish("gc6890/gc1/cmd/zones",
                      json{{"id", "s1"}, {"on", true}, {"token", token}}.dump());
    const std::optional<Message> taken = scheduler.waitFor("gc6890/gc1/reply/s1", 10000);
    ASSERT_TRUE(taken);
    EXPECT_TRUE(json::parse(taken->payload).value("ok", false)) << taken->payload;
    EXPECT_TRUE(watcher.waitFor("gc6890/gc1/reply/s1", 5000)) << "replies are the lab's";
    EXPECT_FALSE(scheduler.waitFor("gc6890/gc1/reply/w1", 1000)) << "the watcher commanded";
    EXPECT_FALSE(watcher.waitFor(
        [](const Message& m) { return m.topic.find("/cmd/") != std::string::npos; }, 0))
        << "a command was delivered to another user than its instrument";
}

}  // namespace
}  // namespace gc6890::servicetest

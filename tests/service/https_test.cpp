// The service over HTTPS (serve --tls-cert --tls-key) on loopback, with a certificate the
// test makes from a CA of its own: the API, the event stream and the host program (--ca)
// over it. (Handshakes that never end, holding no thread: http_pieces_test.cpp.)
#include <gtest/gtest.h>

#include <csignal>

#include "service/sila/sila_certificates.h"
#include "service/sila/sila_home.h"
#include "service_fixture.h"

namespace gc6890::servicetest {
namespace {

using ::testing::HasSubstr;

class HttpsTest : public ServiceFixture {
protected:
    void SetUp() override
    {
        // A TLS client's alert after a cut connection (OpenSSL writes it without
        // MSG_NOSIGNAL) is an error result, as in the programs, not the test's end.
        std::signal(SIGPIPE, SIG_IGN);
        sila::ownTlsIdentity(home.path() + "/tls", "127.0.0.1", sila::randomUuid());
        ASSERT_TRUE(startSim());
        service.caFile = ca;
        ASSERT_TRUE(service.start(link, tlsOptions));
    }
    const std::string ca = home.path() + "/tls/ca.pem";
    const std::vector<std::string> tlsOptions = {"--tls-cert", home.path() + "/tls/server.pem",
                                                 "--tls-key", home.path() + "/tls/server-key.pem"};
};

TEST_F(HttpsTest, TheApiItsEventsAndTheHostProgramWithTheCaWorkOverIt)
{
    // Started: the first line gave the https:// URL and the status came over HTTPS.
    EventReader events(service.port(), std::nullopt, ca);
    EXPECT_TRUE(events.waitFor([](const Event& e) { return e.name == "status"; }, 5000));
    upload("short", method(0.5));  // a change, with the token

    const hosttest::ProgramResult status =
        hosttest::runProgram({"--service", service.url(), "--ca", ca, "status"});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(status.out, HasSubstr("RUN IDLE"));
    const hosttest::ProgramResult zones =
        hosttest::runProgram({"--service", service.url(), "--ca", ca, "--token-file",
                              home.path() + "/service-token", "zones", "on"});
    EXPECT_EQ(zones.exitCode, 0) << zones.err;
    // Without the CA the certificate is not trusted, and the fix is named.
    EXPECT_TRUE(hosttest::exited(hosttest::runProgram({"--service", service.url(), "status"}), 3,
                                 "with --ca FILE"));

    // Plain HTTP to the HTTPS port gets nothing, and the service serves on.
    httplib::Client plain("http://127.0.0.1:" + std::to_string(service.port()));
    plain.set_read_timeout(5, 0);
    EXPECT_FALSE(plain.Get("/healthz"));
    EXPECT_EQ(service.client().Get("/healthz")->status, 200);
}

using HttpsOptionsTest = ServiceFixture;

TEST_F(HttpsOptionsTest, ThoseThatCannotServeAreRefusedBeforeAnythingStarts)
{
    sila::ownTlsIdentity(home.path() + "/a", "127.0.0.1", sila::randomUuid());
    sila::ownTlsIdentity(home.path() + "/b", "127.0.0.1", sila::randomUuid());
    const std::string certificate = home.path() + "/a/server.pem";
    const std::string otherKey = home.path() + "/b/server-key.pem";
    const struct {
        std::vector<std::string> options;
        int exitCode;
        std::string says;
    } cases[] = {
        {{"--tls-cert", certificate}, 2, "--tls-cert and --tls-key go together"},
        {{"--tls-cert", certificate, "--tls-key", otherKey},
         1,
         otherKey + " is not the key of the certificate " + certificate},
        {{"--tls-cert", home.path() + "/none.pem", "--tls-key", otherKey},
         1,
         "cannot use the certificate " + home.path() + "/none.pem"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"serve", "--listen", "127.0.0.1:0", "--port", link};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        EXPECT_TRUE(hosttest::exited(run(arguments), c.exitCode, c.says));
    }
}

}  // namespace
}  // namespace gc6890::servicetest

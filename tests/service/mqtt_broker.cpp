#include "mqtt_broker.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "support/child_process.h"

namespace gc6890::servicetest {

namespace {

int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

}  // namespace

int connectLoopback(int port, int receiveBuffer)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return fd;
    close(fd);
    return -1;
}

Broker::Broker(const std::string& folder, const std::string& security)
    : config_(folder + "/mosquitto.conf"), port_(freePort())
{
    // Started by root, mosquitto would become another user, who cannot read the test's
    // files; it stays who started it.
    const passwd* self = getpwuid(geteuid());
    std::ofstream(config_) << "listener " << port_ << " 127.0.0.1\n"
                           << security << "persistence false\nuser "
                           << (self ? self->pw_name : "mosquitto") << "\n";
}

bool Broker::start()
{
    pid_ = test::spawnProgram(
               "mosquitto", {"-c", config_},
               {.outToPipe = false, .errFile = "/dev/null", .orElse = "/usr/sbin/mosquitto"})
               .pid;
    for (int waited = 0; waited < 10000; waited += 20) {
        if (const int fd = connectLoopback(port_); fd >= 0) {
            close(fd);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void Broker::stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    test::waitForChild(pid_, 10000);
    pid_ = -1;
}

Subscriber::Subscriber(int port, const std::vector<std::string>& topics, const BrokerLogin& login)
    : topics_(topics)
{
    mosquitto_lib_init();
    mosq_ = mosquitto_new(nullptr, true, this);
    if (!login.user.empty())
        mosquitto_username_pw_set(mosq_, login.user.c_str(), login.password.c_str());
    if (!login.caFile.empty())
        mosquitto_tls_set(mosq_, login.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    mosquitto_connect_callback_set(mosq_, [](mosquitto* mosq, void* self, int) {
        for (const std::string& topic : static_cast<Subscriber*>(self)->topics_)
            mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
    });
    mosquitto_message_callback_set(mosq_, [](mosquitto*, void* self, const mosquitto_message* m) {
        static_cast<Subscriber*>(self)->add(
            {m->topic, std::string(static_cast<const char*>(m->payload), m->payloadlen),
             m->retain});
    });
    mosquitto_connect(mosq_, "127.0.0.1", port, 30);
    mosquitto_loop_start(mosq_);
}

Subscriber::~Subscriber()
{
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, true);
    mosquitto_destroy(mosq_);
}

std::optional<Message> Subscriber::waitFor(const std::string& topic, int ms)
{
    return waitFor([&](const Message& m) { return m.topic == topic; }, ms);
}

void Subscriber::publish(const std::string& topic, const std::string& payload, bool retain)
{
    mosquitto_publish(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
}

}  // namespace gc6890::servicetest

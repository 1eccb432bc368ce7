// What the SiLA 2 end-to-end tests start from: the simulator program, gc6890 serve --sila on
// it with the method "short" stored, a channel to its SiLA 2 server that trusts the CA the
// service made, and the service's token.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service_fixture.h"
#include "sila_client.h"

namespace gc6890::sila::test {

class SilaFixture : public servicetest::ServiceFixture {
protected:
    // The simulator with `simOptions`, then the service with `options` and "short" stored.
    void serve(std::vector<std::string> simOptions = {}, std::vector<std::string> options = {})
    {
        ASSERT_TRUE(startSim(std::move(simOptions)));
        ASSERT_NO_FATAL_FAILURE(startService(std::move(options)));
        upload("short", servicetest::method(0.5));
    }
    // The service with its SiLA 2 server and `options` on the simulator already running
    // (again, after a restart); `connected` then makes the case's stubs on the channel.
    void startService(std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--sila", "127.0.0.1:0"});
        ASSERT_TRUE(service.start(link, options));
        channel = tlsChannel(service.silaAddress(), home.read("sila/ca.pem"));
        token = service.token();
        connected();
    }
    virtual void connected() {}
    // "hold": a method whose run lasts half a minute (the simulator's run is the oven's hold,
    // 30 minutes at its speed).
    void uploadHold()
    {
        std::string text = servicetest::method(30);
        upload("hold", text.replace(text.find("initial_time = 0.5"), 18, "initial_time = 30.0"));
    }

    std::shared_ptr<grpc::Channel> channel;
    std::string token;
};

}  // namespace gc6890::sila::test

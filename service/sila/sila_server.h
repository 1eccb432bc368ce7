// The SiLA 2 server of `gc6890 serve --sila`: one gRPC server, always over TLS unless told
// --sila-insecure on loopback, beside the HTTP API in the service's process. It reaches the
// instrument only as the HTTP API does: the same job requests and checks, the same
// snapshot, the same events, the same accounts and roles.
#pragma once

#include <memory>
#include <string>

#include "service/loopback_address.h"
#include "service/method_store.h"
#include "service/service_state.h"

namespace gc6890 {
class InstrumentThread;
}

namespace gc6890::sila {

struct SilaOptions {
    std::string address;          // "[ADDRESS:]PORT"; empty: no SiLA server
    std::string certificateFile;  // a lab's own certificate (PEM, with its chain) ...
    std::string keyFile;          // ... and its key; both or neither
    bool insecure = false;        // plain text, loopback only
};

struct SilaAddress {
    std::string host;  // "127.0.0.1", "::1", "localhost" (no brackets)
    int port = 0;
};

// "[ADDRESS:]PORT" ("50052", "0.0.0.0:50052", "[::1]:0"); the address defaults to
// 127.0.0.1. False with `error` naming the option when it does not parse.
bool parseSilaAddress(const std::string& text, SilaAddress& address, std::string& error);
// "127.0.0.1:50052", "[::1]:50052"
std::string hostPort(const std::string& host, int port);

class SilaServer {
public:
    SilaServer(ServiceState& state, InstrumentThread& instrument, MethodStore methods,
               SilaOptions options);
    ~SilaServer();
    SilaServer(const SilaServer&) = delete;
    SilaServer& operator=(const SilaServer&) = delete;

    // Makes or reads the server's identity and certificates, then listens. False with
    // `error` set and `exitCode` 2 (options that cannot be used) or 1 (files that cannot
    // be read or written, an address that is taken).
    bool start(std::string& error, int& exitCode);
    // "HOST:PORT" as it listens (the port taken for port 0).
    std::string listening() const;
    // Ends every call (subscriptions included) within a couple of seconds.
    void stop();

private:
    struct Parts;
    ServiceState& state_;
    InstrumentThread& instrument_;
    MethodStore methods_;
    SilaOptions options_;
    std::unique_ptr<Parts> parts_;
};

}  // namespace gc6890::sila

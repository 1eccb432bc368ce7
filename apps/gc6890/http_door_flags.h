// The flags of the HTTP door that `serve` and `lab serve` open the same way: where it
// listens, which Host names it answers, whether reads need a token beyond loopback, and
// its TLS certificate. One declaration, so that the two services cannot drift apart.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "service/http_front.h"

namespace gc6890::cli {

struct HttpDoorFlags {
    std::string listen;
    std::vector<std::string> allowHosts;
    bool openReads = false;
    std::string tlsCertificate;
    std::string tlsKey;

    // The door's options as the HTTP front takes them.
    HttpFrontOptions frontOptions() const;
    // Throws CommandFailure (bad input) for a certificate without its key or the reverse.
    void checkTls() const;
};

// Adds --listen (default `defaultListen`), --allow-host, --open-reads, --tls-cert and
// --tls-key to `command`.
void addHttpDoorFlags(CLI::App* command, HttpDoorFlags& flags, const std::string& defaultListen);

}  // namespace gc6890::cli

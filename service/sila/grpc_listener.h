// How the SiLA server listens: its TLS credentials from an identity and the gRPC server's
// settings (message size, thread bound, no shared port). In one place so that a yardstick
// server answering the same messages listens exactly alike.
#pragma once

#include <grpcpp/security/server_credentials.h>
#include <grpcpp/server.h>

#include <memory>
#include <string>
#include <vector>

#include "service/sila/sila_certificates.h"

namespace gc6890::sila {

std::shared_ptr<grpc::ServerCredentials> tlsCredentials(const TlsIdentity& identity);

// A server with `features` listening at `where` ("HOST:PORT"); `port` gets the port it
// listens on (0: none, the address is taken or not this machine's).
std::unique_ptr<grpc::Server> listenWith(
    const std::string& where, const std::shared_ptr<grpc::ServerCredentials>& credentials,
    const std::vector<grpc::Service*>& features, int& port);

}  // namespace gc6890::sila

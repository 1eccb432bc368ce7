// A client's own connection to a SiLA server over TLS, as a scheduler on another machine
// would have: trusting the server's CA, and not shared with the benchmark's other clients
// (gRPC would otherwise give channels with the same settings one connection).
#pragma once

#include <grpcpp/grpcpp.h>

#include <memory>
#include <string>

namespace benchsupport {

// A connected channel to `address` ("127.0.0.1:PORT"); ends the program when it cannot
// connect within 10 s.
std::shared_ptr<grpc::Channel> ownSilaChannel(const std::string& address, const std::string& caPem);

}  // namespace benchsupport

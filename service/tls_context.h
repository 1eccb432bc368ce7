// TLS on the service's own HTTP connections (gc6890 serve --tls-cert FILE --tls-key FILE):
// the certificate and key, read once at the start, and a TLS transport for each accepted
// connection. The handshake runs, without waiting, where the request head is awaited (the
// waiting room of http_server.h): a client that never finishes it holds a slot of the room
// until the first-byte deadline, never a thread.
#pragma once

#include <memory>
#include <string>

#include "service/connection_transport.h"

struct ssl_ctx_st;

namespace gc6890 {

class TlsContext {
public:
    // The certificate file (PEM, the server's certificate first, then its chain) and its key
    // (PEM, without a passphrase). Throws std::runtime_error naming the file at fault.
    TlsContext(const std::string& certificateFile, const std::string& keyFile);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    // The server's side of a TLS session on the accepted socket `fd` (made non-blocking);
    // the handshake happens in its first receive calls. Throws std::runtime_error when no
    // session can be made.
    std::unique_ptr<ConnectionTransport> accept(int fd) const;

private:
    ssl_ctx_st* context_;
};

}  // namespace gc6890

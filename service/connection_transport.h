// How a client connection's bytes cross its socket: as they are, or through TLS
// (tls_context.h). Every call returns at once: one that cannot go on now fails with errno
// EAGAIN, and wanted() tells what to wait for before trying again.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>

namespace gc6890 {

class ConnectionTransport {
public:
    virtual ~ConnectionTransport() = default;
    // Bytes read into `buffer` (> 0); 0 at the end of the stream; -1 on an error, or with
    // errno EAGAIN when nothing can be read yet.
    virtual ssize_t receive(char* buffer, std::size_t size) = 0;
    // Bytes written (> 0); -1 on an error, or with errno EAGAIN when none can go yet.
    virtual ssize_t send(const char* bytes, std::size_t size) = 0;
    // After EAGAIN: the poll events to wait for; 0 for the call's own direction (POLLIN
    // after receive, POLLOUT after send). TLS may need to write to read, or the reverse.
    virtual short wanted() const { return 0; }
    // Bytes that arrived and wait inside the transport, which the socket no longer shows.
    virtual std::size_t buffered() const { return 0; }
    // An answer can be sent (TLS: the handshake is done).
    virtual bool established() const { return true; }
    // The last word before the sending side is shut (TLS: its close notice), not waited for.
    virtual void finish() {}
};

// The socket's bytes as they are.
std::unique_ptr<ConnectionTransport> plainTransport(int fd);

}  // namespace gc6890

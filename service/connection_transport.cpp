#include "service/connection_transport.h"

#include <sys/socket.h>

namespace gc6890 {

namespace {

class PlainTransport : public ConnectionTransport {
public:
    explicit PlainTransport(int fd) : fd_(fd) {}
    ssize_t receive(char* buffer, std::size_t size) override
    {
        return ::recv(fd_, buffer, size, MSG_DONTWAIT);
    }
    ssize_t send(const char* bytes, std::size_t size) override
    {
        return ::send(fd_, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<ConnectionTransport> plainTransport(int fd)
{
    return std::make_unique<PlainTransport>(fd);
}

}  // namespace gc6890

// One client connection of the service: its socket, the bytes read ahead of the request
// being parsed, and the deadline of the stretch under way. The HTTP library reads and
// writes the connection through it (it is the library's Stream), so every wait on the
// client is bounded by both the library's time-out for one read or write and the service's
// deadline for the whole stretch:
// - reading the request's body and handling it: kRequestDeadlineS from the head's arrival;
// - writing the answer: kRequestDeadlineS from its first byte;
// - none while the answer streams (the event stream), whose writes keep their time-out.
// A read or write that would pass the deadline fails at once, and the connection is cut.
// The bytes cross the socket through its transport: as they are, or through TLS.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <memory>
#include <string>

#include "service/connection_transport.h"

namespace gc6890 {

class HttpConnection : public httplib::Stream {
public:
    struct Timing {
        int ioTimeoutMs;  // one read or write
        int deadlineMs;   // one stretch
    };
    // Takes the socket (closed on destruction) and its transport (null: plain).
    HttpConnection(int fd, Timing timing, std::unique_ptr<ConnectionTransport> transport = {});
    ~HttpConnection() override;
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    int fd() const { return fd_; }
    // "address port", for notices.
    std::string peer() const { return remoteAddr_ + " " + std::to_string(remotePort_); }
    const std::string& address() const { return remoteAddr_; }

    // Reads what the socket holds now, without waiting, into the bytes read ahead. False at
    // the end of the stream or on an error.
    bool fill();
    // The transport holds bytes that fill() would take without the socket showing them.
    bool holdsBytes() const { return transport_->buffered() > 0; }
    // The most a request head may take (request line and headers); the library's own limits
    // are 8 KiB for the target and for each header line.
    static constexpr std::size_t kMaxHeadBytes = 16384;
    // The bytes read ahead hold a whole request head (up to its blank line).
    bool headComplete() const;
    // They hold kMaxHeadBytes and still no whole head.
    bool headTooLong() const { return !headComplete() && readAhead() >= kMaxHeadBytes; }
    // Bytes read ahead, not yet taken.
    std::size_t readAhead() const { return pending_.size() - used_; }
    // Sends `bytes` without waiting (an answer given before or without the library); what
    // the socket does not take at once is dropped: the connection is closed after it.
    // Nothing goes to a TLS client whose handshake is not done.
    void sendNow(const std::string& bytes);
    // Before closing after such an answer: ends the sending side and reads what the client
    // sent meanwhile (a close with unread bytes resets the connection, and the client may
    // lose the answer).
    void drain();

    // A new request starts (its head is read ahead): a new stretch.
    void beginRequest();
    // The answer streams: no deadline until the request ends.
    void exempt() { exempt_ = true; }
    // The connection is closed after the answer (its request's body was never read).
    void closeAfterAnswer() { closeAfterAnswer_ = true; }
    bool closingAfterAnswer() const { return closeAfterAnswer_; }
    // The deadline cut the request under way.
    bool cut() const { return cut_; }
    // Bytes of the current answer written so far.
    std::uint64_t answered() const { return answered_; }
    // Bytes written to the socket that the peer has not taken yet (its window is closed).
    long unsent() const;

    // httplib::Stream
    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* ptr, size_t size) override;
    ssize_t write(const char* ptr, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return fd_; }

private:
    // Waits for `events` at most the I/O time-out and what is left of the stretch.
    bool await(short events) const;

    int fd_;
    Timing timing_;
    std::unique_ptr<ConnectionTransport> transport_;
    std::string remoteAddr_, localAddr_;
    int remotePort_ = 0, localPort_ = 0;
    std::string pending_;
    std::size_t used_ = 0;
    std::int64_t deadlineMs_ = 0;
    bool exempt_ = false;
    bool answering_ = false;
    bool closeAfterAnswer_ = false;
    mutable bool cut_ = false;
    std::uint64_t answered_ = 0;
};

}  // namespace gc6890

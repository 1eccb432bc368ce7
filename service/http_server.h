// The HTTP library's server with the service's own handling of connections, so that slow
// or many clients cannot starve the ones that ask and go.
//
// Debian's build of the library (0.11) hands its task queue only a closure per accepted
// connection, which calls the server's (overridable) per-connection entry point with the
// socket. The service takes the socket there, at once on the accepting thread, and:
// - a waiting room (one thread, epoll) holds every connection until its request head has
//   arrived whole: 2 s for the first byte (a keep-alive connection idle that long is closed
//   quietly), 5 s for the whole head (else 408 and closed), 16 KiB at most (else 431). A
//   client trickling its headers holds a slot of the room, never a thread. The room holds
//   kMaxWaiting connections; beyond, a new one is answered 503 and closed at once.
// - a pool of kPoolThreads threads serves connections whose head is there, through the
//   library's request handling, with the deadlines of HttpConnection. The queue of such
//   connections holds kMaxReady; beyond, the connection is answered 503 and closed at once.
//   After its answer, a keep-alive connection stays a moment (lingerMs) for its next
//   request, then goes back to the waiting room.
// - an exception that escapes the library's handling is caught here: a 500 when nothing of
//   the answer was written, and the connection closed.
// Every socket has one owner at a time (the room, the queue or one thread), which closes it.
// With TLS (useTls), the handshake runs in the room, bounded by its first-byte deadline: a
// client that starts one and never ends it holds a slot of the room, never a thread. A
// connection turned away before its handshake is closed without an answer.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "service/http_connection.h"
#include "service/tls_context.h"

namespace gc6890 {

class HttpServer : public httplib::Server {
public:
    struct Limits {
        std::size_t threads;
        std::size_t maxWaiting;  // connections waiting for their request head
        std::size_t maxReady;    // connections whose head is there, waiting for a thread
        int firstByteMs;         // a new or kept-alive connection's wait for a request
        int headMs;              // for its whole head, from the wait's start
        HttpConnection::Timing timing;
        std::size_t keepAliveRequests;
        // After an answer, how long the thread waits for the next request on the connection
        // before handing it back to the waiting room: a busy keep-alive client asks again at
        // once and is served without the room's round trip.
        int lingerMs;
    };
    struct Hooks {
        // A connection cut by a deadline (`why` says which), its address.
        std::function<void(const std::string& address, const std::string& why)> cut;
        // A connection answered 503 at once: the service was full.
        std::function<void(const std::string& address)> shed;
        // An exception escaped the library's handling of a request.
        std::function<void(const std::string& address, const std::string& what)> failed;
        // Headers every answer written here carries (the API's own answers get them there).
        httplib::Headers headers;
    };
    HttpServer(Limits limits, Hooks hooks);
    ~HttpServer() override;

    // Every connection accepted from now on speaks TLS with this context.
    void useTls(std::unique_ptr<TlsContext> tls);

    // From a handler, on the thread serving the request (nothing elsewhere):
    // the answer streams; no deadline until it ends.
    static void streamingAnswer();
    // the connection is closed after the answer.
    static void closeAfterAnswer();
    // bytes written that the client has not taken yet, -1 when unknown.
    static long unsentBytes();

    std::size_t waiting() const;

private:
    class Intake;
    bool process_and_close_socket(socket_t sock) override;
    void startWorkers();
    void stopWorkers();
    void admit(std::unique_ptr<HttpConnection> connection);
    void watchRoom();
    void offer(std::unique_ptr<HttpConnection> connection);
    void work();
    void serve(std::unique_ptr<HttpConnection> connection);
    // Waits up to lingerMs for the next request's whole head; false when the client closed.
    bool linger(HttpConnection& connection) const;
    void answerAndClose(HttpConnection& connection, int status, const std::string& error);

    struct Waiting {
        std::unique_ptr<HttpConnection> connection;
        std::int64_t sinceMs = 0;
        bool started = false;  // a byte of the request came
    };

    const Limits limits_;
    const Hooks hooks_;
    std::unique_ptr<TlsContext> tls_;
    int epoll_ = -1;
    int wakeFd_ = -1;  // an eventfd that ends the room's wait
    mutable std::mutex roomMutex_;
    std::map<int, Waiting> room_;
    std::mutex readyMutex_;
    std::condition_variable readyChanged_;
    std::deque<std::unique_ptr<HttpConnection>> ready_;
    std::atomic<bool> stopping_{false};
    std::thread roomThread_;
    std::vector<std::thread> workers_;
};

}  // namespace gc6890

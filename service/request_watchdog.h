// The service's own deadline on a request, beside the HTTP library's time-outs.
//
// The library cuts a client only when one read or write waits longer than its time-out
// (5 s): a client that sends or reads a byte every few seconds would hold a pool thread
// for ever. Debian's build of the library (0.11) hands neither the connection's socket nor
// its start to our code, and its per-connection entry point cannot be wrapped (private).
// So the watchdog finds the service's connections itself: twice a second it looks through
// the process's open sockets for those on the service's port, and notes when it first saw
// each. The library's hooks, which name the peer (address and port), restart the clock:
// when the answer starts (a new stretch for writing it) and when it has been written (a
// new stretch for the next request on the connection). A connection whose stretch runs
// past the deadline is shut down, which ends the pool thread's blocked read or write. An
// event stream is exempt while it streams: its writes are bounded by the write time-out,
// and a subscriber too slow for the backlog is dropped.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

namespace gc6890 {

class RequestWatchdog {
public:
    // Installs the server's post-routing handler and logger (the server must not use them
    // otherwise). `onCut` is told of each connection cut (its peer), on the watchdog thread.
    RequestWatchdog(httplib::Server& server, int deadlineMs,
                    std::function<void(const std::string& peer)> onCut);
    ~RequestWatchdog();
    RequestWatchdog(const RequestWatchdog&) = delete;
    RequestWatchdog& operator=(const RequestWatchdog&) = delete;

    // Starts watching the connections to this local port.
    void start(int port);
    // From a handler: this request streams (events); exempt until its answer ends.
    void exempt(const httplib::Request& req);

private:
    struct Connection {
        std::int64_t since = 0;  // the current stretch's start
        bool exempt = false;
        std::int64_t alive = 0;  // when last found open, or named by a hook
    };
    void restart(const httplib::Request& req, bool evenIfExempt);
    void watch();
    void look();

    const int deadlineMs_;
    std::function<void(const std::string&)> onCut_;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::string, Connection> connections_;  // by peer, "address port"
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace gc6890

// Notices that anyone who reaches the service can cause (a refused request, a client cut
// for its slowness, a request whose handling failed) go out at most once an interval for
// each address and kind: the first at once, the others counted and summed up in one notice
// when the interval ends. A flood of refusals then costs one log line and one event an
// interval, instead of a line each and the event backlog washed out under a reconnecting
// dashboard.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace gc6890 {

class NoticeLimiter {
public:
    // `write` gets each notice to log (from the caller's thread or the limiter's own).
    using Write = std::function<void(const std::string& text)>;
    NoticeLimiter(Write write, int intervalMs, std::size_t maxAddresses = 256);
    ~NoticeLimiter();
    NoticeLimiter(const NoticeLimiter&) = delete;
    NoticeLimiter& operator=(const NoticeLimiter&) = delete;

    // A notice of `kind` ("refused", "cut") about `address`: written now when it is the
    // first of its kind from there this interval, else counted.
    void note(const std::string& kind, const std::string& address, const std::string& text);
    // Writes the summaries of the intervals that have ended (the limiter's thread does so
    // by itself; tests call it).
    void flush();

private:
    struct Window {
        std::int64_t startMs = 0;
        std::uint64_t more = 0;  // notices counted, not written
        std::string latest;
    };
    void run();

    Write write_;
    const int intervalMs_;
    const std::size_t maxAddresses_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<std::pair<std::string, std::string>, Window> windows_;  // by kind and address
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace gc6890

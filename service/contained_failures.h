// No exception leaves a broker callback or a step of the instrument thread: each runs
// through here, and what escapes it is caught, counted (for /metrics) and logged, so that one
// bad message or one surprise from the library costs that piece of work, never the service.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace gc6890 {

class EventHub;

// Inside a catch block: what the exception in flight says (a standard exception's what(),
// the framework's exception's message, or "an unknown exception"), made loggable.
std::string currentExceptionText();

class ContainedFailures {
public:
    // Failures are counted in `counter` and logged on standard error and on `events` as a
    // "log" event of `source`.
    ContainedFailures(EventHub& events, std::atomic<std::uint64_t>& counter, std::string source)
        : events_(events), counter_(counter), source_(std::move(source))
    {}

    // Runs `work`; when an exception leaves it, counts and logs "`what` failed: ..." and
    // returns false, with the exception's text in `why` when given.
    template <class Work>
    bool run(std::string_view what, Work&& work, std::string* why = nullptr) noexcept
    {
        try {
            work();
            return true;
        } catch (...) {
            failed(what, why);
            return false;
        }
    }

private:
    // In the catch block of run(); never throws.
    void failed(std::string_view what, std::string* why) noexcept;

    EventHub& events_;
    std::atomic<std::uint64_t>& counter_;
    std::string source_;
    // The same failure over and over (a step that fails at every turn of the loop) is
    // logged once a minute, and counted every time.
    std::mutex mutex_;
    std::string lastText_;
    std::int64_t lastLoggedMs_ = 0;
};

}  // namespace gc6890

// The event stream's one ordered backlog. The instrument thread publishes; each
// subscriber (an HTTP thread) reads from the backlog at its own pace. Publishing never
// waits for a subscriber: a subscriber that falls behind the backlog is dropped.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gc6890 {

struct Event {
    std::uint64_t id = 0;  // 1, 2, 3, ... in publishing order
    std::string name;      // status, run, lock, datablock, job, log
    std::string data;      // one JSON object on one line
};

class EventHub {
public:
    EventHub(std::size_t backlog, std::size_t maxSubscribers);

    // Appends an event and wakes the subscribers; returns its id.
    std::uint64_t publish(std::string name, std::string data);
    // A "log" event: severity (0 error, 1 warning, 2 information), where it comes from, the
    // text (made valid UTF-8), stamped with the time now.
    std::uint64_t log(int severity, std::string_view source, std::string_view text);

    enum class Read { Events, Idle, Dropped, Closed };

    class Subscription {
    public:
        ~Subscription();
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

        // The events after the last one read, waiting at most `timeoutMs` for one. Dropped
        // when the subscriber fell so far behind that the backlog no longer holds its next
        // event; Closed when the hub is closing.
        Read next(std::vector<Event>& events, int timeoutMs);
        // Counts the subscriber as dropped (it is being cut for another slowness).
        void drop();

    private:
        friend class EventHub;
        Subscription(EventHub& hub, std::uint64_t nextId) : hub_(hub), nextId_(nextId) {}
        EventHub& hub_;
        std::uint64_t nextId_;
    };

    // A new subscriber, or null when `maxSubscribers` are listening. With `lastEventId` it
    // resumes after that event (from the oldest kept, when that one is gone); without, it
    // starts at the latest status event, so that it sees the instrument at once.
    std::unique_ptr<Subscription> subscribe(std::optional<std::uint64_t> lastEventId);

    std::size_t subscribers() const;
    std::uint64_t dropped() const;
    // Ends every subscription (their next() returns Closed) and refuses new ones.
    void close();

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Event> backlog_;
    std::size_t capacity_;
    std::size_t maxSubscribers_;
    std::size_t subscribers_ = 0;
    std::uint64_t lastId_ = 0;
    std::uint64_t dropped_ = 0;
    bool closed_ = false;
};

}  // namespace gc6890

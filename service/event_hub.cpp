#include "service/event_hub.h"

#include <chrono>
#include <nlohmann/json.hpp>

#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {
// At most this many events per read, so that one write to a socket stays bounded.
constexpr std::size_t kBatch = 256;
}  // namespace

EventHub::EventHub(std::size_t backlog, std::size_t maxSubscribers)
    : capacity_(backlog), maxSubscribers_(maxSubscribers)
{}

std::uint64_t EventHub::publish(std::string name, std::string data)
{
    std::uint64_t id;
    {
        std::lock_guard lock(mutex_);
        id = ++lastId_;
        backlog_.push_back(Event{id, std::move(name), std::move(data)});
        if (backlog_.size() > capacity_)
            backlog_.pop_front();
    }
    arrived_.notify_all();
    return id;
}

std::uint64_t EventHub::log(int severity, std::string_view source, std::string_view text)
{
    return publish("log", jsonText({{"severity", severity},
                                    {"source", validUtf8(source)},
                                    {"text", validUtf8(text)},
                                    {"time", isoTime(unixNowMs())}}));
}

std::unique_ptr<EventHub::Subscription> EventHub::subscribe(
    std::optional<std::uint64_t> lastEventId)
{
    std::lock_guard lock(mutex_);
    if (closed_ || subscribers_ >= maxSubscribers_)
        return nullptr;
    std::uint64_t next = lastId_ + 1;
    if (lastEventId) {
        next = std::min(*lastEventId + 1, lastId_ + 1);
        if (!backlog_.empty() && next < backlog_.front().id)
            next = backlog_.front().id;
    } else {
        for (auto event = backlog_.rbegin(); event != backlog_.rend(); ++event) {
            if (event->name == "status") {
                next = event->id;
                break;
            }
        }
    }
    ++subscribers_;
    return std::unique_ptr<Subscription>(new Subscription(*this, next));
}

EventHub::Subscription::~Subscription()
{
    std::lock_guard lock(hub_.mutex_);
    --hub_.subscribers_;
}

EventHub::Read EventHub::Subscription::next(std::vector<Event>& events, int timeoutMs)
{
    events.clear();
    std::unique_lock lock(hub_.mutex_);
    hub_.arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return hub_.closed_ || hub_.lastId_ >= nextId_; });
    if (hub_.closed_)
        return Read::Closed;
    if (hub_.lastId_ < nextId_)
        return Read::Idle;
    if (hub_.backlog_.empty() || nextId_ < hub_.backlog_.front().id) {
        ++hub_.dropped_;
        return Read::Dropped;
    }
    const std::size_t first = nextId_ - hub_.backlog_.front().id;
    for (std::size_t i = first; i < hub_.backlog_.size() && events.size() < kBatch; ++i)
        events.push_back(hub_.backlog_[i]);
    nextId_ = events.back().id + 1;
    return Read::Events;
}

void EventHub::Subscription::drop()
{
    std::lock_guard lock(hub_.mutex_);
    ++hub_.dropped_;
}

std::size_t EventHub::subscribers() const
{
    std::lock_guard lock(mutex_);
    return subscribers_;
}

std::uint64_t EventHub::dropped() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

void EventHub::close()
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    arrived_.notify_all();
}

}  // namespace gc6890

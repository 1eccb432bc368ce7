#include "service/sila/property_feed.h"

#include "service/sila/sila_error.h"

namespace gc6890::sila {

namespace {

// How often a quiet feed looks whether its client is gone.
constexpr int kWakeMs = 250;

}  // namespace

grpc::Status feedChanges(ServiceState& state, grpc::ServerContext& context,
                         const std::atomic<bool>& stopping,
                         const std::function<grpc::Status()>& allowed,
                         const std::function<std::string()>& current,
                         const std::function<bool(const std::string&)>& send)
{
    auto subscription = state.events.subscribe(std::nullopt);
    const auto full = [] {
        return undefinedError("the service has " + std::to_string(kMaxSubscribers) +
                              " subscribers already (SiLA subscriptions and event streams); "
                              "try again when one has ended");
    };
    if (!subscription)
        return full();
    std::string last = current();
    if (!send(last))
        return grpc::Status::OK;
    std::vector<Event> events;
    while (!context.IsCancelled() && !stopping) {
        switch (subscription->next(events, kWakeMs)) {
        case EventHub::Read::Closed:
            return grpc::Status::OK;
        case EventHub::Read::Dropped:
            // Fallen behind: the values come from the snapshot, so nothing is lost by
            // starting again at the latest.
            subscription.reset();
            subscription = state.events.subscribe(std::nullopt);
            if (!subscription)
                return full();
            break;
        case EventHub::Read::Events:
        case EventHub::Read::Idle:
            break;
        }
        events.clear();
        if (grpc::Status refused = allowed(); !refused.ok())
            return refused;
        std::string now = current();
        if (now != last) {
            if (!send(now))
                return grpc::Status::OK;
            last = std::move(now);
        }
    }
    return grpc::Status::OK;
}

}  // namespace gc6890::sila

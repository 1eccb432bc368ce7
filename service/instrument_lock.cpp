#include "service/instrument_lock.h"

#include <nlohmann/json.hpp>

#include "service/event_hub.h"
#include "service/safe_text.h"
#include "service/snapshot.h"

namespace gc6890 {

namespace {

// A timeout beyond this is taken as this: ten years is "until released" for any client,
// and the clock's arithmetic cannot overflow with it.
constexpr std::chrono::seconds kLongestTimeout(10LL * 365 * 24 * 3600);

}  // namespace

InstrumentLock::InstrumentLock(EventHub& events, Clock clock)
    : events_(events), clock_(std::move(clock))
{}

bool InstrumentLock::lock(const std::string& identifier, std::chrono::seconds timeout,
                          const std::string& holder)
{
    std::lock_guard guard(mutex_);
    if (holds())
        return false;
    identifier_ = identifier;
    holder_ = holder;
    timeout_ = std::min(timeout, kLongestTimeout);
    lastUse_ = clock_();
    tell("locked", {});
    return true;
}

InstrumentLock::Unlock InstrumentLock::unlock(const std::string& identifier)
{
    std::lock_guard guard(mutex_);
    if (!holds())
        return Unlock::NotLocked;
    if (identifier != *identifier_)
        return Unlock::WrongIdentifier;
    tell("unlocked", holder_);
    identifier_.reset();
    return Unlock::Unlocked;
}

std::optional<std::string> InstrumentLock::release(const std::string& by)
{
    std::lock_guard guard(mutex_);
    if (!holds())
        return std::nullopt;
    tell("released", by);
    identifier_.reset();
    return holder_;
}

std::optional<InstrumentLock::Held> InstrumentLock::held()
{
    std::lock_guard guard(mutex_);
    if (!holds())
        return std::nullopt;
    return heldNow();
}

std::optional<InstrumentLock::Held> InstrumentLock::refuses(const std::string& identifier)
{
    std::lock_guard guard(mutex_);
    if (!holds())
        return std::nullopt;
    if (identifier == *identifier_) {
        lastUse_ = clock_();
        return std::nullopt;
    }
    return heldNow();
}

bool InstrumentLock::holds()
{
    if (identifier_ && clock_() - lastUse_ >= timeout_)
        identifier_.reset();
    return identifier_.has_value();
}

InstrumentLock::Held InstrumentLock::heldNow() const
{
    const auto left = timeout_ - (clock_() - lastUse_);
    return {holder_, std::chrono::duration_cast<std::chrono::milliseconds>(left)};
}

void InstrumentLock::tell(const std::string& how, const std::string& by)
{
    nlohmann::json event = {{"locked", how == "locked"}, {"holder", holder_}};
    if (how == "locked")
        event["locked_until"] = lockedUntil(heldNow());
    else
        event.update({{"ended", how}, {"by", by}});
    events_.publish("instrument_lock", jsonText(event));
}

std::string lockedUntil(const InstrumentLock::Held& held)
{
    return isoTime(unixNowMs() + held.remaining.count());
}

}  // namespace gc6890

// The instrument's lock: one client (a SiLA 2 scheduler, through LockController) takes the
// instrument for itself; while it holds it, every door refuses changes from anyone else
// (job_requests.h's lockConflict), stop and a sequence's pause and abort excepted. A lock
// lapses once its timeout has passed since its holder last used it; it lives in memory
// only, so a restart of the service frees the instrument.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace gc6890 {

class EventHub;

class InstrumentLock {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Each change is told on `events` ("instrument_lock"); `clock` tells the time (a test's
    // own clock moves it by hand).
    explicit InstrumentLock(EventHub& events, Clock clock = &std::chrono::steady_clock::now);

    // Takes the lock for `identifier`, lapsing `timeout` after its last use; `holder` names
    // the client in refusals and events (the identifier is the holder's secret and is shown
    // nowhere). False when the instrument is locked already, whoever holds it.
    bool lock(const std::string& identifier, std::chrono::seconds timeout,
              const std::string& holder);

    enum class Unlock { Unlocked, NotLocked, WrongIdentifier };
    // Frees the lock when `identifier` is its own.
    Unlock unlock(const std::string& identifier);

    // Breaks the lock whoever holds it (an operator's action); `by` says who, in the
    // event. The holder it had; nothing when the instrument was not locked.
    std::optional<std::string> release(const std::string& by);

    struct Held {
        std::string holder;
        std::chrono::milliseconds remaining;  // until it lapses, unless used before
    };
    // The lock while it holds; nothing when the instrument is free.
    std::optional<Held> held();

    // Whether a change that comes with `identifier` ("" from a door that has none) may go
    // ahead: nothing when it may (the instrument is free, or the identifier is the lock's,
    // which is a use: the timeout starts again), else the lock that refuses it.
    std::optional<Held> refuses(const std::string& identifier);

private:
    // The mutex held: frees a lock whose time is up; whether one holds.
    bool holds();
    Held heldNow() const;
    // The "instrument_lock" event: taken, or ended `how` ("unlocked", "released") `by`.
    void tell(const std::string& how, const std::string& by);

    EventHub& events_;
    Clock clock_;
    std::mutex mutex_;
    std::optional<std::string> identifier_;  // nothing: free
    std::string holder_;
    std::chrono::seconds timeout_{0};
    std::chrono::steady_clock::time_point lastUse_;
};

// "2026-12-07T13:00:00.000Z": when a lock that is not used again lapses.
std::string lockedUntil(const InstrumentLock::Held& held);

}  // namespace gc6890

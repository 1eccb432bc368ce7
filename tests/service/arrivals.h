// What a reader thread receives (events of the stream, broker messages), kept in order for
// a test that waits for the one it expects.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <iterator>
#include <mutex>
#include <optional>
#include <vector>

namespace gc6890::servicetest {

template <typename T>
class Arrivals {
public:
    void add(T item)
    {
        std::lock_guard lock(mutex_);
        items_.push_back(std::move(item));
        arrived_.notify_all();
    }
    // The first item (from the start) that `match` accepts, waiting `ms` at most for it.
    std::optional<T> waitFor(const std::function<bool(const T&)>& match, int ms)
    {
        const std::vector<T> found = waitForCount(match, 1, ms);
        return found.empty() ? std::nullopt : std::optional<T>(found.front());
    }
    // The items `match` accepts once there are `count` of them (fewer after `ms`).
    std::vector<T> waitForCount(const std::function<bool(const T&)>& match, std::size_t count,
                                int ms)
    {
        std::unique_lock lock(mutex_);
        std::vector<T> found;
        arrived_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
            found.clear();
            std::copy_if(items_.begin(), items_.end(), std::back_inserter(found), match);
            return found.size() >= count;
        });
        return found;
    }
    std::vector<T> all()
    {
        std::lock_guard lock(mutex_);
        return items_;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<T> items_;
};

}  // namespace gc6890::servicetest

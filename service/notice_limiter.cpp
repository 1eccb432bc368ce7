#include "service/notice_limiter.h"

#include <chrono>
#include <vector>

#include "platform/platform.h"
#include "service/snapshot.h"

namespace gc6890 {

NoticeLimiter::NoticeLimiter(Write write, int intervalMs, std::size_t maxAddresses)
    : write_(std::move(write)), intervalMs_(intervalMs), maxAddresses_(maxAddresses),
      thread_([this] { run(); })
{}

NoticeLimiter::~NoticeLimiter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    flush();
}

void NoticeLimiter::note(const std::string& kind, const std::string& address,
                         const std::string& text)
{
    {
        std::lock_guard lock(mutex_);
        std::pair<std::string, std::string> key{kind, address};
        // Many addresses at once (a spread-out flood): the ones past the bound share a window.
        if (windows_.size() >= maxAddresses_ && !windows_.count(key))
            key.second = "other addresses";
        auto [window, fresh] = windows_.try_emplace(key);
        if (!fresh) {
            ++window->second.more;
            window->second.latest = text;
            return;
        }
        window->second.startMs = steadyNowMs();
    }
    write_(text);
}

void NoticeLimiter::flush()
{
    std::vector<std::string> summaries;
    {
        std::lock_guard lock(mutex_);
        const std::int64_t now = steadyNowMs();
        for (auto window = windows_.begin(); window != windows_.end();) {
            const auto& [key, counted] = *window;
            if (!stopping_ && now - counted.startMs < intervalMs_) {
                ++window;
                continue;
            }
            if (counted.more)
                summaries.push_back(format("%llu more %s from %s in %g s, the latest: %s",
                                           static_cast<unsigned long long>(counted.more),
                                           key.first.c_str(), key.second.c_str(),
                                           intervalMs_ / 1000.0, counted.latest.c_str()));
            window = windows_.erase(window);
        }
    }
    for (const std::string& summary : summaries)
        write_(summary);
}

void NoticeLimiter::run()
{
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        wake_.wait_for(lock, std::chrono::milliseconds(intervalMs_ / 4 + 1));
        if (stopping_)
            break;
        lock.unlock();
        flush();
        lock.lock();
    }
}

}  // namespace gc6890

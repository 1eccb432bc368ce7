#include "sila_subscribers.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

#include "GasChromatographController.grpc.pb.h"
#include "bench_support.h"
#include "sila_channel.h"

namespace benchsupport {

namespace gcc = sila2::io::gcsixeightninety::chromatography::gaschromatographcontroller::v1;

namespace {

double unixNowMs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

struct OvenSubscribers::Subscriber {
    std::unique_ptr<gcc::GasChromatographController::Stub> stub;
    grpc::ClientContext context;
    mutable std::mutex mutex;
    std::condition_variable subscribed;
    bool first = false;  // the value at subscribing has come
    std::vector<Receipt> receipts;
    std::thread thread;

    void follow()
    {
        auto reader = stub->Subscribe_OvenTemperature(&context, {});
        gcc::Subscribe_OvenTemperature_Responses response;
        while (reader->Read(&response)) {
            // The time first: taking the lock may wait.
            const double now = unixNowMs();
            std::lock_guard lock(mutex);
            if (first)
                receipts.push_back({response.oventemperature().value(), now});
            first = true;
            subscribed.notify_all();
        }
        reader->Finish();  // cancelled at the end, or the service stopped
    }
};

OvenSubscribers::OvenSubscribers(const std::string& address, const std::string& caPem, int count)
{
    for (int i = 0; i < count; ++i) {
        auto subscriber = std::make_unique<Subscriber>();
        subscriber->stub = gcc::GasChromatographController::NewStub(ownSilaChannel(address, caPem));
        subscriber->thread = std::thread([s = subscriber.get()] { s->follow(); });
        subscribers_.push_back(std::move(subscriber));
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int waiting = 0;
    for (auto& subscriber : subscribers_) {
        std::unique_lock lock(subscriber->mutex);
        if (!subscriber->subscribed.wait_until(lock, deadline, [&] { return subscriber->first; }))
            ++waiting;
    }
    if (waiting > 0)
        die(std::to_string(waiting) + " of " + std::to_string(count) +
            " subscribers of the oven temperature got no value within 10 s");
}

OvenSubscribers::~OvenSubscribers()
{
    for (auto& subscriber : subscribers_)
        subscriber->context.TryCancel();
    for (auto& subscriber : subscribers_)
        subscriber->thread.join();
}

std::vector<std::vector<Receipt>> OvenSubscribers::receipts() const
{
    std::vector<std::vector<Receipt>> all;
    for (const auto& subscriber : subscribers_) {
        std::lock_guard lock(subscriber->mutex);
        all.push_back(subscriber->receipts);
    }
    return all;
}

}  // namespace benchsupport

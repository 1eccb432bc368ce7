// Subscribers of the oven temperature (Subscribe_OvenTemperature), each on its own
// connection and thread as separate schedulers would be: every value each one receives
// after its first (the value at subscribing), and when it came.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace benchsupport {

struct Receipt {
    double value = 0;
    double unixMs = 0;  // when the subscriber had it (CLOCK_REALTIME, as the service's)
};

class OvenSubscribers {
public:
    // Returns once every subscriber has its first value; ends the program when one has
    // none within 10 s.
    OvenSubscribers(const std::string& address, const std::string& caPem, int count);
    // Cancels the subscriptions.
    ~OvenSubscribers();
    OvenSubscribers(const OvenSubscribers&) = delete;
    OvenSubscribers& operator=(const OvenSubscribers&) = delete;

    // Every subscriber's receipts so far (the first value not among them).
    std::vector<std::vector<Receipt>> receipts() const;

private:
    struct Subscriber;
    std::vector<std::unique_ptr<Subscriber>> subscribers_;
};

}  // namespace benchsupport

// The lab service's HTTP side (gc6890 lab serve): GET /api/v1/lab, its event stream for the
// page, /metrics, /healthz and the API description, behind the same door as the
// instrument service's (http_front.h: Host check, accounts and roles, TLS).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "lab/lab_model.h"
#include "service/http_front.h"

namespace gc6890::lab {

// Event-stream subscribers served at once; beyond, 503.
inline constexpr int kMaxLabSubscribers = 64;

struct LabHttpCounters {
    std::atomic<std::uint64_t> wrongHost{0};
    std::atomic<std::uint64_t> unauthorized{0};
    std::atomic<std::uint64_t> cutRequests{0};
    std::atomic<std::uint64_t> shedConnections{0};
    std::atomic<std::uint64_t> failedRequests{0};
    std::atomic<int> subscribers{0};
};

class LabHttp {
public:
    LabHttp(LabModel& model, HttpFrontOptions options, Accounts& accounts, std::string openApiPath);
    ~LabHttp();

    HttpFront& front() { return *front_; }
    // Ends the event streams (within kRefreshMs) and the server.
    void stop();

private:
    void addRoutes();

    LabModel& model_;
    std::string openApiPath_;
    LabHttpCounters counters_;
    std::atomic<bool> stopping_{false};
    std::unique_ptr<HttpFront> front_;
};

}  // namespace gc6890::lab

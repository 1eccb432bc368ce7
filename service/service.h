// gc6890 serve: the service's life from start to the signal that ends it.
#pragma once

#include <string>

#include "service/mqtt_bridge.h"
#include "service/service_state.h"

namespace gc6890 {

struct ServeOptions {
    ServiceOptions service;
    std::string openApiPath;  // the API description served at /api/v1/openapi.json
    MqttOptions mqtt;         // url "" for no broker
    std::string webDir;       // the dashboard's files, served at /
    std::string chartJsDir;   // Chart.js's folder, served at /chart.js/
};

// Runs the service until SIGTERM or SIGINT; the URL it listens on goes to standard output
// as the first line. Returns the exit code: 0 after a clean stop, 2 for an unusable listen
// address, 1 when the address is taken or the token cannot be made (said on standard error).
int runService(const ServeOptions& options);

}  // namespace gc6890

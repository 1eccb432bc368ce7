// gc6890 serve: the service's life from start to the signal that ends it.
#pragma once

#include <string>

#include "service/mqtt_bridge.h"
#include "service/service_state.h"
#include "service/sila/sila_server.h"

namespace gc6890 {

struct ServeOptions {
    ServiceOptions service;
    std::string openApiPath;  // the API description served at /api/v1/openapi.json
    MqttOptions mqtt;         // url "" for no broker
    std::string webDir;       // the dashboard's files, served at /
    std::string chartJsDir;   // Chart.js's folder, served at /chart.js/
    sila::SilaOptions sila;   // address "" for no SiLA 2 server
    // HTTPS with this certificate (PEM, with its chain) and key; "" for plain HTTP.
    std::string tlsCertificate;
    std::string tlsKey;
};

// Runs the service until SIGTERM or SIGINT; the URL it listens on goes to standard output
// as the first line, then "SiLA 2 server on HOST:PORT" when it serves SiLA 2. Returns the exit
// code: 0 after a clean stop, 2 for an unusable listen address or SiLA option, 1 when an address is
// taken, the token, the audit trail or the SiLA server's files cannot be made, or the TLS
// certificate or key cannot be used (said on standard error).
int runService(const ServeOptions& options);

}  // namespace gc6890

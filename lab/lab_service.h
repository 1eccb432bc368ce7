// gc6890 lab serve: the lab service's life from start to the signal that ends it. It holds
// no instrument: it reads the broker, and several may run at once, anywhere the broker is
// reached.
#pragma once

#include <string>

#include "lab/lab_model.h"
#include "service/http_front.h"
#include "service/mqtt_bridge.h"

namespace gc6890::lab {

struct LabServeOptions {
    MqttOptions mqtt;       // the broker's URL and the settings' user, password and CA
    HttpFrontOptions http;  // --listen, --allow-host, --open-reads
    LabOptions lab;
    std::string openApiPath;     // served at /api/v1/openapi.json
    std::string webDir;          // the lab page's files, served at / ("" or missing: none)
    std::string chartJsDir;      // Chart.js's folder, served at /chart.js/
    std::string tlsCertificate;  // HTTPS with this certificate and key; "" for HTTP
    std::string tlsKey;
};

// Runs until SIGTERM or SIGINT; the URL it listens on goes to standard output as the first
// line. The exit code: 0 after a clean stop, 2 for an unusable --listen or broker URL, 1
// when the address is taken or the token, accounts or TLS files cannot be used.
int runLabService(const LabServeOptions& options);

}  // namespace gc6890::lab

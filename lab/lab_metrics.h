// The lab's /metrics: one set of series per instrument, labelled by its name, so that
// Prometheus alerting rules (packaging/prometheus/gc6890-lab-rules.yml) need no exporter per
// instrument.
#pragma once

#include <cstdint>
#include <string>

#include "lab/lab_model.h"

namespace gc6890::lab {

// The Prometheus text exposition of the lab at `nowMs`.
std::string labMetrics(LabModel& model, std::int64_t nowMs);

}  // namespace gc6890::lab

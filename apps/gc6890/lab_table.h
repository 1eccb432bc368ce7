// The lab as a table for the terminal: one line per instrument, then the alerts.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace gc6890::cli {

// `lab`: as GET /api/v1/lab answers (lab::LabModel::toJson).
std::string labTable(const nlohmann::json& lab);

}  // namespace gc6890::cli

// What the status tells of the instrument's work beside its readings, for a lab screen
// that sees nothing but the status (docs/mqtt.md): the method of the last load or
// injection the service started and that method's run length, the vial of the last
// injection, and a summary of the newest sequence. On the instrument thread.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace gc6890 {

// The newest sequence (its state as GET /api/v1/sequences/ID gives it, rows and all) in
// short: `id`, `name`, `state`, `reason`, the `row` it is on of `rows`, and the `injection`
// it is on of all the sequence's `injections` (counted through every row); `row` and
// `injection` are the next ones while it is paused, null once it is over.
nlohmann::json sequenceSummary(const nlohmann::json& sequence);

class StatusWork {
public:
    // The GC took the stored method `method` (a load, or the download before an injection).
    void loaded(const std::string& method);
    // The sampler started an injection from `vial` with the stored method `method`.
    void injected(const std::string& method, int vial);
    // Sets `method`, `run_length_min`, `vial` (each null while unknown) and `sequence` (the
    // summary of `sequenceJson`, null when the service has held no sequence) in `status`.
    void addTo(nlohmann::json& status, const std::string& sequenceJson);

private:
    std::optional<std::string> method_;
    std::optional<double> runLengthMin_;
    std::optional<int> vial_;
    std::string sequenceJson_;  // the sequence last summed up, and its summary
    nlohmann::json sequence_;
};

}  // namespace gc6890

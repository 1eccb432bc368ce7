#include "service/status_work.h"

#include "external/inlet_utils.h"
#include "service/method_store.h"

namespace gc6890 {

using nlohmann::json;

json sequenceSummary(const json& sequence)
{
    if (!sequence.is_object())
        return nullptr;
    const json& rows =
        sequence.contains("rows") && sequence["rows"].is_array() ? sequence["rows"] : json::array();
    // The place it is at: the current injection while one is under way, else the next.
    json at = sequence.value("current", json());
    if (!at.is_object())
        at = sequence.value("next", json());
    const int row = at.is_object() ? at.value("row", 0) : 0;
    const int injection = at.is_object() ? at.value("injection", 0) : 0;
    int injections = 0;
    int ordinal = 0;  // the place's number among all injections
    for (const json& r : rows) {
        const json& list = r.contains("injections") ? r["injections"] : json::array();
        for (const json& one : list) {
            ++injections;
            if (r.value("row", 0) == row && one.value("injection", 0) == injection)
                ordinal = injections;
        }
    }
    const bool placed = row > 0 && ordinal > 0;
    return {{"id", sequence.value("id", "")},
            {"name", sequence.value("name", "")},
            {"state", sequence.value("state", "")},
            {"reason", sequence.value("reason", "")},
            {"row", placed ? json(row) : json(nullptr)},
            {"rows", rows.size()},
            {"injection", placed ? json(ordinal) : json(nullptr)},
            {"injections", injections}};
}

void StatusWork::loaded(const std::string& method)
{
    // Read again at each load: a method stored anew under the same name may run longer.
    method_ = method;
    runLengthMin_.reset();
    const std::optional<std::string> text = MethodStore(methodFolder()).read(method);
    if (!text)
        return;
    const MethodCheck check = checkMethodText(*text, method + ".toml");
    if (check.ok)
        runLengthMin_ = check.runLengthMin;
}

void StatusWork::injected(const std::string& method, int vial)
{
    loaded(method);
    vial_ = vial;
}

void StatusWork::addTo(json& status, const std::string& sequenceJson)
{
    const auto orNull = [](const auto& value) { return value ? json(*value) : json(nullptr); };
    status["method"] = orNull(method_);
    status["run_length_min"] = orNull(runLengthMin_);
    status["vial"] = orNull(vial_);
    if (sequenceJson != sequenceJson_ || sequence_.is_null()) {
        sequenceJson_ = sequenceJson;
        sequence_ = sequenceSummary(json::parse(sequenceJson, nullptr, false));
    }
    status["sequence"] = sequence_;
}

}  // namespace gc6890

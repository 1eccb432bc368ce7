// The status type's JSON: the one path for "status --json", the service's client and the
// service's own status.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>

#include "station/instrument_status.h"
#include "station/status_format.h"
#include "support/source_tree.h"

namespace gc6890::test {
namespace {

using nlohmann::json;

// Readings at the precision the status has always had; whole numbers without a fraction.
TEST(InstrumentStatusJson, ReadingsKeepTheirPrecision)
{
    struct Case {
        float elapsed, oven, pressure, flow;
        const char* expected[4];  // as written: elapsed, oven, pressure, flow
    };
    const Case cases[] = {
        {0.0f, 25.0f, 0.0f, 0.0f, {"0", "25", "0", "0"}},
        {1.23456f, 123.456f, 12.345678f, 1.5f, {"1.235", "123.5", "12.3457", "1.5"}},
        {0.05f, 12345.6f, 0.1f, 99.99999f, {"0.05", "12350", "0.1", "100"}},
        // A reading the line did not give has no JSON number.
        {INFINITY, NAN, 1.0f, -INFINITY, {"null", "null", "1", "null"}},
    };
    const char* keys[] = {"elapsed_min", "oven_temperature", "column1_pressure", "column1_flow"};
    for (const Case& c : cases) {
        InstrumentStatus status;
        status.elapsedMin = c.elapsed;
        status.ovenTemperature = c.oven;
        status.column1Pressure = c.pressure;
        status.column1Flow = c.flow;
        const json written = json::parse(statusJson(status));
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(written[keys[i]].dump(), c.expected[i]) << keys[i];
    }
}

// What the instrument sent is untrusted: bad bytes become U+FFFD, control characters are
// escaped, and the JSON stays one line.
TEST(InstrumentStatusJson, InstrumentTextIsMadeSafe)
{
    InstrumentStatus status;
    status.errorText = "OVEN \xB0"
                       "C\nFAULT \"x\"";
    const std::string text = statusJson(status);
    EXPECT_EQ(text.find('\n'), std::string::npos);
    EXPECT_EQ(json::parse(text)["error_text"], "OVEN \xEF\xBF\xBD"
                                               "C\nFAULT \"x\"");
}

// What the service sends reads back as the same status; an older service's status (no
// run state, missing keys) reads with the defaults.
TEST(InstrumentStatusJson, ReadsBackWhatItWrites)
{
    InstrumentStatus status;
    status.running = true;
    status.notReady = true;
    status.statusText = "RUN";
    status.notReadyText = "OVEN NOT READY";
    status.elapsedMin = 2.5f;
    status.ovenTemperature = 180.0f;
    status.column1Pressure = 10.25f;
    status.column1Flow = 1.5f;
    status.runState = RunState::PostRun;
    const InstrumentStatus back = json(status).get<InstrumentStatus>();
    EXPECT_EQ(json(back), json(status));

    const InstrumentStatus older = json{{"running", true}, {"oven_temperature", 50}};
    EXPECT_TRUE(older.running);
    EXPECT_EQ(older.ovenTemperature, 50.0f);
    EXPECT_EQ(older.runState, RunState::Idle);
    EXPECT_EQ(json(older)["error_text"], "");
}

// One list of keys: exactly what to_json writes, and each one a property of the service's
// Status object as the API description gives it, with the same type.
TEST(InstrumentStatusJson, KeysAreTheServiceStatusProperties)
{
    std::ifstream file(sourcePath("docs/openapi.json"));
    const json api = json::parse(file);
    const json& properties = api["components"]["schemas"]["Status"]["properties"];
    const json written = InstrumentStatus{};
    ASSERT_EQ(written.size(), kStatusKeys.size());
    for (const char* key : kStatusKeys) {
        ASSERT_TRUE(written.contains(key)) << key;
        ASSERT_TRUE(properties.contains(key)) << key << " is not in docs/openapi.json";
        const std::string type = properties[key]["type"];
        const std::string expected = written[key].is_boolean()  ? "boolean"
                                     : written[key].is_string() ? "string"
                                                                : "number";
        EXPECT_EQ(type, expected) << key;
    }
}

}  // namespace
}  // namespace gc6890::test

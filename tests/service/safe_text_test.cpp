// The one place untrusted text passes before it meets JSON or a log line.
#include "service/safe_text.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace gc6890 {
namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

TEST(SafeText, ValidUtf8KeepsWellFormedTextAndReplacesEachBadByte)
{
    const struct {
        std::string in, out;
    } rows[] = {
        {"oven 35.0 \u00B0C", "oven 35.0 \u00B0C"},                          // two-byte degree sign
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\xE2\x82\xAC \xF0\x9F\x98\x80"},  // three and four bytes
        {"35.0 \xB0\x43", "35.0 " + kFFFD + "C"},             // a lone continuation byte
        {"x\xC3(", "x" + kFFFD + "("},                        // a lead without its follower
        {"\xE2\x82", kFFFD + kFFFD},                          // cut at the end
        {"\xC0\x80", kFFFD + kFFFD},                          // overlong NUL
        {"\xE0\x9F\xBF", kFFFD + kFFFD + kFFFD},              // overlong three-byte form
        {"\xED\xA0\x80", kFFFD + kFFFD + kFFFD},              // a surrogate
        {"\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},  // beyond U+10FFFF
        {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},             // U+10FFFF itself
        {"\xFF", kFFFD},
    };
    for (const auto& row : rows)
        EXPECT_EQ(validUtf8(row.in), row.out) << testing::PrintToString(row.in);
}

TEST(SafeText, LoggableTextStaysOnOneLine)
{
    EXPECT_EQ(loggable("POST /api/v1/x\ngc6890 serve: stopped\r"),
              "POST /api/v1/x\\x0Agc6890 serve: stopped\\x0D");
    EXPECT_EQ(loggable("tab\there \x7F \xB0"), "tab\\x09here \\x7F " + kFFFD);
}

TEST(SafeText, JsonTextNeverThrowsOnBadBytes)
{
    const nlohmann::json body = {{"error", "no such resource: GET /x\xC3("}};
    std::string text;
    ASSERT_NO_THROW(text = jsonText(body));
    EXPECT_EQ(nlohmann::json::parse(text)["error"], "no such resource: GET /x" + kFFFD + "(");
}

// A field holds a usable whole number only when converting it cannot be undefined.
TEST(SafeText, WholeFieldTakesOnlyWholeNumbersThatFitSixtyFourBits)
{
    const nlohmann::json object = nlohmann::json::parse(
        R"({"id": 7, "age": -3, "max": 9223372036854775807, "past": 9223372036854775808,
            "fraction": 2.5, "huge": 1.7e90, "text": "7", "none": null})");
    EXPECT_EQ(wholeField(object, "id"), 7);
    EXPECT_EQ(wholeField(object, "age"), -3);
    EXPECT_EQ(wholeField(object, "max"), INT64_MAX);
    for (const char* key : {"past", "fraction", "huge", "text", "none", "absent"})
        EXPECT_EQ(wholeField(object, key), std::nullopt) << key;
    EXPECT_EQ(wholeField(nlohmann::json::array({7}), "id"), std::nullopt);
}

}  // namespace
}  // namespace gc6890

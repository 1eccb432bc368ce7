// The oven's rules at their limits: each limit taken exactly and refused one degree
// beyond, so that a limit moved by one or a comparison turned round fails here.
#include "method/method_rules.h"

#include <gtest/gtest.h>

namespace gc6890 {
namespace {

TEST(MethodRules, OvenLimitsAreTakenExactlyAndRefusedOneDegreeBeyond)
{
    using K = ParameterKind;
    const struct {
        const char* what;
        RuleBreach breach;
        int code;
    } rows[] = {
        {"maximum at the installed 400", CheckOvenMaximum(400, 400), 0},
        {"maximum one over the installed 400", CheckOvenMaximum(401, 400), kRuleOvenMaximum},
        {"initial at the maximum", CheckOvenPoint(0, 350, 350), 0},
        {"initial one over", CheckOvenPoint(0, 351, 350), kRuleInitialOvenAboveMaximum},
        {"ramp 2's end at the maximum", CheckOvenPoint(2, 350, 350), 0},
        {"ramp 2's end one over", CheckOvenPoint(2, 351, 350), kRuleInitialOvenAboveMaximum + 2},
        {"post-run at the maximum", CheckPostTemperature(350, 350), 0},
        {"post-run one over", CheckPostTemperature(351, 350), kRulePostAboveMaximum},
        {"oven at 450", CheckValue(K::OvenTemperature, 450), 0},
        {"oven at 451", CheckValue(K::OvenTemperature, 451), kRuleTooLarge},
        {"oven at -80", CheckValue(K::OvenTemperature, -80), 0},
        {"oven at -81", CheckValue(K::OvenTemperature, -81), kRuleTooSmall},
        {"ramp rate at 120", CheckValue(K::OvenRate, 120), 0},
        {"ramp rate at 121: run at 120", CheckValue(K::OvenRate, 121), kRuleAltered},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.breach.code, row.code) << row.what << ": " << row.breach.rule;
}

}  // namespace
}  // namespace gc6890

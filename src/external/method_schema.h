// The one description of a method file's layout: every table and key with its kind,
// range, label and unit. The TOML reader, the TOML writer and the experiment-record
// listing all walk it, so the three never disagree about a key.
#pragma once

#include <cstddef>

#include "external/method_library.h"

namespace gc6890 {

struct FieldInfo {
    const char* key;
    const char* label;  // for listings
    const char* unit;   // "" when none
    double min;
    double max;
};

struct RampInfo {
    const char* key;
    const char* label;
    const char* rateUnit;
    const char* finalUnit;
    double rateMax;  // a listed ramp's rate lies in (0, rateMax]
    double finalMin;
    double finalMax;
    double timeMax;  // hold time lies in [0, timeMax]
};

// Ranges the layout's tables share.
constexpr double kLayoutTempMin = -100.0;  // C
constexpr double kLayoutTempMax = 500.0;
constexpr double kLayoutTimeMax = 999.99;  // minutes
constexpr double kLayoutFlowMax = 1000.0;  // mL/min
constexpr double kLayoutPneuMax = 1000.0;  // pressure or flow of a column program

// A named integer code written in the file as a word.
struct ChoiceInfo {
    const char* word;
    int value;
};

// The coded values' words, by the method's own code (the GC's codes differ; the download
// translates them).
inline constexpr ChoiceInfo kCarrierGasChoices[] = {
    {"helium", 1}, {"hydrogen", 2}, {"nitrogen", 3}, {"argon_methane", 4}};
inline constexpr ChoiceInfo kControlModeChoices[] = {
    {"constant_pressure", 1}, {"ramped_pressure", 2}, {"constant_flow", 3}, {"ramped_flow", 4}};
inline constexpr ChoiceInfo kCoolantChoices[] = {{"co2", 0}, {"n2", 1}};

// The word of `value` among `choices`; nullptr when it has none.
template <std::size_t N>
const char* choiceWord(const ChoiceInfo (&choices)[N], int value)
{
    for (const ChoiceInfo& c : choices)
        if (c.value == value)
            return c.word;
    return nullptr;
}

// The unit of a column's program values: its control mode holds a pressure (psi, as the
// GC's display shows it) or a flow (mL/min).
const char* columnValueUnit(int controlMode);

class MethodVisitor {
public:
    virtual ~MethodVisitor() = default;
    // Enters the table `key` below the current one. Returns false when the table is
    // absent from the file (its fields keep their defaults) or cannot be read.
    virtual bool enter(const char* key, const char* title, bool required) = 0;
    virtual void leave() = 0;
    virtual void integer(const FieldInfo& info, int& value) = 0;
    virtual void real(const FieldInfo& info, float& value) = 0;
    virtual void real(const FieldInfo& info, double& value) = 0;
    // An integer flag held in the file as true or false.
    virtual void flag(const FieldInfo& info, int& value) = 0;
    // A code written as one of `choices`' words; where info.min < info.max a number in that
    // range that is one of the codes is taken as well (files written before the words).
    virtual void choice(const FieldInfo& info, int& value, const ChoiceInfo* choices,
                        int count) = 0;
    // `ramps` holds `maxCount` records; those after the last listed one have rate 0.
    virtual void ramps(const RampInfo& info, CRamp* ramps, int maxCount) = 0;
    // True while a file is being read (table presence then changes some defaults).
    virtual bool loading() const { return false; }
    // True for a listing of what the method runs: the records of inlet modes not selected,
    // the PTV cryo settings unless the front inlet is a PTV mode, and the settings of an
    // unused column are skipped.
    virtual bool inUseOnly() const { return false; }
};

// Walks the GC method's tables (below "gc") and the sampler method's (below "sampler").
void describeGC(MethodVisitor& visitor, CHP6890Method& method);
void describeALS(MethodVisitor& visitor, CALS6890Method& method);

// The shortest text that reads back as the same float (or double); always carries a
// decimal point or exponent, and "." whatever the locale.
std::string formatFloat(float value);
std::string formatDouble(double value);

}  // namespace gc6890

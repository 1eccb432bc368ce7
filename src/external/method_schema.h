// The one description of a method file's layout: every table and key with its kind,
// range, label and unit. The TOML reader, the TOML writer and the experiment-record
// listing all walk it, so the three never disagree about a key.
#pragma once

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
    virtual void choice(const FieldInfo& info, int& value, const ChoiceInfo* choices,
                        int count) = 0;
    // `ramps` holds `maxCount` records; those after the last listed one have rate 0.
    virtual void ramps(const RampInfo& info, CRamp* ramps, int maxCount) = 0;
    // True while a file is being read (table presence then changes some defaults).
    virtual bool loading() const { return false; }
};

// Walks the GC method's tables (below "gc") and the sampler method's (below "sampler").
void describeGC(MethodVisitor& visitor, CHP6890Method& method);
void describeALS(MethodVisitor& visitor, CALS6890Method& method);

// The shortest text that reads back as the same float (or double); always carries a
// decimal point or exponent, and "." whatever the locale.
std::string formatFloat(float value);
std::string formatDouble(double value);

}  // namespace gc6890

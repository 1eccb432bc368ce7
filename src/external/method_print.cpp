// The methods' listings for the host's experiment record.
#include <string>
#include <vector>

#include "external/method_library.h"
#include "external/method_schema.h"

namespace gc6890 {
namespace {

std::string number(double value, bool isFloat)
{
    std::string text = isFloat ? formatFloat(static_cast<float>(value)) : formatDouble(value);
    if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0)
        text.resize(text.size() - 2);
    return text;
}

std::string withUnit(const std::string& value, const char* unit)
{
    return *unit ? value + " " + unit : value;
}

// One line per setting: "<prefix>\t<table title>: <label>\t<value>".
class RecordPrinter : public MethodVisitor {
public:
    RecordPrinter(CGenericExpRecord* record, const char* prefix)
        : m_record(record), m_prefix(prefix ? prefix : "")
    {}

    bool enter(const char*, const char* title, bool) override
    {
        m_titles.push_back(title);
        return true;
    }
    // The record shows the method as it runs, not every record the file keeps.
    bool inUseOnly() const override { return true; }
    void leave() override { m_titles.pop_back(); }
    void integer(const FieldInfo& info, int& value) override
    {
        line(info.label, withUnit(std::to_string(value), info.unit));
    }
    void real(const FieldInfo& info, float& value) override
    {
        line(info.label, withUnit(number(value, true), info.unit));
    }
    void real(const FieldInfo& info, double& value) override
    {
        line(info.label, withUnit(number(value, false), info.unit));
    }
    void flag(const FieldInfo& info, int& value) override
    {
        line(info.label, value ? "On" : "Off");
    }
    void choice(const FieldInfo& info, int& value, const ChoiceInfo* choices, int count) override
    {
        std::string text = std::to_string(value);
        for (int i = 0; i < count; ++i)
            if (choices[i].value == value)
                text = choices[i].word;
        line(info.label, text);
    }
    void ramps(const RampInfo& info, CRamp* ramps, int maxCount) override
    {
        int listed = 0;
        for (; listed < maxCount && ramps[listed].m_fRate > 0.0f; ++listed) {
            const CRamp& r = ramps[listed];
            line((std::string(info.label) + " " + std::to_string(listed + 1)).c_str(),
                 withUnit(number(r.m_fRate, true), info.rateUnit) + " to " +
                     withUnit(number(r.m_fFinal, true), info.finalUnit) + ", hold " +
                     number(r.m_fTime, true) + " min");
        }
        if (listed == 0)
            line((std::string(info.label) + "s").c_str(), "none");
    }

private:
    void line(const char* label, const std::string& value)
    {
        std::string text = m_prefix + "\t";
        // The outermost title ("GC") is the prefix's business.
        for (size_t i = 1; i < m_titles.size(); ++i)
            text += m_titles[i] + (i + 1 < m_titles.size() ? " " : ": ");
        text += std::string(label) + "\t" + value + "\n";
        m_record->AddText(text.c_str());
    }

    CGenericExpRecord* m_record;
    std::string m_prefix;
    std::vector<std::string> m_titles;
};

}  // namespace
}  // namespace gc6890

void CHP6890Method::Print(CGenericExpRecord* record, const char* prefix) const
{
    if (!record)
        return;
    CHP6890Method copy = *this;  // the layout walk takes references
    gc6890::RecordPrinter printer(record, prefix);
    gc6890::describeGC(printer, copy);
}

void CALS6890Method::Print(CGenericExpRecord* record, const char* prefix) const
{
    if (!record)
        return;
    const std::string lead = std::string(prefix ? prefix : "") + "\t";
    auto put = [&](const CString& text) { record->AddText((lead + text.str() + "\n").c_str()); };
    CString text;

    // The block titles and setting labels are the sampler's usual ones; the first vial
    // and the injectors used are added so that the record shows where the sample went.
    text.Format("First Vial\t%d", m_Status.m_nFirstVial);
    put(text);
    const char* injectors = m_Status.m_nBackInjector    ? "Back"
                            : m_Status.m_nBothInjectors ? "Both"
                            : m_Status.m_nFrontInjector ? "Front"
                                                        : "Previous";
    text.Format("Injector\t%s", injectors);
    put(text);

    put("HP6890 Autosampler Injector");
    text.Format("Injection Volume(%%)\t%d", m_Injection.m_nVolume);
    put(text);
    text.Format("Solvent A Pre-Washes\t%d", m_Injection.m_nSolventAPreWashes);
    put(text);
    text.Format("Solvent B Pre-Washes\t%d", m_Injection.m_nSolventBPreWashes);
    put(text);
    text.Format("Sample Washes\t%d", m_Injection.m_nSampleWashes);
    put(text);
    text.Format("Solvent A Washes\t%d", m_Injection.m_nSolventAWashes);
    put(text);
    text.Format("Solvent B Washes\t%d", m_Injection.m_nSolventBWashes);
    put(text);

    put("HP6890 Autosampler Syringe");
    put(CString("Slow Plunger\t") + (m_Syringe.m_nSlowPlunger ? "On" : "Off"));
    text.Format("Sample Pumps\t%d", m_Syringe.m_nSamplePumps);
    put(text);
    text.Format("Sampling Offset(mm)\t%d", m_Syringe.m_nSamplingOffset);
    put(text);
    text.Format("Syringe Size(uL)\t%d", m_Syringe.m_nSyringeSize);
    put(text);
    text.Format("Pre Dwell Time(min)\t%0.1f", static_cast<double>(m_Syringe.m_fPreDwellTime));
    put(text);
    text.Format("Post Dwell Time(min)\t%0.1f", static_cast<double>(m_Syringe.m_fPostDwellTime));
    put(text);
    text.Format("Viscosity Delay(s)\t%d", m_Syringe.m_nViscosityDelay);
    put(text);
}

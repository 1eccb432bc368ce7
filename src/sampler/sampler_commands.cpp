#include "sampler/sampler_commands.h"

#include <cstdlib>

namespace gc6890::sampler {

namespace {

constexpr const char* kSetPointsHead = "01HTSETPTS";
constexpr const char* kInjectionHead = "01HTSINJECT";
// The part of an answer before its code: "HT01SINJECT", "HT01RTN_ALL".
constexpr int kAnswerHeadLength = 11;

struct VolumeStep {
    int volume;
    int standard;
    int revN;
};

// The injection volumes (percent of the syringe) that have a step of their own. A REV N
// sampler has one more step (1 for 2 %), so the others move up by one.
constexpr VolumeStep kVolumeSteps[] = {
    {2, 2, 1}, {10, 1, 2}, {20, 2, 3}, {30, 3, 4}, {40, 4, 5}, {50, 5, 6},
};

const VolumeStep* FindStep(double volume)
{
    for (const VolumeStep& step : kVolumeSteps)
        if (volume == step.volume)
            return &step;
    return nullptr;
}

// The 13 values of one injector group, in the order the sampler takes them. The float
// products are formed in double precision and truncated, so a stored 0.7 (0.69999998...)
// goes out as 69.
CString FormatGroup(const CALS6890Method& method, int volumeStep)
{
    const CALSInjection& injection = method.m_Injection;
    const CALSSyringe& syringe = method.m_Syringe;
    CString group;
    group.Format("%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d", volumeStep, syringe.m_nSlowPlunger,
                 syringe.m_nSamplePumps, injection.m_nSampleWashes, injection.m_nSolventAWashes,
                 injection.m_nSolventBWashes, syringe.m_nSamplingOffset,
                 static_cast<int>(static_cast<double>(syringe.m_fPreDwellTime) * 100.0),
                 static_cast<int>(static_cast<double>(syringe.m_fPostDwellTime) * 100.0),
                 syringe.m_nSyringeSize, syringe.m_nViscosityDelay * 10,
                 injection.m_nSolventAPreWashes, injection.m_nSolventBPreWashes);
    return group;
}

}  // namespace

int VolumeStepForMethod(int volumePercent, tag_HP6890_TYPE type)
{
    const VolumeStep* step = FindStep(volumePercent);
    if (!step)
        return volumePercent;
    return type == HP6890_REV_N ? step->revN : step->standard;
}

bool VolumeStepForStart(float volume, tag_HP6890_TYPE type, int& step)
{
    if (const VolumeStep* known = FindStep(static_cast<double>(volume))) {
        step = type == HP6890_REV_N ? known->revN : known->standard;
        return true;
    }
    if (type == HP6890_REV_N)
        return false;
    step = static_cast<int>(volume);
    return true;
}

CString FormatSetPoints(int selection, const CALS6890Method& method, int volumeStep)
{
    static const char* const kUnusedGroup = ",,,,,,,,,,,,";
    const CString group = FormatGroup(method, volumeStep);
    const char* front = selection == kBackInjector ? kUnusedGroup : group.c_str();
    const char* back = selection == kFrontInjector ? kUnusedGroup : group.c_str();
    CString command;
    command.Format("%s %s;%s; %d, %d", kSetPointsHead, front, back,
                   method.m_Status.m_nOffsetBackVials, method.m_Status.m_nTrailerValue);
    return command;
}

CString FormatInjection(int selection, int frontVial, int backVial)
{
    CString command;
    switch (selection) {
    case kFrontInjector:
        command.Format("%s %d", kInjectionHead, frontVial);
        break;
    case kBackInjector:
        command.Format("%s ;%d", kInjectionHead, frontVial);
        break;
    case kBothInjectors:
        command.Format("%s %d;%d", kInjectionHead, frontVial, backVial);
        break;
    default:
        break;
    }
    return command;
}

CString FormatInjection(int selection, const CString& vial)
{
    CString command;
    if (selection == kFrontInjector)
        command.Format("%s %s", kInjectionHead, vial.c_str());
    else if (selection == kBackInjector)
        command.Format("%s ;%s", kInjectionHead, vial.c_str());
    return command;
}

int AnswerCode(const CString& answer)
{
    if (answer.GetLength() <= kAnswerHeadLength)
        return 0;
    return std::atoi(answer.c_str() + kAnswerHeadLength);
}

int ConfigField(const CString& answer, int position)
{
    if (answer.GetLength() <= position)
        return -1;
    return std::atoi(answer.Mid(position, 2).c_str());
}

}  // namespace gc6890::sampler

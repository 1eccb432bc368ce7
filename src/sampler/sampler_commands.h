// The sampler's lines: the set-point and injection commands it is sent, the volume steps
// they carry, and the fields read back from its answers. Everything here is pure text
// work; the sampler object does the exchanges.
#pragma once

#include "external/method_library.h"
#include "platform/platform.h"
#include "sampler/sampler_types.h"

namespace gc6890::sampler {

// Which injector the loaded method uses.
enum InjectorSelection { kFrontInjector = 1, kBackInjector = 2, kBothInjectors = 3 };

// With both injectors and offset back vials, the back vial is this far above the front one.
inline constexpr int kBackVialOffset = 50;

// The head of the answer the sampler sends when the injection itself is done, after its
// first answer to the injection command.
inline constexpr const char* kLateAnswerHead = "HT01SINJECT";

// The step sent for a method's injection volume (percent of the syringe); a volume that
// has no step of its own is sent unchanged.
int VolumeStepForMethod(int volumePercent, tag_HP6890_TYPE type);

// The step for a run start's injection volume, compared exactly. A volume without a step
// of its own is truncated on a standard instrument and refused (false) on a REV N one.
bool VolumeStepForStart(float volume, tag_HP6890_TYPE type, int& step);

// The "01HTSETPTS" command for the selection: 13 values per used injector group, an empty
// group for an unused one, then the two trailer values.
CString FormatSetPoints(int selection, const CALS6890Method& method, int volumeStep);

// The "01HTSINJECT" command for the selection; with both injectors the back vial is
// `backVial`. A selection outside 1 to 3 gives an empty command.
CString FormatInjection(int selection, int frontVial, int backVial);
CString FormatInjection(int selection, const CString& vial);

// The code of an answer such as "HT01SINJECT 5" or "HT01RTN_ALL 0": the C library's atoi
// of what follows its first 11 characters (0 for a shorter answer).
int AnswerCode(const CString& answer);

// A two-character configuration field of an answer, read with atoi; -1 when the answer
// is too short to hold it.
int ConfigField(const CString& answer, int position);

}  // namespace gc6890::sampler

// The one place where the concrete instrument objects are made. Everything else in the
// host program and the service knows them only as the host interfaces CGCSystem and
// CAutoSampler, plus the few facts below that only the concrete objects can give.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "gc/gc_queries.h"
#include "interface/instrument_base.h"

namespace gc6890 {

// Told after each method line a GC method download has sent.
using DownloadProgress = std::function<void(int sent, int total)>;

std::unique_ptr<CGCSystem> makeGCSystem(DownloadProgress progress);
std::unique_ptr<CAutoSampler> makeAutoSampler();

// The sampler reset (stop, then return every vial). The host interface's ResetInjector
// keeps its default here; the reset is an operation of the concrete sampler. 1 on success.
int resetSampler(CAutoSampler& sampler);

// Where an injection stands after StartMethod returned 1: answered at once, or still
// awaiting the sampler's late answer, or that late answer has come (accepted or refused).
enum class InjectionWait { None, Awaiting, Accepted, Refused };
InjectionWait injectionWait(CAutoSampler& sampler);
// Whether the last settled injection answer was an acceptance.
bool injectionAnswerOk(CAutoSampler& sampler);

// The "Status Frequency" setting: the host's status refresh in ms, at most 5500.
int statusFrequencyMs();

// The GC's run state as its last status poll read it (idle before the first).
GCRunState lastGCRunState();

// The firmware text the GC gave at start-up ("" before it was started).
std::string gcFirmware(CGCSystem& gc);

// The GC's report of its installed hardware, as its configuration answer gives it
// ("OVEN LIMIT 450,FRONT INLET S/S,..."); "" when it gave none.
std::string gcHardwareReport(CGCSystem& gc);

// The registration windows of the GC and the sampler objects (null when not made yet).
HWND gcRegistrationWindow(CGCSystem& gc);
HWND samplerRegistrationWindow(CAutoSampler& sampler);

}  // namespace gc6890

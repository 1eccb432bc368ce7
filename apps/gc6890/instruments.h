// The one place where the concrete instrument objects are made. Everything else in the
// program knows them only as the host interfaces CGCSystem and CAutoSampler.
#pragma once

#include <functional>
#include <memory>

#include "interface/instrument_base.h"

namespace gc6890::cli {

// Told after each method line a GC method download has sent.
using DownloadProgress = std::function<void(int sent, int total)>;

std::unique_ptr<CGCSystem> makeGCSystem(DownloadProgress progress);
std::unique_ptr<CAutoSampler> makeAutoSampler();

// The sampler reset (stop, then return every vial). The host interface's ResetInjector
// keeps its default here; the reset is an operation of the concrete sampler. 1 on success.
int resetSampler(CAutoSampler& sampler);

}  // namespace gc6890::cli

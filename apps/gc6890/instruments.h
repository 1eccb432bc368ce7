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

}  // namespace gc6890::cli

// The concrete instrument objects. Until the GC and sampler objects are part of the
// library, a session cannot be opened and says so.
#include "instruments.h"

#include "cli_error.h"

namespace gc6890::cli {

std::unique_ptr<CGCSystem> makeGCSystem(DownloadProgress)
{
    throw CommandFailure(kExitFailed, "this build has no GC object");
}

std::unique_ptr<CAutoSampler> makeAutoSampler()
{
    throw CommandFailure(kExitFailed, "this build has no sampler object");
}

}  // namespace gc6890::cli

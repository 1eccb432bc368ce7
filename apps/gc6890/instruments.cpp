// The concrete instrument objects: the only file of the program that names them.
#include "instruments.h"

#include "gc/varnock_gc_system.h"
#include "sampler/varnock_auto_sampler.h"

namespace gc6890::cli {

std::unique_ptr<CGCSystem> makeGCSystem(DownloadProgress progress)
{
    auto gc = std::make_unique<CVarnockGCSystem>();
    if (progress)
        gc->SetDownloadProgressObserver(std::move(progress));
    return gc;
}

std::unique_ptr<CAutoSampler> makeAutoSampler()
{
    return std::make_unique<CVarnockAutoSampler>();
}

int resetSampler(CAutoSampler& sampler)
{
    auto* varnock = dynamic_cast<CVarnockAutoSampler*>(&sampler);
    return varnock ? varnock->ResetSampler() : sampler.ResetInjector();
}

}  // namespace gc6890::cli

// A load of a stored method as the job board's record of the method the GC holds sees it:
// the record is forgotten as the load begins (a load that fails part way leaves the GC
// holding neither) and set, with the stored text read before the load, once the GC and
// the sampler have both taken it. On the instrument thread, around each load.
#pragma once

#include <string>

#include "service/job_board.h"

namespace gc6890 {

class HeldMethodLoad {
public:
    HeldMethodLoad(JobBoard& jobs, const std::string& name);
    void taken() const;

private:
    JobBoard& jobs_;
    std::string name_;
    std::string text_;
};

}  // namespace gc6890

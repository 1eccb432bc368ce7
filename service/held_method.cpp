#include "service/held_method.h"

#include "external/inlet_utils.h"
#include "service/method_store.h"

namespace gc6890 {

HeldMethodLoad::HeldMethodLoad(JobBoard& jobs, const std::string& name)
    : jobs_(jobs), name_(name), text_(MethodStore(methodFolder()).read(name).value_or(""))
{
    jobs_.forgetHeldMethod();
}

void HeldMethodLoad::taken() const
{
    jobs_.setHeldMethod(name_, text_);
}

}  // namespace gc6890

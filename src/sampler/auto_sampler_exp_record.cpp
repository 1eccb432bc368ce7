// The sampler's part of the experiment record: its method, printed from the method file.
#include "external/method_library.h"
#include "sampler/varnock_auto_sampler.h"

int CVarnockAutoSampler::WriteExpRecord(CGenericExpRecord* record, const CString& method)
{
    // Nothing is asked of the instrument: the file alone decides, connected or not.
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
    if (!gc6890::ReadStoredMethodForRecord(method, gcMethod, alsMethod))
        return 0;
    // The file holds both methods; the GC object prints its own part.
    alsMethod.Print(record, "AUTOSAMPLER");
    return 1;
}

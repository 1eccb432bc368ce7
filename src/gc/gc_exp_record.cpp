// The GC's share of the experiment record: the stored method's GC settings.
#include "external/method_library.h"
#include "gc/varnock_gc_system.h"

int CVarnockGCSystem::WriteExpRecord(CGenericExpRecord* record, const CString& name)
{
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
    if (!gc6890::ReadStoredMethodForRecord(name, gcMethod, alsMethod))
        return 0;
    // The file holds the sampler's half as well; only the GC's is printed here.
    gcMethod.Print(record, "GC");
    return 1;
}

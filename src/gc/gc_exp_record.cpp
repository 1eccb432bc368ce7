// The GC's share of the experiment record: the stored method's GC settings.
#include "external/inlet_utils.h"
#include "external/method_library.h"
#include "gc/varnock_gc_system.h"

int CVarnockGCSystem::WriteExpRecord(CGenericExpRecord* record, const CString& name)
{
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
    CString fileName = name;
    AddMethodFileExtension("HP6890", fileName);
    CFileS file;
    if (!file.Open(fileName, CFileS::modeRead | CFileS::shareDenyWrite, nullptr))
        return 0;  // nothing logged, the record untouched
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    // The file holds the sampler's half as well; only the GC's is printed here.
    SerializeGCandALS(archive, gcMethod, alsMethod);
    gcMethod.Print(record, "GC");
    return 1;
}

// The sampler's part of the experiment record: its method, printed from the method file.
#include "external/inlet_utils.h"
#include "sampler/varnock_auto_sampler.h"

int CVarnockAutoSampler::WriteExpRecord(CGenericExpRecord* record, const CString& method)
{
    // Nothing is asked of the instrument: the file alone decides, connected or not.
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
    CString name = method;
    AddMethodFileExtension("HP6890", name);
    CFileS file;
    if (!file.Open(name, CFileS::modeRead | CFileS::shareDenyWrite, nullptr))
        return 0;
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    // The file holds both methods; the GC object prints its own part.
    SerializeGCandALS(archive, gcMethod, alsMethod);
    alsMethod.Print(record, "AUTOSAMPLER");
    return 1;
}

// Run control: starting a stored method, stopping the run, switching the thermal zones,
// the GC's echo check and a stored method's run length.
#include "comms/hp6890_serial_comms.h"
#include "external/inlet_utils.h"
#include "external/method_library.h"
#include "gc/varnock_gc_system.h"

int CVarnockGCSystem::StartMethod(const CString& name)
{
    CString method = name;
    AddMethodFileExtension("HP6890", method);
    if (!LoadMethod(method))
        return 0;
    if (!StartMethod())
        return 0;
    return 1;
}

int CVarnockGCSystem::StartMethod()
{
    // The run starts with the injection; the GC object sends no start of its own.
    return 1;
}

int CVarnockGCSystem::StopMethod()
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CString command = "GCHTSP";
    if (!m_pChannel || !m_pChannel->WriteStringToGC(command, 0)) {
        ClearDisplay();
        LogCommsFailure("Failed to write stop command\n");
        return scope.fail();
    }
    CString reply;  // any answer will do: the GC has taken the stop
    if (!m_pChannel->ReceiveStringFromGC(reply, 0)) {
        ClearDisplay();
        LogCommsFailure("Failed to reply to stop command from GC\n");
        return scope.fail();
    }
    // A failed stop is not reported to the channel registry: the host decides.
    return scope.commit();
}

int CVarnockGCSystem::SwitchGC(Switch state)
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    const char setting = static_cast<int>(state) != 0 ? '1' : '0';
    // The back inlet's zone address "BF" is none of the command language's addresses: the
    // three lines go out as plain text.
    for (const char* format : {"OVHTTZ %c", "IFHTTZ %c", "BFHTTZ %c"}) {
        CString command;
        command.Format(format, setting);
        // Zones already switched stay switched when a later write fails.
        if (!m_pChannel || !m_pChannel->WriteStringToGC(command, 0)) {
            CaughtSerialCommsError();
            return scope.fail();
        }
    }
    return scope.commit();
}

int CVarnockGCSystem::GCOn()
{
    gc6890::LockOutScope scope = LockOutForOperation();
    if (!scope.held())
        return 0;
    CString scratch;
    if (!m_pChannel || !m_pChannel->CheckChannel(scratch, "GC")) {
        CaughtSerialCommsError();
        return scope.fail();
    }
    return scope.commit();
}

int CVarnockGCSystem::GetMethodLength(const CString& name, float& length)
{
    CString fileName = name;
    AddMethodFileExtension("HP6890", fileName);
    CHP6890Method gcMethod;
    CALS6890Method alsMethod("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
    CFileS file;
    if (!file.Open(fileName, CFileS::modeRead, nullptr))
        return 0;  // length untouched
    CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
    SerializeGCandALS(archive, gcMethod, alsMethod);
    file.Close();
    length = static_cast<float>(gcMethod.GetRunLength());
    return 1;
}

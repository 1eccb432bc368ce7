#include "interface/instrument_base.h"

#include "external/inlet_utils.h"

// ---- CGCSystem ----

BEGIN_MESSAGE_MAP(CGCSystem, CWnd)
END_MESSAGE_MAP()

CGCSystem::CGCSystem() = default;
CGCSystem::~CGCSystem() = default;

int CGCSystem::InitialiseComms()
{
    return 1;
}
int CGCSystem::Initialise()
{
    return 1;
}
int CGCSystem::GenericOp(UINT, long)
{
    return 1;
}
int CGCSystem::CloseDownComms()
{
    return 1;
}
int CGCSystem::WriteExpRecord(CGenericExpRecord*, const CString&)
{
    return 0;
}

// ---- CAutoSampler ----

BEGIN_MESSAGE_MAP(CAutoSampler, CWnd)
END_MESSAGE_MAP()

CAutoSampler::CAutoSampler()
{
    SetVialRange(1, 10000);
    m_strRunMessage.Empty();
}

CAutoSampler::~CAutoSampler() = default;

int CAutoSampler::InitialiseComms()
{
    return 1;
}
int CAutoSampler::Initialise()
{
    return 1;
}
int CAutoSampler::GenericOp(UINT, long)
{
    return 1;
}

int CAutoSampler::LoadMethod(const CString& name, CString)
{
    return LoadMethod(name);
}

int CAutoSampler::StartMethod(const CString&, const CString&, float)
{
    return 0;
}

int CAutoSampler::StartMethod(const CString& method, const StartMethodParams& params)
{
    return StartMethod(method, params.vial, params.volume);
}

int CAutoSampler::SwitchWash(Switch)
{
    return 0;
}
int CAutoSampler::ResetInjector()
{
    return 0;
}
int CAutoSampler::CloseDownComms()
{
    return 1;
}

int CAutoSampler::WriteExpRecord(CGenericExpRecord* record, const CString& method, CString&,
                                 eRunType)
{
    return WriteExpRecord(record, method);
}

int CAutoSampler::WriteExpRecord(CGenericExpRecord*, const CString&)
{
    return 0;
}

void CAutoSampler::WriteInjectionVolume(CGenericExpRecord* record, float volume)
{
    if (!record)  // no record to write into: nothing to do
        return;
    record->AddText("\n");
    record->AddText("Sample Run Injection Parameter\n\n");
    CString line;
    line.Format("Injection Volume (ul)   -   %.2f\n", static_cast<double>(volume));
    record->AddText(line);
}

int CAutoSampler::Inject()
{
    return 1;
}
void CAutoSampler::InitialiseRawDataManager(CInletRawDataManager*) {}
int CAutoSampler::WaitingToInject()
{
    return 1;
}
CString& CAutoSampler::RunMessage()
{
    return m_strRunMessage;
}

// ---- COven ----

BEGIN_MESSAGE_MAP(COven, CWnd)
END_MESSAGE_MAP()

COven::COven() = default;
COven::~COven() = default;

int COven::InitialiseComms()
{
    return 1;
}
int COven::Initialise()
{
    return 1;
}
int COven::GenericOp(UINT, long)
{
    return 1;
}
int COven::CloseDownComms()
{
    return 1;
}
int COven::WriteExpRecord(CGenericExpRecord*, const CString&)
{
    return 0;
}

// ---- CPump ----

BEGIN_MESSAGE_MAP(CPump, CWnd)
END_MESSAGE_MAP()

CPump::CPump() = default;
CPump::~CPump() = default;

int CPump::InitialiseComms()
{
    return 1;
}
int CPump::Initialise()
{
    return 1;
}
int CPump::GenericOp(UINT, long)
{
    return 1;
}
int CPump::LoadMethod(const CString&, CString)
{
    return 1;
}
int CPump::LoadMethod(const CString&)
{
    return 1;
}
int CPump::SendRemoteStart()
{
    return 0;
}
int CPump::CloseDownComms()
{
    return 1;
}
int CPump::WriteExpRecord(CGenericExpRecord*, const CString&, CString, eRunType)
{
    return 0;
}
int CPump::WriteExpRecord(CGenericExpRecord*, const CString&)
{
    return 0;
}
void CPump::InitialiseRawDataManager(CInletRawDataManager*) {}

bool CPump::FormatSolventMonitorUpdate(CInletSystemStatus& status, CString& text, CString pumpName)
{
    CString part;
    text = "<solventMonitorModel><pump>";
    part.Format("<name>%s</name>", pumpName.c_str());
    text += part;
    part.Format("<flowRate>%f</flowRate>", static_cast<double>(status.GetFlow()));
    text += part;
    const struct {
        const char* name;
        float percent;
    } inputs[] = {{"A", status.GetPercentA()},
                  {"B", status.GetPercentB()},
                  {"C", status.GetPercentC()},
                  {"D", status.GetPercentD()}};
    for (const auto& input : inputs) {
        // The inputs feed the pump, so their compositions are written negated.
        part.Format("<connectionPoint><name>%s</name><type>Input</type>"
                    "<composition>%f</composition></connectionPoint>",
                    input.name, static_cast<double>(-input.percent));
        text += part;
    }
    text += "<connectionPoint><name>Output</name><type>Output</type>"
            "<composition>100</composition></connectionPoint>";
    text += "</pump></solventMonitorModel>";
    return true;
}

int& CPump::PumpStopOnExit()
{
    return m_bPumpStopOnExit;
}

// ---- CDetector ----

BEGIN_MESSAGE_MAP(CDetector, CWnd)
END_MESSAGE_MAP()

CDetector::CDetector() = default;
CDetector::~CDetector() = default;

int CDetector::GenericOp(UINT, long)
{
    return 1;
}

int CDetector::LoadMethod(const CString& name, CString)
{
    return LoadMethod(name);
}

int CDetector::FinishMethod()
{
    return StopMethod();
}

int CDetector::Balance()
{
    return 0;
}
void CDetector::InitialiseRawDataManager(CInletRawDataManager*) {}
int CDetector::PreStartDataAcquisition()
{
    return 1;
}
int CDetector::InitialiseNewDataAcquisition(const CString&, const CString&)
{
    return 0;
}
int CDetector::ReadData()
{
    return 1;
}
int CDetector::EndDataAcquisition()
{
    return 1;
}
int CDetector::ResetDataAcquisition()
{
    return 1;
}
int CDetector::TerminateDataAcquisition()
{
    return 1;
}
int CDetector::ReadBufferReady()
{
    return 0;
}

int CDetector::WriteExpRecord(CGenericExpRecord* record, const CString& method, CString&, eRunType)
{
    return WriteExpRecord(record, method);
}

int CDetector::WriteExpRecord(CGenericExpRecord*, const CString&)
{
    return 0;
}

// ---- CPDADetector ----

BEGIN_MESSAGE_MAP(CPDADetector, CDetector)
END_MESSAGE_MAP()

CPDADetector::CPDADetector() = default;
CPDADetector::~CPDADetector() = default;

int CPDADetector::InitialiseComms()
{
    return 1;
}
int CPDADetector::Initialise()
{
    return 1;
}
int CPDADetector::CloseDownComms()
{
    return 1;
}

// ---- CUVDetector ----

BEGIN_MESSAGE_MAP(CUVDetector, CDetector)
END_MESSAGE_MAP()

CUVDetector::CUVDetector() = default;
CUVDetector::~CUVDetector() = default;

int CUVDetector::InitialiseComms()
{
    return 1;
}
int CUVDetector::Initialise()
{
    return 1;
}
int CUVDetector::CloseDownComms()
{
    return 1;
}

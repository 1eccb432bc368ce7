// The seven instrument base classes through which the host knows every instrument.
//
// The host calls the virtual operations by position, so the declaration order of each
// class's virtual operations below is its interface and must not change; the numbers in
// the comments are the positions after CWnd's own. Operations marked "= 0" are left to
// the derived instrument; every other one carries the host's default.
//
// The names and signatures of the pure operations of COven, CPump and CDetector that no
// instrument of this library implements (oven 4-9 and 12-16, pump 4, 5, 8-10, 13 and
// 18-22, detector 4, 5, 8-10 and 24-28) follow the pattern of CGCSystem; the host's
// interface definition decides them. Likewise, where several defaults share one body
// (CAutoSampler's Inject and WaitingToInject; CDetector's Balance and ReadBufferReady and
// its data-acquisition operations), their order keeps the grouping of the host's
// interface, whose definition decides.
#pragma once

#include "interface/inlet_system_status.h"
#include "platform/host_types.h"
#include "platform/platform.h"

class CGCSystem : public CWnd {
public:
    CGCSystem();
    ~CGCSystem() override;

    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }

    virtual int InitialiseComms();                                                 // 1
    virtual int Initialise();                                                      // 2
    virtual int GenericOp(UINT operation, long argument);                          // 3
    virtual int ReadStatus(CInletSystemStatus& status) = 0;                        // 4
    virtual int SwitchGC(Switch state) = 0;                                        // 5
    virtual int LoadMethod(const CString& method) = 0;                             // 6
    virtual int StartMethod() = 0;                                                 // 7
    virtual int StartMethod(const CString& method) = 0;                            // 8
    virtual int StopMethod() = 0;                                                  // 9
    virtual int CloseDownComms();                                                  // 10
    virtual int GetMethodLength(const CString& method, float& length) = 0;         // 11
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method);  // 12
    virtual int GCOn() = 0;                                                        // 13
    virtual int MethodRunning() = 0;                                               // 14
    virtual int PostRunning() = 0;                                                 // 15
    virtual int NotReady(CString& text) = 0;                                       // 16
    virtual int Error(CString& text) = 0;                                          // 17

protected:
    HWND m_hUserInterfaceWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CAutoSampler : public CWnd {
public:
    struct StartMethodParams {
        CString vial;         // the vial, as text
        float volume = 0.0f;  // the injection volume
    };

    // Also tells the host the valid vial numbers, 1 to 10000.
    CAutoSampler();
    ~CAutoSampler() override;

    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }

    virtual int InitialiseComms();                           // 1
    virtual int Initialise();                                // 2
    virtual int GenericOp(UINT operation, long argument);    // 3
    virtual int ReadStatus(CInletSystemStatus& status) = 0;  // 4
    // Ignores the second argument and loads by name (6).
    virtual int LoadMethod(const CString& name, CString unused);                        // 5
    virtual int LoadMethod(const CString& name) = 0;                                    // 6
    virtual int StartMethod() = 0;                                                      // 7
    virtual int StartMethod(const CString& method) = 0;                                 // 8
    virtual int StartMethod(const CString& method, const CString& vial, float volume);  // 9
    // Unpacks the parameters into 9.
    virtual int StartMethod(const CString& method, const StartMethodParams& params);  // 10
    virtual int StopMethod() = 0;                                                     // 11
    virtual int SwitchWash(Switch state);                                             // 12
    virtual int ResetInjector();                                                      // 13
    virtual int CloseDownComms();                                                     // 14
    // Drops the last two arguments and writes through 16.
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method, CString& text,
                               eRunType runType);                                  // 15
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method);  // 16
    // Appends the injection volume heading and value to the record.
    virtual void WriteInjectionVolume(CGenericExpRecord* record, float volume);  // 17
    virtual int Inject();                                                        // 18
    virtual void InitialiseRawDataManager(CInletRawDataManager* manager);        // 19
    virtual int Injecting() = 0;                                                 // 20
    virtual int WaitingToInject();                                               // 21
    virtual int MethodRunning() = 0;                                             // 22
    virtual int PostRunning() = 0;                                               // 23
    virtual int NotReady(CString& text) = 0;                                     // 24
    virtual int Error(CString& text) = 0;                                        // 25
    virtual CString& RunMessage();                                               // 26

protected:
    HWND m_hUserInterfaceWnd = nullptr;
    CString m_strRunMessage;

    DECLARE_MESSAGE_MAP()
};

class COven : public CWnd {
public:
    COven();
    ~COven() override;

    virtual int InitialiseComms();                                                 // 1
    virtual int Initialise();                                                      // 2
    virtual int GenericOp(UINT operation, long argument);                          // 3
    virtual int ReadStatus(CInletSystemStatus& status) = 0;                        // 4
    virtual int SwitchOven(Switch state) = 0;                                      // 5
    virtual int LoadMethod(const CString& method) = 0;                             // 6
    virtual int StartMethod() = 0;                                                 // 7
    virtual int StartMethod(const CString& method) = 0;                            // 8
    virtual int StopMethod() = 0;                                                  // 9
    virtual int CloseDownComms();                                                  // 10
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method);  // 11
    virtual int OvenOn() = 0;                                                      // 12
    virtual int MethodRunning() = 0;                                               // 13
    virtual int PostRunning() = 0;                                                 // 14
    virtual int NotReady(CString& text) = 0;                                       // 15
    virtual int Error(CString& text) = 0;                                          // 16

    DECLARE_MESSAGE_MAP()
};

class CPump : public CWnd {
public:
    CPump();
    ~CPump() override;

    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }

    virtual int InitialiseComms();                                          // 1
    virtual int Initialise();                                               // 2
    virtual int GenericOp(UINT operation, long argument);                   // 3
    virtual int ReadStatus(CInletSystemStatus& status) = 0;                 // 4
    virtual int SwitchPump(Switch state) = 0;                               // 5
    virtual int LoadMethod(const CString& name, CString unused);            // 6
    virtual int LoadMethod(const CString& name);                            // 7
    virtual int StartMethod() = 0;                                          // 8
    virtual int StartMethod(const CString& method) = 0;                     // 9
    virtual int StopMethod() = 0;                                           // 10
    virtual int SendRemoteStart();                                          // 11
    virtual int CloseDownComms();                                           // 12
    virtual int GetMethodLength(const CString& method, float& length) = 0;  // 13
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method, CString text,
                               eRunType runType);                                  // 14
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method);  // 15
    virtual void InitialiseRawDataManager(CInletRawDataManager* manager);          // 16
    // Replaces `text` with the solvent-monitor XML line for this pump; always true.
    virtual bool FormatSolventMonitorUpdate(CInletSystemStatus& status, CString& text,
                                            CString pumpName);  // 17
    virtual int PumpOn() = 0;                                   // 18
    virtual int MethodRunning() = 0;                            // 19
    virtual int PostRunning() = 0;                              // 20
    virtual int NotReady(CString& text) = 0;                    // 21
    virtual int Error(CString& text) = 0;                       // 22
    virtual int& PumpStopOnExit();                              // 23

protected:
    HWND m_hUserInterfaceWnd = nullptr;
    int m_bPumpStopOnExit = 0;

    DECLARE_MESSAGE_MAP()
};

class CDetector : public CWnd {
public:
    CDetector();
    ~CDetector() override;

    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }
    void SetDetectorNumber(int number) { m_nDetectorNumber = number; }

    virtual int InitialiseComms() = 0;                       // 1
    virtual int Initialise() = 0;                            // 2
    virtual int GenericOp(UINT operation, long argument);    // 3
    virtual int ReadStatus(CInletSystemStatus& status) = 0;  // 4
    virtual int SwitchDetector(Switch state) = 0;            // 5
    // Ignores the second argument and loads by name (7).
    virtual int LoadMethod(const CString& name, CString unused);  // 6
    virtual int LoadMethod(const CString& name) = 0;              // 7
    virtual int StartMethod() = 0;                                // 8
    virtual int StartMethod(const CString& method) = 0;           // 9
    virtual int StopMethod() = 0;                                 // 10
    // Ends the method the way StopMethod (10) does.
    virtual int FinishMethod();                                            // 11
    virtual int Balance();                                                 // 12
    virtual int CloseDownComms() = 0;                                      // 13
    virtual void InitialiseRawDataManager(CInletRawDataManager* manager);  // 14
    virtual int PreStartDataAcquisition();                                 // 15
    virtual int InitialiseNewDataAcquisition(const CString& method,
                                             const CString& dataFile);  // 16
    virtual int ReadData();                                             // 17
    virtual int EndDataAcquisition();                                   // 18
    virtual int ResetDataAcquisition();                                 // 19
    virtual int TerminateDataAcquisition();                             // 20
    virtual int ReadBufferReady();                                      // 21
    // Drops the last two arguments and writes through 23.
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method, CString& text,
                               eRunType runType);                                  // 22
    virtual int WriteExpRecord(CGenericExpRecord* record, const CString& method);  // 23
    virtual int DetectorOn() = 0;                                                  // 24
    virtual int MethodRunning() = 0;                                               // 25
    virtual int PostRunning() = 0;                                                 // 26
    virtual int NotReady(CString& text) = 0;                                       // 27
    virtual int Error(CString& text) = 0;                                          // 28

protected:
    DWORD m_dwReserved = 0;  // part of the host's layout; no operation here uses it
    int m_nDetectorNumber = 0;
    HWND m_hUserInterfaceWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

// A diode-array detector: data acquisition must be provided by the instrument.
class CPDADetector : public CDetector {
public:
    CPDADetector();
    ~CPDADetector() override;

    // Stores the window in this class's own member; CDetector's stays as it was.
    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }

    int InitialiseComms() override;
    int Initialise() override;
    int CloseDownComms() override;
    int InitialiseNewDataAcquisition(const CString& method, const CString& dataFile) override = 0;
    int ResetDataAcquisition() override = 0;
    int TerminateDataAcquisition() override = 0;

protected:
    HWND m_hUserInterfaceWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

class CUVDetector : public CDetector {
public:
    CUVDetector();
    ~CUVDetector() override;

    // Stores the window in this class's own member; CDetector's stays as it was.
    void SetUserInterfaceWindow(HWND window) { m_hUserInterfaceWnd = window; }

    int InitialiseComms() override;
    int Initialise() override;
    int CloseDownComms() override;

protected:
    HWND m_hUserInterfaceWnd = nullptr;

    DECLARE_MESSAGE_MAP()
};

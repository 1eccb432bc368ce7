// The method library: the stored GC method and sampler method, and the file and archive
// through which every reader loads them.
//
// Load sequence (the same for every reader):
//   CString name = ...; AddMethodFileExtension("HP6890", name);
//   CHP6890Method gc; CALS6890Method als("ALS 6890 Method", 1, CALSInjection(0), CALSSyringe());
//   CFileS file;
//   if (!file.Open(name, CFileS::modeRead, nullptr)) return 0;
//   CArchiveS archive(&file, CArchiveS::load, 4096, nullptr);
//   SerializeGCandALS(archive, gc, als);
//
// A method file is TOML; docs/method-format.md describes every key.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host_types.h"
#include "platform/platform.h"

// ---------------------------------------------------------------------------------------
// GC method

// One step of a program: rise at `rate` to `final`, then hold for `time` minutes. A
// program ends at its first ramp whose rate is 0 or less.
class CRamp {
public:
    float m_fRate = 0.0f;
    float m_fFinal = 0.0f;
    float m_fTime = 0.0f;
};

// A column's pressure (or flow) program: initial value, initial time and three ramps.
// Whether the values are pressures or flows follows the column's control mode.
class CPressure {
public:
    static constexpr int MaxRamps = 3;
    float m_fInitialValue = 0.0f;
    float m_fInitialTime = 0.0f;
    CRamp m_Ramps[MaxRamps];

    CPressure() = default;
    CPressure(const CPressure& other) = default;
    CPressure& operator=(const CPressure& other) = default;
};

// A temperature program of an inlet: initial temperature and time, three ramps.
class CInletTempProgram {
public:
    static constexpr int MaxRamps = 3;
    float m_fInitialTemperature = 0.0f;
    float m_fInitialTime = 0.0f;
    CRamp m_Ramps[MaxRamps];
};

// Inlet parameter records, one kind per inlet type. The comments name each value by the
// letter the GC download uses for it (S1, S2, P1 to P7, Q1 to Q8).

// Type 1, split/splitless inlet in split mode.
class CInletSplit {
public:
    int m_nZoneOn = 1;  // thermal zone on (flag)
    float m_fTemperature = 250.0f;
    float m_fSplitRatio = 50.0f;  // S1
    float m_fSplitFlow = 50.0f;   // S2
};

// Type 2, split/splitless inlet in splitless mode.
class CInletSplitless {
public:
    int m_nZoneOn = 1;
    float m_fTemperature = 250.0f;
    int m_nPurgeTime = 1;        // S1, an integer
    float m_fPurgeFlow = 50.0f;  // S2, kept in the record, not sent
};

// Types 3 (cool on-column, tracking the oven: only the zone is used) and 4 (cool
// on-column with its own temperature program).
class CInletOnColumn {
public:
    int m_nZoneOn = 1;
    CInletTempProgram m_Program;
};

// Types 5 to 8, PTV inlet; one record per type, shared by both sides. Each type uses the
// members listed against it; the others keep their defaults.
//   all:    zone, P1 gas saver, P2 saver flow, P3 saver time, initial temperature,
//           initial time, three ramps
//   type 5 (splitless):        P4 purge time (integer)
//   type 6 (split):            P4 split ratio, P5 split flow
//   type 7 (pulsed splitless): P4 pulse pressure, P5 pulse time, P6 purge time
//                              (integer), P7 purge flow, spare value
//   type 8 (pulsed split):     P4 pulse pressure, P5 pulse time, P6 split ratio,
//                              P7 split flow, spare value
class CInletPTV {
public:
    int m_nZoneOn = 1;
    int m_nGasSaver = 0;         // P1
    float m_fSaverFlow = 20.0f;  // P2
    float m_fSaverTime = 2.0f;   // P3
    CInletTempProgram m_Program;
    int m_nPurgeTime = 1;           // type 5 P4, type 7 P6
    float m_fSplitRatio = 50.0f;    // type 6 P4, type 8 P6
    float m_fSplitFlow = 50.0f;     // type 6 P5, type 8 P7
    float m_fPulsePressure = 0.0f;  // types 7 and 8 P4
    float m_fPulseTime = 0.0f;      // types 7 and 8 P5
    float m_fPurgeFlow = 50.0f;     // type 7 P7
    float m_fSpare = 0.0f;          // types 7 and 8: the value after P7, not sent
};

// Type 9, PTV inlet in solvent vent mode.
class CInletSolventVent {
public:
    int m_nZoneOn = 1;
    int m_nGasSaver = 0;         // Q1
    float m_fSaverFlow = 20.0f;  // Q2
    float m_fSaverTime = 2.0f;   // Q3
    CInletTempProgram m_Program;
    float m_fVentTime = 0.0f;      // Q4
    float m_fVentFlow = 100.0f;    // Q5
    float m_fVentPressure = 0.0f;  // Q6
    float m_fPurgeFlow = 50.0f;    // Q7
    float m_fPurgeTime = 1.0f;     // Q8
};

// One side (front or back) of the GC: its inlet type and its own records for types 1-4.
class CInletSide {
public:
    int m_nType = 0;                 // 0 keeps the GC's settings; 1 to 9 select a record
    CInletSplit m_Split;             // type 1
    CInletSplitless m_Splitless;     // type 2
    CInletOnColumn m_OnColumnTrack;  // type 3
    CInletOnColumn m_OnColumnRamp;   // type 4
};

// PTV cryo settings, in the order the download sends them (fourth and fifth are floats
// that it truncates).
class CPTVCryo {
public:
    int m_nCryoOn = 0;
    int m_nCoolant = 0;
    int m_nFaultDetection = 0;
    float m_fUseTemperature = 0.0f;
    float m_fTimeout = 0.0f;
    int m_nTimeoutEnabled = 0;
    int m_nQuickCool = 0;
};

class CColumn {
public:
    enum { FrontInlet = 1, BackInlet = 2, NoInlet = 5 };
    int m_nConfigured = 0;           // 0: the method does not use the column
    float m_fLength = 30.0f;         // m
    float m_fDiameter = 250.0f;      // um
    float m_fFilmThickness = 0.25f;  // um
    int m_nCarrierGas = 2;           // 1 to 4
    int m_nControlMode = 1;          // 1 to 4
    int m_nInlet = NoInlet;          // FrontInlet, BackInlet or NoInlet
    CPressure m_Pressure;
};

class COvenProgram {
public:
    static constexpr int MaxRamps = 6;
    float m_fMaxTemperature = 325.0f;
    float m_fEquilibrationTime = 3.0f;  // the oven set-point value
    int m_nCryoOn = 0;
    float m_fCryoUseTemperature = 0.0f;  // C1
    int m_nCryoQuickCool = 0;            // C2
    int m_nCryoFault = 0;                // C3
    int m_nCryoTimeoutEnabled = 0;       // C4
    float m_fCryoTimeout = 0.0f;         // C5
    int m_nCryoType = 0;
    float m_fInitialTemperature = 50.0f;
    float m_fInitialTime = 0.0f;
    CRamp m_Ramps[MaxRamps];
};

class CPostRun {
public:
    int m_nEnabled = 0;
    float m_fTime = 0.0f;             // set-point 1
    float m_fOvenTemperature = 0.0f;  // set-point 2, truncated by the download
    float m_fColumnValue = 0.0f;      // column post-run value, both columns
};

class CHP6890Method {
public:
    enum { Front = 0, Back = 1 };

    // The run length in minutes: the stored value, or the oven program's length when the
    // stored value is 0.
    double GetRunLength() const;
    // The length of the oven program in minutes.
    double GetOvenProgramLength() const;

    // The thermal-zone flag of `side`'s inlet record for `type` (external/inlet_types.h);
    // 0 for a type without a record.
    int GetInletZoneOn(int side, int type) const;
    // Its inlet type's zone flag.
    int GetInletZoneOn(int side) const { return GetInletZoneOn(side, m_Inlets[side].m_nType); }
    // The temperature program of `side`'s record for a ramped type; nullptr otherwise.
    const CInletTempProgram* GetInletProgram(int side, int type) const;

    // Writes every setting, one per line, each line beginning with `prefix` and a tab.
    void Print(CGenericExpRecord* record, const char* prefix) const;

    double m_dRunLength = 0.0;  // min; 0 means the oven program's length
    COvenProgram m_Oven;
    CColumn m_Columns[2];             // column 1, column 2
    CInletSide m_Inlets[2];           // Front, Back
    CInletPTV m_PTV[4];               // types 5, 6, 7, 8 (index type - 5)
    CInletSolventVent m_SolventVent;  // type 9
    CPTVCryo m_PTVCryo;
    CPostRun m_PostRun;
};

// ---------------------------------------------------------------------------------------
// Sampler method

class FrellError {
public:
    int m_nCode = 0;  // 0: no error
    CString m_strText;
    void Set(int code, const CString& text)
    {
        m_nCode = code;
        m_strText = text;
    }
    void Clear()
    {
        m_nCode = 0;
        m_strText.Empty();
    }
};

class FrellField {
public:
    CString m_strName;
    CString m_strValue;
};

// The named fields an object offers; CALS6890Method lists its settings here after a load
// (key and value as text), so that a host can show them without knowing the blocks.
class FrellFields {
public:
    void Add(const CString& name, const CString& value) { m_fields.push_back({name, value}); }
    int GetSize() const { return static_cast<int>(m_fields.size()); }
    const FrellField& operator[](int index) const { return m_fields[static_cast<size_t>(index)]; }
    void RemoveAll() { m_fields.clear(); }

private:
    std::vector<FrellField> m_fields;
};

class FrellObject {
public:
    FrellObject(const char* name, int flag) : m_strName(name), m_nFlag(flag) {}
    virtual ~FrellObject() = default;
    const CString& GetName() const { return m_strName; }
    int GetFlag() const { return m_nFlag; }

    CString m_strName;
    int m_nFlag = 0;
    FrellError m_Error;
    FrellFields m_Fields;
};

// Status block: six integers (value numbers in the comments).
class CALSStatus {
public:
    explicit CALSStatus(int firstVial = 1) : m_nFirstVial(firstVial) {}
    int m_nFirstVial;            // 0
    int m_nOffsetBackVials = 0;  // 1, also the first trailer value of the set points
    int m_nTrailerValue = 0;     // 2, the second trailer value of the set points
    int m_nFrontInjector = 0;    // 3
    int m_nBackInjector = 0;     // 4
    int m_nBothInjectors = 0;    // 5
};

// Which numbered value of the injection and syringe blocks holds which setting is this
// library's choice (the sampler copies each value to its place in the set points): the
// injection block holds the volume and the washes, the syringe block the plunger, pumps,
// offset, syringe size, viscosity delay and the two dwell times.

// Injection block: seven integers.
class CALSInjection {
public:
    explicit CALSInjection(int tag = 0) : m_nTag(tag) {}
    int m_nTag;                    // 0, given by the constructor; never loaded or sent
    int m_nVolume = 10;            // 1, percent of the syringe
    int m_nSolventAPreWashes = 0;  // 2
    int m_nSolventBPreWashes = 0;  // 3
    int m_nSampleWashes = 0;       // 4
    int m_nSolventAWashes = 0;     // 5
    int m_nSolventBWashes = 0;     // 6
};

// Syringe block: five integers and two floats.
class CALSSyringe {
public:
    int m_nSlowPlunger = 0;         // 0 (flag)
    int m_nSamplePumps = 3;         // 1
    int m_nSamplingOffset = 0;      // 2, mm
    int m_nSyringeSize = 10;        // 3, uL
    int m_nViscosityDelay = 0;      // 4, s (the sampler gets tenths)
    float m_fPreDwellTime = 0.0f;   // 5, min
    float m_fPostDwellTime = 0.0f;  // 6, min
};

class CALS6890Method : public FrellObject {
public:
    explicit CALS6890Method(const char* name = "ALS 6890 Method", int flag = 1,
                            const CALSInjection& injection = CALSInjection(0),
                            const CALSSyringe& syringe = CALSSyringe(),
                            const CALSStatus& status = CALSStatus())
        : FrellObject(name, flag), m_Status(status), m_Injection(injection), m_Syringe(syringe)
    {}

    // Writes the injector and syringe settings, one per line, each beginning with
    // `prefix` and a tab.
    void Print(CGenericExpRecord* record, const char* prefix) const;

    CALSStatus m_Status;
    CALSInjection m_Injection;
    CALSSyringe m_Syringe;
};

// ---------------------------------------------------------------------------------------
// Files and archives

// A method file. Open for reading reads and checks the whole method at once: a file
// that is missing, unreadable or not a valid method does not open (result 0), and
// GetErrorText() says why, naming the file, line and key. Callers therefore treat a
// malformed method exactly like a file that did not open; they may log the text.
// Open for writing (modeCreate | modeWrite) collects the text that an archive stores;
// Close() replaces the file atomically (temporary file, then rename), so a failed write
// never leaves half a method behind.
class CFileS {
public:
    enum OpenFlags : unsigned {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        shareDenyWrite = 0x0020,  // accepted: readers take a whole snapshot at Open
        modeCreate = 0x1000,
    };

    CFileS();
    ~CFileS();
    CFileS(const CFileS&) = delete;
    CFileS& operator=(const CFileS&) = delete;

    // 1 when the file is open; 0 otherwise, with the reason in GetErrorText() and, when
    // `error` is given, in it as well.
    int Open(const char* fileName, unsigned flags, FrellError* error = nullptr);
    // 1 on success; for a file open for writing, 0 when the file could not be written.
    int Close();
    int IsOpen() const { return m_bOpen ? 1 : 0; }
    int IsWriting() const { return m_bWriting ? 1 : 0; }
    const CString& GetFilePath() const { return m_strPath; }
    const CString& GetErrorText() const { return m_strError; }
    // The failure text of the most recent Open or Close that failed in this process.
    static const CString& GetLastErrorText();

private:
    friend int SerializeGCandALS(class CArchiveS&, CHP6890Method&, CALS6890Method&);
    int fail(const std::string& text, FrellError* error);

    CString m_strPath;
    CString m_strError;
    bool m_bOpen = false;
    bool m_bWriting = false;
    std::unique_ptr<CHP6890Method> m_pGC;  // the method read by Open
    std::unique_ptr<CALS6890Method> m_pALS;
    std::string m_text;  // the text to write at Close
};

class CArchiveS {
public:
    enum Mode { store = 0, load = 1 };
    // The buffer size and buffer are accepted for the framework's signature; methods are
    // small and held whole.
    CArchiveS(CFileS* file, int mode, int bufferSize = 4096, void* buffer = nullptr)
        : m_pFile(file), m_nMode(mode)
    {
        (void)bufferSize;
        (void)buffer;
    }
    int IsLoading() const { return m_nMode == load ? 1 : 0; }
    int IsStoring() const { return m_nMode == store ? 1 : 0; }
    CFileS* GetFile() const { return m_pFile; }

private:
    CFileS* m_pFile;
    int m_nMode;
};

// Loading: fills the GC method and then the sampler method from the archive's file and
// returns 1; returns 0 and leaves both untouched when the file holds no method (it did
// not open). The sampler method keeps its name, flag and injection tag.
// Storing: hands the method text to the file, written at Close(); returns 1.
int SerializeGCandALS(CArchiveS& archive, CHP6890Method& gcMethod, CALS6890Method& alsMethod);

namespace gc6890 {
// The experiment record's read of a stored method: completes the name, opens the file with
// other writers excluded and loads both halves. False when the file did not open (or is
// malformed); nothing is logged, so the caller leaves its record untouched.
bool ReadStoredMethodForRecord(const CString& name, CHP6890Method& gcMethod,
                               CALS6890Method& alsMethod);
}  // namespace gc6890

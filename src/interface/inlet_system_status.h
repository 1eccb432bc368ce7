// CInletSystemStatus: the record in which every instrument object reports its state to
// the host. A fixed-size plain value (texts in fixed buffers, no heap memory), so that the
// host can copy, compare and merge records freely.
//
// The record interprets none of its fields; their meanings are those of the instrument
// objects that fill them. Numeric accessors return references through which the caller
// both reads and writes.
#pragma once

#include "platform/platform.h"

class CInletSystemStatusTestAccess;  // tests only: raw view of the text buffers

class CInletSystemStatus : public CObject {
public:
    // Every text buffer is 512 bytes: at most 511 characters and a terminator.
    static constexpr int TextBufferSize = 512;

    CInletSystemStatus();
    CInletSystemStatus(const CInletSystemStatus& other);
    CInletSystemStatus& operator=(const CInletSystemStatus& other);
    ~CInletSystemStatus() override;

    int& GetRunning() { return m_nRunning; }
    int& GetPostRunning() { return m_nPostRunning; }
    int& GetNotReady() { return m_nNotReady; }
    int& GetError() { return m_nError; }

    CString GetNotReadyInfo() const;
    CString GetErrorInfo() const;
    CString GetStatusInfo() const;
    CString GetStopText() const;
    // Each clears the whole buffer, then keeps the first 511 characters at most.
    void SetNotReadyInfo(CString& text);
    void SetErrorInfo(CString& text);
    void SetStatusInfo(CString& text);
    void SetStopText(CString& text);

    float& GetTime() { return m_fTime; }
    int& GetWashOn() { return m_nWashOn; }
    int& GetInjecting() { return m_nInjecting; }
    float& SampleTemperature() { return m_fSampleTemperature; }
    float& GetFlow() { return m_fFlow; }
    float& GetPercentA() { return m_fPercentA; }
    float& GetPercentB() { return m_fPercentB; }
    float& GetPercentC() { return m_fPercentC; }
    float& GetPercentD() { return m_fPercentD; }
    float& GetHighPressure() { return m_fHighPressure; }
    float& GetLowPressure() { return m_fLowPressure; }
    int& GetPumpOn() { return m_nPumpOn; }
    int& GetLamp() { return m_nLamp; }
    int& GetDadScan() { return m_nDadScan; }
    int& DADAcquiring() { return m_nDADAcquiring; }
    float& GetTemperatureLeft() { return m_fTemperatureLeft; }
    float& GetTemperatureRight() { return m_fTemperatureRight; }

    // Merges another instrument's record into this one: the eight flags are ORed (0 or
    // 1), the error follows its own table, everything else keeps this record's value.
    CInletSystemStatus& operator|=(const CInletSystemStatus& other);

    // Non-zero when all 25 fields are equal: floats exactly, texts up to their
    // terminators. Const, so that C++20's reversed candidates are not ambiguous.
    int operator==(const CInletSystemStatus& other) const;

private:
    friend class CInletSystemStatusTestAccess;

    int m_nRunning = 0;
    int m_nPostRunning = 0;
    int m_nNotReady = 0;
    int m_nError = 0;
    char m_szNotReadyInfo[TextBufferSize];
    char m_szErrorInfo[TextBufferSize];
    char m_szStatusInfo[TextBufferSize];
    char m_szStopText[TextBufferSize];
    float m_fTime = 0.0f;
    int m_nWashOn = 0;
    int m_nInjecting = 0;
    float m_fSampleTemperature = 0.0f;
    float m_fFlow = 0.0f;
    float m_fPercentA = 100.0f;
    float m_fPercentB = 0.0f;
    float m_fPercentC = 0.0f;
    float m_fPercentD = 0.0f;
    float m_fHighPressure = 0.0f;
    float m_fLowPressure = 0.0f;
    int m_nPumpOn = 0;
    int m_nLamp = 0;
    int m_nDadScan = 0;
    int m_nDADAcquiring = 0;
    float m_fTemperatureLeft = 0.0f;
    float m_fTemperatureRight = 0.0f;
};

#include "interface/inlet_system_status.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBufferSize = CInletSystemStatus::TextBufferSize;

CString readText(const char (&buffer)[kBufferSize])
{
    // The buffer always holds a terminator, but stop at its end whatever happens.
    return CString(buffer, static_cast<int>(strnlen(buffer, kBufferSize)));
}

void writeText(char (&buffer)[kBufferSize], const CString& text)
{
    std::memset(buffer, 0, kBufferSize);
    const size_t length = std::min(static_cast<size_t>(text.GetLength()), kBufferSize - 1);
    std::memcpy(buffer, text.c_str(), length);
}

// The whole buffer travels, bytes after the terminator included.
void copyBuffer(char (&to)[kBufferSize], const char (&from)[kBufferSize])
{
    std::memset(to, 0, kBufferSize);
    std::memcpy(to, from, kBufferSize);
}

bool sameText(const char (&a)[kBufferSize], const char (&b)[kBufferSize])
{
    return std::strncmp(a, b, kBufferSize) == 0;
}

int mergeFlag(int mine, int theirs)
{
    return (mine != 0 || theirs != 0) ? 1 : 0;
}

// Either side reporting no error (0) wins, then 1, then -1; any other pair of values
// keeps this record's own.
int mergeError(int mine, int theirs)
{
    if (mine == 0 || theirs == 0)
        return 0;
    if (mine == 1 || theirs == 1)
        return 1;
    if (mine == -1 || theirs == -1)
        return -1;
    return mine;
}

}  // namespace

CInletSystemStatus::CInletSystemStatus()
{
    std::memset(m_szNotReadyInfo, 0, kBufferSize);
    std::memset(m_szErrorInfo, 0, kBufferSize);
    std::memset(m_szStatusInfo, 0, kBufferSize);
    std::memset(m_szStopText, 0, kBufferSize);
}

CInletSystemStatus::CInletSystemStatus(const CInletSystemStatus& other) : CObject(other)
{
    *this = other;
}

CInletSystemStatus& CInletSystemStatus::operator=(const CInletSystemStatus& other)
{
    if (this == &other)
        return *this;
    m_nRunning = other.m_nRunning;
    m_nPostRunning = other.m_nPostRunning;
    m_nNotReady = other.m_nNotReady;
    m_nError = other.m_nError;
    copyBuffer(m_szNotReadyInfo, other.m_szNotReadyInfo);
    copyBuffer(m_szErrorInfo, other.m_szErrorInfo);
    copyBuffer(m_szStatusInfo, other.m_szStatusInfo);
    copyBuffer(m_szStopText, other.m_szStopText);
    m_fTime = other.m_fTime;
    m_nWashOn = other.m_nWashOn;
    m_nInjecting = other.m_nInjecting;
    m_fSampleTemperature = other.m_fSampleTemperature;
    m_fFlow = other.m_fFlow;
    m_fPercentA = other.m_fPercentA;
    m_fPercentB = other.m_fPercentB;
    m_fPercentC = other.m_fPercentC;
    m_fPercentD = other.m_fPercentD;
    m_fHighPressure = other.m_fHighPressure;
    m_fLowPressure = other.m_fLowPressure;
    m_nPumpOn = other.m_nPumpOn;
    m_nLamp = other.m_nLamp;
    m_nDadScan = other.m_nDadScan;
    m_nDADAcquiring = other.m_nDADAcquiring;
    m_fTemperatureLeft = other.m_fTemperatureLeft;
    m_fTemperatureRight = other.m_fTemperatureRight;
    return *this;
}

CInletSystemStatus::~CInletSystemStatus() = default;

CString CInletSystemStatus::GetNotReadyInfo() const
{
    return readText(m_szNotReadyInfo);
}
CString CInletSystemStatus::GetErrorInfo() const
{
    return readText(m_szErrorInfo);
}
CString CInletSystemStatus::GetStatusInfo() const
{
    return readText(m_szStatusInfo);
}
CString CInletSystemStatus::GetStopText() const
{
    return readText(m_szStopText);
}

void CInletSystemStatus::SetNotReadyInfo(CString& text)
{
    writeText(m_szNotReadyInfo, text);
}
void CInletSystemStatus::SetErrorInfo(CString& text)
{
    writeText(m_szErrorInfo, text);
}
void CInletSystemStatus::SetStatusInfo(CString& text)
{
    writeText(m_szStatusInfo, text);
}
void CInletSystemStatus::SetStopText(CString& text)
{
    writeText(m_szStopText, text);
}

CInletSystemStatus& CInletSystemStatus::operator|=(const CInletSystemStatus& other)
{
    m_nRunning = mergeFlag(m_nRunning, other.m_nRunning);
    m_nPostRunning = mergeFlag(m_nPostRunning, other.m_nPostRunning);
    m_nNotReady = mergeFlag(m_nNotReady, other.m_nNotReady);
    m_nError = mergeError(m_nError, other.m_nError);
    m_nWashOn = mergeFlag(m_nWashOn, other.m_nWashOn);
    m_nInjecting = mergeFlag(m_nInjecting, other.m_nInjecting);
    m_nPumpOn = mergeFlag(m_nPumpOn, other.m_nPumpOn);
    m_nLamp = mergeFlag(m_nLamp, other.m_nLamp);
    m_nDADAcquiring = mergeFlag(m_nDADAcquiring, other.m_nDADAcquiring);
    return *this;
}

int CInletSystemStatus::operator==(const CInletSystemStatus& other) const
{
    return m_nRunning == other.m_nRunning && m_nPostRunning == other.m_nPostRunning &&
           m_nNotReady == other.m_nNotReady && m_nError == other.m_nError &&
           sameText(m_szNotReadyInfo, other.m_szNotReadyInfo) &&
           sameText(m_szErrorInfo, other.m_szErrorInfo) &&
           sameText(m_szStatusInfo, other.m_szStatusInfo) &&
           sameText(m_szStopText, other.m_szStopText) && m_fTime == other.m_fTime &&
           m_nWashOn == other.m_nWashOn && m_nInjecting == other.m_nInjecting &&
           m_fSampleTemperature == other.m_fSampleTemperature && m_fFlow == other.m_fFlow &&
           m_fPercentA == other.m_fPercentA && m_fPercentB == other.m_fPercentB &&
           m_fPercentC == other.m_fPercentC && m_fPercentD == other.m_fPercentD &&
           m_fHighPressure == other.m_fHighPressure && m_fLowPressure == other.m_fLowPressure &&
           m_nPumpOn == other.m_nPumpOn && m_nLamp == other.m_nLamp &&
           m_nDadScan == other.m_nDadScan && m_nDADAcquiring == other.m_nDADAcquiring &&
           m_fTemperatureLeft == other.m_fTemperatureLeft &&
           m_fTemperatureRight == other.m_fTemperatureRight;
}

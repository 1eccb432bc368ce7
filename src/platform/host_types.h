// Types of the host framework that pass through the instrument interfaces. The library
// never looks inside them; these stand-ins let hosts and tests use them on Linux.
#pragma once

#include <string>

#include "platform/platform.h"

// An on/off argument: 0 means off, any other value on.
enum Switch { Off = 0, On = 1 };

// The kind of run the host is acquiring.
enum eRunType { SampleRun = 0, BlankRun = 1, CalibrationRun = 2 };

// The experiment record of an acquisition. Instruments append their settings as text; the
// stand-in keeps the text so that a host (or a test) can read it back.
class CGenericExpRecord {
public:
    virtual ~CGenericExpRecord() = default;
    virtual void AddText(const char* text) { m_text += text ? text : ""; }
    const std::string& Text() const { return m_text; }
    void Clear() { m_text.clear(); }

private:
    std::string m_text;
};

// The host's raw-data manager; handed to instruments that acquire data. Nothing here
// uses it.
class CInletRawDataManager {
public:
    virtual ~CInletRawDataManager() = default;
};

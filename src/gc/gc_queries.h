// The GC's status questions in one place: each is built and its reply parsed here into a
// small value type, so that the poll, the single questions and the readings never index a
// raw reply array. The method download sits below gc/ and asks its one question, the run
// state, itself (see its readRunState).
#pragma once

#include <cstdint>

#include "external/installed_hardware.h"

class CHP6890SerialComms;

namespace gc6890 {

// "GCHTRI": the run state and its times.
struct GCRunState {
    int state = 0;                  // 0 idle, 1 pre-run, 2 run active, 3 post-run, else fatal
    bool blankRun = false;          // the run is a blank run
    bool compensationData = false;  // the GC acquires column compensation data
    bool runningSequence = false;   // the GC runs a sequence
    // A time the GC writes without a decimal point arrives as an integer; read as a float
    // its bits are next to nothing, as the reply array has always given it.
    float runTimeRemaining = 0.0f;
    float postRunTimeRemaining = 0.0f;
    float elapsedTime = 0.0f;

    bool idle() const { return state == 0; }
    bool preRun() const { return state == 1; }
    bool runActive() const { return state == 2; }
    bool postRun() const { return state == 3; }
};

// "GCHTRY": the two readiness values; 1 means ready.
struct GCReadiness {
    int withAutoPrepRun = 0;     // used when the GC prepares its runs itself
    int withoutAutoPrepRun = 0;  // used when it does not

    bool ready(bool autoPrepRun) const
    {
        return (autoPrepRun ? withAutoPrepRun : withoutAutoPrepRun) == 1;
    }
};

// "GCHTST": the status words the library reads.
struct GCStatusWords {
    std::uint32_t notReady = 0;  // why the GC is not ready, in bit groups
    std::uint32_t shutdown = 0;  // shutdowns and scram, in bit groups
    std::int32_t nonFatal1 = 0;  // non-fatal error codes of sections 1 to 3
    std::int32_t nonFatal2 = 0;
    std::int32_t nonFatal3 = 0;

    bool inError() const { return shutdown != 0 || nonFatal1 || nonFatal2 || nonFatal3; }
};

// One exchange each: 1 and the parsed reply, or 0 (reply short, wrong or missing; the
// result is then untouched).
int QueryRunState(CHP6890SerialComms& channel, GCRunState& runState);
int QueryReadiness(CHP6890SerialComms& channel, GCReadiness& readiness);
int QueryStatusWords(CHP6890SerialComms& channel, GCStatusWords& words);

// "GCHTCF ?": the GC's configuration report, read into the hardware it names. 0 when the
// reply is missing or names no hardware (the result is then untouched).
int QueryInstalledHardware(CHP6890SerialComms& channel, InstalledHardware& hardware);

// The live readings, each one question.
enum class GCReading {
    ElapsedTime,
    OvenTemperature,
    Column1Pressure,
    Column1Flow,
    Column2Pressure,
    Column2Flow,
};
// 1 and the scaled value, or 0 (value untouched).
int QueryReading(CHP6890SerialComms& channel, GCReading reading, float& value);
// The comms log's line for a reading that could not be had.
const char* ReadingFailureText(GCReading reading);

}  // namespace gc6890

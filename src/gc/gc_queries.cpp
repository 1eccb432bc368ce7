#include "gc/gc_queries.h"

#include "comms/hp6890_serial_comms.h"

namespace gc6890 {

namespace {

// A question and the number of values its reply must carry.
struct Question {
    const char* command;
    int slots;
};
constexpr Question kRunState = {"GCHTRI", 9};
constexpr Question kReadiness = {"GCHTRY", 6};
constexpr Question kStatusWords = {"GCHTST", 15};

int ask(CHP6890SerialComms& channel, const Question& question, CIntFloatArray& reply)
{
    return channel.SendAndReceiveToGC(CString(question.command), reply) ? 1 : 0;
}

// One reading: its question, the slot that holds it and how to read it.
struct ReadingQuestion {
    Question question;
    int slot;
    double scale;  // applied to an integer slot; 0 for a slot that holds a float
    const char* failureText;
};

// In the order of GCReading.
constexpr ReadingQuestion kReadings[] = {
    {kRunState, 6, 0.0, "Failed to query elapsed time from GC\n"},
    {{"OVHTST", 3}, 2, 1.0, "Failed to query oven temp from GC\n"},
    {{"C1HTPI ?", 1}, 0, 0.0001, "Failed to query column 1 pressure from GC\n"},
    {{"C1HTFI ?", 1}, 0, 0.001, "Failed to query column 1 flow from GC\n"},
    {{"C2HTPI ?", 1}, 0, 0.0001, "Failed to query column 2 pressure from GC\n"},
    {{"C2HTFI ?", 1}, 0, 0.001, "Failed to query column 2 flow from GC\n"},
};

}  // namespace

int QueryRunState(CHP6890SerialComms& channel, GCRunState& runState)
{
    CIntFloatArray reply(kRunState.slots);
    if (!ask(channel, kRunState, reply))
        return 0;
    runState.state = reply.GetInt(0);
    runState.blankRun = reply.GetInt(1) != 0;
    runState.compensationData = reply.GetInt(2) != 0;
    runState.runningSequence = reply.GetInt(3) != 0;
    runState.runTimeRemaining = reply.GetFloat(4);
    runState.postRunTimeRemaining = reply.GetFloat(5);
    runState.elapsedTime = reply.GetFloat(6);
    return 1;
}

int QueryInstalledHardware(CHP6890SerialComms& channel, InstalledHardware& hardware)
{
    CString reply;
    if (!channel.SendAndReceiveToGC(CString("GCHTCF ?"), reply) || reply.Left(6) != "HTGCCF")
        return 0;
    return readHardwareDescription(reply.Mid(7).str(), hardware) ? 1 : 0;
}

int QueryReadiness(CHP6890SerialComms& channel, GCReadiness& readiness)
{
    CIntFloatArray reply(kReadiness.slots);
    if (!ask(channel, kReadiness, reply))
        return 0;
    readiness.withAutoPrepRun = reply.GetInt(1);
    readiness.withoutAutoPrepRun = reply.GetInt(3);
    return 1;
}

int QueryStatusWords(CHP6890SerialComms& channel, GCStatusWords& words)
{
    CIntFloatArray reply(kStatusWords.slots);
    if (!ask(channel, kStatusWords, reply))
        return 0;
    words.notReady = static_cast<std::uint32_t>(reply.GetInt(0));
    words.shutdown = static_cast<std::uint32_t>(reply.GetInt(8));
    words.nonFatal1 = reply.GetInt(10);
    words.nonFatal2 = reply.GetInt(11);
    words.nonFatal3 = reply.GetInt(12);
    return 1;
}

int QueryReading(CHP6890SerialComms& channel, GCReading reading, float& value)
{
    const ReadingQuestion& read = kReadings[static_cast<int>(reading)];
    CIntFloatArray reply(read.question.slots);
    if (!ask(channel, read.question, reply))
        return 0;
    value = read.scale == 0.0 ? reply.GetFloat(read.slot)
                              : static_cast<float>(reply.GetInt(read.slot) * read.scale);
    return 1;
}

const char* ReadingFailureText(GCReading reading)
{
    return kReadings[static_cast<int>(reading)].failureText;
}

}  // namespace gc6890

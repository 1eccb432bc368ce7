#include "service/sequence_start.h"

#include "service/instrument_thread.h"
#include "service/sequence_control.h"

namespace gc6890 {

bool checkStoredSequence(const std::string& content, const std::string& file,
                         const MethodStore& methods, Sequence& sequence, SequenceFileError& error)
{
    if (!parseSequence(content, file, sequence, error))
        return false;
    // Methods are the service's stored names, each present now.
    for (std::size_t r = 0; r < sequence.rows.size(); ++r) {
        const SequenceRow& row = sequence.rows[r];
        std::string why;
        const std::string name = plainMethodName(row.method, why);
        if (!name.empty() && !methods.read(name))
            why = "no method " + name + " in " + methods.folder();
        if (!why.empty()) {
            error = rowMethodError(file, row, r + 1, why);
            return false;
        }
    }
    return true;
}

SequenceStart startSequence(InstrumentThread& instrument, const ServiceState& state,
                            const std::string& file, const std::string& content,
                            const Sequence& sequence, const std::string& commandExecution)
{
    SequenceStart out;
    out.started = instrument.sequences().start(file, content, sequence, state.jobs.inRun(), out.id,
                                               out.conflict, out.error, commandExecution);
    return out;
}

}  // namespace gc6890

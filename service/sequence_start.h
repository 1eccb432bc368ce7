// A sequence file started the same way whichever door it came through (HTTP, SiLA 2): the
// file read, every row's method stored now, then the start as a task on the instrument
// thread, under the one-sequence, one-job and no-run rules (each door runs that task its
// own way).
#pragma once

#include <string>

#include "sequence/sequence_file.h"
#include "service/method_store.h"
#include "service/service_state.h"

namespace gc6890 {

class InstrumentThread;

// False with `error` (its file, line and key) when `content` is no sequence or a row names
// a method the store lacks.
bool checkStoredSequence(const std::string& content, const std::string& file,
                         const MethodStore& methods, Sequence& sequence, SequenceFileError& error);

struct SequenceStart {
    bool started = false;
    std::string id;        // the sequence's id, when started
    std::string conflict;  // what holds the instrument, when refused for that
    std::string error;     // why the journal could not be made, otherwise
};

// On the instrument thread (in a task): starts a checked sequence. `commandExecution` is the
// SiLA 2 execution starting it ("" for another door), journalled with it.
SequenceStart startSequence(InstrumentThread& instrument, const ServiceState& state,
                            const std::string& file, const std::string& content,
                            const Sequence& sequence, const std::string& commandExecution);

}  // namespace gc6890

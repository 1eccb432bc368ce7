// What "gc6890 status --watch" prints, on the line or through a service: a terminal gets
// the status block rewritten in place, anything else a line (or with --json an object) per
// change.
#pragma once

#include <string>

#include "station/instrument_status.h"

namespace gc6890::cli {

class StatusWatchOutput {
public:
    explicit StatusWatchOutput(bool asJson);
    // Shows the status when it differs from the last one shown.
    void show(const InstrumentStatus& status);

private:
    bool json_;
    bool terminal_;
    std::string last_;
    int shownLines_ = 0;
};

}  // namespace gc6890::cli

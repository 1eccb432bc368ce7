#include "status_watch.h"

#include <algorithm>
#include <iostream>
#include <unistd.h>

#include "station/status_format.h"

namespace gc6890::cli {

StatusWatchOutput::StatusWatchOutput(bool asJson)
    : json_(asJson), terminal_(isatty(STDOUT_FILENO) && !asJson)
{}

void StatusWatchOutput::show(const InstrumentStatus& status)
{
    const std::string now = json_       ? statusJson(status)
                            : terminal_ ? statusText(status)
                                        : statusLine(status);
    if (now == last_)
        return;
    if (terminal_ && shownLines_ > 0)
        std::cout << "\x1b[" << shownLines_ << "A\x1b[J";
    std::cout << now << (terminal_ ? "" : "\n") << std::flush;
    shownLines_ = static_cast<int>(std::count(now.begin(), now.end(), '\n'));
    last_ = now;
}

}  // namespace gc6890::cli

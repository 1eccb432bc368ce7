#include "instrument_failure.h"

#include <algorithm>
#include <csignal>
#include <cstring>

#include "comms/line_failure.h"
#include "comms_log_path.h"
#include "console.h"
#include "external/port_interrupt.h"
#include "port_choice.h"

namespace gc6890::cli {

namespace {

std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool mentions(const std::string& text, const char* reason)
{
    return text.find(reason) != std::string::npos;
}

// The usual remedy for each way a line fails.
std::string remedy(const LineFailure& failure)
{
    switch (failure.kind) {
    case LineFailureKind::CannotOpen:
        if (mentions(failure.text, std::strerror(EACCES)))
            return "join the dialout group (sudo usermod -aG dialout $USER, then log in again)";
        if (mentions(failure.text, "in use by another program"))
            return "end the other program, or wait for it";
        if (mentions(failure.text, std::strerror(ENOENT)))
            return "check the device name and the cable (gc6890 ports lists the devices)";
        return "choose a serial device (gc6890 ports lists them)";
    case LineFailureKind::NoAnswer:
    case LineFailureKind::HungUp:
        return "check that the GC is on and the cable is in";
    case LineFailureKind::WrongAnswer:
        return "check that the port leads to the GC and that BaudRate and Parity match the "
               "GC's (gc6890 config show)";
    case LineFailureKind::None:
    case LineFailureKind::Interrupted:
        break;
    }
    return {};
}

}  // namespace

CommandFailure interruptedFailure(const std::string& what)
{
    const int signal = PortInterruptSignal();
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
    return CommandFailure(static_cast<ExitCode>(kExitSignalBase + signal),
                          std::string("interrupted by ") + name + ": " + what);
}

CommandFailure instrumentFailure(const std::string& what, const char* side)
{
    if (PortInterruptSignal() != 0)
        return interruptedFailure((what.empty() ? std::string("start-up") : what) +
                                  " did not finish");
    const std::string log = " (comms log: " + commsLogPath() + ")";
    const LineFailure& failure = FirstLineFailure();
    const std::string prefix = what.empty() ? std::string() : what + ": ";
    if (failure.kind == LineFailureKind::None) {
        std::string message = what.empty() ? std::string("the ") + side + " did not start" : what;
        if (!lastMessageBox().empty())
            message += ": " + oneLine(lastMessageBox());
        return CommandFailure(kExitFailed, message + log);
    }
    if (failure.kind == LineFailureKind::WrongAnswer)
        return CommandFailure(kExitFailed, prefix + "the instrument answered wrongly: " +
                                               failure.text + "; " + remedy(failure) + log);
    return CommandFailure(kExitNoComms, prefix + "no communication with the " + side + " on " +
                                            chosenDevice() + ": " + failure.text + "; " +
                                            remedy(failure) + log);
}

}  // namespace gc6890::cli

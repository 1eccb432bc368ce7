// The serial devices present and what stands in the way of each: what "gc6890 ports" lists
// and "gc6890 doctor" diagnoses.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace gc6890::cli {

struct SerialDevice {
    std::string path;    // /dev/serial/by-id/... or /dev/ttyUSB0
    std::string target;  // the device a by-id name leads to ("" for a plain device)
};

// By-id names first (they survive re-plugging, unlike ttyUSB numbers), then the other
// serial devices that are not among their targets.
std::vector<SerialDevice> serialDevices();

// A program that has the device open.
struct DeviceHolder {
    pid_t pid = 0;
    std::string commandLine;  // its arguments joined by blanks
    bool isService() const;   // a running "gc6890 serve"
};

// What is wrong with the device for this user, with what to do ("" when nothing is):
// missing, no permission (the dialout remedy), or held by another program (named, and for
// a running gc6890 serve the way to go through it). Opens nothing that stays open: the
// held test takes and drops the device's lock.
std::string deviceProblem(const std::string& path);

}  // namespace gc6890::cli

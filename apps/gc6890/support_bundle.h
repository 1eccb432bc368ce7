// The support bundle of gc6890 doctor --bundle: what a developer needs to understand a
// session on someone else's instrument and to replay it (gc6890-sim --replay), in one
// .tar.gz: the doctor's report, the capture, the comms log as it is, the hardware profile,
// the settings with every secret masked, and the versions of the program, the library and
// the GC's firmware.
#pragma once

#include <string>

namespace gc6890::cli {

struct BundleParts {
    std::string report;           // what the doctor printed
    std::string capturePath;      // the session's capture.jsonl
    std::string hardwareProfile;  // the GC's hardware as a profile; "" when it gave none
    std::string firmware;         // the GC's firmware text; "" when it gave none
};

// Writes `file` (a gzip-compressed tar archive holding the folder gc6890-doctor/); throws
// CommandFailure when it cannot.
void writeSupportBundle(const std::string& file, const BundleParts& parts);

}  // namespace gc6890::cli

// One service per home. A home holds one instrument's audit trail, sequence journals,
// methods, results, comms log and SiLA 2 identity: two services on one home would share
// them without knowing (a restart of one would take over the other's sequence and inject on
// its own instrument). The claim is an exclusive flock on HOME/serve.lock, held for the
// life of the process; the kernel lets go of it however the process ends, so a killed
// service leaves no claim behind. `lab serve` holds none of these and claims nothing.
#pragma once

#include <string>

namespace gc6890 {

class HomeClaim {
public:
    HomeClaim() = default;
    ~HomeClaim();
    HomeClaim(const HomeClaim&) = delete;
    HomeClaim& operator=(const HomeClaim&) = delete;

    // Claims `home` (made when missing). False with `error` saying why: another service's
    // claim (naming its process id), or the lock file that cannot be made.
    bool claim(const std::string& home, std::string& error);

private:
    int fd_ = -1;
};

}  // namespace gc6890

// What every server program of ours does around its serving: SIGTERM and SIGINT caught
// and awaited, the descriptor limit raised, and the URL it listens on told.
#pragma once

#include <string>

namespace gc6890 {

// SIGTERM and SIGINT only wake the main thread (awaitSignal) through a pipe; the threads
// doing the work are asked to end in order from there. SIGPIPE is ignored. False when the
// pipe cannot be made.
bool catchSignals();
void awaitSignal();

// Each connection waiting for its request holds a descriptor: the soft limit is raised to
// the hard one.
void raiseDescriptorLimit();

// The address as --listen gave it, with the port bound: "http://0.0.0.0:6890/" for every
// address.
std::string urlOf(const std::string& scheme, const std::string& listen, int port);
// Whether --listen names every address of the machine (0.0.0.0, ::).
bool everyAddress(const std::string& listen);
// Where others reach the server: `url`, with the machine's name for every address.
std::string publicUrlOf(const std::string& url, const std::string& listen);

}  // namespace gc6890

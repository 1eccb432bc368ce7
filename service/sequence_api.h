// The sequence routes of the HTTP API: POST /api/v1/sequences (the file), GET
// /api/v1/sequences and /api/v1/sequences/{id}, POST .../{id}/pause|resume|abort. The
// state is read from the board or the journal; every change is a task on the instrument
// thread.
#pragma once

namespace httplib {
class Server;
}

namespace gc6890 {

class InstrumentThread;
class MethodStore;
struct ServiceState;

void addSequenceRoutes(httplib::Server& server, ServiceState& state, InstrumentThread& instrument,
                       const MethodStore& methods);

}  // namespace gc6890

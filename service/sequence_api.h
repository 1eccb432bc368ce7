// The sequence routes of the HTTP API: POST /api/v1/sequences (the file), GET
// /api/v1/sequences and /api/v1/sequences/{id}, POST .../{id}/pause|resume|abort. The
// state is read from the board or the journal; every change is a task on the instrument
// thread.
#pragma once

namespace gc6890 {

class InstrumentThread;
class MethodStore;
class RouteTable;
struct ServiceState;

void addSequenceRoutes(RouteTable& routes, ServiceState& state, InstrumentThread& instrument,
                       const MethodStore& methods);

}  // namespace gc6890

// Waking the serial port's waits early. A host that must stop (a signal, a shutdown asked
// for by another thread) interrupts every wait of every port at once instead of letting a
// silent line hold it for the whole time-out. An interrupted wait ends as a time-out does
// (nothing read), and the serial port library counts the line as gone meanwhile, so the
// operation in progress fails at once and its failure path runs as usual: the port is
// closed, the lock-out freed, the comms log written.
#pragma once

namespace gc6890 {

// Wakes every port wait now; later waits end at once until ClearPortInterrupt(). Safe to
// call from a signal handler and from any thread.
void InterruptPortWaits();
// Ends the interrupt, for a host that goes on after one.
void ClearPortInterrupt();
bool PortWaitsInterrupted();
// The descriptor each port wait polls besides its device: readable while interrupted.
int PortInterruptFd();

// Makes SIGINT and SIGTERM interrupt the port waits (and record the signal) instead of
// ending the process where it stands; the host then unwinds normally and exits with
// 128 + PortInterruptSignal(), as shells expect.
void InterruptPortWaitsOnSignals();
// The signal that interrupted the waits; 0 when none did.
int PortInterruptSignal();

}  // namespace gc6890

// The shared channel's registry: one channel for every window that asks, the failure
// broadcast that rebuilds it, and the process-wide lock-out that keeps whole exchanges of
// the GC and sampler objects from interleaving.
#pragma once

#include "platform/platform.h"

class CHP6890SerialComms;

// The current channel (created for the first window), or null when window is no window.
CHP6890SerialComms* GetSerialComms(HWND window);
// 1 when window was registered (its first registration is removed); the last release
// deletes the channel.
int ReleaseSerialComms(HWND window);
// Asks every window to let go of the channel, rebuilds it and hands it out again; while
// the channel is busy the rebuild is retried every 100 ms.
void NotifySerialCommsError();
int IsValidCommsObject(CHP6890SerialComms* channel);

int LockOut();
int LockedOut();
int FreeLock();

namespace gc6890 {
// True while a rebuild retry is pending (for tests and the host's status display).
bool CommsRebuildPending();
// Bounds all the line waits of one channel rebuild (the start-up exchanges of every side
// that the restore runs) to `milliseconds` together; 0, the default, leaves each exchange
// its own time-out. For a one-shot host, which reports the failure and ends, so that a
// silent line costs it one time-out for the rebuild rather than one per exchange.
void SetChannelRebuildLimit(int milliseconds);
}  // namespace gc6890

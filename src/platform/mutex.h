// CMutex: a named mutex between processes. Its lock file, named after the mutex in a
// per-user runtime folder ($XDG_RUNTIME_DIR, else a private 0700 folder /tmp/gc6890-<uid>),
// holds a process-shared robust mutex that every user of the name maps: taking a free
// mutex costs no system call, and when a holder dies the next taker is told and takes it
// over, so a killed process never keeps others out.
//
// As with the system's mutexes, the owner may lock again (each Lock needs its Unlock); all
// CMutex objects of one name in a process share one ownership, since the process has one
// thread. Waits use the real clock, never the test clock: they wait for other processes.
// An unnamed mutex is local to the process and always free to its one thread.
#pragma once

#include <memory>
#include <string>

#include "platform/cobject.h"
#include "platform/types.h"

class CSyncObject : public CObject {
public:
    virtual BOOL Lock(DWORD timeout = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

class CMutex : public CSyncObject {
public:
    // With `initiallyOwned`, tries once to take the mutex (left to us: the system only
    // grants initial ownership when the mutex is new, which a shared lock file cannot tell; one try
    // comes closest). The security attributes are not used.
    explicit CMutex(BOOL initiallyOwned = FALSE, LPCTSTR name = nullptr, void* security = nullptr);
    // Gives up whatever this object still holds.
    ~CMutex() override;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    // TRUE once owned. A finite time-out is kept to; INFINITE waits until the holder lets go
    // or dies. FALSE on time-out or when the lock file cannot be opened.
    BOOL Lock(DWORD timeout = INFINITE) override;
    // FALSE when this object does not own the mutex.
    BOOL Unlock() override;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;  // per name, per process
    int m_owned = 0;                   // this object's Lock calls not yet unlocked
};

// Locks for a scope: unlocks in the destructor what it locked.
class CSingleLock {
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD timeout = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_locked; }

private:
    CSyncObject* m_object;
    BOOL m_locked = FALSE;
};

namespace gc6890 {

// The lock file of a named mutex: the runtime folder, then "gc6890-mutex-", the name with
// every character other than letters, digits, '.', '-' and '_' made '_', and a hash of the
// exact name (so "a b" and "a_b" stay apart). Empty when no private folder can be had.
std::string mutexLockPath(const std::string& name);

}  // namespace gc6890

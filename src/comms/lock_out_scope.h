// The lock-out held for one operation. Taken on construction; every exit of the operation
// is one call: commit() after success, fail() after a failure (the unlock-reset first,
// then the lock-out freed), and the destructor fails an operation that left without
// either, so the clean-up order is the same at every exit.
#pragma once

namespace gc6890 {

class LockOutScope {
public:
    // Told before the lock-out is freed after a failure (the GC tells its registered
    // outside program); context is handed back unchanged. No reset: pass nullptr.
    using UnlockReset = void (*)(void* context);

    explicit LockOutScope(UnlockReset reset = nullptr, void* context = nullptr);
    ~LockOutScope();
    LockOutScope(const LockOutScope&) = delete;
    LockOutScope& operator=(const LockOutScope&) = delete;

    // False when another operation held the lock-out: the operation must not talk.
    bool held() const { return held_; }
    // Success: frees the lock-out without the unlock-reset. 1 when it was freed, 0 when it
    // was not held (or someone else freed it meanwhile).
    int commit();
    // Failure: the unlock-reset (if any), then the lock-out freed. Always 0, so that an
    // exit reads `return scope.fail();`.
    int fail();
    // The lock-out stays held after the scope ends: whoever takes over the wait (the
    // sampler's injection timer) frees it with FreeLock().
    void handOver();

private:
    UnlockReset reset_;
    void* context_;
    bool held_;
};

}  // namespace gc6890

// The sampler's reduced status and the instrument variant it runs on.
#pragma once

// What one "01HTSTATUS" answer comes to.
enum tag_ALS_STATUS {
    ALS_READY = 0,      // idle and ready
    ALS_BUSY = 1,       // a run in progress, not injecting
    ALS_INJECTING = 2,  // injecting
    ALS_POST_RUN = 3,   // post-run phase
    ALS_ERROR = 4,      // no usable answer: no channel, lock-out taken, broken exchange, other code
};

// The instrument variant, learned from the GC's firmware text: a "REV N" instrument's
// sampler has one more injection-volume step.
enum tag_HP6890_TYPE { HP6890_STANDARD = 0, HP6890_REV_N = 1 };

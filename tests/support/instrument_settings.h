// What the tests against gc6890-sim set up alike: the port settings, a slower build's
// extra time, and a stored method the sampler can inject with.
#pragma once

#include <string>

namespace gc6890::test {

// The extra time that $GC6890_TEST_TIME_SLACK_MS grants a slowed-down build
// (./go test --sanitize sets it).
int timeSlackMs();

// A configured port that the defaults do not replace: this device, this read time-out, and
// the comms log's threshold (2 logs the whole line traffic).
void usePort(const std::string& device, int timeoutMs, int logLevel = 1);

// A method file at `path`: a split/splitless front inlet, the front injector from vial 3,
// an oven that holds for `ovenMinutes`. False when it cannot be written.
bool writeInjectionMethod(const std::string& path, float ovenMinutes = 0.5f);

}  // namespace gc6890::test

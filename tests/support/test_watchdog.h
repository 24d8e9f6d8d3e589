#pragma once

// Every test binary ends with a failure naming the test when a test runs for two minutes: a
// fault that makes a test hang fails it instead (test_watchdog.cpp). A test that waits on a
// lock, a thread or a child that a correct program releases at once sets a shorter limit.

#include <chrono>

namespace testsupport {

// From now on the running test may take at most Limit more.
void LimitThisTest(std::chrono::seconds Limit);

}  // namespace testsupport

// Skips for the Windows build of the tests, each naming why. The tests pin Windows'
// behaviour; under Wine a second implementation answers, and where it is known to
// differ the test says so and skips rather than passing silently.
#pragma once

#include <gtest/gtest.h>

#include <winport/platform_info.h>
#include <winport/test_clock.h>

#define SKIP_ON_WINE(difference) \
  if (::winport::RunningOnWine()) GTEST_SKIP() << "Wine differs from Windows: " << (difference)

// Fault injection makes winport's own functions fail; the system's cannot be told to.
#define SKIP_UNLESS_FAULTS_REACH_PLATFORM() \
  if (!::winport::FaultsReachPlatform())    \
  GTEST_SKIP() << "fault injection reaches only winport's own platform functions"

// The test clock fixes winport's own time functions; the system's read the real clock.
#define SKIP_UNLESS_TEST_CLOCK_REACHES_PLATFORM() \
  if (!::winport::test_clock::ReachesPlatform())  \
  GTEST_SKIP() << "the test clock reaches only winport's own time functions"

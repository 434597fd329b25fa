#pragma once
// Tests that need something from Debian's archive beside the build (the ffmpeg program, a
// General MIDI SoundFont, the openttd-openmsx songs) skip without it on a developer's
// machine. Under continuous integration (CI=true) the same absence fails the test: there
// ./bootstrap has installed everything, and a skip would hide that it no longer does.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

namespace orvane::testing {

inline bool underContinuousIntegration() {
    const char* value = std::getenv("CI");
    return value != nullptr && std::string_view(value) == "true";
}

}  // namespace orvane::testing

// Returns from the test (skipped, or failed under CI) when `available` is false.
#define ORVANE_REQUIRE_PEER(available, what)                                                          \
    if (!(available)) {                                                                               \
        if (::orvane::testing::underContinuousIntegration()) GTEST_FAIL() << what << " (CI=true)";    \
        GTEST_SKIP() << what;                                                                         \
    }

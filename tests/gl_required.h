#pragma once
// What a test does when no OpenGL context can be made: skip on a machine
// without GL, but fail where GL is required (QUORVANE_REQUIRE_GL set to
// anything but 0, as ./test and CI set it), so that a broken driver cannot
// pass the pixel tests by not running them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace q::test {

inline bool glRequired() {
    const char* value = std::getenv("QUORVANE_REQUIRE_GL");
    return value && *value && std::string(value) != "0";
}

}  // namespace q::test

// Ends the test (from its body or SetUp) that found no GL context, `why`
// saying what the driver answered.
#define QUORVANE_NO_GL_CONTEXT(why)                                                       \
    do {                                                                                  \
        if (::q::test::glRequired())                                                      \
            GTEST_FAIL() << "no OpenGL context on EGL, and QUORVANE_REQUIRE_GL is set: " \
                         << (why);                                                        \
        else                                                                              \
            GTEST_SKIP() << "no OpenGL context on EGL: " << (why);                       \
    } while (0)

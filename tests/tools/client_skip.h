// Tests that run a real client (Node packages, Blender, Chromium): when the
// client is missing they are skipped with the reason and the install
// command, except under CI (CI=true), where a missing client fails the run.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

inline bool underCi()
{
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

// missing: empty when the client is there, else why it cannot run.
#define TOLVAN_NEED_CLIENT(missing, install)                                                \
    do {                                                                                    \
        const std::string why_ = (missing);                                                 \
        if (!why_.empty()) {                                                                \
            if (underCi())                                                                  \
                FAIL() << why_ << "; install with: " << (install);                          \
            GTEST_SKIP() << why_ << "; install with: " << (install);                        \
        }                                                                                   \
    } while (0)

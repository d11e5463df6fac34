// <regex> for the tests. GCC 12 reports a false maybe-uninitialized inside
// <regex> in the sanitizer build; the warning is silenced for it alone.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <regex>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

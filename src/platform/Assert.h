#pragma once

// Programming checks. A failed check stops the program with
//   Assertion failed: <expression>, file <source path>, line <number>
// on stderr; only a programming error can reach one. Unlike assert(), the check stays in
// release builds: the conditions guarded are cheap and a silent continue would be worse.

namespace platform {

[[noreturn]] void AssertionFailed(const char* expression, const char* file, int line) noexcept;

// The source path as the message shows it: relative to the source tree, without extension.
// Exposed for tests.
const char* AssertionSourcePath(const char* file, char* buffer, unsigned size) noexcept;

} // namespace platform

#define TOLV_ASSERT(expr) \
    ((expr) ? static_cast<void>(0) : ::platform::AssertionFailed(#expr, __FILE__, __LINE__))

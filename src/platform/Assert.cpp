#include "platform/Assert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

const char* AssertionSourcePath(const char* file, char* buffer, unsigned size) noexcept
{
    if (size == 0)
        return "";
    // __FILE__ is already relative to the source tree (-fmacro-prefix-map); drop a leading
    // "./" and the extension.
    if (std::strncmp(file, "./", 2) == 0)
        file += 2;
    std::size_t length = std::strlen(file);
    const char* slash = std::strrchr(file, '/');
    const char* dot = std::strrchr(file, '.');
    if (dot && (!slash || dot > slash))
        length = static_cast<std::size_t>(dot - file);
    if (length >= size)
        length = size - 1;
    std::memcpy(buffer, file, length);
    buffer[length] = '\0';
    return buffer;
}

void AssertionFailed(const char* expression, const char* file, int line) noexcept
{
    char path[512];
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression,
                 AssertionSourcePath(file, path, sizeof path), line);
    std::fflush(stderr);
    std::abort();
}

} // namespace platform

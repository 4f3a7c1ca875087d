#include "base/BoundedText.h"

#include <cstdio>
#include <cstring>

bool FormatBoundedV(char* buffer, size_t size, const char* format, va_list args)
{
    if (buffer == nullptr || size == 0) return false;
    if (format == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    // The analyzer takes a va_list parameter for an uninitialised one.
    const int n = std::vsnprintf(buffer, size, format, args); // NOLINT(clang-analyzer-valist.Uninitialized)
    if (n < 0) {
        buffer[0] = '\0';
        return false;
    }
    return static_cast<size_t>(n) < size;
}

bool FormatBounded(char* buffer, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const bool ok = FormatBoundedV(buffer, size, format, args);
    va_end(args);
    return ok;
}

bool CopyBounded(char* buffer, size_t size, const char* src)
{
    if (buffer == nullptr || size == 0) return false;
    if (src == nullptr) src = "";
    const size_t len = std::strlen(src);
    const size_t n = len < size ? len : size - 1;
    // src may lie inside buffer (a text shortened in place).
    std::memmove(buffer, src, n);
    buffer[n] = '\0';
    return n == len;
}

// Bounded text formatting. Every formatted text of the program goes through
// here; nothing ever formats into a buffer without its size.
#pragma once

#include <cstdarg>
#include <cstddef>

// Texts shown or logged by the program are at most this long (plus NUL).
constexpr int kTextMax = 255;

// snprintf semantics: always NUL-terminates when size > 0, truncates.
// Returns true when the whole text fitted.
bool FormatBounded(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
bool FormatBoundedV(char* buffer, size_t size, const char* format, va_list args);

// Copies src into buffer[size], truncating; always NUL-terminates when size > 0.
bool CopyBounded(char* buffer, size_t size, const char* src);

// Bounded text formatting. Every formatted text of the program goes through
// here; nothing ever formats into a buffer without its size.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// Texts shown or logged by the program are at most this long (plus NUL).
constexpr int kTextMax = 255;

// snprintf semantics: always NUL-terminates when size > 0, truncates.
// Returns true when the whole text fitted.
// MinGW formats with its own C99 printf (%zu, %lld), while a plain "printf"
// check there means the Microsoft rules; check against what actually runs.
#if defined(__MINGW_PRINTF_FORMAT)
#define TP_PRINTF_CHECK(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#elif defined(__GNUC__)
#define TP_PRINTF_CHECK(f, a) __attribute__((format(printf, f, a)))
#else
#define TP_PRINTF_CHECK(f, a)
#endif

bool FormatBounded(char* buffer, size_t size, const char* format, ...) TP_PRINTF_CHECK(3, 4);
bool FormatBoundedV(char* buffer, size_t size, const char* format, va_list args);

// Copies src into buffer[size], truncating; always NUL-terminates when size > 0.
bool CopyBounded(char* buffer, size_t size, const char* src);

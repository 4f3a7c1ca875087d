// The arithmetic and texts of the Controller page: slider ranges, where a
// value lands on its slider, the number beside it and the status line.
// Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/IdentRecord.h"

struct SliderRange {
    int32_t minimum;
    int32_t maximum;
};

// A trackbar takes its range as two 16-bit words. Stored limits that are
// inverted or do not fit 0..65535 (a damaged registry) give way to the
// model's own limits.
SliderRange SliderRangeFor(int32_t storedMin, int32_t storedMax, int32_t modelMin, int32_t modelMax);

// The position a value takes on a slider with that range: the nearer bound
// for a value outside it. Compared as unsigned, as the device holds them, so
// a negative value lands on the maximum.
int32_t SnapToSlider(int32_t value, SliderRange range);

// The number shown beside a slider ("%i").
void FormatSliderLabel(int32_t value, char* buffer, size_t size);

// The status line from the message table's format (three integer
// conversions: hardware id, major and two-digit minor version). A format
// that is not of that shape is not used; the built-in one takes its place.
void FormatCtrlInfo(const char* format, const IdentRecord& ident, char* buffer, size_t size);

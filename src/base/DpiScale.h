// Sizes at a display's DPI: what is laid out for 96 DPI (100 %) becomes as
// many physical pixels as the same size takes at the window's DPI.
#pragma once

#include <cstdint>

// The DPI at which every size of the program is given (100 %).
constexpr uint32_t kBaseDpi = 96;

// A reported DPI, or 96 where it cannot be real: nothing from 24 (25 %) to
// 1920 (2000 %) is refused, an absent value (0) or garbage is.
uint32_t UsableDpi(uint32_t dpi);

// value, given at `from` DPI, at `to` DPI: rounded to the nearest pixel,
// halves away from zero, as MulDiv does. Either DPI unusable counts as 96,
// so that a size never collapses or explodes on a bad report.
int RescaleForDpi(int value, uint32_t from, uint32_t to);

// value, given at 96 DPI, at dpi.
inline int ScaleForDpi(int value, uint32_t dpi)
{
    return RescaleForDpi(value, kBaseDpi, dpi);
}

struct DpiRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A rectangle at `from` DPI, at `to` DPI. The edges are scaled, not the
// corner and the size, so that controls that touch at one DPI touch at
// every other.
DpiRect RescaleRectForDpi(const DpiRect& rect, uint32_t from, uint32_t to);

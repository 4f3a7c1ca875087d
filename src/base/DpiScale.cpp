#include "base/DpiScale.h"

#include <climits>

namespace {

constexpr uint32_t kLowestDpi = 24;
constexpr uint32_t kHighestDpi = 1920;

} // namespace

uint32_t UsableDpi(uint32_t dpi)
{
    return dpi >= kLowestDpi && dpi <= kHighestDpi ? dpi : kBaseDpi;
}

int RescaleForDpi(int value, uint32_t from, uint32_t to)
{
    const int64_t f = UsableDpi(from);
    const int64_t t = UsableDpi(to);
    if (f == t) return value;
    const int64_t product = static_cast<int64_t>(value) * t;
    const int64_t rounded = product >= 0 ? (product + f / 2) / f : -((-product + f / 2) / f);
    if (rounded > INT_MAX) return INT_MAX;
    if (rounded < INT_MIN) return INT_MIN;
    return static_cast<int>(rounded);
}

DpiRect RescaleRectForDpi(const DpiRect& rect, uint32_t from, uint32_t to)
{
    return {RescaleForDpi(rect.left, from, to), RescaleForDpi(rect.top, from, to),
            RescaleForDpi(rect.right, from, to), RescaleForDpi(rect.bottom, from, to)};
}

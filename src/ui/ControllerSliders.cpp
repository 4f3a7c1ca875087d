#include "ui/ControllerSliders.h"

#include <cstdio>

#include "base/BoundedText.h"

namespace {

constexpr int32_t kSliderLimit = 0xFFFF;

bool FitsSlider(int32_t minimum, int32_t maximum)
{
    return minimum >= 0 && maximum <= kSliderLimit && minimum <= maximum;
}

// True when format holds exactly three conversions %i or %d (flags and width
// allowed) and no other conversion but "%%".
bool IsCtrlInfoFormat(const char* format)
{
    if (format == nullptr) return false;
    int conversions = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p == '0' || *p == '-' || *p == ' ' || *p == '+')
            ++p;
        while (*p >= '0' && *p <= '9')
            ++p;
        if (*p != 'i' && *p != 'd') return false;
        ++conversions;
    }
    return conversions == 3;
}

} // namespace

SliderRange SliderRangeFor(int32_t storedMin, int32_t storedMax, int32_t modelMin, int32_t modelMax)
{
    if (FitsSlider(storedMin, storedMax)) return {storedMin, storedMax};
    if (FitsSlider(modelMin, modelMax)) return {modelMin, modelMax};
    return {0, 0};
}

int32_t SnapToSlider(int32_t value, SliderRange range)
{
    const auto v = static_cast<uint32_t>(value);
    if (v > static_cast<uint32_t>(range.maximum)) return range.maximum;
    if (v < static_cast<uint32_t>(range.minimum)) return range.minimum;
    return value;
}

void FormatSliderLabel(int32_t value, char* buffer, size_t size)
{
    FormatBounded(buffer, size, "%i", static_cast<int>(value));
}

void FormatCtrlInfo(const char* format, const IdentRecord& ident, char* buffer, size_t size)
{
    if (buffer == nullptr || size == 0) return;
    const int hwId = ident.HwId;
    const int major = ident.MajorSwVer;
    const int minor = ident.MinorSwVer;
    if (!IsCtrlInfoFormat(format)) {
        FormatBounded(buffer, size, "Controller info: HW Id: %i - SW Ver: %i.%02i", hwId, major, minor);
        return;
    }
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    // The format comes from the program's own message table and was checked
    // above to take exactly three ints.
    std::snprintf(buffer, size, format, hwId, major, minor);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

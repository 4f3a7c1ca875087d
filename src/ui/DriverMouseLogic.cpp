#include "ui/DriverMouseLogic.h"

const char* const kRotateItems[kDriverComboItems] = {"0", "90", "180", "270"};
const char* const kTouchModeItems[kDriverComboItems] = {"Continuous", "Down", "Down up", "Up"};

int ComboIndexForValue(int32_t value)
{
    return value >= 0 && value < kDriverComboItems ? static_cast<int>(value) : -1;
}

int32_t ValueFromComboIndex(intptr_t selection, int32_t current)
{
    return selection >= 0 && selection < kDriverComboItems ? static_cast<int32_t>(selection) : current;
}

SliderRange CheckedSliderRange(int32_t min, int32_t max, SliderRange fallback)
{
    if (min < 0 || max > 0xFFFF || min > max) return fallback;
    return {min, max};
}

int32_t ClampToRange(int32_t value, SliderRange range)
{
    if (value < range.min) return range.min;
    if (value > range.max) return range.max;
    return value;
}

int32_t SnapToStep(uint32_t p, uint32_t step, SliderRange range)
{
    if (step == 0) return ClampToRange(p > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(p), range);
    // 64-bit so that a position near the top cannot wrap to a small value.
    const uint64_t snapped = (static_cast<uint64_t>(p) + step / 2) / step * step;
    if (snapped > static_cast<uint64_t>(range.max)) return range.max;
    return ClampToRange(static_cast<int32_t>(snapped), range);
}

int32_t SystemDoubleClickSize(int32_t size, int32_t min, int32_t max)
{
    return ClampToRange(size, CheckedSliderRange(min, max, kDoubleClickSizeLimits));
}

int32_t SystemDoubleClickTime(int32_t time, int32_t min, int32_t max)
{
    return ClampToRange(time, CheckedSliderRange(min, max, kDoubleClickTimeLimits));
}

const char* ButtonLetter(int32_t index)
{
    static const char* const kLetters[] = {"L", "M", "R"};
    if (index < 0 || index >= static_cast<int32_t>(sizeof kLetters / sizeof kLetters[0])) return "?";
    return kLetters[index];
}

const char* MouseButtonWindowLetter(int32_t mouseButton, int32_t assignedButton, int32_t armed)
{
    if (armed == 1) return ButtonLetter(assignedButton);
    // Subtract in 64 bits: a registry value near INT32_MIN must not wrap.
    const int64_t index = static_cast<int64_t>(mouseButton) - 1000;
    return index >= 0 && index <= 2 ? ButtonLetter(static_cast<int32_t>(index)) : "?";
}

const char* MouseButtonInsert(int32_t radioId)
{
    static const char* const kInserts[] = {"LEFT", "MIDDLE", "RIGHT"};
    if (radioId < 1000 || radioId > 1002) return nullptr;
    return kInserts[radioId - 1000];
}

bool CaptionOnScreen(int32_t x, int32_t y, int32_t width, int32_t captionHeight, const ScreenRect& screen)
{
    if (width <= 0 || captionHeight <= 0) return false;
    const int64_t right = static_cast<int64_t>(x) + width;
    const int64_t bottom = static_cast<int64_t>(y) + captionHeight;
    return x >= screen.left && y >= screen.top && right <= screen.right && bottom <= screen.bottom;
}

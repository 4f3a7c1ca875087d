// The arithmetic behind the Driver page, the Mouse page and the mouse-button
// window: combo indices, slider ranges and snapping, double-click limits, the
// button letter and whether a stored window position is usable. Platform-free
// so that every bad value from the registry can be tried natively.
#pragma once

#include <cstdint>

// Both combos of the Driver page hold four items; the item index is the value.
constexpr int kDriverComboItems = 4;
extern const char* const kRotateItems[kDriverComboItems];    // "0" .. "270"
extern const char* const kTouchModeItems[kDriverComboItems]; // "Continuous" .. "Up"

// The item to select for a stored value; -1 (no selection) outside 0..3.
int ComboIndexForValue(int32_t value);
// The value a combo selection stands for; a selection outside 0..3 (nothing
// selected is -1) keeps current.
int32_t ValueFromComboIndex(intptr_t selection, int32_t current);

// A slider range as the trackbar takes it: 16-bit bounds, min <= max.
struct SliderRange {
    int32_t min = 0;
    int32_t max = 0;
};
// [min, max] when both fit 0..65535 and are in order; otherwise fallback.
SliderRange CheckedSliderRange(int32_t min, int32_t max, SliderRange fallback);
int32_t ClampToRange(int32_t value, SliderRange range);
// A dragged thumb at p snaps to the nearest multiple of step (half up),
// then into the range. step 0 only clamps.
int32_t SnapToStep(uint32_t p, uint32_t step, SliderRange range);

// What the controller starts with when its stored limits are unusable.
constexpr SliderRange kDoubleClickSizeLimits{5, 305};
constexpr SliderRange kDoubleClickTimeLimits{400, 1500};
// Slider steps (page, line and tick size) of the two double-click sliders.
constexpr uint32_t kDoubleClickSizeStep = 20;
constexpr uint32_t kDoubleClickTimeStep = 100;

// The double-click setting handed to the whole system: the value clamped to
// the controller's limits, which themselves fall back as above.
int32_t SystemDoubleClickSize(int32_t size, int32_t min, int32_t max);
int32_t SystemDoubleClickTime(int32_t time, int32_t min, int32_t max);

// "L", "M", "R" for button index 0, 1, 2; "?" for anything else.
const char* ButtonLetter(int32_t index);
// The letter of the mouse-button window: the one-shot's button while armed,
// otherwise the normal button (`MouseButton` 1000..1002).
const char* MouseButtonWindowLetter(int32_t mouseButton, int32_t assignedButton, int32_t armed);
// "LEFT", "MIDDLE", "RIGHT" for the radio ids 1000..1002; nullptr otherwise.
const char* MouseButtonInsert(int32_t radioId);

// Screen rectangle, right and bottom exclusive.
struct ScreenRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};
// A stored window position is used only when the whole caption strip
// (width x captionHeight at x, y) lies on the screen, so the user can
// always grab it; the minimised position (-32000) never does.
bool CaptionOnScreen(int32_t x, int32_t y, int32_t width, int32_t captionHeight, const ScreenRect& screen);

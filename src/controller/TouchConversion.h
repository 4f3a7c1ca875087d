// Touch reports to absolute mouse input: decoding of the report, the mounting
// and calibration transform, and the press state machine with the touch
// modes and the button choice. Platform-free and allocation-free: the
// controller's receive path snapshots its fields into plain structs, asks
// for a plan and carries it out (injection, posting, field updates).
#pragma once

#include <cstdint>

// Payload codes the controller sends on its own.
constexpr uint8_t kTouchReportCode = 0x90;
constexpr uint8_t kTouchReleaseCode = 0x91;
constexpr uint8_t kRestartNoticeCode = 0x92;
// Bytes of a touch report that carry the coordinates (code included).
constexpr int kTouchReportLength = 4;

// Absolute mouse-input flags of the platform.
constexpr uint32_t kMouseMove = 0x0001;
constexpr uint32_t kMouseLeftDown = 0x0002;
constexpr uint32_t kMouseLeftUp = 0x0004;
constexpr uint32_t kMouseRightDown = 0x0008;
constexpr uint32_t kMouseRightUp = 0x0010;
constexpr uint32_t kMouseMiddleDown = 0x0020;
constexpr uint32_t kMouseMiddleUp = 0x0040;
constexpr uint32_t kMouseAbsolute = 0x8000;
constexpr uint32_t kMouseDownFlags = kMouseLeftDown | kMouseRightDown | kMouseMiddleDown;

// Values of `MouseButton`.
constexpr int32_t kMouseButtonLeft = 1000;
constexpr int32_t kMouseButtonMiddle = 1001;
constexpr int32_t kMouseButtonRight = 1002;
// Values of `AssignedMouseButton`.
constexpr int32_t kAssignedButtonLeft = 0;
constexpr int32_t kAssignedButtonMiddle = 1;
constexpr int32_t kAssignedButtonRight = 2;

// Values of `TouchMode`.
constexpr int32_t kTouchModeContinuous = 0;
constexpr int32_t kTouchModeDown = 1;
constexpr int32_t kTouchModeDownUp = 2;
constexpr int32_t kTouchModeUp = 3;

// The raw value that maps to the full absolute range, and that range's top.
constexpr int32_t kRawFullScale = 1024;
constexpr int32_t kAbsoluteMax = 65535;

// "CONTINUOUS", "DOWN", "DOWN_UP", "UP"; nullptr for any other value.
const char* TouchModeName(int32_t mode);

// Raw 12-bit coordinates of a touch report.
struct RawTouch {
    int32_t x = 0;
    int32_t y = 0;
};

// Position in absolute input units, 0..65535 on each axis.
struct AbsolutePoint {
    int32_t x = 0;
    int32_t y = 0;
};

// The mounting and calibration options the transform reads.
struct TouchTransform {
    int32_t SwapXY = 0;
    int32_t Rotate = 0;
    int32_t LineDirX = 0; // gain corrections in thousandths
    int32_t LineDirY = 0;
    int32_t LineShiftX = 0; // offsets in absolute units
    int32_t LineShiftY = 0;
    // Quarter turns clockwise of the display since the calibration.
    int32_t Turn = 0;
};

// Takes the coordinates out of a touch report. False, leaving out untouched,
// when the payload is null or shorter than kTouchReportLength.
bool DecodeTouchReport(const uint8_t* payload, int length, RawTouch* out);

// Swap, flip and scale to absolute units, without calibration or clamping.
// Values may lie outside 0..65535 (raw values above 1024, flips).
AbsolutePoint ScaleTouch(RawTouch raw, int32_t swapXY, int32_t rotate);

// value + dir * value / 1000 + shift, clamped to 0..65535. Computed in 64
// bits so that stored calibration values of any size cannot overflow.
int32_t CalibrateAxis(int32_t value, int32_t dir, int32_t shift);

// The whole transform of a raw touch to the injected position (on the
// touch monitor's absolute scale).
AbsolutePoint TransformTouch(RawTouch raw, const TouchTransform& transform);

// The button options the press state machine reads.
struct TouchOptions {
    int32_t TouchMode = kTouchModeContinuous;
    int32_t MouseButton = kMouseButtonLeft;
    int32_t AssignedMouseButton = kAssignedButtonRight;
    int32_t AssignedArmed = 0; // m_bAssignedArmed
};

enum class ButtonDirection : uint8_t { Down, Up };

struct ButtonChoice {
    uint32_t flag = 0;   // the down or up flag; 0 for an invalid button value
    bool disarm = false; // the one-shot was used for an "up": disarm and notify
    int result = 1;      // 1, or 0 for an invalid button value
};

// The button of the next down or up: the armed one-shot button, else
// `MouseButton`.
ButtonChoice ChooseButton(ButtonDirection direction, const TouchOptions& options);

// One record to inject: absolute position and flags (move and absolute
// always included). Mouse data and time are always 0.
struct InjectRecord {
    int32_t dx = 0;
    int32_t dy = 0;
    uint32_t flags = 0;
};

// What the press of the touch that is down gave the system, so that its
// release lets go of that very button: the user may change the button, arm
// the one-shot or switch the touch mode while the finger is down, and an up
// taken from the options at the release would then leave the pressed button
// down for good.
struct TouchPress {
    bool known = false;    // false: the release follows the options, as before
    uint32_t upFlag = 0;   // the up that matches the down injected; 0 when none was (then as before)
    bool oneShot = false;  // the down used the armed one-shot, so the up disarms it
    bool downMode = false; // pressed in touch mode "DOWN", which never releases
};

// Everything the controller reads for one touch payload, taken once so that
// options changed meanwhile by the main thread do not mix within a report.
struct TouchSnapshot {
    bool identified = false; // HwId of the current identification is not 0
    int32_t pressed = 0;     // m_bPressed
    TouchPress press;        // of the touch that is down
    AbsolutePoint last;      // coordinates of the last injected record
    TouchOptions options;
    TouchTransform transform;
};

// What to do about one touch payload. Carry it out in this order: field
// updates (pressed, position, disarm), notifications, then the records.
struct TouchPlan {
    // Not a well-formed touch payload (unknown code, report too short, null):
    // nothing changes and nothing is injected.
    bool malformed = false;
    // Touch while the device is unidentified: ask for identification and do
    // nothing else.
    bool needsIdentify = false;
    int32_t pressed = 0;    // new m_bPressed
    TouchPress press;       // new press record (cleared with the release)
    AbsolutePoint position; // new coordinates of m_Input
    // Clear m_bAssignedArmed and tell the mouse-button window.
    bool disarmAssigned = false;
    // Records to inject, in order; a pure move always precedes a down.
    int recordCount = 0;
    InjectRecord records[2];
    // OnReceive's result: 1, or 0 for an invalid button value or a
    // malformed payload.
    int result = 1;
};

// Plans the handling of a 0x90 or 0x91 payload.
TouchPlan PlanTouch(const uint8_t* payload, int length, const TouchSnapshot& snapshot);

// Plans what a controller being destroyed, or losing its device with the
// port, must inject so that no button is left down in the system: the
// button-up a release would bring, or nothing when no touch is down or in
// touch mode "DOWN" (which never sends an up).
// Independent of the identification.
TouchPlan PlanReleaseOnDestroy(const TouchSnapshot& snapshot);

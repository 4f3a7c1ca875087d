// The touch screen's monitor among the system's monitors: which one it is,
// where its rectangle lies in the virtual desktop, how the absolute touch
// scale maps onto it, and how a turned display turns the touch. Platform-free;
// the Win32 side (Monitors.h) reads the system's list and feeds it here.
#pragma once

#include <cstdint>

constexpr int kMonitorNameMax = 32; // as the system's device names
constexpr int kMaxMonitors = 16;
// The top of the absolute touch scale, as on every axis of the injection.
constexpr int32_t kDeskAbsoluteMax = 65535;

struct MonitorRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const MonitorRect&) const = default;
};

// Display orientations, in quarter turns clockwise from the default.
constexpr int32_t kOrientationDefault = 0;
constexpr int32_t kOrientationCount = 4;

struct MonitorEntry {
    char name[kMonitorNameMax] = {}; // "\\.\DISPLAY2"
    MonitorRect rect;                // in virtual-desktop pixels
    bool primary = false;
    int32_t orientation = kOrientationDefault; // 0..3
};

struct MonitorList {
    int count = 0;
    MonitorEntry entries[kMaxMonitors];
    MonitorRect virtualScreen;
};

// Adds a monitor (name cut to fit); false when the list is full.
bool AddMonitor(MonitorList& list, const char* name, MonitorRect rect, bool primary, int32_t orientation);

// The stored choice: a name (empty: none stored, the primary monitor) and
// the rectangle it had when it was chosen.
struct StoredMonitor {
    char name[kMonitorNameMax] = {};
    MonitorRect rect;
    bool hasRect = false;
};

struct MonitorChoice {
    int index = -1;        // into the list; -1 only for an empty list
    bool fellBack = false; // a stored monitor is not there: the primary one
};

// The monitor by its stored name, else one with the stored rectangle (device
// names change when a graphics adapter is replaced), else the primary one.
// Nothing stored is the primary monitor and no fall-back. A list without a
// primary monitor gives its first entry.
MonitorChoice ChooseMonitor(const MonitorList& list, const StoredMonitor& stored);

// Reports a fall-back once until the stored monitor is back: true when
// this change of state is to be logged.
class FallbackNotice {
public:
    bool Update(bool fellBack);

private:
    bool m_reported = false;
};

// How the injection reaches the touch monitor. On the primary monitor the
// absolute values go out as they are; on any other they are normalised over
// the virtual desktop.
struct DeskMapping {
    bool virtualDesk = false;
    int32_t offsetX = 0; // monitor origin minus virtual-screen origin, px
    int32_t offsetY = 0;
    int32_t width = 1; // monitor, px
    int32_t height = 1;
    int32_t deskWidth = 1; // virtual screen, px
    int32_t deskHeight = 1;
    int32_t orientation = kOrientationDefault; // of the touch monitor
};

DeskMapping MappingFor(const MonitorList& list, int index);

// One axis: a value on the monitor's absolute scale (0..65535) to the
// virtual desktop's, aimed at the centre of the pixel the primary-monitor
// injection would have reached.
int32_t DeskAxis(int32_t value, int32_t offset, int32_t size, int32_t deskSize);
// Both axes through a mapping (unchanged when it is not virtualDesk).
void MapToDesk(const DeskMapping& mapping, int32_t* x, int32_t* y);

// The quarter turns between the orientation a calibration was made in and
// the display's now; 0 when the calibration's is unknown (negative).
int32_t TurnBetween(int32_t calibrated, int32_t now);
// Turns a point of the absolute scale by quarter turns clockwise, as the
// picture turns on a display turned by that much.
void TurnAbsolute(int32_t turn, int32_t* x, int32_t* y);

// The mapping in force, published by the main thread after each display
// change and read by the receive thread for each batch (under a lock).
void PublishDeskMapping(const DeskMapping& mapping);
DeskMapping PublishedDeskMapping();

// Places a window of the given size centred on an area; it is moved inside
// the area where it is larger than the window.
struct PlacedOrigin {
    int32_t x = 0;
    int32_t y = 0;
};
PlacedOrigin CentreIn(const MonitorRect& area, int32_t width, int32_t height);

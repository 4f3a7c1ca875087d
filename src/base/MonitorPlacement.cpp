#include "base/MonitorPlacement.h"

#include <mutex>

namespace {

std::mutex g_mappingLock;
DeskMapping g_mapping; // under g_mappingLock

int32_t ClampDesk(int64_t v)
{
    if (v < 0) return 0;
    if (v > kDeskAbsoluteMax) return kDeskAbsoluteMax;
    return static_cast<int32_t>(v);
}

bool SameName(const char* a, const char* b)
{
    for (int i = 0; i < kMonitorNameMax; ++i) {
        if (a[i] != b[i]) return false;
        if (a[i] == '\0') return true;
    }
    return true;
}

int32_t Positive(int32_t v)
{
    return v > 0 ? v : 1;
}

} // namespace

bool AddMonitor(MonitorList& list, const char* name, MonitorRect rect, bool primary, int32_t orientation)
{
    if (list.count < 0 || list.count >= kMaxMonitors) return false;
    MonitorEntry& e = list.entries[list.count++];
    e = MonitorEntry{};
    for (int i = 0; name != nullptr && i < kMonitorNameMax - 1 && name[i] != '\0'; ++i)
        e.name[i] = name[i];
    e.rect = rect;
    e.primary = primary;
    e.orientation = orientation >= 0 && orientation < kOrientationCount ? orientation : kOrientationDefault;
    return true;
}

MonitorChoice ChooseMonitor(const MonitorList& list, const StoredMonitor& stored)
{
    MonitorChoice choice;
    const int count = list.count < 0 ? 0 : (list.count > kMaxMonitors ? kMaxMonitors : list.count);
    if (count == 0) return choice;
    choice.index = 0;
    for (int i = 0; i < count; ++i) {
        if (list.entries[i].primary) {
            choice.index = i;
            break;
        }
    }
    if (stored.name[0] == '\0') return choice;
    for (int i = 0; i < count; ++i) {
        if (SameName(list.entries[i].name, stored.name)) {
            choice.index = i;
            return choice;
        }
    }
    for (int i = 0; stored.hasRect && i < count; ++i) {
        if (list.entries[i].rect == stored.rect) {
            choice.index = i;
            return choice;
        }
    }
    choice.fellBack = true;
    return choice;
}

bool FallbackNotice::Update(bool fellBack)
{
    const bool report = fellBack && !m_reported;
    m_reported = fellBack;
    return report;
}

DeskMapping MappingFor(const MonitorList& list, int index)
{
    DeskMapping m;
    if (index < 0 || index >= list.count || index >= kMaxMonitors) return m;
    const MonitorEntry& e = list.entries[index];
    m.orientation = e.orientation;
    m.virtualDesk = !e.primary;
    m.offsetX = e.rect.left - list.virtualScreen.left;
    m.offsetY = e.rect.top - list.virtualScreen.top;
    m.width = Positive(e.rect.Width());
    m.height = Positive(e.rect.Height());
    m.deskWidth = Positive(list.virtualScreen.Width());
    m.deskHeight = Positive(list.virtualScreen.Height());
    return m;
}

int32_t DeskAxis(int32_t value, int32_t offset, int32_t size, int32_t deskSize)
{
    const int64_t v = value < 0 ? 0 : (value > kDeskAbsoluteMax ? kDeskAbsoluteMax : value);
    const int64_t pixel = offset + v * Positive(size) / (kDeskAbsoluteMax + 1);
    // A quarter pixel in: the system's scaling lands on that pixel whether
    // it truncates or rounds.
    return ClampDesk((4 * pixel + 1) * (kDeskAbsoluteMax + 1) /
                     (4 * static_cast<int64_t>(Positive(deskSize))));
}

void MapToDesk(const DeskMapping& m, int32_t* x, int32_t* y)
{
    if (!m.virtualDesk) return;
    *x = DeskAxis(*x, m.offsetX, m.width, m.deskWidth);
    *y = DeskAxis(*y, m.offsetY, m.height, m.deskHeight);
}

int32_t TurnBetween(int32_t calibrated, int32_t now)
{
    if (calibrated < 0 || calibrated >= kOrientationCount || now < 0 || now >= kOrientationCount) return 0;
    return (now - calibrated + kOrientationCount) % kOrientationCount;
}

void TurnAbsolute(int32_t turn, int32_t* x, int32_t* y)
{
    const int32_t u = *x;
    const int32_t v = *y;
    switch (turn) {
    case 1: // the picture's top now runs down the panel's right edge
        *x = v;
        *y = kDeskAbsoluteMax - u;
        break;
    case 2:
        *x = kDeskAbsoluteMax - u;
        *y = kDeskAbsoluteMax - v;
        break;
    case 3:
        *x = kDeskAbsoluteMax - v;
        *y = u;
        break;
    default:
        break;
    }
}

void PublishDeskMapping(const DeskMapping& mapping)
{
    std::lock_guard<std::mutex> lock(g_mappingLock);
    g_mapping = mapping;
}

DeskMapping PublishedDeskMapping()
{
    std::lock_guard<std::mutex> lock(g_mappingLock);
    return g_mapping;
}

PlacedOrigin CentreIn(const MonitorRect& area, int32_t width, int32_t height)
{
    PlacedOrigin p;
    p.x = area.left + (area.Width() - width) / 2;
    p.y = area.top + (area.Height() - height) / 2;
    if (p.x < area.left) p.x = area.left;
    if (p.y < area.top) p.y = area.top;
    return p;
}

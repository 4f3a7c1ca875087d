#include "app/ModelSelection.h"

#include "base/BoundedText.h"

namespace {

constexpr int kControllerModels = 4;
constexpr int kLcdModels = 3;

int StoredOr(int stored, int count, int fallback)
{
    return stored >= 0 && stored < count ? stored : fallback;
}

} // namespace

ModelChoice SelectControllerModel(const IdentRecord& ident, int stored)
{
    const int unidentified = StoredOr(stored, kControllerModels, kFallbackControllerModel);
    switch (ident.HwId) {
    case 0:
        return {unidentified, false};
    case 2:
        // Firmware 0.x predates the identification scheme: nothing to go by.
        if (ident.MajorSwVer == 0) return {unidentified, false};
        if (ident.MajorSwVer == 1) return {ident.MinorSwVer <= 25 ? 0 : 1, false};
        return {3, true};
    case 4:
        return {1, false};
    case 5:
        return {2, false};
    case 6:
        return {3, false};
    default: // 1, 3 and everything newer than this program
        return {kFallbackControllerModel, true};
    }
}

ModelChoice SelectLcdModel(const IdentRecord& ident, int stored)
{
    switch (ident.HwId) {
    case 0:
        return {StoredOr(stored, kLcdModels, kFallbackLcdModel), false};
    case 1:
    case 2:
    case 4:
        return {0, false};
    case 5:
        return {1, false};
    case 6:
        return {2, false};
    default: // 3 and everything newer than this program
        return {kFallbackLcdModel, true};
    }
}

bool FormatFirmwareWarning(FirmwareCheck check, const IdentRecord& ident, char* buffer, size_t size)
{
    const int hwId = ident.HwId;
    const int major = ident.MajorSwVer;
    const int minor = ident.MinorSwVer;
    if (check == FirmwareCheck::Controller) {
        return FormatBounded(buffer, size,
                             "Controller firmware could be incompatible with the app (CTRL). "
                             "(HW Id: %i, SW Ver: %i.%02i)",
                             hwId, major, minor);
    }
    return FormatBounded(buffer, size,
                         "Controller firmware could be incompatible with the app (LCD). "
                         "(HW Id: %i, SW Ver: %i.%02i)",
                         hwId, major, minor);
}

int ResolveChannelIndex(int requested, int stored)
{
    const int index = requested == -1 ? stored : requested;
    return index >= 0 && index < kChannelIndexCount ? index : -1;
}

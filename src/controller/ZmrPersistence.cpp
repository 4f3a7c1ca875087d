// The controller's configuration in the registry (one key per model under
// "Devices") and its sections of the configuration export.
#include <string>

#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/Monitors.h"
#include "base/BoundedText.h"
#include "base/ExportText.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"
#include "controller/ZmrCtrlVirt.h"

namespace {

struct RegValue {
    const char* name;
    int32_t* field;
};

constexpr int kMaxControllerValues = kCtrlParamCount * 3;
constexpr int kDriverValueCount = 13;
constexpr int kCalibrationValueCount = 5;

// The controller values in load order: each parameter, then its limits.
int ControllerValues(ZmrCtrlVirt& ctrl, const ControllerModel& model, RegValue* out)
{
    int n = 0;
    for (int i = 0; i < kCtrlParamCount; ++i) {
        const CtrlParamInfo& spec = model.params[i];
        out[n++] = {spec.name, ctrl.ParamField(spec.param)};
        if (spec.HasLimits()) {
            out[n++] = {spec.minName, ctrl.MinField(spec.param)};
            out[n++] = {spec.maxName, ctrl.MaxField(spec.param)};
        }
    }
    return n;
}

void DriverValues(ZmrCtrlVirt& c, RegValue* out)
{
    // The volatile option fields are plain 32-bit values; the registry code
    // runs on the main thread, which is their only writer.
    auto f = [](volatile int32_t& v) { return const_cast<int32_t*>(&v); };
    const RegValue values[kDriverValueCount] = {
        {"MouseButton", f(c.MouseButton)},
        {"MouseButtonTopMost", f(c.MouseButtonTopMost)},
        {"AssignedMouseButton", f(c.AssignedMouseButton)},
        {"Rotate", f(c.Rotate)},
        {"SwapXY", f(c.SwapXY)},
        {"LcdTopMost", f(c.LcdTopMost)},
        {"TouchMode", f(c.TouchMode)},
        {"DoubleClickSize", &c.DoubleClickSize},
        {"MinDoubleClickSize", &c.MinDoubleClickSize},
        {"MaxDoubleClickSize", &c.MaxDoubleClickSize},
        {"DoubleClickTime", &c.DoubleClickTime},
        {"MinDoubleClickTime", &c.MinDoubleClickTime},
        {"MaxDoubleClickTime", &c.MaxDoubleClickTime},
    };
    for (int i = 0; i < kDriverValueCount; ++i)
        out[i] = values[i];
}

void CalibrationValues(ZmrCtrlVirt& c, RegValue* out)
{
    out[0] = {"LineDirX", &c.m_Calibration.LineDirX};
    out[1] = {"LineDirY", &c.m_Calibration.LineDirY};
    out[2] = {"LineShiftX", &c.m_Calibration.LineShiftX};
    out[3] = {"LineShiftY", &c.m_Calibration.LineShiftY};
    out[4] = {"MarkerDistance", &c.MarkerDistance};
}

// Names of a value list, for the export.
int NamesOf(const RegValue* values, int count, const char** names)
{
    for (int i = 0; i < count; ++i)
        names[i] = values[i].name;
    return count;
}

// The values added after the first configurations: never part of the
// all-or-nothing load, saved after everything else, and exported in a
// section of their own after all others. A stored value is taken only when
// it is one the program could have written.
constexpr int kOptionalValueCount = 4;

struct OptionalValue {
    const char* name;
    int32_t* field;
    int32_t defaultValue;
    bool (*fits)(int32_t);
};

void OptionalValues(ZmrCtrlVirt& c, OptionalValue* out)
{
    // HoldRightClick is written by the main thread only, as the other
    // option fields.
    out[0] = {"CheckLimit", &c.CheckLimit, kDefaultCheckLimitPx, [](int32_t v) { return v >= 0; }};
    out[1] = {"CheckResidual", &c.CheckResidual, -1, [](int32_t v) { return v >= -1; }};
    out[2] = {"CalibrationPoints", &c.CalibrationPoints, 3, [](int32_t v) { return v == 3 || v == 5; }};
    out[3] = {"HoldRightClick", const_cast<int32_t*>(&c.HoldRightClick), kHoldRightClickOff,
              [](int32_t v) { return HoldChoiceIndex(v) >= 0; }};
}

void ReadOptionalValues(ZmrCtrlVirt& c, HKEY key)
{
    OptionalValue values[kOptionalValueCount];
    OptionalValues(c, values);
    for (const OptionalValue& v : values) {
        int32_t stored = 0;
        if (QueryDword(key, v.name, &stored) && v.fits(stored)) *v.field = stored;
    }
}

constexpr const char* kCalibrationOrientationValue = "CalibrationOrientation";

bool OrientationFits(int32_t v)
{
    return v >= 0 && v < kOrientationCount;
}

// The orientation the stored calibration was made in. A configuration of
// before it was recorded was calibrated on the display as it is now (a
// portrait kiosk in portrait): that fact is written down once, at this first
// load, because it would be lost with the next turn of the display.
void ReadCalibrationOrientation(ZmrCtrlVirt& c, HKEY readKey, const char* path)
{
    int32_t stored = 0;
    if (QueryDword(readKey, kCalibrationOrientationValue, &stored) && OrientationFits(stored)) {
        c.CalibrationOrientation = stored;
        return;
    }
    c.CalibrationOrientation = TouchMonitorOrientation();
    const UniqueRegKey key = CreateKeyForWrite(HKEY_LOCAL_MACHINE, path);
    if (key) SetDword(key.get(), kCalibrationOrientationValue, c.CalibrationOrientation);
}

bool DevicesKeyPath(int model, char* buffer, size_t size)
{
    const char* name = ControllerModelName(model);
    return name != nullptr && FormatBounded(buffer, size, "%s\\%s\\%s", kRegistryRoot, "Devices", name);
}

} // namespace

int ZmrModelCtrl::LoadSettings()
{
    int useLogEvent = 1;
    ReadUseLogEvent(&useLogEvent);
    UseLogEvent = useLogEvent;

    char path[kTextMax + 1];
    if (!DevicesKeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    if (!key) return 0;

    RegValue values[kMaxControllerValues + kDriverValueCount + kCalibrationValueCount];
    int count = ControllerValues(*this, *m_pModel, values);
    DriverValues(*this, values + count);
    count += kDriverValueCount;
    CalibrationValues(*this, values + count);
    count += kCalibrationValueCount;
    for (int i = 0; i < count; ++i) {
        if (!QueryDword(key.get(), values[i].name, values[i].field)) return 0;
    }
    ReadOptionalValues(*this, key.get());
    ReadCalibrationOrientation(*this, key.get(), path);
    return 1;
}

int ZmrModelCtrl::SaveSettings()
{
    // A save that fails leaves the stored configuration as it was, including
    // "UseLogEvent": LoadSettings would otherwise accept a mix of old and
    // new values as one configuration.
    RegistryRollback previous;
    const UniqueRegKey appKey = CreateKeyForUpdate(HKEY_LOCAL_MACHINE, kRegistryRoot);
    if (!appKey || !previous.Remember(appKey.get(), "UseLogEvent")) return 0;
    if (!WriteUseLogEvent(UseLogEvent)) return 0;

    char path[kTextMax + 1];
    const UniqueRegKey key = DevicesKeyPath(m_nType, path, sizeof(path))
                                 ? CreateKeyForUpdate(HKEY_LOCAL_MACHINE, path)
                                 : UniqueRegKey();
    if (!key) {
        previous.Restore();
        return 0;
    }

    RegValue fields[kMaxControllerValues + kDriverValueCount + kCalibrationValueCount];
    CalibrationValues(*this, fields);
    int count = kCalibrationValueCount;
    count += ControllerValues(*this, *m_pModel, fields + count);
    DriverValues(*this, fields + count);
    count += kDriverValueCount;

    // The save order: calibration, identification, controller, driver.
    const IdentRecord ident = App().ident;
    DwordValue values[kMaxControllerValues + kDriverValueCount + kCalibrationValueCount + 3 +
                      kOptionalValueCount + 1];
    int n = 0;
    for (int i = 0; i < kCalibrationValueCount; ++i)
        values[n++] = {fields[i].name, *fields[i].field};
    values[n++] = {"HwId", ident.HwId};
    values[n++] = {"MajorSwVer", ident.MajorSwVer};
    values[n++] = {"MinorSwVer", ident.MinorSwVer};
    for (int i = kCalibrationValueCount; i < count; ++i)
        values[n++] = {fields[i].name, *fields[i].field};
    OptionalValue optional[kOptionalValueCount];
    OptionalValues(*this, optional);
    for (const OptionalValue& v : optional)
        values[n++] = {v.name, *v.field};
    if (!OrientationFits(CalibrationOrientation)) CalibrationOrientation = TouchMonitorOrientation();
    values[n++] = {kCalibrationOrientationValue, CalibrationOrientation};
    return WriteDwordsAllOrNothing(key.get(), values, n, &previous) ? 1 : 0;
}

int ZmrModelCtrl::DumpSettings(HANDLE file)
{
    char path[kTextMax + 1];
    if (!DevicesKeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    if (!key) return 0;

    RegValue values[kMaxControllerValues];
    const char* names[kMaxControllerValues];
    int count = NamesOf(values, ControllerValues(*this, *m_pModel, values), names);
    if (!DumpRegistrySection(file, key.get(), "Controller parameters.", "HKEY_LOCAL_MACHINE", path, names,
                             count))
        return 0;
    DriverValues(*this, values);
    count = NamesOf(values, kDriverValueCount, names);
    if (!DumpRegistrySection(file, key.get(), "Driver parameters.", "HKEY_LOCAL_MACHINE", path, names, count))
        return 0;
    CalibrationValues(*this, values);
    count = NamesOf(values, kCalibrationValueCount, names);
    return DumpRegistrySection(file, key.get(), "Calibration parameters.", "HKEY_LOCAL_MACHINE", path, names,
                               count)
               ? 1
               : 0;
}

int ZmrModelCtrl::DumpOptionalSettings(HANDLE file)
{
    char path[kTextMax + 1];
    if (!DevicesKeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    OptionalValue optional[kOptionalValueCount];
    OptionalValues(*this, optional);
    // A configuration stored before these values existed exports the
    // defaults it loads with.
    ExportValue values[kOptionalValueCount];
    for (int i = 0; i < kOptionalValueCount; ++i) {
        int32_t stored = 0;
        const bool taken =
            key && QueryDword(key.get(), optional[i].name, &stored) && optional[i].fits(stored);
        values[i] = {optional[i].name, true,
                     static_cast<uint32_t>(taken ? stored : optional[i].defaultValue)};
    }
    std::string text;
    const ExportSection section{"Calibration check and touch hold.", "HKEY_LOCAL_MACHINE", path, values,
                                kOptionalValueCount};
    return AppendExportSection(text, section) && WriteWholeText(file, text.c_str()) ? 1 : 0;
}

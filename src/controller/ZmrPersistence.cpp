// The controller's configuration in the registry (one key per model under
// "Devices") and its sections of the configuration export.
#include "app/AppContext.h"
#include "app/AppSettings.h"
#include "app/BoundedText.h"
#include "channel/ObjectNames.h"
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

bool QueryDword(HKEY key, const char* name, int32_t* out)
{
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type != REG_DWORD || size != sizeof(value)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

bool SetDword(HKEY key, const char* name, int32_t v)
{
    const DWORD value = static_cast<DWORD>(v);
    return ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)) ==
           ERROR_SUCCESS;
}

// The whole text or nothing: a file that takes fewer bytes than offered
// has failed (full disk, quota), and the export must say so.
bool WriteText(HANDLE file, const char* text)
{
    const DWORD length = static_cast<DWORD>(strlen(text));
    DWORD written = 0;
    return ::WriteFile(file, text, length, &written, nullptr) != FALSE && written == length;
}

bool DumpSection(HANDLE file, HKEY key, const char* title, const char* keyPath, const RegValue* values,
                 int count)
{
    char line[kTextMax + 1];
    if (!FormatBounded(line, sizeof(line), "\n\n\n%s\n%s\\%s : \n", title, "HKEY_LOCAL_MACHINE", keyPath))
        return false;
    if (!WriteText(file, line)) return false;
    for (int i = 0; i < count; ++i) {
        int32_t value = 0;
        if (!QueryDword(key, values[i].name, &value)) return false;
        FormatBounded(line, sizeof(line), "%30s : %x\n", values[i].name, static_cast<unsigned>(value));
        if (!WriteText(file, line)) return false;
    }
    return true;
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
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &raw) != ERROR_SUCCESS) return 0;
    UniqueRegKey key(raw);

    RegValue values[kMaxControllerValues + kDriverValueCount + kCalibrationValueCount];
    int count = ControllerValues(*this, *m_pModel, values);
    DriverValues(*this, values + count);
    count += kDriverValueCount;
    CalibrationValues(*this, values + count);
    count += kCalibrationValueCount;
    for (int i = 0; i < count; ++i) {
        if (!QueryDword(key.get(), values[i].name, values[i].field)) return 0;
    }
    return 1;
}

int ZmrModelCtrl::SaveSettings()
{
    if (!WriteUseLogEvent(UseLogEvent)) return 0;

    char path[kTextMax + 1];
    if (!DevicesKeyPath(m_nType, path, sizeof(path))) return 0;
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          &raw, nullptr) != ERROR_SUCCESS)
        return 0;
    UniqueRegKey key(raw);

    RegValue calibration[kCalibrationValueCount];
    CalibrationValues(*this, calibration);
    for (const RegValue& v : calibration) {
        if (!SetDword(key.get(), v.name, *v.field)) return 0;
    }
    const IdentRecord ident = App().ident;
    if (!SetDword(key.get(), "HwId", ident.HwId) || !SetDword(key.get(), "MajorSwVer", ident.MajorSwVer) ||
        !SetDword(key.get(), "MinorSwVer", ident.MinorSwVer))
        return 0;
    RegValue values[kMaxControllerValues + kDriverValueCount];
    int count = ControllerValues(*this, *m_pModel, values);
    DriverValues(*this, values + count);
    count += kDriverValueCount;
    for (int i = 0; i < count; ++i) {
        if (!SetDword(key.get(), values[i].name, *values[i].field)) return 0;
    }
    return 1;
}

int ZmrModelCtrl::DumpSettings(HANDLE file)
{
    char path[kTextMax + 1];
    if (!DevicesKeyPath(m_nType, path, sizeof(path))) return 0;
    HKEY raw = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &raw) != ERROR_SUCCESS) return 0;
    UniqueRegKey key(raw);

    RegValue controller[kMaxControllerValues];
    const int controllerCount = ControllerValues(*this, *m_pModel, controller);
    RegValue driver[kDriverValueCount];
    DriverValues(*this, driver);
    RegValue calibration[kCalibrationValueCount];
    CalibrationValues(*this, calibration);
    return DumpSection(file, key.get(), "Controller parameters.", path, controller, controllerCount) &&
                   DumpSection(file, key.get(), "Driver parameters.", path, driver, kDriverValueCount) &&
                   DumpSection(file, key.get(), "Calibration parameters.", path, calibration,
                               kCalibrationValueCount)
               ? 1
               : 0;
}

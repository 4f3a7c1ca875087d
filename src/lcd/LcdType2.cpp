// LcdType2: a display whose only setting is its brightness, sent with the
// controller's brightness command and kept under HKEY_CURRENT_USER.
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdModels.h"
#include "Messages.h"

namespace {

constexpr uint8_t kBrightnessCommand = 0x8C;
constexpr uint8_t kBrightnessReply = 0x0C;

struct RegValue {
    const char* name;
    int32_t* field;
};

bool KeyPath(int type, char* buffer, size_t size)
{
    const char* name = LcdModelName(type);
    return name != nullptr && FormatBounded(buffer, size, "%s\\%s\\%s", kRegistryRoot, "Lcds", name);
}

TransactResult TransactBrightness(CtrlVirt& ctrl, int32_t brightness)
{
    const uint8_t command[2] = {kBrightnessCommand, static_cast<uint8_t>(brightness & 0xFF)};
    return ctrl.Transact(command, 2, kBrightnessReply);
}

} // namespace

LcdType2::LcdType2() : LcdVirt(1)
{
    LcdType2::SetDefaults(1);
}

void LcdType2::SetDefaults(int loadStored)
{
    if (loadStored != 0 && LcdType2::LoadConfig() != 0) return;
    Brightness = kDefaultBrightness;
    MinBrightness = kDefaultMinBrightness;
    MaxBrightness = kDefaultMaxBrightness;
    if (loadStored != 0) {
        ShowMessageBoxModeless(MSG_LCD_REGISTRY_READ_ERROR);
        // A failed write-back shows again at the next start; nothing more to
        // do about it here.
        LcdType2::SaveConfig();
    }
}

int LcdType2::SendBrightness()
{
    return RunKeyOperation(
        ModelFit::Any,
        [](LcdVirt& lcd, ZmrCtrlVirt& ctrl, const void*) -> int {
            return TransactBrightness(ctrl, static_cast<LcdType2&>(lcd).Brightness);
        },
        nullptr);
}

int LcdType2::KeyLeft()
{
    return SendBrightness();
}

int LcdType2::KeyRight()
{
    return SendBrightness();
}

int LcdType2::SendConfig()
{
    // Its callers (start-up, re-identification, OK of the settings) run on
    // the main thread between key operations, so it does not wait for the
    // display.
    CtrlVirt* const attached = m_pController.load();
    if (attached == nullptr) return kLcdUnfitModel;
    ZmrCtrlVirt* const ctrl = dynamic_cast<ZmrCtrlVirt*>(attached);
    if (ctrl == nullptr) return kLcdUnfitModel;
    CommInfoScope info(*ctrl);
    return TransactBrightness(*ctrl, Brightness);
}

int LcdType2::LoadConfig()
{
    int useLogEvent = 1;
    ReadUseLogEvent(&useLogEvent);
    UseLogEvent = useLogEvent;

    char path[kTextMax + 1];
    if (!KeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, path);
    if (!key) return 0;
    // Each value lands in its field as soon as it is read; the caller falls
    // back to the defaults for all three when any is missing.
    const RegValue values[] = {
        {"Brightness", &Brightness}, {"MinBrightness", &MinBrightness}, {"MaxBrightness", &MaxBrightness}};
    for (const RegValue& v : values) {
        if (!QueryDword(key.get(), v.name, v.field)) return 0;
    }
    return 1;
}

int LcdType2::SaveConfig()
{
    // "UseLogEvent" is left alone: the controller saves the user's choice
    // just before, and this copy, read at start-up, would undo it.
    char path[kTextMax + 1];
    if (!KeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = CreateKeyForWrite(HKEY_CURRENT_USER, path);
    if (!key) return 0;
    const RegValue values[] = {
        {"Brightness", &Brightness}, {"MinBrightness", &MinBrightness}, {"MaxBrightness", &MaxBrightness}};
    for (const RegValue& v : values) {
        if (!SetDword(key.get(), v.name, *v.field)) return 0;
    }
    return 1;
}

int LcdType2::DumpConfig(HANDLE file)
{
    char path[kTextMax + 1];
    if (!KeyPath(m_nType, path, sizeof(path))) return 0;
    const UniqueRegKey key = OpenKeyForRead(HKEY_CURRENT_USER, path);
    if (!key) return 0;
    static const char* const kNames[] = {"Brightness", "MinBrightness", "MaxBrightness"};
    return DumpRegistrySection(file, key.get(), "Lcd parameters.", "CURRENT_USER", path, kNames, 3) ? 1 : 0;
}

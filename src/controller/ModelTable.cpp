#include "controller/ModelTable.h"

#include "base/BoundedText.h"

namespace {

// Parameters in registry load order.
constexpr CtrlParamInfo kZmr01Params[kCtrlParamCount] = {
    {CtrlParam::PressDelay, "PressDelay", "MinPressDelay", "MaxPressDelay", 2, 1, 20},
    {CtrlParam::Deglitch, "Deglitch", "MinDeglitch", "MaxDeglitch", 16, 1, 32},
    {CtrlParam::ReleaseDelay, "ReleaseDelay", "MinReleaseDelay", "MaxReleaseDelay", 8, 1, 20},
    {CtrlParam::Stabilization, "Stabilization", "MinStabilization", "MaxStabilization", 4, 1, 20},
    {CtrlParam::Filter, "Filter", "MinFilter", "MaxFilter", 32, 0, 60},
    {CtrlParam::Threshold, "Threshold", nullptr, nullptr, 75, 0, 0},
};

constexpr CtrlParamInfo kZmr02Params[kCtrlParamCount] = {
    {CtrlParam::PressDelay, "PressDelay", "MinPressDelay", "MaxPressDelay", 2, 1, 32},
    {CtrlParam::Deglitch, "Deglitch", "MinDeglitch", "MaxDeglitch", 6, 3, 32},
    {CtrlParam::ReleaseDelay, "ReleaseDelay", "MinReleaseDelay", "MaxReleaseDelay", 4, 1, 32},
    {CtrlParam::Stabilization, "Stabilization", "MinStabilization", "MaxStabilization", 3, 1, 32},
    {CtrlParam::Filter, "Filter", "MinFilter", "MaxFilter", 8, 0, 32},
    {CtrlParam::ChargeWS, "ChargeWS", "MinChargeWS", "MaxChargeWS", 8, 4, 16},
};

// A silent controller leaves each parameter at the model default.
constexpr ReadStep kZmr01Read[] = {
    {0x03, 0x83, CtrlParam::PressDelay, 2},   {0x02, 0x82, CtrlParam::Deglitch, 16},
    {0x04, 0x84, CtrlParam::ReleaseDelay, 8}, {0x05, 0x85, CtrlParam::Stabilization, 4},
    {0x08, 0x88, CtrlParam::Filter, 32},
};

constexpr ReadStep kZmr02Read[] = {
    {0x03, 0x83, CtrlParam::PressDelay, 2},   {0x02, 0x82, CtrlParam::Deglitch, 6},
    {0x04, 0x84, CtrlParam::ReleaseDelay, 4}, {0x05, 0x85, CtrlParam::Stabilization, 3},
    {0x08, 0x88, CtrlParam::Filter, 8},       {0x0B, 0x8B, CtrlParam::ChargeWS, 8},
};

constexpr WriteStep kZmr01Write[] = {
    {0x83, 0x03, CtrlParam::PressDelay},   {0x82, 0x02, CtrlParam::Deglitch},
    {0x84, 0x04, CtrlParam::ReleaseDelay}, {0x85, 0x05, CtrlParam::Stabilization},
    {0x88, 0x08, CtrlParam::Filter},       {0x89, 0x09, CtrlParam::Threshold},
};

constexpr WriteStep kZmr02Write[] = {
    {0x83, 0x03, CtrlParam::PressDelay},   {0x82, 0x02, CtrlParam::Deglitch},
    {0x84, 0x04, CtrlParam::ReleaseDelay}, {0x85, 0x05, CtrlParam::Stabilization},
    {0x88, 0x08, CtrlParam::Filter},       {0x8B, 0x0B, CtrlParam::ChargeWS},
};

constexpr CodeRange kZmr01Codes[] = {{0x01, 0x09}, {0x81, 0x89}, {0x90, 0x92}};
constexpr CodeRange kZmr02Codes[] = {{0x01, 0x08}, {0x0B, 0x0B}, {0x81, 0x88}, {0x8B, 0x8B}, {0x90, 0x92}};
constexpr CodeRange kZmr03Codes[] = {{0x01, 0x08}, {0x0B, 0x0C}, {0x81, 0x88},
                                     {0x8B, 0x8C}, {0x90, 0x92}, {0xA1, 0xA1}};

template <typename T, int N> constexpr int Count(const T (&)[N])
{
    return N;
}

constexpr CalibrationDefaults kZmr01Calibration = {-2041, 58, 66858, -1538};
constexpr CalibrationDefaults kZmr02Calibration = {-2025, 43, 65402, -425};

const ControllerModel kModels[] = {
    {kControllerModelZmr01, "ZMR01", kZmr01Params, kZmr01Calibration, kZmr01Codes, Count(kZmr01Codes),
     "%i - Controller ZMR01", 0, false, false, false, "OutOfMemory - Zmr01Ctrl.m_hTimer", 5, kZmr01Read,
     Count(kZmr01Read), kZmr01Write, Count(kZmr01Write)},
    {kControllerModelZmr02, "ZMR02", kZmr02Params, kZmr02Calibration, kZmr02Codes, Count(kZmr02Codes),
     "%i - Controller ZMR02", 1, false, false, false, "OutOfMemory - Zmr02Ctrl.m_hTimer", 6, kZmr02Read,
     Count(kZmr02Read), kZmr02Write, Count(kZmr02Write)},
    {kControllerModelZmr03, "ZMR03", kZmr02Params, kZmr02Calibration, kZmr03Codes, Count(kZmr03Codes),
     "%i - Controller ZMR03", 1, true, true, true, "OutOfMemory - ZMR03Ctrl.m_hTimer", 6, kZmr02Read,
     Count(kZmr02Read), kZmr02Write, Count(kZmr02Write)},
    // Shares the ZMR03 receive path, hence its filter and its detail text;
    // its temperature is first set by a reply, not by Initialize.
    {kControllerModelZmr04, "ZMR04", kZmr02Params, kZmr02Calibration, kZmr03Codes, Count(kZmr03Codes),
     "%i - Controller ZMR03", 1, true, true, false, "OutOfMemory - ZMR04Ctrl.m_hTimer", 6, kZmr02Read,
     Count(kZmr02Read), kZmr02Write, Count(kZmr02Write)},
};

constexpr int kModelCount = static_cast<int>(sizeof(kModels) / sizeof(kModels[0]));

} // namespace

const CtrlParamInfo* ControllerModel::Param(CtrlParam param) const
{
    for (int i = 0; i < kCtrlParamCount; ++i)
        if (params[i].param == param) return &params[i];
    return nullptr;
}

const ControllerModel* ControllerModelInfo(int model)
{
    if (model < 0 || model >= kModelCount) return nullptr;
    return &kModels[model];
}

bool AcceptsCode(int model, uint8_t code)
{
    const ControllerModel* m = ControllerModelInfo(model);
    if (m == nullptr) return false;
    for (int i = 0; i < m->acceptedRangeCount; ++i)
        if (code >= m->acceptedCodes[i].first && code <= m->acceptedCodes[i].last) return true;
    return false;
}

bool FormatRejectedCode(int model, uint8_t code, char* buffer, size_t size)
{
    const ControllerModel* m = ControllerModelInfo(model);
    if (buffer == nullptr || size == 0) return false;
    buffer[0] = '\0';
    if (m == nullptr) return false;
    // The format is one of the table's constants, never outside text.
    return FormatBounded(buffer, size, m->rejectedCodeFormat, static_cast<int>(code));
}

int16_t DecodeTemperature(const uint8_t* payload, int length)
{
    if (payload == nullptr || length < 3) return kInvalidTemperature;
    const int16_t value = static_cast<int16_t>(static_cast<uint16_t>(payload[1] | payload[2] << 8));
    if (value > -50 && value < 120) return value;
    return kInvalidTemperature;
}

float TemperatureCelsius(int16_t halfDegrees)
{
    return static_cast<float>(halfDegrees) * 0.5f;
}

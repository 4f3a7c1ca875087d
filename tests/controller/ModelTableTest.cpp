#include "controller/ModelTable.h"

#include "base/ObjectNames.h"

#include <gtest/gtest.h>

#include <bitset>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

std::bitset<256> Codes(std::initializer_list<std::pair<int, int>> ranges)
{
    std::bitset<256> set;
    for (const auto& r : ranges)
        for (int c = r.first; c <= r.second; ++c)
            set.set(static_cast<size_t>(c));
    return set;
}

TEST(ModelTable, ReceiveFilterPerModel)
{
    const std::bitset<256> zmr01 = Codes({{0x01, 0x09}, {0x81, 0x89}, {0x90, 0x92}});
    const std::bitset<256> zmr02 =
        Codes({{0x01, 0x08}, {0x0B, 0x0B}, {0x81, 0x88}, {0x8B, 0x8B}, {0x90, 0x92}});
    const std::bitset<256> zmr03 =
        Codes({{0x01, 0x08}, {0x0B, 0x0C}, {0x81, 0x88}, {0x8B, 0x8C}, {0x90, 0x92}, {0xA1, 0xA1}});
    const std::bitset<256> expected[] = {zmr01, zmr02, zmr03, zmr03};
    for (int model = 0; model < 4; ++model)
        for (int code = 0; code < 256; ++code)
            EXPECT_EQ(AcceptsCode(model, static_cast<uint8_t>(code)),
                      expected[model].test(static_cast<size_t>(code)))
                << "model " << model << " code 0x" << std::hex << code;

    for (int model : {-1, 4, 100})
        for (uint8_t code : {uint8_t{0x01}, uint8_t{0x90}})
            EXPECT_FALSE(AcceptsCode(model, code));
}

TEST(ModelTable, RejectedCodeDetailText)
{
    struct Case {
        int model;
        uint8_t code;
        const char* text;
    } cases[] = {
        {0, 0x8B, "139 - Controller ZMR01"}, {1, 0x09, "9 - Controller ZMR02"},
        {2, 0x00, "0 - Controller ZMR03"},   {3, 0x09, "9 - Controller ZMR03"},
        {3, 0xFF, "255 - Controller ZMR03"},
    };
    for (const Case& c : cases) {
        char buffer[256];
        EXPECT_TRUE(FormatRejectedCode(c.model, c.code, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, c.text);
    }

    char small[6] = "xxxxx";
    EXPECT_FALSE(FormatRejectedCode(0, 139, small, sizeof small));
    EXPECT_STREQ(small, "139 -");
    char buffer[32] = "untouched";
    EXPECT_FALSE(FormatRejectedCode(4, 1, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(FormatRejectedCode(0, 1, nullptr, 10));
}

TEST(ModelTable, TemperatureDecoding)
{
    struct Case {
        std::vector<uint8_t> payload;
        int16_t value;
        float celsius;
    } cases[] = {
        {{0xA1, 0x28, 0x00}, 40, 20.0f},
        {{0xA1, 0xCE, 0xFF}, 255, 127.5f}, // -50 is out of range
        {{0xA1, 0xCF, 0xFF}, -49, -24.5f},
        {{0xA1, 0x77, 0x00}, 119, 59.5f},
        {{0xA1, 0x78, 0x00}, 255, 127.5f},
        {{0xA1, 0x00, 0x80}, 255, 127.5f},
        {{0xA1, 0x00, 0x00, 0x55}, 0, 0.0f},
        {{0xA1, 0x28}, 255, 127.5f}, // too short to hold a reading
        {{0xA1}, 255, 127.5f},
    };
    for (const Case& c : cases) {
        const int16_t v = DecodeTemperature(c.payload.data(), static_cast<int>(c.payload.size()));
        EXPECT_EQ(v, c.value) << c.payload.size();
        EXPECT_FLOAT_EQ(TemperatureCelsius(v), c.celsius);
    }
    EXPECT_EQ(DecodeTemperature(nullptr, 3), kInvalidTemperature);
}

TEST(ModelTable, IdentityMatchesObjectNames)
{
    for (int model = 0; model < kControllerModelCount; ++model) {
        const ControllerModel* m = ControllerModelInfo(model);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->index, model);
        EXPECT_STREQ(m->name, ControllerModelName(model));
    }
    EXPECT_EQ(ControllerModelInfo(-1), nullptr);
    EXPECT_EQ(ControllerModelInfo(kControllerModelCount), nullptr);
}

TEST(ModelTable, ParameterDefaultsAndLimits)
{
    struct Case {
        int model;
        CtrlParam param;
        int32_t value, minimum, maximum;
        bool limits;
    } cases[] = {
        {0, CtrlParam::Stabilization, 4, 1, 20, true}, {0, CtrlParam::Deglitch, 16, 1, 32, true},
        {0, CtrlParam::PressDelay, 2, 1, 20, true},    {0, CtrlParam::ReleaseDelay, 8, 1, 20, true},
        {0, CtrlParam::Filter, 32, 0, 60, true},       {0, CtrlParam::Threshold, 75, 0, 0, false},
        {1, CtrlParam::Stabilization, 3, 1, 32, true}, {1, CtrlParam::Deglitch, 6, 3, 32, true},
        {2, CtrlParam::PressDelay, 2, 1, 32, true},    {2, CtrlParam::ReleaseDelay, 4, 1, 32, true},
        {3, CtrlParam::Filter, 8, 0, 32, true},        {3, CtrlParam::ChargeWS, 8, 4, 16, true},
        {1, CtrlParam::ChargeWS, 8, 4, 16, true},
    };
    for (const Case& c : cases) {
        const CtrlParamInfo* p = ControllerModelInfo(c.model)->Param(c.param);
        ASSERT_NE(p, nullptr) << c.model;
        EXPECT_EQ(p->defaultValue, c.value) << p->name;
        EXPECT_EQ(p->HasLimits(), c.limits) << p->name;
        if (c.limits) {
            EXPECT_EQ(p->minimum, c.minimum) << p->name;
            EXPECT_EQ(p->maximum, c.maximum) << p->name;
        }
    }
    EXPECT_EQ(ControllerModelInfo(0)->Param(CtrlParam::ChargeWS), nullptr);
    for (int model = 1; model < 4; ++model)
        EXPECT_EQ(ControllerModelInfo(model)->Param(CtrlParam::Threshold), nullptr);

    const CalibrationDefaults& c01 = ControllerModelInfo(0)->calibration;
    EXPECT_EQ(c01.LineDirX, -2041);
    EXPECT_EQ(c01.LineDirY, 58);
    EXPECT_EQ(c01.LineShiftX, 66858);
    EXPECT_EQ(c01.LineShiftY, -1538);
    for (int model = 1; model < 4; ++model) {
        const CalibrationDefaults& c = ControllerModelInfo(model)->calibration;
        EXPECT_EQ(c.LineDirX, -2025);
        EXPECT_EQ(c.LineDirY, 43);
        EXPECT_EQ(c.LineShiftX, 65402);
        EXPECT_EQ(c.LineShiftY, -425);
    }
}

// The registry load order of the controller values: each group as value,
// minimum, maximum; "Threshold" alone.
TEST(ModelTable, RegistryNamesInLoadOrder)
{
    const std::vector<std::string> shared = {
        "PressDelay",       "MinPressDelay",    "MaxPressDelay",   "Deglitch",        "MinDeglitch",
        "MaxDeglitch",      "ReleaseDelay",     "MinReleaseDelay", "MaxReleaseDelay", "Stabilization",
        "MinStabilization", "MaxStabilization", "Filter",          "MinFilter",       "MaxFilter"};
    for (int model = 0; model < 4; ++model) {
        const ControllerModel* m = ControllerModelInfo(model);
        std::vector<std::string> names;
        for (int i = 0; i < kCtrlParamCount; ++i) {
            names.push_back(m->params[i].name);
            if (m->params[i].HasLimits()) {
                names.push_back(m->params[i].minName);
                names.push_back(m->params[i].maxName);
            }
        }
        std::vector<std::string> expected = shared;
        if (model == 0)
            expected.push_back("Threshold");
        else
            expected.insert(expected.end(), {"ChargeWS", "MinChargeWS", "MaxChargeWS"});
        EXPECT_EQ(names, expected) << m->name;
    }
}

TEST(ModelTable, ConfigExchanges)
{
    const std::vector<CtrlParam> order = {CtrlParam::PressDelay, CtrlParam::Deglitch, CtrlParam::ReleaseDelay,
                                          CtrlParam::Stabilization, CtrlParam::Filter};
    const uint8_t readCommands[] = {0x03, 0x02, 0x04, 0x05, 0x08, 0x0B};
    const uint8_t writeCommands01[] = {0x83, 0x82, 0x84, 0x85, 0x88, 0x89};
    const uint8_t writeCommands02[] = {0x83, 0x82, 0x84, 0x85, 0x88, 0x8B};
    for (int model = 0; model < 4; ++model) {
        const ControllerModel* m = ControllerModelInfo(model);
        SCOPED_TRACE(m->name);
        // Threshold is never read back.
        ASSERT_EQ(m->readConfigCount, model == 0 ? 5 : 6);
        ASSERT_EQ(m->writeConfigCount, 6);
        for (int i = 0; i < m->readConfigCount; ++i) {
            const ReadStep& s = m->readConfig[i];
            EXPECT_EQ(s.command, readCommands[i]);
            EXPECT_EQ(s.reply, s.command + 0x80);
            EXPECT_EQ(s.param, i < 5 ? order[static_cast<size_t>(i)] : CtrlParam::ChargeWS);
            // A silent controller leaves the model default.
            EXPECT_EQ(s.noReplyValue, m->Param(s.param)->defaultValue);
        }
        for (int i = 0; i < m->writeConfigCount; ++i) {
            const WriteStep& s = m->writeConfig[i];
            EXPECT_EQ(s.command, (model == 0 ? writeCommands01 : writeCommands02)[i]);
            EXPECT_EQ(s.reply + 0x80, s.command);
            EXPECT_NE(m->Param(s.param), nullptr);
        }
    }
    EXPECT_EQ(ControllerModelInfo(0)->readConfig[1].noReplyValue, 16);
    EXPECT_EQ(ControllerModelInfo(2)->readConfig[4].noReplyValue, 8);
}

TEST(ModelTable, OtherDifferences)
{
    struct Case {
        int pauseMs;
        bool temperature, brightness, clearsTemperature;
        const char* timerText;
        int sliders;
    } cases[] = {
        {0, false, false, false, "OutOfMemory - Zmr01Ctrl.m_hTimer", 5},
        {1, false, false, false, "OutOfMemory - Zmr02Ctrl.m_hTimer", 6},
        {1, true, true, true, "OutOfMemory - ZMR03Ctrl.m_hTimer", 6},
        {1, true, true, false, "OutOfMemory - ZMR04Ctrl.m_hTimer", 6},
    };
    for (int model = 0; model < 4; ++model) {
        const ControllerModel* m = ControllerModelInfo(model);
        const Case& c = cases[model];
        SCOPED_TRACE(m->name);
        EXPECT_EQ(m->transactPauseMs, c.pauseMs);
        EXPECT_EQ(m->hasTemperature, c.temperature);
        EXPECT_EQ(m->hasTemperature, AcceptsCode(model, kTemperatureReplyCode));
        EXPECT_EQ(m->hasBrightness, c.brightness);
        EXPECT_EQ(m->hasBrightness, AcceptsCode(model, 0x8C) && AcceptsCode(model, 0x0C));
        EXPECT_EQ(m->initializeClearsTemperature, c.clearsTemperature);
        EXPECT_STREQ(m->timerCreationFailure, c.timerText);
        EXPECT_EQ(m->pageSliderCount, c.sliders);
    }
}

} // namespace

// The three LCD models. LcdType1 and LcdType3 are operated by emulating
// their front keys on the controller's output port (a cleared bit is a
// pressed key); LcdType2 only has a brightness, set by its own command and
// kept in the registry.
#pragma once

#include "lcd/LcdVirt.h"

class LcdType1 : public LcdVirt {
public:
    LcdType1() : LcdVirt(0) {}

    void SetDefaults(int) override {}
    int KeySelect() override;
    int KeyAuto() override;
    int KeySpare() override;
    int KeyLeft() override;
    int KeyRight() override;
    int KeyUp() override { return kLcdNotDone; }
    int KeyDown() override { return kLcdNotDone; }
    // Nothing stays pressed on this display, so there is nothing to release.
    int ReleaseKeys() override { return kLcdDone; }
};

class LcdType2 : public LcdVirt {
public:
    // Loads the stored brightness; a missing or damaged record is replaced
    // by the defaults, announced and written back.
    LcdType2();

    void SetDefaults(int loadStored) override;
    int KeySelect() override { return kLcdNotDone; }
    int KeyAuto() override { return kLcdNotDone; }
    int KeySpare() override { return kLcdNotDone; }
    // Both send the current Brightness; the bar changes it before calling.
    int KeyLeft() override;
    int KeyRight() override;
    int KeyUp() override { return kLcdNotDone; }
    int KeyDown() override { return kLcdNotDone; }
    int ReleaseKeys() override { return kLcdDone; }
    int SendConfig() override;
    int LoadConfig() override;
    int SaveConfig() override;
    int DumpConfig(HANDLE file) override;

    static constexpr int32_t kDefaultBrightness = 50;
    static constexpr int32_t kDefaultMinBrightness = 1;
    static constexpr int32_t kDefaultMaxBrightness = 255;

    // Only the low byte is sent. Loaded values are taken as stored.
    int32_t Brightness = kDefaultBrightness;
    int32_t MinBrightness = kDefaultMinBrightness;
    int32_t MaxBrightness = kDefaultMaxBrightness;

private:
    int SendBrightness();
};

class LcdType3 : public LcdVirt {
public:
    LcdType3() : LcdVirt(2) {}

    void SetDefaults(int) override {}
    int KeySelect() override;
    int KeyAuto() override;
    int KeySpare() override;
    // Left, Right, Up and Down stay pressed until ReleaseKeys.
    int KeyLeft() override;
    int KeyRight() override;
    int KeyUp() override;
    int KeyDown() override;
    int ReleaseKeys() override;
};

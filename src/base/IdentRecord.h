// Identification of the attached device, as answered to query 0x01.
#pragma once

#include <cstdint>

struct IdentRecord {
    uint8_t HwId = 0; // 0: nothing answered
    uint8_t MajorSwVer = 0;
    uint8_t MinorSwVer = 0; // shown with two digits ("%i.%02i")
};

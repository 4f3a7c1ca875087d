// The registry root and the application-wide values under it.
#pragma once

#include <cstdint>

// Under HKEY_LOCAL_MACHINE: application values, "Devices", "Channels".
// Under HKEY_CURRENT_USER: "Lcds" and the tool-window positions.
constexpr const char* kRegistryRoot = "Software\\Mavrel\\TactilePane";

uint32_t ReadCode();
bool WriteCode(uint32_t code);
int ReadCurrentDevice();
bool WriteCurrentDevice(int model);
int ReadCurrentChannel();
bool WriteCurrentChannel(int port);
int ReadCurrentLcd();
bool WriteCurrentLcd(int model);
bool ReadUseLogEvent(int* out);
bool WriteUseLogEvent(int value);

// The registry root and the application-wide values under it.
#pragma once

#include <cstdint>

// Under HKEY_LOCAL_MACHINE: application values, "Devices", "Channels".
// Under HKEY_CURRENT_USER: "Lcds" and the tool-window positions.
constexpr const char* kRegistryRoot = "Software\\Mavrel\\TactilePane";

uint32_t ReadCode();
// The stored "Code" into *code: true for a REG_DWORD, and true with 0 when
// no code is stored (key or value missing). False, with *code 0, when a
// value of another type or size is stored under the name: that is a
// damaged code, not "no code".
bool ReadStoredCode(uint32_t* code);
bool WriteCode(uint32_t code);
int ReadCurrentDevice();
bool WriteCurrentDevice(int model);
int ReadCurrentChannel();
bool WriteCurrentChannel(int port);
int ReadCurrentLcd();
bool WriteCurrentLcd(int model);
bool ReadUseLogEvent(int* out);
// "SearchPorts": 0 keeps the program from asking other ports for the
// device (sites where other serial devices must never be asked). Missing or
// of another type: on. Never written by the program.
bool ReadSearchPorts();
bool WriteUseLogEvent(int value);

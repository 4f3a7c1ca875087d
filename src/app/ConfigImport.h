// Reading a configuration file in the export's own format
// ("configuration.txt") back into the values it names, checked line by line
// before anything is written. Platform-free: the import writes what this
// returns, all or nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class ConfigSection : uint8_t { Controller, Driver, Calibration, Lcd, Channel, WindowPosition };

// Where a value goes: the registry root, the key below the application key
// ("Devices\ZMR02", "Lcds\Type2", "Channels\COM3"; for window positions the
// bar's key "Type2" or "MiniLcd") and the value name.
struct ConfigValue {
    ConfigSection section;
    bool currentUser; // HKEY_CURRENT_USER, else HKEY_LOCAL_MACHINE
    std::string key;
    std::string name;
    uint32_t value;
    int line; // 1-based, for messages
};

struct ConfigFile {
    std::string productVersion;
    std::vector<ConfigValue> values;
};

// The first offending line: its number (1-based), its text and why.
struct ConfigError {
    int line = 0;
    std::string text;
    std::string reason;
};

// Parses and checks the whole file: known sections with their root and key,
// known value names for the section (for controller parameters those of the
// model the key names, whatever model is current), numbers as the export
// writes them (hexadecimal, at most eight digits), controller parameters and
// their limits within the model table's limits, no value twice. False with
// the first offending line in error; out is then incomplete and must not be
// used.
bool ParseConfiguration(std::string_view text, ConfigFile* out, ConfigError* error);

// "line N: TEXT: REASON", bounded to the message length of the boxes.
std::string DescribeConfigError(const ConfigError& error);

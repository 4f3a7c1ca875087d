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
    int line;        // 1-based, for messages
    int keyLine = 0; // the line that named the key
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

// What an import writes, key by key, and what the running program then has
// to take up.
struct ImportKey {
    bool currentUser;
    std::string key; // below the application key
    std::vector<const ConfigValue*> values;
};

struct ImportPlan {
    // HKEY_LOCAL_MACHINE keys first: when they cannot be written (no
    // administrator rights), nothing of the user's has been touched either.
    std::vector<ImportKey> keys;
    int port = -1;                     // the channel section's port 0..254; -1 none
    std::vector<int> controllerModels; // models whose key is written
    std::vector<int> lcdModels;        // LCD types whose key is written
    int skippedCalibration = 0;        // values left out without the option
    int skippedPositions = 0;          // window positions, never imported
};

// Chooses from a parsed file what an import takes: every controller, driver,
// LCD and channel value; the calibration only withCalibration (it belongs to
// one panel); window positions never (they belong to one screen). Refuses,
// with the key line of text in error, a channel section for a port the
// program cannot drive (beyond COM8) or a second channel section.
bool PlanImport(std::string_view text, const ConfigFile& file, bool withCalibration, ImportPlan* plan,
                ConfigError* error);

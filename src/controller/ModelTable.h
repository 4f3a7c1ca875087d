// What differs between the four controller models, as data: one description
// per model that the controller classes, their persistence and the parameter
// pages read instead of branching on the model. Also the decoding of the
// temperature reply. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kControllerModelZmr01 = 0;
constexpr int kControllerModelZmr02 = 1;
constexpr int kControllerModelZmr03 = 2;
constexpr int kControllerModelZmr04 = 3;

// The controller parameters that travel to the controller.
enum class CtrlParam : uint8_t {
    PressDelay,
    Deglitch,
    ReleaseDelay,
    Stabilization,
    Filter,
    Threshold,
    ChargeWS
};

// Every model has five shared parameters and one of its own.
constexpr int kCtrlParamCount = 6;

struct CtrlParamInfo {
    CtrlParam param;
    const char* name;    // field and registry value name
    const char* minName; // registry names of the limits; nullptr: no limits
    const char* maxName;
    int32_t defaultValue;
    int32_t minimum; // meaningful only when the parameter has limits
    int32_t maximum;

    bool HasLimits() const { return minName != nullptr; }
};

struct CalibrationDefaults {
    int32_t LineDirX;
    int32_t LineDirY;
    int32_t LineShiftX;
    int32_t LineShiftY;
};

// One exchange of ReadConfig: command code alone, expected reply code, the
// parameter the reply's first value goes to, and the value taken when the
// controller stays silent.
struct ReadStep {
    uint8_t command;
    uint8_t reply;
    CtrlParam param;
    int32_t noReplyValue;
};

// One exchange of WriteConfig: command code followed by the parameter's low
// byte, expected reply code.
struct WriteStep {
    uint8_t command;
    uint8_t reply;
    CtrlParam param;
};

struct CodeRange {
    uint8_t first;
    uint8_t last;
};

struct ControllerModel {
    int index;
    const char* name; // registry sub-key and name shown
    // In registry load order: press delay, deglitch, release delay,
    // stabilization, filter, then the model's own parameter.
    const CtrlParamInfo* params; // kCtrlParamCount entries
    CalibrationDefaults calibration;
    // Receive filter: codes accepted by OnReceive (replies and touch codes).
    const CodeRange* acceptedCodes;
    int acceptedRangeCount;
    // Detail text of the event written for a rejected code; formatted with
    // the code in decimal.
    const char* rejectedCodeFormat;
    int transactPauseMs;              // pause after a wake that does not end Transact
    bool hasTemperature;              // answers 0x21 with 0xA1
    bool hasBrightness;               // takes the LCD brightness command 0x8C
    bool initializeClearsTemperature; // Initialize sets m_nTemperature to 0
    const char* timerCreationFailure; // detail text when m_hTimer cannot be made
    int pageSliderCount;              // sliders on the controller page
    const ReadStep* readConfig;       // in exchange order
    int readConfigCount;
    const WriteStep* writeConfig; // in exchange order
    int writeConfigCount;

    // The description of param, or nullptr when this model does not have it.
    const CtrlParamInfo* Param(CtrlParam param) const;
};

// The description of model 0..3, or nullptr for any other index.
const ControllerModel* ControllerModelInfo(int model);

// Whether the model's receive filter lets the code through. False for an
// unknown model.
bool AcceptsCode(int model, uint8_t code);

// Formats the detail text of a rejected code into buffer[size]. False for an
// unknown model, a null or empty buffer, or a truncated text.
bool FormatRejectedCode(int model, uint8_t code, char* buffer, size_t size);

// Reply code of the temperature query and the stored value of an invalid or
// out-of-range reading (reported as 127.5 degrees).
constexpr uint8_t kTemperatureReplyCode = 0xA1;
constexpr int16_t kInvalidTemperature = 255;

// Temperature in half degrees Celsius from a 0xA1 payload (signed 16 bits,
// low byte first, after the code). Readings outside -49..119 and payloads
// too short to hold a reading give kInvalidTemperature.
int16_t DecodeTemperature(const uint8_t* payload, int length);

// Half degrees to degrees Celsius.
float TemperatureCelsius(int16_t halfDegrees);

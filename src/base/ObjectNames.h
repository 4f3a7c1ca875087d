// The shared table of object names: controller models, LCD models and ports.
// The names serve as registry sub-key names and as device names.
#pragma once

constexpr int kObjectNameCount = 15;
constexpr int kFirstControllerName = 0; // "ZMR01".."ZMR04", models 0..3
constexpr int kFirstLcdName = 4;        // "Type1".."Type3", models 0..2
constexpr int kFirstPortName = 7;       // "COM1".."COM8", ports 0..7
constexpr int kControllerModelCount = 4;
constexpr int kLcdModelCount = 3;
constexpr int kPortCount = 8;

// Name at table index 0..14, or nullptr when out of range.
const char* ObjectName(int index);
// Range-checked lookups; nullptr when the index is out of range.
const char* ControllerModelName(int model);
const char* LcdModelName(int model);
const char* PortName(int port);

// Every port the channel may use: index 0..254 for "COM1".."COM255", the
// same meaning as "CurrentChannel". The first eight are the table's.
constexpr int kChannelCount = 255;
const char* ChannelName(int index);

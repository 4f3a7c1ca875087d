#include "base/ObjectNames.h"

namespace {

const char* const kNames[kObjectNameCount] = {
    "ZMR01", "ZMR02", "ZMR03", "ZMR04", "Type1", "Type2", "Type3", "COM1",
    "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
};

} // namespace

const char* ObjectName(int index)
{
    return (index >= 0 && index < kObjectNameCount) ? kNames[index] : nullptr;
}

const char* ControllerModelName(int model)
{
    return (model >= 0 && model < kControllerModelCount) ? kNames[kFirstControllerName + model] : nullptr;
}

const char* LcdModelName(int model)
{
    return (model >= 0 && model < kLcdModelCount) ? kNames[kFirstLcdName + model] : nullptr;
}

const char* PortName(int port)
{
    return (port >= 0 && port < kPortCount) ? kNames[kFirstPortName + port] : nullptr;
}

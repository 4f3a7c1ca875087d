// A program that installs the unhandled-fault handler and then faults, so
// the test can watch what the user sees and the exit code: "raise" raises a
// structured exception, "throw" lets a C++ exception escape.
#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "app/Startup.h"
#include "app/Wiring.h"
#include "base/AppContext.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    App().instance = instance;
    ConnectLayers();
    InstallUnhandledFaultHandler();
    if (commandLine != nullptr && std::strstr(commandLine, "throw") != nullptr) {
        throw std::runtime_error("nobody catches this");
    }
    ::RaiseException(0xE0000042, 0, 0, nullptr);
    return 0;
}

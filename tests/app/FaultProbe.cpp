// A program that installs the unhandled-fault handler and then faults, so
// the test can watch what the user sees and the exit code: "raise" raises a
// structured exception, "throw" lets a C++ exception escape, "receive-throw"
// throws one on a channel's receive thread (through a port driver that
// throws from its read).
#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "app/Startup.h"
#include "app/Wiring.h"
#include "base/AppContext.h"
#include "channel/CommPortApi.h"
#include "channel/CommProtocol2.h"

namespace {

// A port driver that throws from its read.
struct ThrowingPort {
    static HANDLE WINAPI Create(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
    {
        return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    static BOOL WINAPI Yes2(HANDLE, DWORD) { return TRUE; }
    static BOOL WINAPI Yes3(HANDLE, DWORD, DWORD) { return TRUE; }
    static BOOL WINAPI Timeouts(HANDLE, LPCOMMTIMEOUTS) { return TRUE; }
    static BOOL WINAPI State(HANDLE, LPDCB) { return TRUE; }
    static BOOL WINAPI Read(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED)
    {
        throw std::runtime_error("a fault on the receive thread");
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    App().instance = instance;
    ConnectLayers();
    InstallUnhandledFaultHandler();
    if (commandLine != nullptr && std::strstr(commandLine, "receive-throw") != nullptr) {
        static CommPortApi api = SystemPortApi();
        api.createFile = &ThrowingPort::Create;
        api.purgeComm = &ThrowingPort::Yes2;
        api.setupComm = &ThrowingPort::Yes3;
        api.setCommTimeouts = &ThrowingPort::Timeouts;
        api.setCommState = &ThrowingPort::State;
        api.readFile = &ThrowingPort::Read;
        SetCommPortApiForTest(&api);
        CommProtocol2 channel(-1, false);
        channel.Open();
        ::Sleep(20000);
        return 0;
    }
    if (commandLine != nullptr && std::strstr(commandLine, "throw") != nullptr) {
        throw std::runtime_error("nobody catches this");
    }
    ::RaiseException(0xE0000042, 0, 0, nullptr);
    return 0;
}

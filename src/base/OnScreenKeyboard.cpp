#include "base/OnScreenKeyboard.h"

#include <tlhelp32.h>

#include "base/Handles.h"
#include "base/OskPath.h"

// IsWow64Process is looked up at run time: the oldest supported systems do
// not have it, and they have no 64-bit edition either.
bool RunsUnderWow64()
{
#if defined(_WIN64)
    return false;
#else
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const HMODULE kernel = ::GetModuleHandleA("kernel32");
    if (kernel == nullptr) return false;
    const auto isWow64 = reinterpret_cast<IsWow64ProcessFunction>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

bool OnScreenKeyboardPath(char* out, size_t size)
{
    char windowsDir[MAX_PATH] = {};
    char systemDir[MAX_PATH] = {};
    const UINT w = ::GetWindowsDirectoryA(windowsDir, MAX_PATH);
    const UINT s = ::GetSystemDirectoryA(systemDir, MAX_PATH);
    // A result at or above the buffer size is the size needed, not a path.
    if (w == 0 || w >= MAX_PATH || s == 0 || s >= MAX_PATH) return false;
    return OskPathFor(windowsDir, systemDir, RunsUnderWow64(), out, size);
}

bool StartOnScreenKeyboard()
{
    char path[MAX_PATH] = {};
    if (!OnScreenKeyboardPath(path, sizeof path)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    // The keyboard runs on its own; nothing waits for it.
    const UniqueKernelHandle processHandle(process.hProcess);
    const UniqueKernelHandle threadHandle(process.hThread);
    return true;
}

void EndOnScreenKeyboard()
{
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, "osk.exe") != 0) continue;
        const UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process) ::TerminateProcess(process.get(), 0xFFFFFFFF);
        return;
    }
}

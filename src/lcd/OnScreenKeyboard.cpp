#include "lcd/OnScreenKeyboard.h"

#include <windows.h>
#include <tlhelp32.h>

#include "app/BoundedText.h"
#include "app/Handles.h"

namespace {

constexpr const char* kKeyboardProgram = "osk.exe";

void EndRunningKeyboard()
{
    const UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32First(snapshot.get(), &entry); more;
         more = ::Process32Next(snapshot.get(), &entry)) {
        if (::lstrcmpiA(entry.szExeFile, kKeyboardProgram) != 0) continue;
        const UniqueKernelHandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
        if (process) ::TerminateProcess(process.get(), 0xFFFFFFFF);
        return;
    }
}

// Starts the system directory's keyboard; the handles of the new process
// are not needed and are closed at once.
bool LaunchKeyboard()
{
    char directory[MAX_PATH];
    const UINT length = ::GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory) return false;
    char path[kTextMax + 1];
    if (!FormatBounded(path, sizeof path, "%s\\%s", directory, kKeyboardProgram)) return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    const UniqueKernelHandle process(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    return true;
}

} // namespace

bool StartOnScreenKeyboard()
{
    EndRunningKeyboard();
    return LaunchKeyboard();
}

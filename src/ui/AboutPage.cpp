#include "ui/AboutPage.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/FileDialog.h"
#include "base/Handles.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
#include "base/VersionInfo.h"
#include "resources/resource.h"
#include "ui/CodeKeypad.h"

namespace {

bool SystemRestart(UINT flags)
{
    return ::ExitWindowsEx(flags, 0) != FALSE;
}

bool ChooseProgram(HWND owner, char* path, size_t size)
{
    // Filter pairs, double-NUL terminated: "EXE" *.* first and preselected.
    static const char kFilter[] = "EXE\0*.*\0Application\0*.EXE\0";
    return ChooseExistingFile(owner, kFilter, 0, path, size);
}

RestartAction g_restart = &SystemRestart;
ProgramChooser g_chooser = &ChooseProgram;

void ShowButtons(HWND page)
{
    const HWND exitButton = ::GetDlgItem(page, IDC_ABOUT_EXIT);
    if (App().embedded) {
        ::SetWindowTextA(exitButton, "Reboot");
        ::SetDlgItemTextA(page, IDC_ABOUT_EXEC_APP, "Exec App");
        ::ShowWindow(exitButton, SW_SHOW);
        ::ShowWindow(::GetDlgItem(page, IDC_ABOUT_EXEC_APP), SW_SHOW);
    } else {
        ::SetWindowTextA(exitButton, "Exit");
    }
}

// The version line "V <product version> <build date>" and the author line
// from the program's own file; the lines not set keep their template texts.
bool ShowVersion(HWND page)
{
    char path[MAX_PATH] = {};
    VersionInfo version;
    if (!ProgramFilePath(path, sizeof path) || !version.Load(path)) return false;
    const char* productVersion = version.Query("ProductVersion");
    if (productVersion == nullptr) return false;
    char line[kTextMax] = {};
    FormatBounded(line, sizeof line, "V %s %s", productVersion, ProgramBuildDate());
    ::SetDlgItemTextA(page, IDC_ABOUT_VERSION, line);
    const char* comments = version.Query("Comments");
    if (comments == nullptr) return false;
    ::SetDlgItemTextA(page, IDC_ABOUT_AUTHOR, comments);
    return true;
}

void ShowTemperature(HWND page, float degrees)
{
    char line[kTextMax] = {};
    // 0xB0 is the degree sign of the 8-bit code page.
    FormatBounded(line, sizeof line,
                  "Act. Temp: %2.1f\xB0"
                  "C",
                  static_cast<double>(degrees));
    ::SetDlgItemTextA(page, IDC_ABOUT_TEMPERATURE, line);
}

void ExitOrReboot(HWND page)
{
    if (App().embedded) {
        AboutPageReboot();
        return;
    }
    ::ShowWindow(page, SW_HIDE);
    ::SendMessageA(App().messageWindow, WM_COMMAND, MAKEWPARAM(CMD_EXIT_PROGRAM, 0), 0);
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        ShowButtons(page);
        if (!ShowVersion(page)) ShowMessageBoxModal(kMsgVersionMissing);
        return TRUE;
    }
    if (msg != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case CMD_PAGE_RELOAD:
    case CMD_PAGE_STORE:
        ::SetWindowLongPtrA(page, DWLP_MSGRESULT, 0);
        return TRUE;
    case CMD_TEMPERATURE:
        if (lParam != 0) ShowTemperature(page, *reinterpret_cast<const float*>(lParam));
        return TRUE;
    case IDC_ABOUT_EXIT:
        ExitOrReboot(page);
        return TRUE;
    case IDC_ABOUT_EXEC_APP:
        AboutPageExecApp(page);
        return TRUE;
    case IDC_ABOUT_LCD:
        if (App().lcdBar != nullptr) ::ShowWindow(App().lcdBar, SW_SHOW);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HWND CreateAboutPage(HWND settingsWindow)
{
    return ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(IDD_PAGE_ABOUT), settingsWindow,
                                &AboutPageProc, 0);
}

bool AboutPageReboot()
{
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
    const UniqueKernelHandle token(raw);
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
        return false;
    // AdjustTokenPrivileges succeeds even when it enabled nothing; only the
    // last error tells, as ERROR_NOT_ALL_ASSIGNED.
    ::SetLastError(ERROR_SUCCESS);
    if (!::AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr)) return false;
    if (::GetLastError() != ERROR_SUCCESS) return false;
    return g_restart(kRestartFlags);
}

bool AboutPageExecApp(HWND page)
{
    App().keypadState = 0;
    const INT_PTR code = RunCodeKeypad(App().messageWindow);
    // A quit request ended the keypad: the program ends, nothing else is asked.
    if (code == kModalQuit || QuitRequested()) return false;
    if (!CodeKeypadAccepted(code)) {
        ShowMessageBoxModal(kMsgCodeNotCorrect);
        return false;
    }
    char path[kTextMax] = {};
    if (!::IsWindow(page)) return false;
    const bool chosen = g_chooser(page, path, sizeof path);
    // The file dialog's own loop ends on a quit request as on Cancel; what
    // it may have returned is not started then.
    if (QuitRequested() || !chosen || path[0] == '\0') return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    // The program runs on its own; nothing waits for it.
    const UniqueKernelHandle processHandle(process.hProcess);
    const UniqueKernelHandle threadHandle(process.hThread);
    return true;
}

void SetRestartAction(RestartAction action)
{
    g_restart = action != nullptr ? action : &SystemRestart;
}

void SetProgramChooser(ProgramChooser chooser)
{
    g_chooser = chooser != nullptr ? chooser : &ChooseProgram;
}

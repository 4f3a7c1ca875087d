#include "ui/CableCheckBox.h"

#include <cstring>

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/Handles.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
#include "resources/resource.h"
#include "ui/BoxLayout.h"

namespace {

constexpr uint32_t kMsgCableCheckFormat = 0xa02a002b;
constexpr INT_PTR kCableCheckEnded = IDCANCEL;

// One per box: nested boxes (a second port switch from inside the first
// box's loop) keep separate counters.
struct Countdown {
    char format[kTextMax] = {};
    int counter = kCableCheckSeconds;
    UniqueIcon icon;
};

void ShowRemaining(HWND hwnd, const Countdown& countdown)
{
    char text[kTextMax] = {};
    // The format is the program's own "...Timeout: %is." text.
    char prefix[kTextMax] = {};
    char suffix[kTextMax] = {};
    const char* conversion = std::strstr(countdown.format, "%i");
    if (conversion == nullptr) {
        CopyBounded(text, sizeof text, countdown.format);
    } else {
        CopyBounded(prefix, static_cast<size_t>(conversion - countdown.format) + 1, countdown.format);
        CopyBounded(suffix, sizeof suffix, conversion + 2);
        FormatBounded(text, sizeof text, "%s%i%s", prefix, countdown.counter, suffix);
    }
    ::SetDlgItemTextA(hwnd, IDC_BOX_TEXT, text);
}

INT_PTR CALLBACK CableCheckProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* countdown = reinterpret_cast<Countdown*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        countdown = reinterpret_cast<Countdown*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        CentreOnFullScreen(hwnd);
        if (countdown == nullptr) return FALSE;
        countdown->icon = SetBoxIcon(hwnd);
        // Without its timer the box shows its template text and waits for Cancel.
        if (::SetTimer(hwnd, kCableCheckTimerId, kCableCheckTickMs, nullptr) == 0) return FALSE;
        countdown->counter = kCableCheckSeconds;
        ShowRemaining(hwnd, *countdown);
        return TRUE;
    case WM_TIMER:
        if (wParam != kCableCheckTimerId || countdown == nullptr) return FALSE;
        --countdown->counter;
        ShowRemaining(hwnd, *countdown);
        // At or below zero, so that a tick handled late cannot run past the end.
        if (countdown->counter <= 0) EndModalDialog(hwnd, kCableCheckEnded);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            EndModalDialog(hwnd, kCableCheckEnded);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        ::KillTimer(hwnd, kCableCheckTimerId);
        if (countdown != nullptr) countdown->icon.reset();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

CableCheckOutcome RunCableCheckBox()
{
    Countdown countdown;
    FormatAppMessage(kMsgCableCheckFormat, countdown.format, sizeof countdown.format);
    const INT_PTR result = RunModalDialog(::GetModuleHandleA(nullptr), IDD_INFO_BOX, App().messageWindow,
                                          &CableCheckProc, reinterpret_cast<LPARAM>(&countdown));
    // A quit request is no failure to show the box: the program ends normally.
    if (result == kModalQuit || QuitRequested()) return CableCheckOutcome::Quit;
    if (result == kModalFailed) FatalCreationFailure("OutOfMemory - DLG_BOX");
    return CableCheckOutcome::Closed;
}

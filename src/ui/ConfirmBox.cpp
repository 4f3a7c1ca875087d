#include "ui/ConfirmBox.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
#include "resources/resource.h"
#include "ui/AnyButtonSubclass.h"
#include "ui/BoxLayout.h"

namespace {

struct ConfirmState {
    const char* question;
    UniqueIcon icon;
};

INT_PTR CALLBACK ConfirmBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<ConfirmState*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        state = reinterpret_cast<ConfirmState*>(lParam);
        ::SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        // A finger's second button answers too; the box ends at once.
        AnyButtonSubclass(::GetDlgItem(hwnd, IDOK), AnyButtonMode::CommandOnRelease);
        AnyButtonSubclass(::GetDlgItem(hwnd, IDCANCEL), AnyButtonMode::CommandOnRelease);
        CentreOnFullScreen(hwnd);
        if (state != nullptr) {
            state->icon = SetBoxIcon(hwnd);
            ::SetDlgItemTextA(hwnd, IDC_BOX_TEXT, state->question != nullptr ? state->question : "");
        }
        // The focused push button is the one Return and Space press: a
        // change that can cost the user the machine is never the easy way.
        ::SendMessageA(hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(hwnd, IDCANCEL)), TRUE);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndModalDialog(hwnd, kConfirmYes);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndModalDialog(hwnd, kConfirmNo);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (state != nullptr) state->icon.reset();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR ConfirmBoxTextAnswer(const char* question)
{
    ConfirmState state{question, UniqueIcon()};
    return RunModalDialog(::GetModuleHandleA(nullptr), IDD_CONFIRM_BOX, App().messageWindow, &ConfirmBoxProc,
                          reinterpret_cast<LPARAM>(&state));
}

INT_PTR ConfirmBoxAnswer(uint32_t messageId)
{
    char question[kTextMax] = {};
    FormatAppMessage(messageId, question, sizeof question);
    return ConfirmBoxTextAnswer(question);
}

bool ConfirmBoxText(const char* question)
{
    return ConfirmBoxTextAnswer(question) == kConfirmYes;
}

bool ConfirmBox(uint32_t messageId)
{
    return ConfirmBoxAnswer(messageId) == kConfirmYes;
}

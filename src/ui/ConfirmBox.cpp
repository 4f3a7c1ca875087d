#include "ui/ConfirmBox.h"

#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
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
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            ::EndDialog(hwnd, kConfirmYes);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hwnd, kConfirmNo);
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

bool ConfirmBoxText(const char* question)
{
    ConfirmState state{question, UniqueIcon()};
    const INT_PTR result =
        ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIRM_BOX), App().messageWindow,
                          &ConfirmBoxProc, reinterpret_cast<LPARAM>(&state));
    return result == kConfirmYes;
}

bool ConfirmBox(uint32_t messageId)
{
    char question[kTextMax] = {};
    FormatAppMessage(messageId, question, sizeof question);
    return ConfirmBoxText(question);
}

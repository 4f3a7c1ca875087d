#include "ui/CodeKeypad.h"

#include <cstdint>
#include <cstring>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/DialogObject.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
#include "lcd/ToolWindowPlacement.h"
#include "resources/resource.h"
#include "ui/AccessCode.h"

namespace {

constexpr const char* kPositionKey = "Code";

KeypadOpenObserver g_openObserver = nullptr;
void* g_openContext = nullptr;

// One open keypad. Lives on the stack of RunCodeKeypad for the dialog's
// modal loop; the nested keypads of a change of code are objects of their
// own.
class CodeKeypad : public DialogObject<CodeKeypad> {
public:
    explicit CodeKeypad(HWND owner) : m_owner(owner) {}

    INT_PTR Run()
    {
        return RunModalDialog(App().instance, IDD_CODE_KEYPAD, m_owner, &DlgProc,
                              reinterpret_cast<LPARAM>(this));
    }

private:
    friend class DialogObject<CodeKeypad>;

    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM)
    {
        switch (msg) {
        case WM_INITDIALOG:
            OnInit();
            return TRUE;
        case WM_COMMAND:
            return OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
        case WM_MOVE:
            StoreToolWindowPosition(m_hwnd, kPositionKey);
            return FALSE;
        default:
            return FALSE;
        }
    }

    void OnInit()
    {
        static const char* const kCaptions[] = {"Enter code", "Enter old code", "Enter new code"};
        const int state = App().keypadState;
        m_entered = 0;
        ::SetDlgItemTextA(m_hwnd, IDC_KEYPAD_DISPLAY, "");
        if (state >= 0 && state <= kKeypadNewCode) ::SetWindowTextA(m_hwnd, kCaptions[state]);
        PlaceToolWindow(m_hwnd, kPositionKey, HWND_TOP);
        if (g_openObserver != nullptr) g_openObserver(g_openContext, m_hwnd, state);
    }

    bool OnCommand(WORD id)
    {
        if (id >= IDC_KEYPAD_DIGIT0 && id <= IDC_KEYPAD_DIGIT0 + 9) {
            AddDigit(id - IDC_KEYPAD_DIGIT0);
            return true;
        }
        switch (id) {
        case IDC_KEYPAD_ESC:
            m_entered = 0;
            ::SetDlgItemTextA(m_hwnd, IDC_KEYPAD_DISPLAY, "");
            return true;
        case IDC_KEYPAD_ENTER:
            Enter();
            return true;
        case IDC_KEYPAD_CHNG:
            ChangeCode();
            return true;
        case IDCANCEL:
            EndModalDialog(m_hwnd, 0);
            return true;
        default:
            return false;
        }
    }

    void AddDigit(int digit)
    {
        m_entered = AddCodeDigit(m_entered, digit);
        char shown[kTextMax + 1] = {};
        ::GetDlgItemTextA(m_hwnd, IDC_KEYPAD_DISPLAY, shown, sizeof shown);
        if (std::strlen(shown) >= kKeypadMaxAsterisks) return;
        char more[kTextMax + 1];
        FormatBounded(more, sizeof more, "%s*", shown);
        ::SetDlgItemTextA(m_hwnd, IDC_KEYPAD_DISPLAY, more);
    }

    void Enter()
    {
        AppContext& app = App();
        switch (DecideEnter(app.keypadState, m_entered, app.accessCode, app.accessCodeDamaged)) {
        case EnterOutcome::Refuse:
            // Said every time it bites, so the log shows why nobody gets in.
            if (app.accessCodeDamaged) ReportAppEvent(MSG_CODE_DAMAGED, "HKEY_LOCAL_MACHINE Code");
            EndModalDialog(m_hwnd, 0);
            return;
        case EnterOutcome::Accept:
            EndModalDialog(m_hwnd, 1);
            return;
        case EnterOutcome::StoreAccept:
            if (WriteCode(m_entered)) {
                app.accessCode = m_entered;
                app.accessCodeDamaged = false;
            } else {
                ShowMessageBoxModal(MSG_CODE_WRITE_ERROR);
            }
            EndModalDialog(m_hwnd, 1);
            return;
        }
    }

    // Old code, then new code, each in a keypad of its own. A completed
    // change counts as an accepted code, even when the new-code keypad was
    // cancelled and the code stayed as it was.
    void ChangeCode()
    {
        if (App().keypadState != kKeypadEnterCode) return;
        App().keypadState = kKeypadOldCode;
        ::ShowWindow(m_hwnd, SW_HIDE);
        const INT_PTR oldCode = CodeKeypad(m_owner).Run();
        // A quit ends this keypad too, with the same result, and asks for no new code.
        if (oldCode == kModalQuit || QuitRequested()) {
            App().keypadState = kKeypadEnterCode;
            EndModalDialog(m_hwnd, kModalQuit);
            return;
        }
        if (!CodeKeypadAccepted(oldCode)) {
            App().keypadState = kKeypadEnterCode;
            EndModalDialog(m_hwnd, 0);
            return;
        }
        App().keypadState = kKeypadNewCode;
        m_entered = 0;
        const INT_PTR newCode = CodeKeypad(m_owner).Run();
        App().keypadState = kKeypadEnterCode;
        EndModalDialog(m_hwnd, newCode == kModalQuit ? kModalQuit : 1);
    }

    HWND m_owner;
    uint32_t m_entered = 0; // the digits typed so far, packed
};

} // namespace

INT_PTR RunCodeKeypad(HWND owner)
{
    return CodeKeypad(owner).Run();
}

void SetKeypadOpenObserver(KeypadOpenObserver observer, void* context)
{
    g_openObserver = observer;
    g_openContext = context;
}

#include "lcd/LcdBar.h"

#include <commctrl.h>

#include <cstdint>
#include <iterator>
#include <memory>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/DialogObject.h"
#include "base/Fatal.h"
#include "base/Handles.h"
#include "base/Reporting.h"
#include "base/ObjectNames.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdModels.h"
#include "base/OnScreenKeyboard.h"
#include "lcd/ToolWindowPlacement.h"
#include "resources/resource.h"

namespace {

constexpr const char* kMiniBarKey = "MiniLcd";
constexpr int kBrightnessStep = 5;

TrayIconRequest g_trayIconRequest = nullptr;

HWND BarInsertAfter(bool forChange)
{
    const auto* ctrl = dynamic_cast<const ZmrCtrlVirt*>(App().controller.load());
    if (ctrl != nullptr && ctrl->LcdTopMost == 1) return HWND_TOPMOST;
    // A new window is not topmost; one made topmost before must be told.
    return forChange ? HWND_NOTOPMOST : HWND_TOP;
}

void ReplyHandled(HWND dialog)
{
    ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
}

// An arrow button that repeats while held. Two kinds: the keys of LcdType1
// and the brightness repeat every 300 ms; the keys of LcdType3 stay pressed
// on the display, repeat every 50 ms and end every press with exactly one
// release notification (at the release, or 150 ms after a shorter tap).
//
// A press ends not only with the button's own release but also when the
// button loses the focus or the mouse capture, or the bar is hidden: a key
// whose release went elsewhere must not repeat for ever. And a step that
// fails (device silent) stops the repeating until the next press, so the
// bar never goes on blocking the program with transactions on its own.
class RepeatButton {
public:
    enum class Kind { Stepping, HoldAndRelease };

    RepeatButton(HWND bar, int id, Kind kind, UINT_PTR holdTimer, UINT_PTR repeatTimer)
        : m_bar(bar), m_button(::GetDlgItem(bar, id)), m_id(id), m_kind(kind), m_holdTimer(holdTimer),
          m_repeatTimer(repeatTimer)
    {
        if (m_button != nullptr) ::SetWindowSubclass(m_button, &Proc, static_cast<UINT_PTR>(id), AsRef(this));
    }
    ~RepeatButton()
    {
        if (m_button != nullptr && ::IsWindow(m_button)) {
            ::KillTimer(m_button, m_holdTimer);
            ::KillTimer(m_button, m_repeatTimer);
            ::RemoveWindowSubclass(m_button, &Proc, static_cast<UINT_PTR>(m_id));
        }
    }
    RepeatButton(const RepeatButton&) = delete;
    RepeatButton& operator=(const RepeatButton&) = delete;

    int id() const { return m_id; }
    // The press ends as if the button had been let go.
    void Cancel() { Release(); }
    // No more steps in this press.
    void StopRepeating()
    {
        if (m_button != nullptr) ::KillTimer(m_button, m_repeatTimer);
    }

private:
    static DWORD_PTR AsRef(RepeatButton* self) { return reinterpret_cast<DWORD_PTR>(self); }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR ref)
    {
        RepeatButton* self = reinterpret_cast<RepeatButton*>(ref);
        switch (msg) {
        case BM_SETSTATE:
            if (wParam != FALSE) {
                self->Press();
            } else {
                self->Release();
            }
            break;
        case WM_TIMER:
            if (wParam == self->m_repeatTimer ||
                (self->m_kind == Kind::HoldAndRelease && wParam == self->m_holdTimer)) {
                self->OnTimer(wParam);
                return 0;
            }
            break;
        case WM_GETDLGCODE:
            if (wParam == VK_RETURN && !self->m_pressed) ::PostMessageA(hwnd, BM_SETSTATE, TRUE, 0);
            break;
        case WM_KEYUP:
            if (wParam == VK_RETURN) ::PostMessageA(hwnd, BM_SETSTATE, FALSE, 0);
            break;
        case WM_KILLFOCUS:
        case WM_CAPTURECHANGED:
            if (msg == WM_KILLFOCUS || reinterpret_cast<HWND>(lParam) != hwnd) self->Release();
            break;
        case WM_NCDESTROY:
            ::KillTimer(hwnd, self->m_holdTimer);
            ::KillTimer(hwnd, self->m_repeatTimer);
            ::RemoveWindowSubclass(hwnd, &Proc, id);
            self->m_button = nullptr;
            break;
        default:
            break;
        }
        return ::DefSubclassProc(hwnd, msg, wParam, lParam);
    }

    void PostStep()
    {
        ::PostMessageA(m_bar, WM_COMMAND, MAKEWPARAM(m_id, NOTIFY_REPEAT_STEP),
                       reinterpret_cast<LPARAM>(m_button));
    }
    void PostRelease()
    {
        if (!m_releaseOwed) return;
        m_releaseOwed = false;
        ::PostMessageA(m_bar, WM_COMMAND, MAKEWPARAM(kRepeatReleaseId, NOTIFY_REPEAT_RELEASE), 0);
    }

    void Press()
    {
        if (m_pressed) return; // the pointer came back over the held button
        m_pressed = true;
        if (m_kind == Kind::Stepping) {
            ::SetTimer(m_button, m_repeatTimer, 300, nullptr);
        } else {
            // A press before the last one's release went out still gets
            // its own release: one release per press.
            PostRelease();
            m_longPress = false;
            m_releaseOwed = true;
            ::SetTimer(m_button, m_holdTimer, 150, nullptr);
            ::SetTimer(m_button, m_repeatTimer, 50, nullptr);
        }
        PostStep();
    }

    void Release()
    {
        if (!m_pressed) return;
        m_pressed = false;
        if (m_kind == Kind::Stepping || m_longPress) {
            ::KillTimer(m_button, m_repeatTimer);
            PostRelease();
        }
        // A tap shorter than the hold time is released by the hold timer.
    }

    void OnTimer(WPARAM timer)
    {
        if (timer == m_repeatTimer) {
            if (m_pressed) {
                PostStep();
            } else {
                ::KillTimer(m_button, m_repeatTimer);
            }
            return;
        }
        ::KillTimer(m_button, m_holdTimer);
        m_longPress = true;
        if (!m_pressed) {
            ::KillTimer(m_button, m_repeatTimer);
            PostRelease();
        }
    }

    HWND m_bar;
    HWND m_button;
    int m_id;
    Kind m_kind;
    UINT_PTR m_holdTimer;
    UINT_PTR m_repeatTimer;
    bool m_pressed = false;
    bool m_longPress = false;
    bool m_releaseOwed = false;
};

struct RepeatSpec {
    int id;
    UINT_PTR holdTimer;
    UINT_PTR repeatTimer;
};
// Stepping buttons use the repeat timer only.
constexpr RepeatSpec kSteppingButtons[] = {{IDC_LCD_LEFT, 0, 9317}, {IDC_LCD_RIGHT, 0, 9318}};
constexpr RepeatSpec kHoldButtons[] = {{IDC_LCD_LEFT, 9317, 9328},
                                       {IDC_LCD_RIGHT, 9318, 9329},
                                       {IDC_LCD_UP, 9319, 9330},
                                       {IDC_LCD_DOWN, 9320, 9331}};

UniqueIcon LoadIconImage(int id)
{
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageA(App().instance, MAKEINTRESOURCEA(id), IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR)));
}
UniqueGdiObject LoadBitmapImage(int id)
{
    return UniqueGdiObject(::LoadImageA(App().instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                        LR_LOADMAP3DCOLORS | LR_LOADTRANSPARENT));
}
void SetButtonImage(HWND dialog, int id, UINT type, HANDLE image)
{
    ::SendDlgItemMessageA(dialog, id, BM_SETIMAGE, type, reinterpret_cast<LPARAM>(image));
}

// One setting bar. Lives from WM_INITDIALOG to WM_NCDESTROY of its window;
// the images it sets on its buttons are released with it.
class LcdBar : public DialogObject<LcdBar> {
public:
    explicit LcdBar(int model) : m_model(model) {}

private:
    friend class DialogObject<LcdBar>;

    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM)
    {
        switch (msg) {
        case WM_INITDIALOG:
            return OnInit();
        case WM_COMMAND:
            if (!OnCommand(LOWORD(wParam), HIWORD(wParam))) return FALSE;
            ReplyHandled(m_hwnd);
            return TRUE;
        case WM_MOVE:
            StoreToolWindowPosition(m_hwnd, LcdModelName(m_model));
            return FALSE;
        case WM_SHOWWINDOW:
            if (wParam == FALSE) CancelPresses();
            return FALSE;
        default:
            return FALSE;
        }
    }

    BOOL OnInit()
    {
        PlaceToolWindow(m_hwnd, LcdModelName(m_model), BarInsertAfter(false));
        m_windowIcon = LoadIconImage(IDI_SETTINGS);
        ::SendMessageA(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_windowIcon.get()));
        m_left = LoadIconImage(IDI_LCD_LEFT);
        m_right = LoadIconImage(IDI_LCD_RIGHT);
        m_minimize = LoadBitmapImage(IDB_LCD_MINIMIZE);
        if (m_model == 1) {
            // The brightness bar works only complete: without its images it
            // shows neither value nor repeats.
            if (!m_left || !m_right || !m_minimize) {
                m_left.reset();
                m_right.reset();
                m_minimize.reset();
                return FALSE;
            }
            ShowBrightness();
        } else if (m_model == 2) {
            m_up = LoadIconImage(IDI_LCD_UP);
            m_down = LoadIconImage(IDI_LCD_DOWN);
            SetButtonImage(m_hwnd, IDC_LCD_UP, IMAGE_ICON, m_up.get());
            SetButtonImage(m_hwnd, IDC_LCD_DOWN, IMAGE_ICON, m_down.get());
        }
        SetButtonImage(m_hwnd, IDC_LCD_LEFT, IMAGE_ICON, m_left.get());
        SetButtonImage(m_hwnd, IDC_LCD_RIGHT, IMAGE_ICON, m_right.get());
        SetButtonImage(m_hwnd, IDC_LCD_MINIMIZE, IMAGE_BITMAP, m_minimize.get());
        InstallRepeats();
        return TRUE;
    }

    void InstallRepeats()
    {
        if (m_model == 2) {
            for (size_t i = 0; i < std::size(kHoldButtons); ++i) {
                const RepeatSpec& s = kHoldButtons[i];
                m_repeats[i] = std::make_unique<RepeatButton>(
                    m_hwnd, s.id, RepeatButton::Kind::HoldAndRelease, s.holdTimer, s.repeatTimer);
            }
        } else {
            for (size_t i = 0; i < std::size(kSteppingButtons); ++i) {
                const RepeatSpec& s = kSteppingButtons[i];
                m_repeats[i] = std::make_unique<RepeatButton>(m_hwnd, s.id, RepeatButton::Kind::Stepping,
                                                              s.holdTimer, s.repeatTimer);
            }
        }
    }

    void CancelPresses()
    {
        for (auto& r : m_repeats) {
            if (r) r->Cancel();
        }
    }

    RepeatButton* RepeatOf(int id)
    {
        for (auto& r : m_repeats) {
            if (r && r->id() == id) return r.get();
        }
        return nullptr;
    }

    // The current LCD when it is the model this bar was built for; null
    // while the model is being replaced.
    LcdVirt* Lcd() const
    {
        LcdVirt* lcd = App().lcd.load();
        return lcd != nullptr && lcd->m_nType == m_model ? lcd : nullptr;
    }

    bool OnCommand(WORD id, WORD code)
    {
        switch (id) {
        case IDCANCEL:
        case IDC_LCD_MINIMIZE:
            if (code != 0) return false;
            Minimize();
            return true;
        case IDC_KEYBOARD:
            if (code != 0) return false;
            // A fresh keyboard, so that a press always brings one to the front.
            EndOnScreenKeyboard();
            StartOnScreenKeyboard();
            return true;
        case IDC_LCD_TOUCH:
            ShowSettings();
            return true;
        case IDC_LCD_SELECT:
        case IDC_LCD_AUTO:
            if (code != 0 || m_model == 1) return false;
            Key(id);
            return true;
        case IDC_LCD_LEFT:
        case IDC_LCD_RIGHT:
        case IDC_LCD_UP:
        case IDC_LCD_DOWN:
            if (code != NOTIFY_REPEAT_STEP) return false;
            if ((id == IDC_LCD_UP || id == IDC_LCD_DOWN) && m_model != 2) return false;
            Step(id);
            return true;
        case IDC_LCD_STORE:
            if (code != 0 || m_model != 1) return false;
            StoreBrightness();
            return true;
        case kRepeatReleaseId:
            if (code != NOTIFY_REPEAT_RELEASE || m_model != 2) return false;
            if (LcdVirt* lcd = Lcd()) lcd->ReleaseKeys();
            return true;
        case CMD_LCD_BAR_REFRESH:
            if (m_model != 1) return false;
            ShowBrightness();
            return true;
        default:
            return false;
        }
    }

    void Minimize()
    {
        ::ShowWindow(m_hwnd, SW_HIDE);
        if (App().miniLcdBar != nullptr) ::ShowWindow(App().miniLcdBar, SW_SHOW);
    }

    void ShowSettings()
    {
        const HWND settings = App().settingsWindow;
        if (settings == nullptr) return;
        ::ShowWindow(settings, SW_SHOW);
        ::SetForegroundWindow(settings);
    }

    void Key(int id)
    {
        LcdVirt* lcd = Lcd();
        if (lcd == nullptr) return;
        if (id == IDC_LCD_SELECT) {
            lcd->KeySelect();
        } else {
            lcd->KeyAuto();
        }
    }

    void Step(int id)
    {
        LcdVirt* lcd = Lcd();
        if (lcd == nullptr) return;
        int result = kLcdDone;
        if (auto* brightness = dynamic_cast<LcdType2*>(lcd)) {
            result = BrightnessStep(*brightness, id == IDC_LCD_LEFT);
        } else if (id == IDC_LCD_LEFT) {
            result = lcd->KeyLeft();
        } else if (id == IDC_LCD_RIGHT) {
            result = lcd->KeyRight();
        } else if (id == IDC_LCD_UP) {
            result = lcd->KeyUp();
        } else {
            result = lcd->KeyDown();
        }
        // A device that did not take this step would only block the program
        // again on the next one.
        if (result != kLcdDone) {
            if (RepeatButton* r = RepeatOf(id)) r->StopRepeating();
        }
    }

    // Left darkens, Right brightens, by one step within the limits; the
    // value is sent even when it is already at a limit.
    int BrightnessStep(LcdType2& lcd, bool down)
    {
        // Stored values are taken without a range test: work in 64 bits.
        int64_t value = static_cast<int64_t>(lcd.Brightness) + (down ? -kBrightnessStep : kBrightnessStep);
        if (down && value < lcd.MinBrightness) value = lcd.MinBrightness;
        if (!down && value > lcd.MaxBrightness) value = lcd.MaxBrightness;
        if (value < INT32_MIN) value = INT32_MIN;
        if (value > INT32_MAX) value = INT32_MAX;
        lcd.Brightness = static_cast<int32_t>(value);
        const int result = down ? lcd.KeyLeft() : lcd.KeyRight();
        ShowBrightness();
        return result;
    }

    void ShowBrightness()
    {
        const auto* lcd = dynamic_cast<const LcdType2*>(Lcd());
        if (lcd == nullptr) return;
        char text[kTextMax + 1];
        FormatBounded(text, sizeof text, "%i", static_cast<int>(lcd->Brightness));
        ::SetDlgItemTextA(m_hwnd, IDC_LCD_BRIGHTNESS, text);
    }

    void StoreBrightness()
    {
        LcdVirt* lcd = Lcd();
        if (lcd != nullptr && lcd->SaveConfig() == 0) ShowMessageBoxModal(MSG_REGISTRY_WRITE_ERROR);
    }

    int m_model;
    UniqueIcon m_windowIcon;
    UniqueIcon m_left;
    UniqueIcon m_right;
    UniqueIcon m_up;
    UniqueIcon m_down;
    UniqueGdiObject m_minimize;
    std::unique_ptr<RepeatButton> m_repeats[4];
};

class MiniLcdBar : public DialogObject<MiniLcdBar> {
private:
    friend class DialogObject<MiniLcdBar>;

    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM)
    {
        switch (msg) {
        case WM_INITDIALOG:
            return OnInit();
        case WM_COMMAND:
            if (LOWORD(wParam) != IDC_MAXIMIZE || HIWORD(wParam) != 0) return FALSE;
            Maximize();
            ReplyHandled(m_hwnd);
            return TRUE;
        case WM_MOVE:
            StoreToolWindowPosition(m_hwnd, kMiniBarKey);
            return FALSE;
        default:
            return FALSE;
        }
    }

    BOOL OnInit()
    {
        PlaceToolWindow(m_hwnd, kMiniBarKey, BarInsertAfter(false));
        m_maximize = LoadBitmapImage(IDB_LCD_MAXIMIZE);
        if (!m_maximize) return FALSE;
        SetButtonImage(m_hwnd, IDC_MAXIMIZE, IMAGE_BITMAP, m_maximize.get());
        return TRUE;
    }

    void Maximize()
    {
        ::ShowWindow(m_hwnd, SW_HIDE);
        if (App().lcdBar != nullptr) ::ShowWindow(App().lcdBar, SW_SHOW);
        if (!App().embedded && g_trayIconRequest != nullptr) g_trayIconRequest();
    }

    UniqueGdiObject m_maximize;
};

} // namespace

void CreateLcdBar(HWND* bar)
{
    if (bar == nullptr) return;
    bool wasVisible = false;
    if (*bar != nullptr) {
        wasVisible = ::IsWindowVisible(*bar) != FALSE;
        ::ShowWindow(*bar, SW_HIDE);
        ::DestroyWindow(*bar);
        *bar = nullptr;
    }
    static const int kTemplates[] = {IDD_LCD_BAR_TYPE1, IDD_LCD_BAR_TYPE2, IDD_LCD_BAR_TYPE3};
    const int model = App().lcdModel;
    if (model < 0 || model >= kLcdModelCount) return;
    *bar = LcdBar::CreateModeless(std::make_unique<LcdBar>(model), App().instance, kTemplates[model],
                                  App().messageWindow);
    if (*bar == nullptr) FatalCreationFailure("OutOfMemory - DLG_LCD_TYPE2");
    ::ShowWindow(*bar, wasVisible ? SW_SHOW : SW_HIDE);
    ::UpdateWindow(*bar);
}

void CreateMiniLcdBar(HWND* miniBar)
{
    if (miniBar == nullptr) return;
    *miniBar = MiniLcdBar::CreateModeless(std::make_unique<MiniLcdBar>(), App().instance, IDD_MINI_LCD_BAR,
                                          App().messageWindow);
    if (*miniBar == nullptr) FatalCreationFailure("OutOfMemory - DLG_MINI_LCD");
    ::ShowWindow(*miniBar, SW_SHOW);
    ::UpdateWindow(*miniBar);
}

void ApplyLcdBarTopMost()
{
    const HWND insertAfter = BarInsertAfter(true);
    const HWND bars[] = {App().lcdBar, App().miniLcdBar};
    for (HWND bar : bars) {
        if (bar != nullptr)
            ::SetWindowPos(bar, insertAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void SetLcdBarTrayIconRequest(TrayIconRequest request)
{
    g_trayIconRequest = request;
}

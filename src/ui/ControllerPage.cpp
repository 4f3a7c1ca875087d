#include "ui/ControllerPage.h"

#include <commctrl.h>

#include <cstring>
#include <new>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "controller/ModelTable.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "resources/resource.h"
#include "ui/ControllerSliders.h"
#include "ui/SettingsPages.h"

namespace {

struct SliderSpec {
    int slider;
    int label;
    CtrlParam param;
};

// In the order the page sets them up and loads them; Charge WS only on the
// ZMR02..04 page.
constexpr SliderSpec kSliders[] = {
    {IDC_SLIDER_DEGLITCH, IDC_LABEL_DEGLITCH, CtrlParam::Deglitch},
    {IDC_SLIDER_PRESS_DELAY, IDC_LABEL_PRESS_DELAY, CtrlParam::PressDelay},
    {IDC_SLIDER_RELEASE_DELAY, IDC_LABEL_RELEASE_DELAY, CtrlParam::ReleaseDelay},
    {IDC_SLIDER_STABILIZATION, IDC_LABEL_STABILIZATION, CtrlParam::Stabilization},
    {IDC_SLIDER_FILTER, IDC_LABEL_FILTER, CtrlParam::Filter},
    {IDC_SLIDER_CHARGE_WS, IDC_LABEL_CHARGE_WS, CtrlParam::ChargeWS},
};
constexpr int kZmr01SliderCount = 5;
constexpr int kZmr02SliderCount = 6;

ZmrCtrlVirt* CurrentController()
{
    return dynamic_cast<ZmrCtrlVirt*>(App().controller.load());
}

// The message-table text of id without its line end.
void MessageLine(uint32_t id, char* buffer, size_t size)
{
    FormatAppMessage(id, buffer, static_cast<int>(size));
    size_t length = std::strlen(buffer);
    while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n'))
        buffer[--length] = '\0';
}

void SendToControllerPage(WORD command)
{
    const HWND page = SettingsControllerPage();
    if (page != nullptr) {
        ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(command, 0),
                       reinterpret_cast<LPARAM>(::GetDlgItem(::GetParent(page), IDC_SETTINGS_TAB)));
    }
}

class ControllerPage {
public:
    explicit ControllerPage(int sliderCount) : m_nSliders(sliderCount) {}

    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void SetUpSliders();
    void LoadSliders();
    void StoreSliders();
    void ShowPosition(HWND slider);
    void ShowCtrlInfo();

    HWND m_hwnd = nullptr;
    int m_nSliders;
};

INT_PTR CALLBACK ControllerPage::DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<ControllerPage*>(::GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        const int count = lParam == kZmr01SliderCount ? kZmr01SliderCount : kZmr02SliderCount;
        self = new (std::nothrow) ControllerPage(count);
        if (self == nullptr) return FALSE;
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) return FALSE;
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, DWLP_USER, 0);
        delete self;
        return FALSE;
    }
    if (msg == WM_COMMAND) {
        // The buttons' actions may destroy this page (a model change during
        // Refresh): nothing here touches the object after them.
        switch (LOWORD(wParam)) {
        case IDC_CTRL_DEFAULT:
            ControllerPageDefault();
            return TRUE;
        case IDC_CTRL_REINIT:
            ControllerPageReInit();
            return TRUE;
        case IDC_CTRL_REFRESH:
            ControllerPageRefresh();
            return TRUE;
        default:
            break;
        }
    }
    return self->HandleMessage(msg, wParam, lParam);
}

INT_PTR ControllerPage::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetUpSliders();
        LoadSliders();
        MoveToPageOrigin(m_hwnd);
        return TRUE;
    case WM_HSCROLL: {
        const WORD code = LOWORD(wParam);
        if (code > TB_ENDTRACK || code == TB_THUMBPOSITION || lParam == 0) return FALSE;
        ShowPosition(reinterpret_cast<HWND>(lParam));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case CMD_PAGE_RELOAD:
            LoadSliders();
            break;
        case CMD_PAGE_STORE:
            StoreSliders();
            break;
        case CMD_CTRL_INFO:
            ShowCtrlInfo();
            break;
        default:
            return FALSE;
        }
        ::SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

// Ranges are set once: they change only with the model, which builds a new page.
void ControllerPage::SetUpSliders()
{
    ZmrCtrlVirt* controller = CurrentController();
    const ControllerModel* model = ControllerModelInfo(App().controllerModel);
    for (int i = 0; i < m_nSliders; ++i) {
        const SliderSpec& spec = kSliders[i];
        const CtrlParamInfo* info = model != nullptr ? model->Param(spec.param) : nullptr;
        const int32_t modelMin = info != nullptr ? info->minimum : 0;
        const int32_t modelMax = info != nullptr ? info->maximum : 0;
        const int32_t* storedMin = controller != nullptr ? controller->MinField(spec.param) : nullptr;
        const int32_t* storedMax = controller != nullptr ? controller->MaxField(spec.param) : nullptr;
        const SliderRange range = storedMin != nullptr && storedMax != nullptr
                                      ? SliderRangeFor(*storedMin, *storedMax, modelMin, modelMax)
                                      : SliderRangeFor(modelMin, modelMax, modelMin, modelMax);
        const HWND slider = ::GetDlgItem(m_hwnd, spec.slider);
        ::SendMessageA(slider, TBM_SETRANGE, TRUE,
                       MAKELPARAM(static_cast<WORD>(range.minimum), static_cast<WORD>(range.maximum)));
        ::SendMessageA(slider, TBM_SETPAGESIZE, 0, 1);
        ::SendMessageA(slider, TBM_SETLINESIZE, 0, 1);
    }
}

void ControllerPage::LoadSliders()
{
    ZmrCtrlVirt* controller = CurrentController();
    if (controller == nullptr) return;
    for (int i = 0; i < m_nSliders; ++i) {
        const SliderSpec& spec = kSliders[i];
        const int32_t* field = controller->ParamField(spec.param);
        if (field == nullptr) continue;
        const HWND slider = ::GetDlgItem(m_hwnd, spec.slider);
        const SliderRange range{static_cast<int32_t>(::SendMessageA(slider, TBM_GETRANGEMIN, 0, 0)),
                                static_cast<int32_t>(::SendMessageA(slider, TBM_GETRANGEMAX, 0, 0))};
        const int32_t position = SnapToSlider(*field, range);
        ::SendMessageA(slider, TBM_SETPOS, TRUE, position);
        // The number shows the position, which is what Store will write.
        char text[16] = {};
        FormatSliderLabel(position, text, sizeof text);
        ::SetDlgItemTextA(m_hwnd, spec.label, text);
    }
}

void ControllerPage::StoreSliders()
{
    ZmrCtrlVirt* controller = CurrentController();
    if (controller == nullptr) return;
    for (int i = 0; i < m_nSliders; ++i) {
        int32_t* field = controller->ParamField(kSliders[i].param);
        if (field == nullptr) continue;
        *field = static_cast<int32_t>(::SendDlgItemMessageA(m_hwnd, kSliders[i].slider, TBM_GETPOS, 0, 0));
    }
}

void ControllerPage::ShowPosition(HWND slider)
{
    const int id = ::GetDlgCtrlID(slider);
    for (int i = 0; i < m_nSliders; ++i) {
        if (kSliders[i].slider != id) continue;
        char text[16] = {};
        FormatSliderLabel(static_cast<int32_t>(::SendMessageA(slider, TBM_GETPOS, 0, 0)), text, sizeof text);
        ::SetDlgItemTextA(m_hwnd, kSliders[i].label, text);
        return;
    }
}

void ControllerPage::ShowCtrlInfo()
{
    const IdentRecord& ident = App().ident;
    char text[kTextMax] = {};
    if (ident.HwId != 0) {
        char format[kTextMax] = {};
        MessageLine(MSG_CTRL_INFO_FORMAT, format, sizeof format);
        FormatCtrlInfo(format, ident, text, sizeof text);
    } else {
        MessageLine(MSG_COMM_BROKEN, text, sizeof text);
    }
    ::SetDlgItemTextA(m_hwnd, IDC_CTRL_INFO, text);
}

} // namespace

void CreateControllerPage(HWND parent)
{
    bool wasVisible = false;
    if (const HWND old = SettingsControllerPage(); old != nullptr) {
        wasVisible = (::GetWindowLongPtrA(old, GWL_STYLE) & WS_VISIBLE) != 0;
        ::ShowWindow(old, SW_HIDE);
        SetSettingsPage(kPageController, nullptr);
        ::DestroyWindow(old);
    }
    static const char* const kFailures[] = {"OutOfMemory - DLG_ZMR01CTRL", "OutOfMemory - DLG_ZMR02CTRL",
                                            "OutOfMemory - DLG_ZMR03CTRL", "OutOfMemory - DLG_ZMR04CTRL"};
    const int model = App().controllerModel;
    if (model < 0 || model >= kControllerModelCount) return;
    const bool zmr01 = model == kControllerModelZmr01;
    const HWND page =
        ::CreateDialogParamA(App().instance, MAKEINTRESOURCEA(zmr01 ? IDD_PAGE_ZMR01 : IDD_PAGE_ZMR02),
                             parent, &ControllerPage::DlgProc, zmr01 ? kZmr01SliderCount : kZmr02SliderCount);
    if (page == nullptr) FatalCreationFailure(kFailures[model]);
    SetSettingsPage(kPageController, page);
    if (const HWND hardware = SettingsPage(kPageHardware); hardware != nullptr) {
        ::SetDlgItemTextA(hardware, IDC_CONTROLLER_TYPE, ControllerModelName(model));
    }
    if (wasVisible) ::ShowWindow(page, SW_SHOW);
}

void ControllerPageDefault()
{
    if (SettingsActionRunning()) return;
    SettingsBusy busy;
    if (ZmrCtrlVirt* controller = CurrentController()) controller->Initialize(0);
    if (LcdVirt* lcd = App().lcd.load()) lcd->SetDefaults(0);
    SendToAllPages(CMD_PAGE_RELOAD);
    const AppContext& app = App();
    if (app.lcdBar != nullptr) ::PostMessageA(app.lcdBar, WM_COMMAND, MAKEWPARAM(CMD_LCD_BAR_REFRESH, 0), 0);
    if (app.mouseButtonWindow != nullptr) {
        ::PostMessageA(app.mouseButtonWindow, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
    }
}

void ControllerPageReInit()
{
    if (SettingsActionRunning()) return;
    AppContext& app = App();
    if (app.reInitBusy.exchange(1) != 0) return;
    SettingsBusy busy;
    ChannelVirt* channel = app.channel.load();
    if (channel != nullptr && channel->ReInit()) {
        // The message window clears the flag once the device has announced
        // its restart; should it never do so, the time-out does.
        ArmReInitTimeout();
        return;
    }
    app.ident = IdentRecord{};
    SendToControllerPage(CMD_CTRL_INFO);
    ShowMessageBoxModal(MSG_NO_RESPONSE);
    app.reInitBusy.exchange(0);
}

void ControllerPageRefresh()
{
    if (SettingsActionRunning()) return;
    AppContext& app = App();
    if (app.reInitBusy.load() != 0) return;
    SettingsBusy busy;
    // Into a record of our own: on failure the status line keeps showing the
    // identification that was current, and touches are not dropped as from
    // an unidentified device meanwhile.
    IdentRecord ident{};
    ChannelVirt* channel = app.channel.load();
    if (channel != nullptr && channel->Identify(&ident, true)) {
        app.ident = ident;
        // Fetched again: the identification may have replaced the
        // controller and this page.
        CtrlVirt* controller = app.controller.load();
        if (controller != nullptr && controller->ReadConfig() != 0) {
            if (app.controllerModel == kControllerModelZmr01) {
                ShowMessageBoxModal(MSG_CTRL_CONFIG_READ_ERROR);
            } else {
                ShowMessageBoxModeless(MSG_CTRL_CONFIG_READ_ERROR);
            }
        }
    }
    SendToControllerPage(CMD_CTRL_INFO);
    SendToControllerPage(CMD_PAGE_RELOAD);
}

#include "controller/ZmrCtrlVirt.h"

#include <atomic>

#include "base/AppContext.h"
#include "base/Fatal.h"
#include "base/MonitorPlacement.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "Messages.h"

namespace {

UINT SystemInjector(UINT count, const INPUT* inputs)
{
    return ::SendInput(count, const_cast<INPUT*>(inputs), sizeof(INPUT));
}

uint32_t SystemClock()
{
    return ::GetTickCount();
}

std::atomic<TouchClock> g_clock{&SystemClock};
std::atomic<InputInjector> g_oneInjector{nullptr};
std::atomic<InputBatchInjector> g_injector{&SystemInjector};
std::atomic<HWND> g_promptWindow{nullptr};

// Offers a batch to a one-record injector, record by record, up to the first
// it refuses.
UINT OneByOne(UINT count, const INPUT* inputs)
{
    const InputInjector one = g_oneInjector.load();
    if (one == nullptr) return SystemInjector(count, inputs);
    for (UINT i = 0; i < count; ++i) {
        if (one(&inputs[i]) == 0) return i;
    }
    return count;
}

} // namespace

void SetInputInjector(InputInjector injector)
{
    g_oneInjector.store(injector);
    g_injector.store(injector != nullptr ? &OneByOne : &SystemInjector);
}

void SetInputBatchInjector(InputBatchInjector injector)
{
    g_injector.store(injector != nullptr ? injector : &SystemInjector);
}

void SetTouchPromptWindow(HWND window)
{
    g_promptWindow.store(window);
}

void SetTouchClock(TouchClock clock)
{
    g_clock.store(clock != nullptr ? clock : &SystemClock);
}

ZmrCtrlVirt::ZmrCtrlVirt() : m_Batch(&ZmrCtrlVirt::InjectBatch, &ZmrCtrlVirt::PauseAfterRefusal, this)
{
    m_nType = -1;
    UseLogEvent = 1;
    m_hRecEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_hRecEvent) FatalCreationFailure("OutOfMemory - ZmrCtrlVirt.m_hRecEvent");
    m_hQuitEvent.reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_hQuitEvent) FatalCreationFailure("OutOfMemory - ZmrCtrlVirt.m_hQuitEvent");
    m_Input.type = INPUT_MOUSE;
}

ZmrCtrlVirt::~ZmrCtrlVirt()
{
    // The owner has removed this object as the channel's listener, so no
    // report can arrive any more: a touch that is down now would stay down.
    // Records of a read still held go first.
    m_Batch.End();
    ExecutePlan(PlanReleaseOnDestroy(Snapshot()));
}

void ZmrCtrlVirt::OnLineLost()
{
    m_Batch.End();
    ExecutePlan(PlanReleaseOnDestroy(Snapshot()));
    // A touch still waiting for its hold decision gives nothing.
    m_bHoldTouch = false;
    m_Hold = HoldClick();
}

int32_t* ZmrCtrlVirt::ParamField(CtrlParam param)
{
    switch (param) {
    case CtrlParam::PressDelay:
        return &PressDelay;
    case CtrlParam::Deglitch:
        return &Deglitch;
    case CtrlParam::ReleaseDelay:
        return &ReleaseDelay;
    case CtrlParam::Stabilization:
        return &Stabilization;
    case CtrlParam::Filter:
        return &Filter;
    case CtrlParam::Threshold:
        return &Threshold;
    case CtrlParam::ChargeWS:
        return &ChargeWS;
    }
    return nullptr;
}

int32_t* ZmrCtrlVirt::MinField(CtrlParam param)
{
    switch (param) {
    case CtrlParam::PressDelay:
        return &MinPressDelay;
    case CtrlParam::Deglitch:
        return &MinDeglitch;
    case CtrlParam::ReleaseDelay:
        return &MinReleaseDelay;
    case CtrlParam::Stabilization:
        return &MinStabilization;
    case CtrlParam::Filter:
        return &MinFilter;
    case CtrlParam::ChargeWS:
        return &MinChargeWS;
    case CtrlParam::Threshold:
        break;
    }
    return nullptr;
}

int32_t* ZmrCtrlVirt::MaxField(CtrlParam param)
{
    switch (param) {
    case CtrlParam::PressDelay:
        return &MaxPressDelay;
    case CtrlParam::Deglitch:
        return &MaxDeglitch;
    case CtrlParam::ReleaseDelay:
        return &MaxReleaseDelay;
    case CtrlParam::Stabilization:
        return &MaxStabilization;
    case CtrlParam::Filter:
        return &MaxFilter;
    case CtrlParam::ChargeWS:
        return &MaxChargeWS;
    case CtrlParam::Threshold:
        break;
    }
    return nullptr;
}

int ZmrCtrlVirt::OnReceive(const uint8_t* payload, int length)
{
    if (payload == nullptr || length < 1) return 1;
    const uint8_t code = payload[0];
    if (code == kTouchReportCode || code == kTouchReleaseCode) {
        const HWND prompt = g_promptWindow.load();
        if (prompt != nullptr || m_bPromptDown) {
            // A touch says nothing of its screen: the prompt on show decides,
            // once per press. The touch that chose stays the prompt's up to
            // its lift; the press state of the pointer is left alone.
            if (prompt != nullptr && code == kTouchReportCode && !m_bPromptDown)
                ::PostMessageA(prompt, WM_SCREEN_TOUCHED, 0, 0);
            m_bPromptDown = code == kTouchReportCode;
            return 1;
        }
        if (TakesHold(code)) {
            OnHoldTouch(payload, length);
            return 1;
        }
        const TouchPlan plan = PlanTouch(payload, length, Snapshot());
        ExecutePlan(plan);
        return plan.result;
    }
    if (code == kRestartNoticeCode) return 1;

    // The touches before the reply reach the system before the waiting
    // thread learns of it.
    m_Batch.Flush();
    // Replies never exceed a few bytes; a longer payload is kept truncated.
    const int stored =
        length < static_cast<int>(sizeof(m_Reply)) ? length : static_cast<int>(sizeof(m_Reply));
    {
        // Stored and signalled together, so that a transaction clearing the
        // store for its next attempt never sees one without the other.
        ReplyScope scope(m_ReplyLock);
        memcpy(m_Reply, payload, static_cast<size_t>(stored));
        m_nReplyLen = static_cast<uint8_t>(stored);
        ::SetEvent(m_hRecEvent.get());
    }
    ::Sleep(0);
    return 1;
}

void ZmrCtrlVirt::ClearReply()
{
    ReplyScope scope(m_ReplyLock);
    // 0x00 is no model's reply code, so a cleared store matches no command.
    memset(m_Reply, 0, sizeof(m_Reply));
    m_nReplyLen = 0;
    ::ResetEvent(m_hRecEvent.get());
}

void ZmrCtrlVirt::TakeReply()
{
    ReplyScope scope(m_ReplyLock);
    memcpy(m_Taken, m_Reply, sizeof(m_Taken));
    m_nTakenLen = m_nReplyLen;
}

TouchSnapshot ZmrCtrlVirt::Snapshot() const
{
    TouchSnapshot s;
    s.identified = App().ident.HwId != 0;
    s.pressed = m_bPressed;
    s.press = m_Press;
    s.last.x = m_Input.mi.dx;
    s.last.y = m_Input.mi.dy;
    s.options.TouchMode = TouchMode;
    s.options.MouseButton = MouseButton;
    s.options.AssignedMouseButton = AssignedMouseButton;
    s.options.AssignedArmed = m_bAssignedArmed;
    s.transform.SwapXY = SwapXY;
    s.transform.Rotate = Rotate;
    s.transform.LineDirX = m_Calibration.LineDirX;
    s.transform.LineDirY = m_Calibration.LineDirY;
    s.transform.LineShiftX = m_Calibration.LineShiftX;
    s.transform.LineShiftY = m_Calibration.LineShiftY;
    s.transform.Turn = TurnBetween(CalibrationOrientation, PublishedDeskMapping().orientation);
    return s;
}

void ZmrCtrlVirt::ExecutePlan(const TouchPlan& plan)
{
    if (plan.malformed) return;
    // Notifications keep their place among the records of earlier reports.
    if (plan.needsIdentify || plan.disarmAssigned) m_Batch.Flush();
    if (plan.needsIdentify) {
        // Posts only when the flag goes 0 -> 1, so a screen touched while
        // the device is unidentified does not flood the message window.
        SignalDeviceRestart();
        return;
    }
    m_bPressed = plan.pressed;
    m_Press = plan.press;
    m_Input.mi.dx = plan.position.x;
    m_Input.mi.dy = plan.position.y;
    if (plan.disarmAssigned) {
        m_bAssignedArmed = 0;
        const HWND window = App().mouseButtonWindow;
        if (window != nullptr) {
            ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_MOUSE_BUTTON_CHANGED, 0), 0);
        }
    }
    if (plan.recordCount == 0 || InputLocked() != 0) return;
    const int count = plan.recordCount < 2 ? plan.recordCount : 2;
    m_Input.mi.dwFlags = plan.records[count - 1].flags;
    m_Batch.Add(plan.records, count);
}

bool ZmrCtrlVirt::TakesHold(uint8_t code)
{
    if (m_bHoldTouch) return true;
    // Only a touch that would press the left button in the Continuous mode:
    // every other button, mode and the armed one-shot stay as they are.
    const int32_t holdMs = HoldRightClick;
    if (code != kTouchReportCode || m_bPressed != 0 || holdMs <= 0 || App().ident.HwId == 0 ||
        TouchMode != kTouchModeContinuous || MouseButton != kMouseButtonLeft || m_bAssignedArmed != 0)
        return false;
    m_Hold = HoldClick();
    const DeskMapping desk = PublishedDeskMapping();
    m_Hold.Configure(static_cast<uint32_t>(holdMs),
                     HoldSlopAbsolute(desk.virtualDesk ? desk.width : ::GetSystemMetrics(SM_CXSCREEN)),
                     HoldSlopAbsolute(desk.virtualDesk ? desk.height : ::GetSystemMetrics(SM_CYSCREEN)));
    m_bHoldTouch = true;
    return true;
}

void ZmrCtrlVirt::OnHoldTouch(const uint8_t* payload, int length)
{
    const uint32_t now = g_clock.load()();
    if (payload[0] == kTouchReleaseCode) {
        m_bHoldTouch = false;
        ExecuteHold(m_Hold.Release(now));
        return;
    }
    RawTouch raw;
    if (!DecodeTouchReport(payload, length, &raw)) return;
    const AbsolutePoint p = TransformTouch(raw, Snapshot().transform);
    const bool wasWaiting = m_Hold.Waiting();
    ExecuteHold(m_Hold.Move(p.x, p.y, now));
    if (!wasWaiting && m_Hold.Waiting()) PostHoldWaiting();
}

void ZmrCtrlVirt::OnTouchClock()
{
    if (!m_bHoldTouch || !m_Hold.Waiting()) return;
    ExecuteHold(m_Hold.Tick(g_clock.load()()));
    // Woken early: wait for the rest.
    if (m_Hold.Waiting()) PostHoldWaiting();
}

void ZmrCtrlVirt::PostHoldWaiting()
{
    const HWND window = App().holdRingWindow;
    if (window == nullptr) return;
    const uint32_t left = m_Hold.DueMs() - g_clock.load()();
    ::PostMessageA(window, WM_HOLD_WAITING, left > 0x7FFFFFFFu ? 0 : left, 0);
}

void ZmrCtrlVirt::ExecuteHold(const HoldSteps& steps)
{
    constexpr uint32_t kAt = kMouseMove | kMouseAbsolute;
    InjectRecord records[2 * 4];
    int n = 0;
    for (int i = 0; i < steps.count; ++i) {
        const HoldStep& step = steps.step[i];
        const int32_t x = step.x < 0 ? 0 : (step.x > kAbsoluteMax ? kAbsoluteMax : step.x);
        const int32_t y = step.y < 0 ? 0 : (step.y > kAbsoluteMax ? kAbsoluteMax : step.y);
        switch (step.action) {
        case HoldAction::LeftDown:
            records[n++] = {x, y, kAt};
            records[n++] = {x, y, kAt | kMouseLeftDown};
            // Released as any press: the up of the button pressed.
            m_bPressed = 1;
            m_Press = TouchPress{true, kMouseLeftUp, false, false};
            break;
        case HoldAction::Move:
            records[n++] = {x, y, kAt};
            break;
        case HoldAction::LeftUp:
            records[n++] = {x, y, kAt | kMouseLeftUp};
            m_bPressed = 0;
            m_Press = TouchPress{};
            break;
        case HoldAction::RightDown:
            records[n++] = {x, y, kAt};
            records[n++] = {x, y, kAt | kMouseRightDown};
            break;
        case HoldAction::RightUp:
            records[n++] = {x, y, kAt | kMouseRightUp};
            break;
        case HoldAction::ShowHeld:
            m_Batch.Flush();
            if (const HWND window = App().holdRingWindow) {
                ::PostMessageA(
                    window, WM_HOLD_RECOGNISED, 0,
                    static_cast<LPARAM>(static_cast<uint32_t>(x) | static_cast<uint32_t>(y) << 16));
            }
            break;
        }
        m_Input.mi.dx = x;
        m_Input.mi.dy = y;
    }
    if (n == 0 || InputLocked() != 0) return;
    m_Input.mi.dwFlags = records[n - 1].flags;
    m_Batch.Add(records, n);
}

void ZmrCtrlVirt::OnReadBegin(uint32_t backlogUs)
{
    m_Batch.Begin(backlogUs);
}

void ZmrCtrlVirt::OnReadEnd()
{
    m_Batch.End();
}

int ZmrCtrlVirt::InjectBatch(void* self, const InjectRecord* records, int count)
{
    ZmrCtrlVirt* ctrl = static_cast<ZmrCtrlVirt*>(self);
    if (count > TouchBatch::kCapacity) count = TouchBatch::kCapacity;
    // The records are on the touch monitor's scale; off the primary monitor
    // they go out normalised over the virtual desktop.
    const DeskMapping desk = PublishedDeskMapping();
    for (int i = 0; i < count; ++i) {
        INPUT& input = ctrl->m_BatchInput[i];
        input = INPUT{};
        input.type = INPUT_MOUSE;
        int32_t x = records[i].dx;
        int32_t y = records[i].dy;
        MapToDesk(desk, &x, &y);
        input.mi.dx = x;
        input.mi.dy = y;
        input.mi.dwFlags = records[i].flags | (desk.virtualDesk ? MOUSEEVENTF_VIRTUALDESK : 0u);
    }
    return static_cast<int>(g_injector.load()(static_cast<UINT>(count), ctrl->m_BatchInput));
}

void ZmrCtrlVirt::PauseAfterRefusal(void*)
{
    ::Sleep(1);
}

TransactResult ZmrCtrlVirt::WriteOutputPort(uint8_t value)
{
    if (App().channel.load() == nullptr) return 2;
    const uint8_t command[2] = {0x86, value};
    return Transact(command, 2, 0x06);
}

TransactResult ZmrCtrlVirt::ReadOutputPort(uint8_t* buffer, uint8_t size, uint8_t* length)
{
    if (App().channel.load() == nullptr) return 2;
    if (buffer == nullptr || length == nullptr || size < 1) return 2;
    buffer[0] = 0x06;
    *length = 1;
    const TransactResult result = Transact(buffer, 1, 0x86);
    if (result == 0) {
        const uint8_t copied = m_nTakenLen < size ? m_nTakenLen : size;
        memcpy(buffer, m_Taken, copied);
        *length = copied;
    }
    return result;
}

CommInfoScope::CommInfoScope(const ZmrCtrlVirt& ctrl)
{
    const HWND box = App().commInfoBox;
    if (box != nullptr && ctrl.m_bShowCommInfo != 0) {
        m_hBox = box;
        ::ShowWindow(m_hBox, SW_SHOWNA);
        ::UpdateWindow(m_hBox);
    }
}

CommInfoScope::~CommInfoScope()
{
    if (m_hBox != nullptr) ::ShowWindow(m_hBox, SW_HIDE);
}

#include <cstring>

#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/Reporting.h"
#include "channel/ChannelVirt.h"
#include "controller/ZmrCtrlVirt.h"
#include "Messages.h"

namespace {

constexpr int kAttempts = 3;
constexpr LONGLONG kAttemptTimeout100ns = -100LL * 10000LL; // 100 ms, relative
// The timer ends every attempt after 100 ms; should it never fire, this
// bound stands in for it, so that no wait depends on the timer alone.
constexpr DWORD kAttemptWaitBoundMs = 500;

} // namespace

ZmrModelCtrl::ZmrModelCtrl(int model) : m_pModel(ControllerModelInfo(model))
{
    m_nType = model;
    Initialize(1);
}

int ZmrModelCtrl::OnReceive(const uint8_t* payload, int length)
{
    if (payload == nullptr || length < 1) return 1;
    const uint8_t code = payload[0];
    if (!AcceptsCode(m_nType, code)) {
        char detail[kTextMax + 1];
        if (FormatRejectedCode(m_nType, code, detail, sizeof(detail))) {
            ReportAppEvent(MSG_INCOMPATIBLE_COMMAND, detail);
        }
        return 1;
    }
    if (code == kTemperatureReplyCode && m_pModel->hasTemperature) {
        m_nTemperature = DecodeTemperature(payload, length);
    }
    return ZmrCtrlVirt::OnReceive(payload, length);
}

bool ZmrModelCtrl::ArmTimer()
{
    LARGE_INTEGER due;
    due.QuadPart = kAttemptTimeout100ns;
    return ::SetWaitableTimer(m_hTimer.get(), &due, 0, nullptr, nullptr, FALSE) != FALSE;
}

TransactResult ZmrModelCtrl::Transact(const uint8_t* command, uint8_t length, uint8_t expected)
{
    ChannelVirt* channel = App().channel.load();
    if (channel == nullptr || command == nullptr || !m_hTimer) return 2;

    // A signal left by an expiry that nobody waited for would end the first
    // attempt at once (Wine does not clear it when the timer is re-armed).
    ::CancelWaitableTimer(m_hTimer.get());
    ::WaitForSingleObject(m_hTimer.get(), 0);

    // Replies carry no sequence number. Emptying the store before every
    // send, resends included, means that only a reply stored after this
    // attempt's send can count: not one left over from an earlier command,
    // nor a late one to an earlier attempt. What remains is a late reply
    // that arrives after the next send and carries the code that send
    // expects: it is taken for that send's answer. The protocol gives no way
    // to tell the two apart, and this is accepted: the LCD key steps all
    // expect 06, so a late 06 can complete the next key step before its own
    // answer has come.
    uint8_t attempt = 1;
    ClearReply();
    channel->Send(command, length);
    if (!ArmTimer()) return 2;
    // One wait on all three, so that a reply is taken the moment it is
    // stored. When several are signalled the wait reports the first in this
    // order and leaves the others signalled: the quit event wins over the
    // reply, the reply over the timer.
    const HANDLE waits[3] = {m_hQuitEvent.get(), m_hRecEvent.get(), m_hTimer.get()};
    TransactResult result = 1;
    for (;;) {
        const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, kAttemptWaitBoundMs);
        if (woke == WAIT_OBJECT_0) {
            result = -1;
            break;
        }
        if (woke == WAIT_OBJECT_0 + 1) {
            // A reply with another code is consumed here and ignored.
            TakeReply();
            if (m_Taken[0] == expected) {
                result = 0;
                break;
            }
        } else if (woke == WAIT_OBJECT_0 + 2 || woke == WAIT_TIMEOUT) {
            if (++attempt > kAttempts) return 1;
            ClearReply();
            channel->Send(command, length);
            if (!ArmTimer()) return 2;
        } else {
            result = 2;
            break;
        }
        ::Sleep(static_cast<DWORD>(m_pModel->transactPauseMs));
    }
    ::CancelWaitableTimer(m_hTimer.get());
    return result;
}

TransactResult ZmrModelCtrl::ReadParam(CtrlParam param, uint8_t command, uint8_t reply)
{
    int32_t* field = ParamField(param);
    int32_t noReply = 0;
    for (int i = 0; i < m_pModel->readConfigCount; ++i) {
        if (m_pModel->readConfig[i].param == param) noReply = m_pModel->readConfig[i].noReplyValue;
    }
    const uint8_t cmd[1] = {command};
    TransactResult result = Transact(cmd, 1, reply);
    // A reply without its value byte is as good as none.
    if (result == 0 && m_nTakenLen < 2) result = 1;
    if (result == 0) {
        *field = m_Taken[1];
    } else if (result == 1) {
        *field = noReply;
    }
    return result;
}

TransactResult ZmrModelCtrl::WriteParam(CtrlParam param, uint8_t command, uint8_t reply)
{
    const uint8_t cmd[2] = {command, static_cast<uint8_t>(*ParamField(param) & 0xFF)};
    return Transact(cmd, 2, reply);
}

TransactResult ZmrModelCtrl::ReadConfig()
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    // The first failure is the result, so that the caller learns that
    // defaults stand in for values; the values that did arrive are kept.
    TransactResult first = 0;
    for (int i = 0; i < m_pModel->readConfigCount; ++i) {
        const ReadStep& step = m_pModel->readConfig[i];
        const TransactResult result = ReadParam(step.param, step.command, step.reply);
        if (first == 0) first = result;
        if (result != 0 && result != 1) break;
    }
    return first;
}

TransactResult ZmrModelCtrl::WriteConfig()
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    for (int i = 0; i < m_pModel->writeConfigCount; ++i) {
        const WriteStep& step = m_pModel->writeConfig[i];
        const TransactResult result = WriteParam(step.param, step.command, step.reply);
        if (result != 0) return result;
    }
    return 0;
}

TransactResult ZmrModelCtrl::WriteStabilization(int)
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    return WriteParam(CtrlParam::Stabilization, 0x85, 0x05);
}

TransactResult ZmrModelCtrl::ReadStabilization(int)
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    return ReadParam(CtrlParam::Stabilization, 0x05, 0x85);
}

TransactResult ZmrModelCtrl::WriteFilter(int)
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    return WriteParam(CtrlParam::Filter, 0x88, 0x08);
}

TransactResult ZmrModelCtrl::ReadFilter(int)
{
    if (App().channel.load() == nullptr) return 2;
    CommInfoScope info(*this);
    return ReadParam(CtrlParam::Filter, 0x08, 0x88);
}

int ZmrModelCtrl::ReadTemperature(float* celsius)
{
    if (!m_pModel->hasTemperature) return 0;
    const uint8_t cmd[1] = {0x21};
    if (Transact(cmd, 1, kTemperatureReplyCode) != 0) return 0;
    if (celsius != nullptr) *celsius = TemperatureCelsius(m_nTemperature);
    return 1;
}

int ZmrModelCtrl::Initialize(int create)
{
    if (create != 0) {
        m_hTimer.reset(::CreateWaitableTimerA(nullptr, FALSE, nullptr));
        if (!m_hTimer) FatalCreationFailure(m_pModel->timerCreationFailure);
        if (LoadSettings() == 1) return 1;
    }
    for (int i = 0; i < kCtrlParamCount; ++i) {
        const CtrlParamInfo& spec = m_pModel->params[i];
        *ParamField(spec.param) = spec.defaultValue;
        if (spec.HasLimits()) {
            *MinField(spec.param) = spec.minimum;
            *MaxField(spec.param) = spec.maximum;
        }
    }
    MouseButton = kMouseButtonLeft;
    Rotate = 0;
    TouchMode = kTouchModeContinuous;
    SwapXY = 0;
    LcdTopMost = 0;
    MinDoubleClickSize = 5;
    MaxDoubleClickSize = 305;
    DoubleClickSize = 100;
    MinDoubleClickTime = 400;
    MaxDoubleClickTime = 1500;
    DoubleClickTime = 800;
    MarkerDistance = 1048;
    CheckLimit = kDefaultCheckLimitPx;
    CheckResidual = -1;
    CalibrationPoints = 3;
    HoldRightClick = kHoldRightClickOff;
    m_Calibration.LineDirX = m_pModel->calibration.LineDirX;
    m_Calibration.LineDirY = m_pModel->calibration.LineDirY;
    m_Calibration.LineShiftX = m_pModel->calibration.LineShiftX;
    m_Calibration.LineShiftY = m_pModel->calibration.LineShiftY;
    if (m_pModel->initializeClearsTemperature) m_nTemperature = 0;
    if (create == 0) return 1;

    ShowMessageBoxModeless(MSG_CTRL_REGISTRY_READ_ERROR);
    return SaveSettings();
}

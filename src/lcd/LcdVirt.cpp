// The frame every LCD key operation runs in and the controller link.
#include "lcd/LcdVirt.h"

#include "controller/ZmrCtrlVirt.h"

namespace {

// A key request that cannot get the display within this time is dropped:
// the bar is pressed again rather than queuing presses behind a slow one.
constexpr DWORD kKeyWaitMs = 100;

// Holds a semaphore for one scope when it could be taken in time.
class SemaphoreHold {
public:
    SemaphoreHold(HANDLE semaphore, DWORD timeoutMs)
        : m_h(semaphore != nullptr && ::WaitForSingleObject(semaphore, timeoutMs) == WAIT_OBJECT_0 ? semaphore
                                                                                                   : nullptr)
    {
    }
    ~SemaphoreHold()
    {
        if (m_h != nullptr) ::ReleaseSemaphore(m_h, 1, nullptr);
    }
    SemaphoreHold(const SemaphoreHold&) = delete;
    SemaphoreHold& operator=(const SemaphoreHold&) = delete;

    bool Held() const { return m_h != nullptr; }

private:
    HANDLE m_h;
};

} // namespace

LcdVirt::LcdVirt(int type) : m_hSemaphore(::CreateSemaphoreA(nullptr, 1, 1, nullptr)), m_nType(type) {}

LcdVirt::~LcdVirt() = default;

CtrlVirt* LcdVirt::AttachController(CtrlVirt* controller)
{
    // Without a semaphore no key operation can run, so the exchange alone
    // is still safe.
    SemaphoreHold hold(m_hSemaphore.get(), INFINITE);
    return m_pController.exchange(controller);
}

CtrlVirt* LcdVirt::DetachController()
{
    return AttachController(nullptr);
}

int LcdVirt::RunKeyOperation(ModelFit fit, KeyBody body, const void* context)
{
    SemaphoreHold hold(m_hSemaphore.get(), kKeyWaitMs);
    if (!hold.Held()) return kLcdNotDone;
    CtrlVirt* const attached = m_pController.load();
    if (attached == nullptr) return kLcdNotDone;
    // The output port belongs to the ZMR family, which every controller
    // model is part of; anything else cannot carry a display.
    ZmrCtrlVirt* const ctrl = dynamic_cast<ZmrCtrlVirt*>(attached);
    if (ctrl == nullptr) return kLcdUnfitModel;
    // Declared after the hold, so the box is hidden before the display is
    // given to the next caller, on every way out.
    CommInfoScope info(*ctrl);
    const int32_t model = ctrl->m_nType;
    const bool fits = fit == ModelFit::Any || (fit == ModelFit::Zmr01OrZmr02 && (model == 0 || model == 1)) ||
                      (fit == ModelFit::Zmr04Only && model == 3);
    if (!fits) return kLcdUnfitModel;
    return body(*this, *ctrl, context);
}

int LcdVirt::RunKeySequence(ModelFit fit, const KeyStep* steps, int count)
{
    struct StepList {
        const KeyStep* steps;
        int count;
    };
    const StepList list = {steps, count};
    return RunKeyOperation(
        fit,
        [](LcdVirt&, ZmrCtrlVirt& ctrl, const void* context) -> int {
            const StepList& l = *static_cast<const StepList*>(context);
            const KeyStep* s = l.steps;
            int result = kLcdDone;
            for (int i = 0; i < l.count; ++i) {
                result = ctrl.WriteOutputPort(s[i].code);
                // A code the controller did not take leaves the display in an
                // unknown state; later codes would press the wrong keys.
                if (result != 0 && !s[i].goOnAfterFailure) break;
                if (s[i].pauseMs != 0) ::Sleep(s[i].pauseMs);
            }
            return result;
        },
        &list);
}

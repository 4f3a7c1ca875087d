// The controller family: the family base with the fields shared by all
// models, the touch pipeline and the reply store, and the model classes,
// which differ only by their description in the model table.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/Handles.h"
#include "channel/ChannelListener.h"
#include "controller/CtrlVirt.h"
#include "controller/HoldClick.h"
#include "controller/ModelTable.h"
#include "controller/TouchBatch.h"
#include "controller/TouchConversion.h"

// Defaults of the optional calibration values (see CheckLimit below).
constexpr int32_t kDefaultCheckLimitPx = 15;

struct CalibrationRecord {
    int32_t Target[3][2]; // crosses: top left, bottom left, bottom right
    int32_t Touch[3][2];  // positions taken for them
    int32_t LineDirX;     // (scale - 1) x 1000
    int32_t LineDirY;
    int32_t LineShiftX; // offset on the absolute 0..65535 scale
    int32_t LineShiftY;
};
static_assert(sizeof(CalibrationRecord) == 64, "calibration block is sixteen int32");

// How mouse records reach the system: SendInput in the product, a recorder
// in tests. A batch injector gets the records of one hand-over in one call,
// in order, and returns how many it took from the first. A one-record
// injector is offered them one at a time. nullptr restores SendInput.
using InputInjector = UINT (*)(const INPUT* input);
using InputBatchInjector = UINT (*)(UINT count, const INPUT* inputs);
void SetInputInjector(InputInjector injector);
void SetInputBatchInjector(InputBatchInjector injector);
// The clock of the hold decision in ms: GetTickCount in the product, a
// hand-moved one in tests. nullptr restores GetTickCount.
using TouchClock = uint32_t (*)();
void SetTouchClock(TouchClock clock);
// While a window asks which screen is touched, touches are handed to it
// (WM_SCREEN_TOUCHED posted at each press) and nothing is injected.
// nullptr (the default) injects as ever. Main thread sets, receive thread
// reads.
constexpr UINT WM_SCREEN_TOUCHED = WM_APP + 42;
void SetTouchPromptWindow(HWND window);

// The controller is also told where the payloads of one read begin and end:
// the mouse records of a read are held and handed to the system in one call
// at its end: one system call per read instead of one per report, and the
// records of a read are not interspersed with other input. (Under Wine the
// cost per record hardly changes: each record is a server request and a
// pointer warp of its own there.) Everything else that leaves the receive
// path (a posted notification, a stored reply) hands over what is held
// first, so the order of all effects is unchanged.
class ZmrCtrlVirt : public CtrlVirt,
                    public LineLossListener,
                    public ReceiveBatchListener,
                    public TouchClockListener {
public:
    int OnReceive(const uint8_t* payload, int length) override;
    // A touch that waits for its hold decision gets it once the hold time has
    // passed, report or not. Under the channel's lock, any thread.
    void OnTouchClock() override;
    // The touch stream broke (the port went away, a restart notice, a failed
    // identification, a port switch, a damaged read): a touch that is down
    // gets its release now, as it would when this object is destroyed. Any
    // thread, under the channel's lock; any number of times: the first call
    // clears the press, so later ones (and the destructor, and a late 0x91)
    // inject no second up. An up the system refused earlier is offered again.
    void OnLineLost() override;
    void OnReadBegin(uint32_t backlogUs) override;
    void OnReadBegin() { OnReadBegin(0); }
    void OnReadEnd() override;
    // Positions left out since construction because the path was behind.
    uint64_t MergedPositions() const { return m_Batch.Merged(); }
    int InputLocked() override { return 0; }
    int NoOperation(int) override { return 1; }

    // Injects the button-up of a touch still down (never leave a button
    // stuck), then closes the handles.
    virtual ~ZmrCtrlVirt();                                // 14
    virtual int Initialize(int create) = 0;                // 15
    virtual TransactResult WriteOutputPort(uint8_t value); // 16
    // Copies at most size bytes of the reply into buffer.
    virtual TransactResult ReadOutputPort(uint8_t* buffer, uint8_t size, uint8_t* length); // 17

    ZmrCtrlVirt(const ZmrCtrlVirt&) = delete;
    ZmrCtrlVirt& operator=(const ZmrCtrlVirt&) = delete;

    // Reply store: written, and m_hRecEvent set, by the receive thread under
    // m_ReplyLock; cleared before every attempt of a transaction and copied
    // out by the waiting thread under the same lock.
    UniqueKernelHandle m_hRecEvent;
    UniqueKernelHandle m_hQuitEvent;
    uint8_t m_Reply[32] = {};
    uint8_t m_nReplyLen = 0;
    // The reply the last transaction took, copied out of the store: the
    // transaction's caller reads it while the receive thread may already be
    // storing the next one. Thread of the transaction only.
    uint8_t m_Taken[32] = {};
    uint8_t m_nTakenLen = 0;

    // Under the channel's lock: the receive thread, or a thread that breaks
    // the touch stream (OnLineLost); and the destructor, once no delivery
    // can start. The same holds for m_Input and m_Batch.
    int32_t m_bPressed = 0;
    // What that press gave the system, for its release; kept with m_bPressed.
    TouchPress m_Press;
    // The touch that is down began with the right click by holding on: all
    // its reports go through m_Hold until its release. Kept as m_bPressed.
    bool m_bHoldTouch = false;
    HoldClick m_Hold;

    // Driver options and calibration: written by the main thread (pages,
    // calibration, mouse-button window), read by the receive thread for each
    // report as found. Plain 32-bit values.
    volatile int32_t MouseButton = kMouseButtonLeft;
    volatile int32_t MouseButtonTopMost = 0;
    volatile int32_t AssignedMouseButton = kAssignedButtonRight;
    // Set 0 -> 1 by the mouse-button window, cleared by the receive thread.
    volatile int32_t m_bAssignedArmed = 0;
    volatile int32_t Rotate = 0;
    volatile int32_t SwapXY = 0;
    volatile int32_t TouchMode = kTouchModeContinuous;
    // "HoldRightClick": a touch held still this many ms is a right click;
    // 0 is off. Taken at the start of each touch of the Continuous mode.
    volatile int32_t HoldRightClick = kHoldRightClickOff;
    volatile int32_t LcdTopMost = 0;
    volatile int32_t m_bShowCommInfo = 0;
    int32_t MinDoubleClickSize = 5;
    int32_t MaxDoubleClickSize = 305;
    int32_t DoubleClickSize = 100;
    int32_t MinDoubleClickTime = 400;
    int32_t MaxDoubleClickTime = 1500;
    int32_t DoubleClickTime = 800;
    CalibrationRecord m_Calibration = {};
    int32_t MarkerDistance = 1048;
    // Optional values of the controller's key: a configuration stored
    // without them loads as before and gets these defaults (read by
    // LoadSettings when present and in range, saved last). Main thread only.
    // Check point further off than this many pixels refuses a run; 0: no check.
    int32_t CheckLimit = kDefaultCheckLimitPx;
    // The residual of the last accepted check point in pixels; -1: none yet.
    int32_t CheckResidual = -1;
    // Crosses of a run: 3, or 5 with the top right and the centre.
    int32_t CalibrationPoints = 3;
    // "CalibrationOrientation": the display's orientation (quarter turns) the
    // calibration was made in; -1 unknown. Touches are turned by the
    // difference to the display's orientation now. Written by the main
    // thread, read by the receive thread as found (plain 32-bit value).
    volatile int32_t CalibrationOrientation = -1;

    INPUT m_Input = {};         // as m_bPressed
    bool m_bPromptDown = false; // a touch is down on the screen prompt; as m_bPressed

    // As m_bPressed, and on the thread that replaces the listener.
    TouchBatch m_Batch;
    INPUT m_BatchInput[TouchBatch::kCapacity] = {};

    int32_t Stabilization = 0, MinStabilization = 0, MaxStabilization = 0;
    int32_t Deglitch = 0, MinDeglitch = 0, MaxDeglitch = 0;
    int32_t PressDelay = 0, MinPressDelay = 0, MaxPressDelay = 0;
    int32_t ReleaseDelay = 0, MinReleaseDelay = 0, MaxReleaseDelay = 0;
    int32_t Filter = 0, MinFilter = 0, MaxFilter = 0;
    int32_t Threshold = 0;                                  // ZMR01
    int32_t ChargeWS = 0, MinChargeWS = 0, MaxChargeWS = 0; // ZMR02..ZMR04
    // Last temperature in half degrees, 255 = invalid (ZMR03, ZMR04).
    volatile int16_t m_nTemperature = 0;

    // The field of a parameter, its limits; nullptr for a parameter the
    // family does not hold.
    int32_t* ParamField(CtrlParam param);
    int32_t* MinField(CtrlParam param);
    int32_t* MaxField(CtrlParam param);

protected:
    ZmrCtrlVirt();

    // A transaction's side of the reply store: forget what is stored (and its
    // signal) before a command goes out, and copy it to m_Taken once
    // m_hRecEvent has been seen.
    void ClearReply();
    void TakeReply();

    // Carries out a touch plan: field updates, notifications, injection.
    void ExecutePlan(const TouchPlan& plan);
    TouchSnapshot Snapshot() const;

private:
    // Whether this report (or release) belongs to a touch decided by holding;
    // a first report starts one when the options ask for it.
    bool TakesHold(uint8_t code);
    void OnHoldTouch(const uint8_t* payload, int length);
    // Carries out the steps of the hold decision: records, press state, ring.
    void ExecuteHold(const HoldSteps& steps);
    void PostHoldWaiting();

    static int InjectBatch(void* self, const InjectRecord* records, int count);
    static void PauseAfterRefusal(void* self);

    // Only the reply store and its event, for a few bytes' copy: never held
    // while waiting, injecting or calling out.
    class ReplyLock {
    public:
        ReplyLock() { ::InitializeCriticalSection(&m_cs); }
        ~ReplyLock() { ::DeleteCriticalSection(&m_cs); }
        ReplyLock(const ReplyLock&) = delete;
        ReplyLock& operator=(const ReplyLock&) = delete;
        void Enter() { ::EnterCriticalSection(&m_cs); }
        void Leave() { ::LeaveCriticalSection(&m_cs); }

    private:
        CRITICAL_SECTION m_cs;
    };
    class ReplyScope {
    public:
        explicit ReplyScope(ReplyLock& lock) : m_lock(lock) { m_lock.Enter(); }
        ~ReplyScope() { m_lock.Leave(); }
        ReplyScope(const ReplyScope&) = delete;
        ReplyScope& operator=(const ReplyScope&) = delete;

    private:
        ReplyLock& m_lock;
    };
    ReplyLock m_ReplyLock;
};

// The model classes share one implementation driven by the model table.
class ZmrModelCtrl : public ZmrCtrlVirt {
public:
    int OnReceive(const uint8_t* payload, int length) override;
    TransactResult Transact(const uint8_t* command, uint8_t length, uint8_t expected) override;
    TransactResult ReadConfig() override;
    TransactResult WriteConfig() override;
    TransactResult WriteStabilization(int unused) override;
    TransactResult ReadStabilization(int unused) override;
    TransactResult WriteFilter(int unused) override;
    TransactResult ReadFilter(int unused) override;
    int LoadSettings() override;
    int SaveSettings() override;
    int DumpSettings(HANDLE file) override;
    // The export's section of the values added later (check, points, hold),
    // written after every other section.
    int DumpOptionalSettings(HANDLE file);
    int ReadTemperature(float* celsius) override;
    int Initialize(int create) override;

    const ControllerModel& Model() const { return *m_pModel; }

protected:
    explicit ZmrModelCtrl(int model);

private:
    TransactResult ReadParam(CtrlParam param, uint8_t command, uint8_t reply);
    TransactResult WriteParam(CtrlParam param, uint8_t command, uint8_t reply);
    bool ArmTimer();

    const ControllerModel* m_pModel;
    UniqueKernelHandle m_hTimer;
};

class ZMR01Ctrl : public ZmrModelCtrl {
public:
    ZMR01Ctrl() : ZmrModelCtrl(kControllerModelZmr01) {}
};
class ZMR02Ctrl : public ZmrModelCtrl {
public:
    ZMR02Ctrl() : ZmrModelCtrl(kControllerModelZmr02) {}
};
class ZMR03Ctrl : public ZmrModelCtrl {
public:
    ZMR03Ctrl() : ZmrModelCtrl(kControllerModelZmr03) {}
};
class ZMR04Ctrl : public ZmrModelCtrl {
public:
    ZMR04Ctrl() : ZmrModelCtrl(kControllerModelZmr04) {}
};

// Shows the command-in-progress box for the life of a command operation when
// the controller asks for it.
class CommInfoScope {
public:
    explicit CommInfoScope(const ZmrCtrlVirt& ctrl);
    ~CommInfoScope();
    CommInfoScope(const CommInfoScope&) = delete;
    CommInfoScope& operator=(const CommInfoScope&) = delete;

private:
    HWND m_hBox = nullptr;
};

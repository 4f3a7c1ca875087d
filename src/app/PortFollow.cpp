#include "app/PortFollow.h"

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "channel/CommProtocol2.h"
#include "channel/PortSearch.h"
#include "channel/PresentPorts.h"
#include "ui/HardwarePage.h"
#include "ui/SettingsPages.h"

namespace {

// Main thread only.
struct FollowState {
    bool enabled = false;
    bool asking = false;   // a port is being asked: a box's loop may tick again
    HWND window = nullptr; // owns the timer
    bool ticking = false;  // the timer is armed
    PortSearch search;
    std::vector<int> known; // ports present at the last device change
};
FollowState g_follow;

LineState CurrentLineState(const CommProtocol2& channel)
{
    if (!channel.IsOpen()) return LineState::Silent;
    if (channel.LineLost()) return LineState::Lost;
    return App().ident.HwId == 0 ? LineState::Silent : LineState::Working;
}

enum class AskOutcome { NotOpened, NoAnswer, Switched };

// Asks port n (1..255) for the device. A port another program holds open
// does not open for us (sharing violation, access denied) and is left
// alone; one that opens but does not answer is closed at once. Switched:
// the device answered and its channel is the current one now.
AskOutcome AskPort(int n, int previous)
{
    std::unique_ptr<CommProtocol2> probe(new (std::nothrow) CommProtocol2(n - 1, false));
    if (!probe || probe->ChannelIndex() != n - 1 || !probe->Open()) return AskOutcome::NotOpened;
    IdentRecord record;
    if (!probe->Identify(&record, false)) {
        probe->Close();
        return AskOutcome::NoAnswer;
    }
    // The port's settings are stored once the device is used there, as
    // after a change on the Hardware page; merely asking stores nothing.
    if (!probe->LoadSettings()) {
        ReportAppEvent(MSG_CHANNEL_CONFIG_INVALID, ChannelName(n - 1));
        probe->SaveSettings();
    }
    HardwarePageTakeChannel(probe.release(), record);
    char text[kTextMax] = {};
    FormatBounded(text, sizeof text, "%s (before: %s)", ChannelName(n - 1),
                  previous > 0 ? ChannelName(previous - 1) : "none");
    ReportAppEvent(MSG_PORT_FOLLOWED, text);
    return AskOutcome::Switched;
}

// The timer runs only while the line is in trouble: a working line costs
// no wake at all, and its loss, a settings action or a restart wakes it.
void Tick(bool on)
{
    if (on == g_follow.ticking || g_follow.window == nullptr) return;
    if (on) {
        g_follow.ticking = ::SetTimer(g_follow.window, kPortSearchTimerId, kPortSearchTickMs, nullptr) != 0;
    } else {
        ::KillTimer(g_follow.window, kPortSearchTimerId);
        g_follow.ticking = false;
    }
}

} // namespace

void StartPortFollow(HWND messageWindow)
{
    g_follow = FollowState{};
    g_follow.enabled = ReadSearchPorts();
    if (!g_follow.enabled) return;
    g_follow.window = messageWindow;
    g_follow.known = PresentPortNumbers();
    // How start-up left the line, so that a loss before the first tick is
    // a loss (with its grace), not a start without the device.
    if (const auto* channel = dynamic_cast<const CommProtocol2*>(App().channel.load()))
        g_follow.search.Observe(::GetTickCount(), CurrentLineState(*channel));
    Tick(true);
}

void StopPortFollow(HWND messageWindow)
{
    ::KillTimer(messageWindow, kPortSearchTimerId);
    g_follow.enabled = false;
    g_follow.ticking = false;
    g_follow.window = nullptr;
}

void PortFollowWake()
{
    if (g_follow.enabled) Tick(true);
}

void PortFollowTick()
{
    // A settings action paused in a box may hold the channel; it is asked
    // again on a later tick.
    if (!g_follow.enabled || g_follow.asking || SettingsActionRunning() || QuitRequested()) return;
    auto* channel = dynamic_cast<CommProtocol2*>(App().channel.load());
    if (channel == nullptr) return;
    const DWORD now = ::GetTickCount();
    const LineState state = CurrentLineState(*channel);
    g_follow.search.Observe(now, state);
    Tick(state != LineState::Working);
    if (!g_follow.search.Searching(now)) return;

    const int current = channel->ChannelIndex() + 1;
    const std::vector<int> present = PresentPortNumbers();
    g_follow.asking = true;
    // A port that does not open costs no wait: the next one is tried in the
    // same tick, so that ports that are listed but not there (or held by
    // others) do not delay the one where the device is. At most one port is
    // asked, and so waited for, per tick.
    for (size_t tries = 0; tries < present.size(); ++tries) {
        const int n = g_follow.search.NextPort(now, current, present);
        if (n == 0) break;
        const AskOutcome outcome = AskPort(n, current);
        if (outcome == AskOutcome::NotOpened) {
            g_follow.search.NotOpened(n, now);
            continue;
        }
        if (outcome == AskOutcome::NoAnswer) g_follow.search.Asked(n, now);
        if (outcome == AskOutcome::Switched) g_follow.search.Switched();
        break;
    }
    g_follow.asking = false;
}

void PortFollowDeviceChange(WPARAM event, LPARAM data)
{
    if (!g_follow.enabled) return;
    if (event == DBT_DEVICEARRIVAL && data != 0) {
        const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
        if (header->dbch_devicetype == DBT_DEVTYP_PORT && header->dbch_size > sizeof(DEV_BROADCAST_HDR)) {
            const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_A*>(data);
            // The name is within the record the system sized.
            const size_t room = header->dbch_size - offsetof(DEV_BROADCAST_PORT_A, dbcp_name);
            char name[16] = {};
            for (size_t i = 0; i + 1 < sizeof name && i < room && port->dbcp_name[i] != '\0'; ++i)
                name[i] = port->dbcp_name[i];
            const int number = PortNumber(name);
            if (number != 0) g_follow.search.PortArrived(number);
        }
    }
    // Ports that were not there at the last change count as arrived too:
    // not every system names the port in its message.
    const std::vector<int> present = PresentPortNumbers();
    for (const int n : present) {
        if (std::find(g_follow.known.begin(), g_follow.known.end(), n) == g_follow.known.end())
            g_follow.search.PortArrived(n);
    }
    g_follow.known = present;
    if (const HWND page = SettingsPage(kPageHardware))
        ::SendMessageA(page, WM_COMMAND, MAKEWPARAM(CMD_PAGE_RELOAD, 0), 0);
    PortFollowTick();
}

void PortFollowPower(WPARAM event)
{
    ChannelVirt* channel = App().channel.load();
    switch (event) {
    case PBT_APMSUSPEND:
        // The release of a touch held now would come, if at all, from a
        // device that may lose power with the PC.
        if (channel != nullptr) channel->BreakTouchStream();
        break;
    case PBT_APMRESUMEAUTOMATIC:
    case PBT_APMRESUMESUSPEND: {
        // A controller that lost power has lost its parameters. A port that
        // went away with the sleep is opened again by the channel when it
        // is back, which then identifies and configures the device; one
        // that was never opened is opened now.
        auto* serial = dynamic_cast<CommProtocol2*>(channel);
        if (serial != nullptr && !serial->IsOpen()) serial->Open();
        SignalDeviceRestart();
        break;
    }
    default:
        break;
    }
}

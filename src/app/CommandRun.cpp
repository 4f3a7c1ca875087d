#include "app/CommandRun.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "app/ConfigurationImport.h"
#include "Messages.h"
#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "app/Startup.h"
#include "app/Wiring.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/ObjectNames.h"
#include "base/ModalLoop.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "calibration/CalibrationStart.h"
#include "calibration/CalibrationWindow.h"
#include "channel/ChannelVirt.h"
#include "channel/CommProtocol2.h"
#include "controller/CtrlVirt.h"
#include "lcd/LcdVirt.h"
#include "ui/ConfigurationExport.h"
#include "ui/SettingsPages.h"

namespace {

// Time the running program may take for one job (a port switch with its
// identification and three configuration attempts takes a few seconds).
constexpr UINT kAnswerTimeoutMs = 60000;
// How long a job waits for a program that is inside a box.
constexpr DWORD kBusyWaitMs = 10000;
constexpr DWORD kBusyRetryMs = 250;
constexpr UINT kReplyTimeoutMs = 5000;
// How often a second instance waiting for the end of a calibration run looks
// whether the running program is still there.
constexpr DWORD kRunWatchMs = 500;
constexpr const char* kReplyWindowClass = "TactilePaneCommandReply";

// --- output --------------------------------------------------------------

bool Usable(HANDLE h)
{
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_UNKNOWN;
}

// Standard output and error output of this process. Main thread only.
class CommandOutput {
public:
    CommandOutput() : m_hOut(::GetStdHandle(STD_OUTPUT_HANDLE)), m_hErr(::GetStdHandle(STD_ERROR_HANDLE))
    {
        if (Usable(m_hOut) && Usable(m_hErr)) return;
        // A program of the windows subsystem has no console of its own: it
        // writes to the one it was started from, if any.
        if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
        m_hConsole.reset(::CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                       nullptr));
        if (!Usable(m_hOut)) m_hOut = m_hConsole.get();
        if (!Usable(m_hErr)) m_hErr = m_hConsole.get();
    }

    void Write(bool error, const std::string& text) const
    {
        if (text.empty()) return;
        std::string lines;
        for (char c : text) {
            if (c == '\n' && (lines.empty() || lines.back() != '\r')) lines += '\r';
            lines += c;
        }
        if (lines.back() != '\n') lines += "\r\n";
        DWORD written = 0;
        if (m_hLog)
            ::WriteFile(m_hLog.get(), lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
        const HANDLE h = error ? m_hErr : m_hOut;
        if (Usable(h)) ::WriteFile(h, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    }

    // "/log FILE": the output appended to FILE as well (an installer's log,
    // where nobody reads the standard handles). False when it cannot be opened.
    bool AppendTo(const std::string& path)
    {
        m_hLog.reset(::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(m_hLog);
    }

private:
    HANDLE m_hOut = nullptr; // not owned: the process's standard handles
    HANDLE m_hErr = nullptr;
    UniqueFileHandle m_hConsole;
    UniqueFileHandle m_hLog;
};

// Set while a job runs in this process; main thread only.
const CommandOutput* g_output = nullptr;

// A box asked for while a job runs alone becomes a line on the error
// output: a script has nobody to close it.
HWND BoxToErrorOutput(const char* text, bool)
{
    if (g_output != nullptr && text != nullptr) g_output->Write(true, text);
    return nullptr;
}

std::string MessageText(uint32_t id)
{
    char text[kTextMax] = {};
    FormatAppMessage(id, text, sizeof text);
    return text;
}

// --- the jobs ------------------------------------------------------------

struct JobResult {
    int exitCode = kExitSuccess;
    std::string out;
    std::string err;
};

JobResult ExportJob(const char* file)
{
    JobResult result;
    const uint32_t failure = WriteConfigurationFile(file);
    if (failure != 0) {
        result.exitCode = kExitBadFile;
        result.err = MessageText(failure);
    } else {
        result.out = std::string("The configuration was written to ") + file + ".";
    }
    return result;
}

JobResult ImportJob(const char* file, bool withCalibration, bool running,
                    ImportScope scope = ImportScope::Everything)
{
    JobResult result;
    const ImportOutcome outcome = ImportConfigurationFile(file, withCalibration, running, scope);
    result.exitCode = outcome.exitCode;
    if (outcome.exitCode != kExitSuccess) {
        result.err = outcome.text;
    } else if (scope == ImportScope::CheckOnly) {
        result.out = std::string("The configuration in ") + file + " can be loaded; nothing was written.";
    } else {
        result.out = std::string("The configuration was loaded from ") + file +
                     (scope == ImportScope::MachineOnly ? " (the machine's values only)." : ".");
        if (!outcome.text.empty()) result.err = outcome.text;
    }
    return result;
}

JobResult StatusJob(ChannelVirt* channel, bool running)
{
    StatusReport status;
    status.running = running;
    IdentRecord ident{};
    if (channel != nullptr) {
        status.port = channel->ChannelIndex();
        status.answers = channel->Identify(&ident, false);
    }
    status.hwId = ident.HwId;
    status.majorSwVer = ident.MajorSwVer;
    status.minorSwVer = ident.MinorSwVer;
    if (running) {
        status.controllerModel = App().controllerModel;
        status.lcdModel = App().lcdModel;
    } else {
        status.controllerModel = CtrlModelFromIdent(ident);
        status.lcdModel = LcdModelFromIdent(ident);
    }
    JobResult result;
    result.exitCode = status.answers ? kExitSuccess : kExitNoDevice;
    result.out = FormatStatusReport(status);
    return result;
}

// The objects the export reads from, as start-up would make them, without
// opening the port. Released in order at the end of the scope.
class StandaloneObjects {
public:
    StandaloneObjects()
    {
        AppContext& app = App();
        const int port = ReadCurrentChannel();
        app.controllerModel = CtrlModelFromIdent(IdentRecord{});
        app.lcdModel = LcdModelFromIdent(IdentRecord{});
        // Without a stored port the first one: a job never searches the ports.
        app.channel.store(CreateChannel(port >= 0 && port < kChannelCount ? port : 0));
        app.controller.store(CreateController(app.controllerModel));
        app.lcd.store(CreateLcd(app.lcdModel));
    }
    ~StandaloneObjects()
    {
        AppContext& app = App();
        DestroyLcd(app.lcd.exchange(nullptr));
        DestroyController(app.controller.exchange(nullptr));
        DestroyChannel(app.channel.exchange(nullptr));
    }
    StandaloneObjects(const StandaloneObjects&) = delete;
    StandaloneObjects& operator=(const StandaloneObjects&) = delete;
};

// --- calibration ---------------------------------------------------------

// Of the run a command started; main thread only. reply is the second
// instance's window, nullptr for a run of this process alone.
struct CommandCalibration {
    bool pending = false;
    HWND reply = nullptr;
    int aloneExit = kExitNoDevice;
};
CommandCalibration g_calibration;

void SendText(HWND reply, unsigned long id, const std::string& text);
void SendExit(HWND reply, int exitCode);

// The end of the run: confirmed, it is stored as OK stores it (the model,
// then the controller's values with the new calibration); otherwise the
// controller has its previous values back and nothing is stored.
void CalibrationEnded(bool confirmed)
{
    SetRunResultListener(nullptr);
    if (!g_calibration.pending) return;
    g_calibration.pending = false;
    JobResult result;
    if (!confirmed) {
        result = JobResult{kExitAborted, {}, "The calibration was aborted: nothing was stored."};
    } else {
        CtrlVirt* ctrl = App().controller.load();
        if (ctrl == nullptr || !WriteCurrentDevice(App().controllerModel) || ctrl->SaveSettings() == 0)
            result = JobResult{kExitNoRights, {}, MessageText(MSG_REGISTRY_WRITE_ERROR)};
        else
            result.out = "The calibration was confirmed and stored.";
    }
    if (g_calibration.reply != nullptr) {
        SendText(g_calibration.reply, kCommandOutputId, result.out);
        SendText(g_calibration.reply, kCommandErrorId, result.err);
        SendExit(g_calibration.reply, result.exitCode);
        return;
    }
    if (g_output != nullptr) {
        g_output->Write(false, result.out);
        g_output->Write(true, result.err);
    }
    g_calibration.aloneExit = result.exitCode;
    // The box of an aborted run, which follows, ends at once.
    RequestQuit(result.exitCode);
}

// Starts a run as the Calibrate button does; kCommandStarted when it runs.
LRESULT StartCommandCalibration(HWND reply, JobResult* failure)
{
    g_calibration.pending = true;
    g_calibration.reply = reply;
    SetRunResultListener(&CalibrationEnded);
    const RunStart start = StartCalibrationRun();
    if (start == RunStart::Started) return kCommandStarted;
    g_calibration.pending = false;
    SetRunResultListener(nullptr);
    if (start == RunStart::AlreadyOpen) return kCommandBusy;
    if (start == RunStart::Aborted) {
        *failure = JobResult{kExitAborted, {}, "No screen was touched: no calibration was made."};
    } else if (start == RunStart::NoWindow) {
        *failure = JobResult{1, {}, MessageText(MSG_CALIBRATION_WINDOW_ERROR)};
    } else {
        *failure = JobResult{kExitNoDevice, {}, "The touch device does not answer: no calibration was made."};
    }
    return kCommandAnswered | failure->exitCode;
}

// The program's own start-up without a running program: once it is over,
// the run starts; its end ends the program.
void StartAloneCalibration()
{
    JobResult failure;
    if (StartCommandCalibration(nullptr, &failure) == kCommandStarted) return;
    if (g_output != nullptr) g_output->Write(true, failure.err);
    g_calibration.aloneExit = failure.exitCode;
    RequestQuit(failure.exitCode);
}

// Whether the device on the stored port answers now.
bool DeviceAnswers(int* port)
{
    *port = ReadCurrentChannel();
    CommProtocol2 channel(*port >= 0 && *port < 8 ? *port : 0, false);
    if (!channel.Open()) return false;
    IdentRecord ident{};
    const bool answers = channel.Identify(&ident, false);
    channel.Close();
    return answers;
}

JobResult CalibrateAlone()
{
    int port = -1;
    if (!DeviceAnswers(&port)) {
        const char* name = PortName(port >= 0 && port < 8 ? port : 0);
        return JobResult{kExitNoDevice,
                         {},
                         std::string("The touch device does not answer on ") + (name != nullptr ? name : "") +
                             ": no calibration was made."};
    }
    g_calibration = CommandCalibration{};
    RunApplication(::GetModuleHandleA(nullptr), {}, &StartAloneCalibration);
    return JobResult{g_calibration.aloneExit, {}, {}};
}

JobResult RunAlone(const CommandRequest& request)
{
    switch (request.mode) {
    case CommandMode::Export: {
        const StandaloneObjects objects;
        return ExportJob(request.file.c_str());
    }
    case CommandMode::Import:
        return ImportJob(request.file.c_str(), request.withCalibration, false,
                         request.checkOnly     ? ImportScope::CheckOnly
                         : request.machineOnly ? ImportScope::MachineOnly
                                               : ImportScope::Everything);
    case CommandMode::Status: {
        const int port = ReadCurrentChannel();
        CommProtocol2 channel(port >= 0 && port < kChannelCount ? port : 0, false);
        if (!channel.Open()) {
            JobResult result = StatusJob(nullptr, false);
            if (port >= 0 && port < kChannelCount) {
                StatusReport status;
                status.port = port;
                status.controllerModel = CtrlModelFromIdent(IdentRecord{});
                status.lcdModel = LcdModelFromIdent(IdentRecord{});
                result.out = FormatStatusReport(status);
            }
            return result;
        }
        JobResult result = StatusJob(&channel, false);
        channel.Close();
        return result;
    }
    case CommandMode::Calibrate:
        return CalibrateAlone();
    default:
        return JobResult{kExitBadUsage, {}, {}};
    }
}

// --- handing over --------------------------------------------------------

// The exit code of a started job, once the running program has sent it;
// -1 until then. Main thread only.
int g_startedExit = -1;

LRESULT CALLBACK ReplyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA && g_output != nullptr) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data != nullptr && data->dwData == kCommandExitId && data->lpData != nullptr &&
            data->cbData == sizeof(uint32_t)) {
            uint32_t code = 0;
            std::memcpy(&code, data->lpData, sizeof code);
            g_startedExit = code <= 0xFF ? static_cast<int>(code) : kExitAborted;
            return TRUE;
        }
        if (data != nullptr && data->lpData != nullptr &&
            (data->dwData == kCommandOutputId || data->dwData == kCommandErrorId)) {
            g_output->Write(data->dwData == kCommandErrorId,
                            std::string(static_cast<const char*>(data->lpData), data->cbData));
            return TRUE;
        }
        return FALSE;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

// An elevated script still hears from the running program of the user:
// the answer comes from a lower integrity level.
void AllowCopyDataFromBelow(HWND window)
{
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return;
    const auto filter = reinterpret_cast<Filter>(
        reinterpret_cast<void*>(::GetProcAddress(user32, "ChangeWindowMessageFilterEx")));
    constexpr DWORD kAllow = 1; // MSGFLT_ALLOW
    if (filter != nullptr) filter(window, WM_COPYDATA, kAllow, nullptr);
}

class ReplyWindow {
public:
    ReplyWindow()
    {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &ReplyWindowProc;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = kReplyWindowClass;
        m_bClass = ::RegisterClassExA(&wc) != 0;
        m_hwnd = ::CreateWindowExA(0, kReplyWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
        if (m_hwnd != nullptr) AllowCopyDataFromBelow(m_hwnd);
    }
    ~ReplyWindow()
    {
        if (m_hwnd != nullptr) ::DestroyWindow(m_hwnd);
        if (m_bClass) ::UnregisterClassA(kReplyWindowClass, ::GetModuleHandleA(nullptr));
    }
    ReplyWindow(const ReplyWindow&) = delete;
    ReplyWindow& operator=(const ReplyWindow&) = delete;
    HWND get() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
    bool m_bClass = false;
};

// A started job (the calibration run) goes on for as long as the user
// takes, bounded by the run's own idle time-out: no time limit here, only
// the running program's end.
int WaitForStartedJob(HWND running, const CommandOutput& output)
{
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (g_startedExit >= 0) return g_startedExit;
        if (!::IsWindow(running)) {
            output.Write(true, "TactilePane ended before the calibration did: nothing was stored.");
            return kExitAborted;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kRunWatchMs, QS_ALLINPUT);
    }
}

// -1: the running program is gone (or never took commands): do the job alone.
int HandOver(HWND running, const CommandRequest& request, const CommandOutput& output)
{
    CommandPacket packet = {};
    packet.mode = static_cast<uint32_t>(request.mode);
    packet.withCalibration = request.withCalibration ? 1 : 0;
    if (!request.file.empty()) {
        // The running program has another working directory.
        const DWORD length =
            ::GetFullPathNameA(request.file.c_str(), sizeof packet.file, packet.file, nullptr);
        if (length == 0 || length >= sizeof packet.file) {
            output.Write(true, "The file name is too long: " + request.file);
            return kExitBadUsage;
        }
    }
    const ReplyWindow reply;
    packet.replyWindow = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(reply.get()));
    COPYDATASTRUCT data = {};
    data.dwData = kCommandDataId;
    data.cbData = sizeof packet;
    data.lpData = &packet;

    const DWORD start = ::GetTickCount();
    g_startedExit = -1;
    for (;;) {
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutA(running, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.get()),
                                   reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kAnswerTimeoutMs, &answer)) {
            if (!::IsWindow(running)) return -1;
            output.Write(true, "TactilePane is busy: it did not answer in time.");
            return kExitBusy;
        }
        if ((answer & kCommandAnswered) != 0) return static_cast<int>(answer & 0xFF);
        if (answer == static_cast<DWORD_PTR>(kCommandStarted)) return WaitForStartedJob(running, output);
        if (answer != static_cast<DWORD_PTR>(kCommandBusy)) return -1;
        if (::GetTickCount() - start >= kBusyWaitMs) {
            output.Write(true, "TactilePane is busy (a box is open); try again later.");
            return kExitBusy;
        }
        ::Sleep(kBusyRetryMs);
    }
}

// --- the running program's side ------------------------------------------

bool g_accepted = false; // main thread only

void SendText(HWND reply, unsigned long id, const std::string& text)
{
    if (reply == nullptr || text.empty() || !::IsWindow(reply)) return;
    COPYDATASTRUCT data = {};
    data.dwData = id;
    data.cbData = static_cast<DWORD>(text.size());
    data.lpData = const_cast<char*>(text.data());
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(reply, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                          kReplyTimeoutMs, &ignored);
}

void SendExit(HWND reply, int exitCode)
{
    if (reply == nullptr || !::IsWindow(reply)) return;
    uint32_t code = static_cast<uint32_t>(exitCode);
    COPYDATASTRUCT data = {};
    data.dwData = kCommandExitId;
    data.cbData = sizeof code;
    data.lpData = &code;
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(reply, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                          kReplyTimeoutMs, &ignored);
}

} // namespace

int RunCommand(const CommandRequest& request)
{
    CommandOutput output;
    if (!request.logFile.empty() && !output.AppendTo(request.logFile)) {
        output.Write(true, "The log file cannot be opened: " + request.logFile);
        return kExitBadUsage;
    }
    g_output = &output;
    struct Forget {
        ~Forget() { g_output = nullptr; }
    } forget;
    if (request.mode == CommandMode::Usage) {
        output.Write(false, CommandUsageText());
        return kExitSuccess;
    }
    if (request.mode == CommandMode::BadUsage || request.mode == CommandMode::Normal) {
        output.Write(true, request.problem + "\n" + CommandUsageText());
        return kExitBadUsage;
    }

    ConnectLayers();
    ReportingHooks hooks;
    hooks.showBox = &BoxToErrorOutput;
    SetReportingHooks(hooks);
    // A check changes nothing, not even the event source: an installer runs
    // it from a temporary copy of the program.
    if (!request.checkOnly) RegisterAppEventSource();

    // A check writes nothing, and an installer's import of the machine's
    // values comes before the program runs: both are done here.
    const bool handOver = !request.checkOnly && !request.machineOnly;
    if (const HWND running = handOver ? ::FindWindowA(kMessageWindowClass, kMessageWindowTitle) : nullptr) {
        const int code = HandOver(running, request, output);
        if (code >= 0) return code;
    }
    const JobResult result = RunAlone(request);
    output.Write(false, result.out);
    output.Write(true, result.err);
    return result.exitCode;
}

void SetCommandsAccepted(bool accepted)
{
    g_accepted = accepted;
}

LRESULT AnswerCommand(const COPYDATASTRUCT* data)
{
    if (data == nullptr || data->dwData != kCommandDataId) return 0;
    CommandPacket packet;
    if (!DecodeCommandPacket(data->lpData, data->cbData, &packet)) return kCommandAnswered | kExitBadUsage;
    // A box runs its own loop, in which this arrives: the job would act
    // under the box's feet.
    if (!g_accepted || ModalBoxRunning() || SettingsActionRunning() || QuitRequested()) return kCommandBusy;
    const HWND reply = reinterpret_cast<HWND>(static_cast<uintptr_t>(packet.replyWindow));

    JobResult result;
    if (static_cast<CommandMode>(packet.mode) == CommandMode::Calibrate) {
        // Over an open settings window as its Calibrate button would; a run
        // or drawing test already open is busy, like a box.
        const LRESULT answer = StartCommandCalibration(reply, &result);
        if (answer == kCommandStarted || answer == kCommandBusy) return answer;
        SendText(reply, kCommandErrorId, result.err);
        return answer;
    }
    {
        const SettingsBusy busy;
        switch (static_cast<CommandMode>(packet.mode)) {
        case CommandMode::Export:
            result = ExportJob(packet.file);
            break;
        case CommandMode::Import:
            result = ImportJob(packet.file, packet.withCalibration != 0, true);
            break;
        case CommandMode::Status:
            result = StatusJob(App().channel.load(), true);
            break;
        default:
            result = JobResult{kExitBadUsage, {}, {}};
            break;
        }
    }
    SendText(reply, kCommandOutputId, result.out);
    SendText(reply, kCommandErrorId, result.err);
    return kCommandAnswered | result.exitCode;
}

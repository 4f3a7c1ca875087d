#include "app/CommandRun.h"

#include <string>

#include "app/ConfigurationImport.h"
#include "app/Factories.h"
#include "app/MessageWindow.h"
#include "app/Wiring.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Handles.h"
#include "base/ObjectNames.h"
#include "base/ModalLoop.h"
#include "base/Reporting.h"
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
constexpr const char* kReplyWindowClass = "TactilePaneCommandReply";
constexpr const char* kCalibrateNotHere =
    "/calibrate is not available in this version: calibrate on the settings window's Calibration page.";

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
        const HANDLE h = error ? m_hErr : m_hOut;
        if (!Usable(h) || text.empty()) return;
        std::string lines;
        for (char c : text) {
            if (c == '\n' && (lines.empty() || lines.back() != '\r')) lines += '\r';
            lines += c;
        }
        if (lines.back() != '\n') lines += "\r\n";
        DWORD written = 0;
        ::WriteFile(h, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    }

private:
    HANDLE m_hOut = nullptr; // not owned: the process's standard handles
    HANDLE m_hErr = nullptr;
    UniqueFileHandle m_hConsole;
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

JobResult ImportJob(const char* file, bool withCalibration, bool running)
{
    JobResult result;
    const ImportOutcome outcome = ImportConfigurationFile(file, withCalibration, running);
    result.exitCode = outcome.exitCode;
    if (outcome.exitCode != kExitSuccess) {
        result.err = outcome.text;
    } else {
        result.out = std::string("The configuration was loaded from ") + file + ".";
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

JobResult RunAlone(const CommandRequest& request)
{
    switch (request.mode) {
    case CommandMode::Export: {
        const StandaloneObjects objects;
        return ExportJob(request.file.c_str());
    }
    case CommandMode::Import:
        return ImportJob(request.file.c_str(), request.withCalibration, false);
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
    default:
        return JobResult{kExitBadUsage, {}, kCalibrateNotHere};
    }
}

// --- handing over --------------------------------------------------------

LRESULT CALLBACK ReplyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA && g_output != nullptr) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
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
    for (;;) {
        DWORD_PTR answer = 0;
        if (!::SendMessageTimeoutA(running, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.get()),
                                   reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, kAnswerTimeoutMs, &answer)) {
            if (!::IsWindow(running)) return -1;
            output.Write(true, "TactilePane is busy: it did not answer in time.");
            return kExitBusy;
        }
        if ((answer & kCommandAnswered) != 0) return static_cast<int>(answer & 0xFF);
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

} // namespace

int RunCommand(const CommandRequest& request)
{
    const CommandOutput output;
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

    if (request.mode == CommandMode::Calibrate) {
        output.Write(true, kCalibrateNotHere);
        return kExitBadUsage;
    }

    ConnectLayers();
    ReportingHooks hooks;
    hooks.showBox = &BoxToErrorOutput;
    SetReportingHooks(hooks);
    RegisterAppEventSource();

    if (const HWND running = ::FindWindowA(kMessageWindowClass, kMessageWindowTitle)) {
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
            result = JobResult{kExitBadUsage, {}, kCalibrateNotHere};
            break;
        }
    }
    SendText(reply, kCommandOutputId, result.out);
    SendText(reply, kCommandErrorId, result.err);
    return kCommandAnswered | result.exitCode;
}

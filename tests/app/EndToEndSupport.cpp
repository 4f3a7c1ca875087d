#include "app/EndToEndSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "channel/FrameCodec.h"
#include "resources/resource.h"
#include "support/RegistryTree.h"
#include "base/RegistryIO.h"

namespace {

constexpr int kPollMs = 20;
constexpr int kTextControl = IDC_BOX_TEXT;
int g_runCounter = 0;

using Clock = std::chrono::steady_clock;

struct WindowQuery {
    DWORD processId;
    const char* className;
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopWindows(HWND hwnd, LPARAM lParam)
{
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != query->processId) return TRUE;
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (query->className != nullptr && std::string(cls) != query->className) return TRUE;
    if (query->caption != nullptr) {
        char caption[128] = {};
        ::GetWindowTextA(hwnd, caption, sizeof caption);
        if (std::string(caption) != query->caption) return TRUE;
    }
    query->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid, const char* className, const char* caption)
{
    WindowQuery query{pid, className, caption, {}};
    ::EnumWindows(&CollectTopWindows, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

std::string ControlText(HWND control)
{
    char text[512] = {};
    DWORD_PTR result = 0;
    // The owner may be busy in a device exchange: never wait for it forever.
    ::SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                          2000, &result);
    return text;
}

std::string BuildDir()
{
    // TP_PROGRAM_PATH is the unix path of TactilePane.exe in the build tree.
    std::string path = TP_PROGRAM_PATH;
    return path.substr(0, path.rfind('/'));
}

} // namespace

ProgramUnderTest::~ProgramUnderTest()
{
    if (Running()) {
        CloseBoxes();
        ::TerminateProcess(m_hProcess.get(), 0xDEAD);
        ::WaitForSingleObject(m_hProcess.get(), 5000);
    }
    if (!m_trace.empty()) ::DeleteFileA(m_trace.c_str());
}

bool ProgramUnderTest::Start(const Options& options)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof temp, temp);
    char trace[MAX_PATH] = {};
    FormatBounded(trace, sizeof trace, "%stp-e2e-%lu-%d.txt", temp, ::GetCurrentProcessId(), ++g_runCounter);
    m_trace = trace;
    ::DeleteFileA(trace);

    // The child inherits these; they are removed again at once.
    ::SetEnvironmentVariableA("TP_EVENT_TRACE", trace);
    char period[16] = {};
    if (options.temperaturePeriodMs > 0)
        FormatBounded(period, sizeof period, "%d", options.temperaturePeriodMs);
    ::SetEnvironmentVariableA("TP_TEMPERATURE_PERIOD_MS", options.temperaturePeriodMs > 0 ? period : nullptr);

    const std::string program = ProgramPath();
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    const BOOL started = ::CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                          nullptr, nullptr, &startup, &info);
    ::SetEnvironmentVariableA("TP_EVENT_TRACE", nullptr);
    ::SetEnvironmentVariableA("TP_TEMPERATURE_PERIOD_MS", nullptr);
    if (!started) return false;
    ::CloseHandle(info.hThread);
    m_hProcess.reset(info.hProcess);
    m_processId = info.dwProcessId;
    return true;
}

bool ProgramUnderTest::WaitReady(int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    // The mouse-button window is the last window start-up creates; the
    // message loop follows.
    while (Clock::now() < end && Running()) {
        m_messageWindow = FindTopWindow("WndMessageClass", "TouchDevice");
        if (m_messageWindow != nullptr && FindTopWindow("#32770", "MB") != nullptr) break;
        ::Sleep(kPollMs);
    }
    if (m_messageWindow == nullptr || !Running()) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    DWORD_PTR result = 0;
    return left > 0 && ::SendMessageTimeoutA(m_messageWindow, WM_NULL, 0, 0, SMTO_NORMAL,
                                             static_cast<UINT>(left), &result) != 0;
}

bool ProgramUnderTest::Exit(int timeoutMs, DWORD* exitCode)
{
    if (m_messageWindow == nullptr) return false;
    ::PostMessageA(m_messageWindow, WM_COMMAND, MAKEWPARAM(1044, 0), 0);
    return WaitExit(timeoutMs, exitCode);
}

bool ProgramUnderTest::WaitExit(int timeoutMs, DWORD* exitCode)
{
    if (!m_hProcess) return false;
    if (::WaitForSingleObject(m_hProcess.get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    ::GetExitCodeProcess(m_hProcess.get(), &code);
    if (exitCode != nullptr) *exitCode = code;
    return true;
}

bool ProgramUnderTest::Running() const
{
    return m_hProcess && ::WaitForSingleObject(m_hProcess.get(), 0) == WAIT_TIMEOUT;
}

HWND ProgramUnderTest::FindTopWindow(const char* className, const char* caption) const
{
    const std::vector<HWND> found = TopWindows(m_processId, className, caption);
    return found.empty() ? nullptr : found.front();
}

std::vector<TraceEvent> ProgramUnderTest::Events() const
{
    std::vector<TraceEvent> events;
    UniqueFileHandle file(::CreateFileA(m_trace.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return events;
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find("\r\n", start);
        if (end == std::string::npos) break;
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        if (line.size() < 9) continue;
        events.push_back(
            {static_cast<uint32_t>(std::strtoul(line.substr(0, 8).c_str(), nullptr, 16)), line.substr(9)});
    }
    return events;
}

size_t ProgramUnderTest::CountEvents(uint32_t id) const
{
    const std::vector<TraceEvent> events = Events();
    return static_cast<size_t>(
        std::count_if(events.begin(), events.end(), [id](const TraceEvent& e) { return e.id == id; }));
}

std::vector<std::string> ProgramUnderTest::BoxTexts() const
{
    std::vector<std::string> texts;
    for (HWND box : TopWindows(m_processId, "#32770", "Information")) {
        const HWND text = ::GetDlgItem(box, kTextControl);
        if (text != nullptr && ::IsWindowVisible(box)) texts.push_back(ControlText(text));
    }
    return texts;
}

int ProgramUnderTest::CloseBoxes() const
{
    int closed = 0;
    for (HWND box : TopWindows(m_processId, "#32770", "Information")) {
        if (::GetDlgItem(box, kTextControl) == nullptr) continue;
        ::PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        ++closed;
    }
    return closed;
}

DWORD RunAndWait(const std::string& windowsPath, const std::string& arguments, int timeoutMs)
{
    std::string commandLine = "\"" + windowsPath + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(windowsPath.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info)) {
        return 0xDEAD;
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    if (::WaitForSingleObject(process.get(), static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 0xDEAD);
        return 0xDEAD;
    }
    DWORD code = 0xDEAD;
    ::GetExitCodeProcess(process.get(), &code);
    return code;
}

namespace {

std::string ReadAndRemove(const char* path)
{
    std::string content;
    {
        UniqueFileHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        char buffer[4096];
        DWORD got = 0;
        while (file && ::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
            content.append(buffer, got);
    }
    ::DeleteFileA(path);
    return content;
}

UniqueFileHandle InheritableFile(const char* path)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return UniqueFileHandle(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

DWORD RunCapturing(const std::string& windowsPath, const std::string& arguments, int timeoutMs,
                   std::string* out, std::string* err)
{
    char temp[MAX_PATH] = {};
    ::GetTempPathA(sizeof temp, temp);
    char outPath[MAX_PATH] = {};
    char errPath[MAX_PATH] = {};
    FormatBounded(outPath, sizeof outPath, "%stp-out-%lu-%d.txt", temp, ::GetCurrentProcessId(),
                  ++g_runCounter);
    FormatBounded(errPath, sizeof errPath, "%stp-err-%lu-%d.txt", temp, ::GetCurrentProcessId(),
                  g_runCounter);
    DWORD code = 0xDEAD;
    {
        UniqueFileHandle outFile = InheritableFile(outPath);
        UniqueFileHandle errFile = InheritableFile(errPath);
        std::string commandLine = "\"" + windowsPath + "\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = outFile.get();
        startup.hStdError = errFile.get();
        PROCESS_INFORMATION info = {};
        if (outFile && errFile &&
            ::CreateProcessA(windowsPath.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &info)) {
            UniqueKernelHandle process(info.hProcess);
            UniqueKernelHandle thread(info.hThread);
            if (::WaitForSingleObject(process.get(), static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0) {
                ::GetExitCodeProcess(process.get(), &code);
            } else {
                ::TerminateProcess(process.get(), 0xDEAD);
                ::WaitForSingleObject(process.get(), 5000);
            }
        }
    }
    const std::string caughtOut = ReadAndRemove(outPath);
    const std::string caughtErr = ReadAndRemove(errPath);
    if (out != nullptr) *out = caughtOut;
    if (err != nullptr) *err = caughtErr;
    return code;
}

void SetUserValue(const char* keyName, const char* name, DWORD value)
{
    char path[MAX_PATH] = {};
    FormatBounded(path, sizeof path, "%s\\%s", kRegistryRoot, keyName);
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return;
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
}

std::string ProgramPath()
{
    return WinePathOf(TP_PROGRAM_PATH);
}

std::string StopToolPath()
{
    return WinePathOf(BuildDir() + "/TactilePaneStop.exe");
}

bool CanOpenPort(int n)
{
    char name[16];
    FormatBounded(name, sizeof name, "\\\\.\\COM%d", n);
    UniqueFileHandle port(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr));
    return port.valid();
}

void ClearProgramRegistry()
{
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kRegistryRoot);
    DeleteRegistryTree(HKEY_CURRENT_USER, kRegistryRoot);
}

void SetAppValue(const char* name, DWORD value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_WRITE), nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    ::RegCloseKey(key);
}

bool GetAppValue(const char* name, DWORD* value)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ),
                        &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof *value;
    const bool ok = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD;
    ::RegCloseKey(key);
    return ok;
}

std::string TouchBurst(int count)
{
    std::string command = "raw";
    for (int i = 0; i < count; ++i) {
        const uint8_t payload[4] = {0x90, static_cast<uint8_t>(i * 16), 0x40, 0x11};
        uint8_t frame[kFrameBufferSize];
        const int size = EncodeFrame(payload, 4, frame);
        for (int b = 0; b < size; ++b) {
            char hex[4];
            FormatBounded(hex, sizeof hex, " %02x", frame[b]);
            command += hex;
        }
    }
    return command;
}

static BOOL CALLBACK FindPortList(HWND child, LPARAM found)
{
    if (::GetDlgItem(child, 1056) == nullptr) return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// A visible box of the program with this caption, within timeoutMs.
HWND WaitForBox(const ProgramUnderTest& program, const char* caption, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        const HWND box = program.FindTopWindow("#32770", caption);
        if (box != nullptr && ::IsWindowVisible(box)) return box;
        ::Sleep(50);
    }
    return nullptr;
}

HWND FindHardwarePage(HWND settings)
{
    HWND page = nullptr;
    ::EnumChildWindows(settings, &FindPortList, reinterpret_cast<LPARAM>(&page));
    return page;
}

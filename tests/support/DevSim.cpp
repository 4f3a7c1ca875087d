#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "support/DevSim.h"

#include "base/Handles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// Ordinary answers come at once; this only bounds a simulator that died.
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kReadyTimeoutMs = 10000;
constexpr int kLinkGoneTimeoutMs = 2000;
constexpr int kPollMs = 20;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string Quoted(const std::string& arg)
{
    if (arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

DevSim::Options SimOn(int port, int hwId, int major, int minor)
{
    DevSim::Options o;
    o.port = port;
    o.hwId = hwId;
    o.major = major;
    o.minor = minor;
    return o;
}

size_t CountCode(const std::vector<std::vector<uint8_t>>& payloads, uint8_t code)
{
    return static_cast<size_t>(std::count_if(payloads.begin(), payloads.end(),
                                             [code](const auto& p) { return !p.empty() && p[0] == code; }));
}

// Whether a directory entry exists at the unix path, even a dangling link.
// The directory is listed rather than the name looked up: "com3" is a DOS
// device name that Wine resolves to the port in every directory.
bool UnixEntryExists(const std::string& unixPath)
{
    const size_t slash = unixPath.rfind('/');
    if (slash == std::string::npos) return false;
    const std::string name = unixPath.substr(slash + 1);
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA(WinePathOf(unixPath.substr(0, slash) + "/*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        found = ::lstrcmpiA(data.cFileName, name.c_str()) == 0;
    } while (!found && ::FindNextFileA(find, &data));
    ::FindClose(find);
    return found;
}

namespace {

bool ReadSmallFile(const std::string& winPath, std::string* content)
{
    UniqueFileHandle file(::CreateFileA(winPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[64];
    DWORD got = 0;
    if (!::ReadFile(file.get(), buffer, sizeof buffer - 1, &got, nullptr)) return false;
    content->assign(buffer, got);
    return true;
}

std::vector<uint8_t> ParseHexBytes(const std::string& text)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != ' ')
            ++i;
        if (i > start)
            out.push_back(
                static_cast<uint8_t>(std::strtoul(text.substr(start, i - start).c_str(), nullptr, 16)));
    }
    return out;
}

} // namespace

std::string WinePathOf(const std::string& unixPath)
{
    std::string out = "Z:";
    for (char c : unixPath)
        out += c == '/' ? '\\' : c;
    return out;
}

DevSim::~DevSim()
{
    Stop();
}

bool DevSim::Fail(const std::string& reason)
{
    m_error = reason;
    return false;
}

bool DevSim::Start(const Options& options)
{
    Stop();
    m_error.clear();
    const std::string program = Env("TP_DEVSIM");
    const std::string ports = Env("TP_PORTS_DIR");
    const std::string bench = Env("TP_BENCH_DIR");
    if (program.empty() || ports.empty() || bench.empty())
        return Fail("TP_DEVSIM, TP_PORTS_DIR and TP_BENCH_DIR must be set");
    if (options.port < 1 || options.port > 255) return Fail("port must be 1..255");

    if (!m_wsaStarted) {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return Fail("WSAStartup failed");
        m_wsaStarted = true;
    }

    m_link = ports + "/com" + std::to_string(options.port);
    static LONG s_instance = 0;
    const std::string ready = bench + "/devsim-com" + std::to_string(options.port) + "-" +
                              std::to_string(::GetCurrentProcessId()) + "-" +
                              std::to_string(::InterlockedIncrement(&s_instance)) + ".ready";
    const std::string readyWin = WinePathOf(ready);
    ::DeleteFileA(readyWin.c_str());
    ::CreateDirectoryA(WinePathOf(ports).c_str(), nullptr);

    std::string cmd = Quoted(program) + " --link " + Quoted(m_link) + " --control 0 --ready-file " +
                      Quoted(ready) + " --exit-on-disconnect --max-seconds 600 --quiet" + " --hwid " +
                      std::to_string(options.hwId) + " --version " + std::to_string(options.major) + "." +
                      std::to_string(options.minor) + " --delay " + std::to_string(options.replyDelayMs) +
                      " --reinit-delay " + std::to_string(options.reinitDelayMs);
    if (options.absent) cmd += " --absent";
    for (int code : options.silent)
        cmd += " --silent " + std::to_string(code);

    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmdLine(cmd.begin(), cmd.end());
    cmdLine.push_back('\0');
    if (!::CreateProcessA(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return Fail("cannot start " + program + " (error " + std::to_string(::GetLastError()) + ")");
    // A native program has no Windows process: Wine does not fill in the
    // process information for it and hands back stale values instead, one
    // of which named Winsock's per-thread event and closing it broke every
    // later socket call of this thread. So nothing in it is ours to close;
    // the ready file and the control connection tell us all we need.

    std::string content;
    for (int waited = 0;; waited += kPollMs) {
        if (ReadSmallFile(readyWin, &content) && !content.empty() && content.back() == '\n') break;
        if (waited >= kReadyTimeoutMs) return Fail("the simulator did not get ready: " + cmd);
        ::Sleep(kPollMs);
    }
    ::DeleteFileA(readyWin.c_str());
    m_controlPort = std::atoi(content.c_str());
    if (m_controlPort <= 0 || m_controlPort > 65535) return Fail("bad ready file: " + content);

    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return Fail("socket failed");
    m_socket = static_cast<uintptr_t>(s);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(m_controlPort));
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = ::WSAGetLastError();
        CloseSocket();
        return Fail("cannot connect to the simulator on port " + std::to_string(m_controlPort) + " (error " +
                    std::to_string(error) + ")");
    }
    BOOL one = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return true;
}

void DevSim::CloseSocket()
{
    if (m_socket != kNoSocket) ::closesocket(static_cast<SOCKET>(m_socket));
    m_socket = kNoSocket;
    m_pending.clear();
}

void DevSim::Stop()
{
    if (m_socket != kNoSocket) {
        std::string answer;
        Exchange("quit", &answer, kLinkGoneTimeoutMs);
        // Closing the connection alone also ends it (--exit-on-disconnect).
        CloseSocket();
    }
    if (!m_link.empty()) {
        for (int waited = 0; UnixEntryExists(m_link) && waited < kLinkGoneTimeoutMs; waited += kPollMs)
            ::Sleep(kPollMs);
        if (UnixEntryExists(m_link)) m_error = "the link " + m_link + " is still there after stop";
        m_link.clear();
    }
    if (m_wsaStarted) {
        ::WSACleanup();
        m_wsaStarted = false;
    }
}

bool DevSim::SendLine(const std::string& line)
{
    if (m_socket == kNoSocket) return Fail("not started");
    std::string data = line + "\n";
    const char* p = data.data();
    int left = static_cast<int>(data.size());
    while (left > 0) {
        int n = ::send(static_cast<SOCKET>(m_socket), p, left, 0);
        if (n <= 0) {
            CloseSocket();
            return Fail("the control connection broke");
        }
        p += n;
        left -= n;
    }
    return true;
}

bool DevSim::ReadLine(std::string* line, int timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        const size_t eol = m_pending.find('\n');
        if (eol != std::string::npos) {
            line->assign(m_pending, 0, eol);
            m_pending.erase(0, eol + 1);
            return true;
        }
        if (m_socket == kNoSocket) return Fail("not started");
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= static_cast<DWORD>(timeoutMs)) {
            // The stream may be out of step now; drop it (the simulator ends).
            CloseSocket();
            return Fail("no answer from the simulator");
        }
        const DWORD left = static_cast<DWORD>(timeoutMs) - elapsed;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(static_cast<SOCKET>(m_socket), &readable);
        timeval tv{static_cast<long>(left / 1000), static_cast<long>((left % 1000) * 1000)};
        int ready = ::select(0, &readable, nullptr, nullptr, &tv);
        if (ready < 0) {
            CloseSocket();
            return Fail("select failed");
        }
        if (ready == 0) continue;
        char buffer[4096];
        int n = ::recv(static_cast<SOCKET>(m_socket), buffer, sizeof buffer, 0);
        if (n <= 0) {
            CloseSocket();
            return Fail("the simulator closed the control connection");
        }
        m_pending.append(buffer, static_cast<size_t>(n));
    }
}

bool DevSim::Exchange(const std::string& line, std::string* answer, int timeoutMs)
{
    answer->clear();
    if (!SendLine(line) || !ReadLine(answer, timeoutMs)) return false;
    if (answer->rfind("ok", 0) == 0) return true;
    return Fail(line + ": " + *answer);
}

bool DevSim::Command(const std::string& line, std::string* answer)
{
    std::string local;
    std::string* out = answer ? answer : &local;
    if (line.empty() || line.find('\n') != std::string::npos) return Fail("one command line expected");
    return Exchange(line, out, kAnswerTimeoutMs);
}

std::vector<std::vector<uint8_t>> DevSim::Received()
{
    std::vector<std::vector<uint8_t>> out;
    std::string answer;
    if (!Exchange("rx", &answer, kAnswerTimeoutMs)) return out;
    const long count = std::strtol(answer.c_str() + 2, nullptr, 10);
    for (long i = 0; i < count; ++i) {
        std::string line;
        if (!ReadLine(&line, kAnswerTimeoutMs)) break;
        const size_t blank = line.find(' ');
        out.push_back(blank == std::string::npos ? std::vector<uint8_t>{}
                                                 : ParseHexBytes(line.substr(blank + 1)));
    }
    return out;
}

bool DevSim::WaitReceived(size_t count, int timeoutMs)
{
    if (timeoutMs < 0) timeoutMs = 0;
    std::string answer;
    return Exchange("wait-rx " + std::to_string(count) + " " + std::to_string(timeoutMs), &answer,
                    timeoutMs + kAnswerTimeoutMs);
}

void DevSim::ClearReceived()
{
    Command("clear");
}

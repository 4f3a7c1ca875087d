// devsim: the touch controller on a pseudo-terminal, for tests and for trying
// the program by hand. One thread, one poll loop: the pty master, the control
// listener and its connections, stdin or a script, and the engine's timers.
#include "DeviceEngine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using devsim::ControlResult;
using devsim::DeviceEngine;
using devsim::ParseNumber;

const char kUsage[] =
    "usage: devsim --link PATH [options]\n"
    "Simulates the touch controller on a pseudo-terminal whose slave is reachable\n"
    "through the symlink PATH (point a Wine COM port at it).\n"
    "\n"
    "  --link PATH              symlink to create for the pty slave (required)\n"
    "  --hwid N                 hardware id (default 2)\n"
    "  --version MAJ.MIN        firmware version (default 1.30: major 1, minor 30)\n"
    "  --delay MS               delay before every reply (default 0)\n"
    "  --reinit-delay MS        delay between the 0x07 reply and the 0x92 notice (default 500)\n"
    "  --silent CODE            never answer command CODE (repeatable; 0xNN or decimal)\n"
    "  --absent                 answer nothing at all\n"
    "  --control PORT           control connections on 127.0.0.1:PORT (0 = any free port)\n"
    "  --ready-file PATH        write the control port to PATH once everything exists\n"
    "  --log PATH               append \"<ms> RX|TX|RAW <hex>\" per payload\n"
    "  --tx-times PATH          append \"<us> <hex>\" per write to the line, timed\n"
    "                           after the write on CLOCK_MONOTONIC_RAW (the clock\n"
    "                           behind Wine's QueryPerformanceCounter)\n"
    "  --script PATH            run control commands from PATH after start\n"
    "  --exit-on-disconnect     exit when the last control connection closes\n"
    "                           (or when none has come within 30 s)\n"
    "  --max-seconds N          exit after N seconds whatever happens (0 = never)\n"
    "  --quiet                  no stdout chatter\n"
    "  --help                   this text\n"
    "\n"
    "Without --control, control commands are read from stdin, one per line:\n"
    "  ident HWID MAJOR MINOR | silent CODE | unsilent CODE | absent on|off\n"
    "  delay MS | reinit-delay MS | param CODE [VALUE] | temp HALF_DEGREES\n"
    "  touch X Y | release | restart | send HEX... | raw HEX... | sleep MS\n"
    "  mount as-is|mirror-x|mirror-y|rotate-180|swap-xy | touch-noise COUNTS\n"
    "  stream RATE STROKE NOISE_PERCENT | stream off | stream | drop MS | mute MS\n"
    "  rx | clear | wait-rx N TIMEOUT_MS | wait-closed TIMEOUT_MS | quit\n"
    "End of input ends the program (once a --script has run to its end).\n";

// Longest control line accepted; a peer that sends more without a line feed
// is not speaking the control language.
constexpr size_t kMaxLine = 4096;
constexpr size_t kMaxClients = 16;
// Bytes kept for the line while the PC does not read; more is dropped, as a
// real UART would overrun.
constexpr size_t kMaxTxBacklog = 64 * 1024;

// How often a closed port is checked for the PC opening it again.
constexpr int kHungUpPollMs = 10;
// With --exit-on-disconnect, a control connection must come within this time.
constexpr int64_t kFirstConnectionMs = 30000;

volatile sig_atomic_t g_stop = 0;

void OnSignal(int)
{
    g_stop = 1;
}

struct Options {
    std::string link;
    devsim::DeviceSettings device;
    bool controlGiven = false;
    int controlPort = 0;
    std::string readyFile;
    std::string log;
    std::string txTimes;
    std::string script;
    bool exitOnDisconnect = false;
    long long maxSeconds = 0;
    bool quiet = false;
    bool help = false;
};

bool ParseVersion(const std::string& text, uint8_t* major, uint8_t* minor)
{
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return false;
    auto ma = ParseNumber(text.substr(0, dot));
    auto mi = ParseNumber(text.substr(dot + 1));
    if (!ma || !mi || *ma < 0 || *ma > 255 || *mi < 0 || *mi > 255) return false;
    *major = static_cast<uint8_t>(*ma);
    *minor = static_cast<uint8_t>(*mi);
    return true;
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return false;
            }
            *out = argv[++i];
            return true;
        };
        auto number = [&](long long lo, long long hi, long long* out) {
            std::string text;
            if (!value(&text)) return false;
            auto n = ParseNumber(text);
            if (!n || *n < lo || *n > hi) {
                *error = arg + ": '" + text + "' is not a number in " + std::to_string(lo) + ".." +
                         std::to_string(hi);
                return false;
            }
            *out = *n;
            return true;
        };
        long long n = 0;
        std::string text;
        if (arg == "--help" || arg == "-h") {
            o->help = true;
        } else if (arg == "--link") {
            if (!value(&o->link)) return false;
        } else if (arg == "--hwid") {
            if (!number(0, 255, &n)) return false;
            o->device.hwId = static_cast<uint8_t>(n);
        } else if (arg == "--version") {
            if (!value(&text)) return false;
            if (!ParseVersion(text, &o->device.major, &o->device.minor)) {
                *error = "--version wants MAJ.MIN, e.g. 1.30";
                return false;
            }
        } else if (arg == "--delay") {
            if (!number(0, 600000, &n)) return false;
            o->device.replyDelayMs = static_cast<int>(n);
        } else if (arg == "--reinit-delay") {
            if (!number(0, 600000, &n)) return false;
            o->device.reinitDelayMs = static_cast<int>(n);
        } else if (arg == "--silent") {
            if (!number(0, 255, &n)) return false;
            o->device.silent[static_cast<size_t>(n)] = true;
        } else if (arg == "--absent") {
            o->device.absent = true;
        } else if (arg == "--control") {
            if (!number(0, 65535, &n)) return false;
            o->controlGiven = true;
            o->controlPort = static_cast<int>(n);
        } else if (arg == "--ready-file") {
            if (!value(&o->readyFile)) return false;
        } else if (arg == "--log") {
            if (!value(&o->log)) return false;
        } else if (arg == "--tx-times") {
            if (!value(&o->txTimes)) return false;
        } else if (arg == "--script") {
            if (!value(&o->script)) return false;
        } else if (arg == "--exit-on-disconnect") {
            o->exitOnDisconnect = true;
        } else if (arg == "--max-seconds") {
            if (!number(0, 365LL * 24 * 3600, &o->maxSeconds)) return false;
        } else if (arg == "--quiet") {
            o->quiet = true;
        } else {
            *error = "unknown option " + arg;
            return false;
        }
    }
    if (!o->help && o->link.empty()) {
        *error = "--link PATH is required";
        return false;
    }
    return true;
}

// Owns one file descriptor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = other.Release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

bool SetNonBlocking(int fd)
{
    int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool WriteFileAtomically(const std::string& path, const std::string& content)
{
    const std::string tmp = path + ".tmp";
    Fd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.Valid()) return false;
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd.Get(), p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        left -= static_cast<size_t>(n);
    }
    fd.Reset();
    return ::rename(tmp.c_str(), path.c_str()) == 0;
}

// A source of control lines and a sink for their answers: a TCP connection,
// stdin/stdout, or a script file.
struct Client {
    enum class Type { Socket, Stdin, Script };
    enum class Block { None, Sleep, WaitRx, WaitClosed, Dropped, Muted };

    Type type = Type::Socket;
    Fd fd; // sockets only; stdin is never closed by us
    std::string in;
    std::string out;
    bool inputEnded = false;
    bool broken = false;
    Block block = Block::None;
    int64_t blockUntil = 0;
    size_t waitCount = 0;
};

class Simulator {
public:
    explicit Simulator(const Options& options) : m_options(options), m_engine(options.device) {}
    ~Simulator() { Cleanup(); }

    int Run();

private:
    int64_t Now() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     m_start)
            .count();
    }
    // A moment at least ms away: Now() counts whole ms, so one more.
    int64_t After(int ms) const { return Now() + ms + 1; }
    void Say(const std::string& text) const;
    void Note(const std::string& text);
    bool OpenPty();
    bool ApplyLineSettings();
    void CheckLine();
    bool CreateLink();
    bool OpenControl();
    bool LoadScript();
    void Cleanup();

    void PumpLine();
    void DropLine(int ms);
    void RestoreLine();
    void StampEvent(const char* what);
    void ReadLine();
    bool LineHungUp() const;
    void StampWrite(const char* bytes, size_t count);
    void AcceptClients();
    void ReadClient(Client& c);
    void RunClient(Client& c);
    void FinishBlocks(Client& c);
    void Answer(Client& c, const std::string& text);
    void FlushClient(Client& c);
    bool ShouldExit();
    int NextTimeoutMs();

    Options m_options;
    DeviceEngine m_engine;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    Fd m_master;
    std::string m_slavePath;
    termios m_lineSettings{};
    bool m_hungUp = false; // nobody has the slave open: the master is left out of poll
    bool m_linkCreated = false;
    Fd m_listener;
    int m_controlPort = 0;
    Fd m_log;
    Fd m_txTimes;
    std::vector<std::unique_ptr<Client>> m_clients;
    bool m_anyConnected = false;
    bool m_quit = false;
    std::string m_txBacklog;
    long long m_closedDropped = 0; // bytes lost to a closed port since the last note
    int64_t m_closedNoteMs = -1000;
    bool m_dropped = false; // "drop": no pty and no link until m_backAtMs
    int64_t m_backAtMs = 0;
};

void Simulator::Say(const std::string& text) const
{
    if (m_options.quiet) return;
    std::string line = "devsim: " + text + "\n";
    [[maybe_unused]] ssize_t n = ::write(1, line.data(), line.size());
}

// Problems go to stderr and, when stderr is gone because we detached, to the log.
void Simulator::Note(const std::string& text)
{
    std::string line = "devsim: " + text + "\n";
    [[maybe_unused]] ssize_t n = ::write(2, line.data(), line.size());
    if (m_log.Valid()) {
        std::string entry = std::to_string(Now()) + " NOTE " + text + "\n";
        n = ::write(m_log.Get(), entry.data(), entry.size());
    }
}

// Line settings of the pty, applied through the master (which reaches the
// slave's settings). HUPCL stays set: Wine clears it when the PC configures
// the port, and on this kernel a settings call that changes nothing fails,
// which Wine reports as error 87 from SetCommState in the PC's next session
// unless every session starts from these settings again.
bool Simulator::ApplyLineSettings()
{
    termios tio{};
    if (::tcgetattr(m_master.Get(), &tio) != 0) return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= HUPCL | CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(m_master.Get(), TCSANOW, &tio) != 0) return false;
    // Keep what the pty made of them, so that later comparisons are exact.
    return ::tcgetattr(m_master.Get(), &m_lineSettings) == 0;
}

bool SameSettings(const termios& a, const termios& b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && ::cfgetispeed(&a) == ::cfgetispeed(&b) &&
           ::cfgetospeed(&a) == ::cfgetospeed(&b) && a.c_cc[VMIN] == b.c_cc[VMIN] &&
           a.c_cc[VTIME] == b.c_cc[VTIME];
}

// While nobody has the slave open the master reports a hang-up (and reads
// fail with EIO); that is the moment to put our settings back for the PC's
// next session. The link and the master stay, so the port can be reopened.
void Simulator::CheckLine()
{
    pollfd p{m_master.Get(), POLLIN, 0};
    if (::poll(&p, 1, 0) < 0) return;
    if (p.revents & POLLIN) ReadLine();
    const bool hungUp = (p.revents & (POLLHUP | POLLERR)) != 0;
    if (hungUp) {
        termios now{};
        if (::tcgetattr(m_master.Get(), &now) == 0 && !SameSettings(now, m_lineSettings) &&
            !ApplyLineSettings())
            Note(std::string("cannot restore the line settings: ") + std::strerror(errno));
    }
    m_hungUp = hungUp;
}

bool Simulator::OpenPty()
{
    m_master = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_master.Valid() || ::grantpt(m_master.Get()) != 0 || ::unlockpt(m_master.Get()) != 0) {
        Note(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
        return false;
    }
    const char* name = ::ptsname(m_master.Get());
    if (!name) return false;
    m_slavePath = name;
    if (!ApplyLineSettings()) {
        Note("cannot configure " + m_slavePath + ": " + std::strerror(errno));
        return false;
    }
    // A fresh pty whose slave was never opened does not report the hang-up
    // that tells us the port is closed; one open and close sets that state.
    Fd slave(::open(m_slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave.Valid()) {
        Note("cannot open " + m_slavePath + ": " + std::strerror(errno));
        return false;
    }
    slave.Reset();
    return SetNonBlocking(m_master.Get());
}

bool Simulator::CreateLink()
{
    struct stat st {};
    if (::lstat(m_options.link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        Note(m_options.link + " exists and is not a symlink; not replacing it");
        return false;
    }
    // A stale link from a simulator that died is replaced atomically.
    const std::string tmp = m_options.link + ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    if (::symlink(m_slavePath.c_str(), tmp.c_str()) != 0 ||
        ::rename(tmp.c_str(), m_options.link.c_str()) != 0) {
        Note("cannot create the link " + m_options.link + ": " + std::strerror(errno));
        ::unlink(tmp.c_str());
        return false;
    }
    m_linkCreated = true;
    return true;
}

bool Simulator::OpenControl()
{
    m_listener = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!m_listener.Valid()) return false;
    int one = 1;
    ::setsockopt(m_listener.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(m_options.controlPort));
    if (::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_listener.Get(), 8) != 0) {
        Note("cannot listen on 127.0.0.1:" + std::to_string(m_options.controlPort) + ": " +
             std::strerror(errno));
        return false;
    }
    socklen_t len = sizeof addr;
    if (::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return false;
    m_controlPort = ntohs(addr.sin_port);
    return true;
}

bool Simulator::LoadScript()
{
    std::ifstream file(m_options.script);
    if (!file) {
        Note("cannot read the script " + m_options.script);
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    auto c = std::make_unique<Client>();
    c->type = Client::Type::Script;
    c->in = text.str();
    if (!c->in.empty() && c->in.back() != '\n') c->in += '\n';
    c->inputEnded = true;
    m_clients.push_back(std::move(c));
    return true;
}

void Simulator::Cleanup()
{
    if (m_linkCreated) {
        // Only our own link: another simulator may have taken the path over.
        char target[4096];
        ssize_t n = ::readlink(m_options.link.c_str(), target, sizeof target - 1);
        if (n >= 0) {
            target[n] = 0;
            if (m_slavePath == target) ::unlink(m_options.link.c_str());
        }
        m_linkCreated = false;
    }
}

void Simulator::PumpLine()
{
    std::vector<uint8_t> due = m_engine.TakeDue(Now());
    if (m_dropped) return; // no line: whatever was due is gone
    if (!due.empty()) {
        if (m_txBacklog.size() + due.size() > kMaxTxBacklog) {
            Note("the PC does not read; output dropped");
        } else {
            m_txBacklog.append(reinterpret_cast<const char*>(due.data()), due.size());
        }
    }
    if (!m_txBacklog.empty() && LineHungUp()) {
        // A pty would keep the bytes for the PC's next session; a device
        // talking to a closed port loses them.
        // Said at most once a second: a stream to a closed port would
        // otherwise fill the log.
        m_closedDropped += static_cast<long long>(m_txBacklog.size());
        if (Now() - m_closedNoteMs >= 1000) {
            Note("port closed: " + std::to_string(m_closedDropped) + " bytes dropped");
            m_closedNoteMs = Now();
            m_closedDropped = 0;
        }
        m_txBacklog.clear();
    }
    while (!m_txBacklog.empty()) {
        ssize_t n = ::write(m_master.Get(), m_txBacklog.data(), m_txBacklog.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Nobody on the line: like a UART with the cable pulled, the
            // bytes are gone.
            m_txBacklog.clear();
            break;
        }
        if (n <= 0) break; // the pty's buffer is full; POLLOUT resumes
        if (m_txTimes.Valid()) StampWrite(m_txBacklog.data(), static_cast<size_t>(n));
        m_txBacklog.erase(0, static_cast<size_t>(n));
    }
}

// "drop MS": the port vanishes, as when a USB serial adapter is pulled. The
// pty master is closed, so the PC's open handle is dead for good, and the
// link is removed; after MS a new pty appears under the same link, where
// the PC has to open the port again.
void Simulator::DropLine(int ms)
{
    Cleanup();
    m_master.Reset();
    m_txBacklog.clear();
    m_dropped = true;
    m_hungUp = true;
    m_backAtMs = After(ms);
    StampEvent("drop");
    Note("line dropped for " + std::to_string(ms) + " ms");
}

void Simulator::RestoreLine()
{
    if (!OpenPty() || !CreateLink()) {
        // Tried again on the next pass; the PC sees no port meanwhile.
        m_master.Reset();
        m_backAtMs = Now() + 100;
        return;
    }
    m_dropped = false;
    m_hungUp = true;
    StampEvent("back");
    Note("line back: " + m_options.link + " -> " + m_slavePath);
}

// "<us> drop" and "<us> back" in the --tx-times file, on the clock of the
// writes, so a watcher can time the PC's recovery from the moment the port
// was there again.
void Simulator::StampEvent(const char* what)
{
    if (!m_txTimes.Valid()) return;
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    const long long us = static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
    std::string line = std::to_string(us) + " " + what + "\n";
    [[maybe_unused]] ssize_t n = ::write(m_txTimes.Get(), line.data(), line.size());
}

// The moment the bytes left for the PC, on the clock a Windows program under
// Wine reads with QueryPerformanceCounter (100 ns units of the same count), so
// that a program watching the other end can tell how long they took to act.
void Simulator::StampWrite(const char* bytes, size_t count)
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    const long long us = static_cast<long long>(ts.tv_sec) * 1000000LL + ts.tv_nsec / 1000;
    std::string line =
        std::to_string(us) + " " + devsim::HexBytes(reinterpret_cast<const uint8_t*>(bytes), count);
    line += '\n';
    [[maybe_unused]] ssize_t n = ::write(m_txTimes.Get(), line.data(), line.size());
}

bool Simulator::LineHungUp() const
{
    pollfd p{m_master.Get(), 0, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0;
}

void Simulator::ReadLine()
{
    uint8_t buffer[4096];
    for (;;) {
        ssize_t n = ::read(m_master.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        m_engine.FeedFromPc(buffer, static_cast<size_t>(n), Now());
    }
}

void Simulator::AcceptClients()
{
    for (;;) {
        int fd = ::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return;
        if (m_clients.size() >= kMaxClients) {
            ::close(fd);
            continue;
        }
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, 1 /* TCP_NODELAY */, &one, sizeof one);
        auto c = std::make_unique<Client>();
        c->type = Client::Type::Socket;
        c->fd = Fd(fd);
        m_clients.push_back(std::move(c));
        m_anyConnected = true;
    }
}

void Simulator::ReadClient(Client& c)
{
    const int fd = c.type == Client::Type::Stdin ? 0 : c.fd.Get();
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            c.inputEnded = true;
            return;
        }
        c.in.append(buffer, static_cast<size_t>(n));
        if (c.in.size() > kMaxLine && c.in.find('\n') == std::string::npos) {
            Answer(c, "err line too long");
            c.in.clear();
            c.broken = true;
            return;
        }
        if (c.type == Client::Type::Stdin) return; // a blocking stdin: one read per wake-up
    }
}

void Simulator::Answer(Client& c, const std::string& text)
{
    if (c.type == Client::Type::Script) {
        // A script has nobody to answer to; only failures are worth showing.
        if (text.rfind("err", 0) == 0) Note("script: " + text);
        return;
    }
    c.out += text;
    c.out += '\n';
    FlushClient(c);
}

void Simulator::FlushClient(Client& c)
{
    const int fd = c.type == Client::Type::Stdin ? 1 : c.fd.Get();
    while (!c.out.empty()) {
        ssize_t n = c.type == Client::Type::Socket ? ::send(fd, c.out.data(), c.out.size(), MSG_NOSIGNAL)
                                                   : ::write(fd, c.out.data(), c.out.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (n <= 0) {
            c.out.clear();
            c.broken = true;
            return;
        }
        c.out.erase(0, static_cast<size_t>(n));
    }
}

void Simulator::FinishBlocks(Client& c)
{
    const int64_t now = Now();
    if (c.block == Client::Block::Sleep && now >= c.blockUntil) {
        c.block = Client::Block::None;
        Answer(c, "ok");
    } else if (c.block == Client::Block::WaitRx) {
        if (m_engine.Received().size() >= c.waitCount) {
            c.block = Client::Block::None;
            Answer(c, "ok");
        } else if (now >= c.blockUntil) {
            c.block = Client::Block::None;
            Answer(c, "err timeout");
        }
    } else if (c.block == Client::Block::Dropped) {
        if (!m_dropped) {
            c.block = Client::Block::None;
            Answer(c, "ok");
        }
    } else if (c.block == Client::Block::Muted) {
        if (!m_engine.Muted(now)) {
            c.block = Client::Block::None;
            StampEvent("back");
            Answer(c, "ok");
        }
    } else if (c.block == Client::Block::WaitClosed) {
        if (m_hungUp) {
            c.block = Client::Block::None;
            Answer(c, "ok");
        } else if (now >= c.blockUntil) {
            c.block = Client::Block::None;
            Answer(c, "err timeout");
        }
    }
}

// "wait-closed TIMEOUT_MS" belongs to the line, not to the device: it
// answers once nobody has the port open and its settings are back, so a
// test can reopen the port knowing that the last session is over.
bool ParseWaitClosed(const std::string& line, int64_t* ms)
{
    static const char kWord[] = "wait-closed";
    if (line.rfind(kWord, 0) != 0) return false;
    const std::string rest = line.substr(sizeof kWord - 1);
    char* end = nullptr;
    const long value = std::strtol(rest.c_str(), &end, 10);
    if (rest.empty() || rest[0] != ' ' || end == rest.c_str() + 1 || *end != '\0' || value < 0 ||
        value > 600000)
        *ms = -1;
    else
        *ms = value;
    return true;
}

void Simulator::RunClient(Client& c)
{
    FinishBlocks(c);
    while (c.block == Client::Block::None && !m_quit && !c.broken) {
        const size_t eol = c.in.find('\n');
        if (eol == std::string::npos) return;
        std::string line = c.in.substr(0, eol);
        c.in.erase(0, eol + 1);
        int64_t closedWithinMs = 0;
        if (ParseWaitClosed(line, &closedWithinMs)) {
            if (closedWithinMs < 0) {
                Answer(c, "err usage: wait-closed TIMEOUT_MS");
                continue;
            }
            c.block = Client::Block::WaitClosed;
            c.blockUntil = Now() + closedWithinMs;
            FinishBlocks(c);
            continue;
        }
        ControlResult r = m_engine.Control(line, Now());
        // Output the command scheduled (touch, send...) is on the line
        // before the answer goes out: "ok" means it was sent, and a "sleep"
        // between two touches really separates them.
        PumpLine();
        switch (r.kind) {
        case ControlResult::Kind::None:
            break;
        case ControlResult::Kind::Answer:
            Answer(c, r.answer);
            break;
        case ControlResult::Kind::Quit:
            Answer(c, r.answer);
            m_quit = true;
            break;
        case ControlResult::Kind::Sleep:
            c.block = Client::Block::Sleep;
            c.blockUntil = After(r.ms);
            break;
        case ControlResult::Kind::Drop:
            if (m_dropped) {
                Answer(c, "err the line is already dropped");
                break;
            }
            DropLine(r.ms);
            c.block = Client::Block::Dropped;
            c.blockUntil = m_backAtMs;
            break;
        case ControlResult::Kind::Mute:
            StampEvent("mute");
            c.block = Client::Block::Muted;
            c.blockUntil = After(r.ms);
            break;
        case ControlResult::Kind::WaitRx:
            c.block = Client::Block::WaitRx;
            c.waitCount = r.count;
            c.blockUntil = After(r.ms);
            FinishBlocks(c);
            break;
        }
    }
}

bool Simulator::ShouldExit()
{
    if (m_quit || g_stop) return true;
    if (m_options.maxSeconds > 0 && Now() >= m_options.maxSeconds * 1000) {
        Note("--max-seconds reached");
        return true;
    }
    bool anySocket = false;
    bool scriptRunning = false;
    bool stdinOpen = false;
    for (const auto& c : m_clients) {
        if (c->type == Client::Type::Socket) anySocket = true;
        if (c->type == Client::Type::Script) scriptRunning = true;
        if (c->type == Client::Type::Stdin) stdinOpen = true;
    }
    if (m_options.exitOnDisconnect && m_anyConnected && !anySocket) return true;
    // Whoever started us for a connection has given up on it.
    if (m_options.exitOnDisconnect && !m_anyConnected && Now() >= kFirstConnectionMs) {
        Note("nobody connected");
        return true;
    }
    // By hand: end of input (Ctrl-D) ends the session once a script is done.
    if (!m_options.controlGiven && !stdinOpen && !scriptRunning) return true;
    return false;
}

int Simulator::NextTimeoutMs()
{
    const int64_t now = Now();
    int64_t next = now + 1000;
    auto consider = [&](int64_t t) {
        if (t >= 0 && t < next) next = t;
    };
    consider(m_engine.NextDueMs());
    if (m_dropped) consider(m_backAtMs);
    for (const auto& c : m_clients)
        if (c->block != Client::Block::None) consider(c->blockUntil);
    if (m_options.maxSeconds > 0) consider(m_options.maxSeconds * 1000);
    return next <= now ? 0 : static_cast<int>(next - now);
}

int Simulator::Run()
{
    if (m_options.controlGiven) {
        // Detach from whoever started us (a test runner's pipe must not stay
        // open because of us), including descriptors leaked to us beyond the
        // standard three. The log keeps its own descriptor.
        ::close_range(3, ~0U, 0);
        int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, 0);
            ::dup2(devNull, 1);
            ::dup2(devNull, 2);
            if (devNull > 2) ::close(devNull);
        }
    }
    if (!m_options.log.empty()) {
        m_log = Fd(::open(m_options.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!m_log.Valid()) {
            Note("cannot open the log " + m_options.log);
            return 1;
        }
        m_engine.SetLogSink([this](int64_t ms, const char* direction, const std::string& hex) {
            std::string line = std::to_string(ms) + " " + direction + " " + hex + "\n";
            [[maybe_unused]] ssize_t n = ::write(m_log.Get(), line.data(), line.size());
        });
    }

    if (!m_options.txTimes.empty()) {
        m_txTimes = Fd(::open(m_options.txTimes.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (!m_txTimes.Valid()) {
            Note("cannot open " + m_options.txTimes);
            return 1;
        }
    }

    if (!OpenPty() || !CreateLink()) return 1;
    if (m_options.controlGiven && !OpenControl()) return 1;
    if (!m_options.script.empty() && !LoadScript()) return 1;
    if (!m_options.controlGiven) {
        auto c = std::make_unique<Client>();
        c->type = Client::Type::Stdin;
        m_clients.push_back(std::move(c));
    }
    if (!m_options.readyFile.empty() &&
        !WriteFileAtomically(m_options.readyFile, std::to_string(m_controlPort) + "\n")) {
        Note("cannot write the ready file " + m_options.readyFile);
        return 1;
    }
    Say("link " + m_options.link + " -> " + m_slavePath +
        (m_options.controlGiven ? ", control on 127.0.0.1:" + std::to_string(m_controlPort) : ""));

    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);

    while (!ShouldExit()) {
        if (m_dropped && Now() >= m_backAtMs) RestoreLine();
        if (!m_dropped) CheckLine();
        for (auto& c : m_clients)
            RunClient(*c);
        PumpLine();
        // Drop finished sources: closed or broken connections, scripts run to
        // their end, stdin at end of input.
        for (size_t i = 0; i < m_clients.size();) {
            Client& c = *m_clients[i];
            const bool done = c.broken || (c.inputEnded && c.block == Client::Block::None &&
                                           c.in.find('\n') == std::string::npos);
            if (done) {
                m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        if (ShouldExit()) break;

        // A hung-up master would wake poll at once, forever; while nobody has
        // the port open it is looked at every few milliseconds instead.
        std::vector<pollfd> fds;
        const bool pollLine = !m_hungUp;
        if (pollLine)
            fds.push_back(
                {m_master.Get(), static_cast<short>(POLLIN | (m_txBacklog.empty() ? 0 : POLLOUT)), 0});
        if (m_listener.Valid()) fds.push_back({m_listener.Get(), POLLIN, 0});
        std::vector<Client*> polled;
        for (auto& c : m_clients) {
            if (c->type == Client::Type::Script) continue;
            const int fd = c->type == Client::Type::Stdin ? 0 : c->fd.Get();
            short events = c->inputEnded ? 0 : POLLIN;
            if (!c->out.empty()) events |= POLLOUT;
            fds.push_back({fd, events, 0});
            polled.push_back(c.get());
        }
        const int timeoutMs = pollLine ? NextTimeoutMs() : std::min(NextTimeoutMs(), kHungUpPollMs);
        timespec ts{timeoutMs / 1000, static_cast<long>(timeoutMs % 1000) * 1000000L};
        int n = ::ppoll(fds.data(), fds.size(), &ts, &waitMask);
        if (n < 0) {
            if (errno == EINTR) continue;
            Note(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        size_t k = 0;
        if (pollLine) {
            if (fds[k].revents) CheckLine();
            ++k;
        }
        if (m_listener.Valid()) {
            if (fds[k].revents & POLLIN) AcceptClients();
            ++k;
        }
        for (Client* c : polled) {
            const short revents = fds[k++].revents;
            if (revents & (POLLIN | POLLHUP | POLLERR)) ReadClient(*c);
            if (revents & POLLOUT) FlushClient(*c);
        }
    }

    // The answer to "quit" should reach the one who asked.
    for (auto& c : m_clients)
        if (c->type == Client::Type::Socket) FlushClient(*c);
    PumpLine();
    Say("exiting");
    Cleanup();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "devsim: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    // An exception must still unwind through the simulator, which removes
    // its link on the way out.
    try {
        Simulator simulator(options);
        return simulator.Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "devsim: %s\n", e.what());
        return 1;
    }
}

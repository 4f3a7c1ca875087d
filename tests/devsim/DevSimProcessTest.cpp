// The real devsim program: its pty link, its control connection, and how it
// leaves (never holding a caller's pipe, never leaving a link behind).
#include "channel/FrameCodec.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/devsim-test-XXXXXX";
        m_path = ::mkdtemp(pattern);
    }
    ~TempDir() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// One devsim process with its control connection.
class Sim {
public:
    ~Sim()
    {
        if (m_socket >= 0) ::close(m_socket);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    // Starts devsim with the given arguments; stdout/stderr go to `outFd`
    // when given (to watch whether the program lets go of it).
    void Launch(const std::vector<std::string>& args, int outFd = -1)
    {
        std::vector<char*> argv;
        std::string program = DEVSIM_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            if (outFd >= 0) {
                ::dup2(outFd, 1);
                ::dup2(outFd, 2);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }

    bool WaitReady(const std::string& readyFile, int timeoutMs = 5000)
    {
        const auto start = Clock::now();
        while (MsSince(start) < timeoutMs) {
            std::string text = ReadFile(readyFile);
            if (!text.empty() && text.back() == '\n') {
                m_port = std::atoi(text.c_str());
                return m_port > 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool Connect()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(m_port));
        return ::connect(m_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }

    void Disconnect()
    {
        ::close(m_socket);
        m_socket = -1;
    }

    std::string ReadAnswerLine(int timeoutMs = 5000)
    {
        const auto start = Clock::now();
        for (;;) {
            const size_t eol = m_pending.find('\n');
            if (eol != std::string::npos) {
                std::string line = m_pending.substr(0, eol);
                m_pending.erase(0, eol + 1);
                return line;
            }
            pollfd p{m_socket, POLLIN, 0};
            const int left = timeoutMs - static_cast<int>(MsSince(start));
            if (left <= 0 || ::poll(&p, 1, left) <= 0) return "<timeout>";
            char buffer[1024];
            ssize_t n = ::read(m_socket, buffer, sizeof buffer);
            if (n <= 0) return "<closed>";
            m_pending.append(buffer, static_cast<size_t>(n));
        }
    }

    std::string Command(const std::string& line, int timeoutMs = 5000)
    {
        std::string data = line + "\n";
        if (::write(m_socket, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
            return "<broken>";
        return ReadAnswerLine(timeoutMs);
    }

    // Waits for the process to end; its exit status, or -1 on timeout.
    int WaitExit(int timeoutMs)
    {
        const auto start = Clock::now();
        while (MsSince(start) < timeoutMs) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    pid_t pid() const { return m_pid; }
    int socket() const { return m_socket; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    int m_socket = -1;
    std::string m_pending;
};

// The PC's end of the line: the link opened like a serial port, raw.
class Line {
public:
    explicit Line(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY))
    {
        if (m_fd < 0) return;
        termios tio{};
        ::tcgetattr(m_fd, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~Line() { Close(); }
    void Close()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    bool ok() const { return m_fd >= 0; }
    int fd() const { return m_fd; }

    bool Send(const Bytes& payload)
    {
        uint8_t frame[kFrameBufferSize];
        int n = EncodeFrame(payload.data(), static_cast<int>(payload.size()), frame);
        return ::write(m_fd, frame, static_cast<size_t>(n)) == n;
    }

    std::vector<Bytes> Read(size_t count, int timeoutMs)
    {
        std::vector<Bytes> got;
        FrameDecoder decoder(
            [](void* context, const uint8_t* payload, int length) {
                static_cast<std::vector<Bytes>*>(context)->emplace_back(payload, payload + length);
            },
            &got);
        const auto start = Clock::now();
        while (got.size() < count) {
            const int left = timeoutMs - static_cast<int>(MsSince(start));
            pollfd p{m_fd, POLLIN, 0};
            if (left <= 0 || ::poll(&p, 1, left) <= 0) break;
            uint8_t buffer[256];
            ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            decoder.Feed(buffer, static_cast<int>(n));
        }
        return got;
    }

private:
    int m_fd;
};

struct Fixture : ::testing::Test {
    TempDir dir;
    std::string link = dir / "com3";
    std::string ready = dir / "ready";
    Sim sim;

    std::vector<std::string> ControlArgs(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"--link",        link, "--control", "0", "--ready-file", ready,
                                         "--max-seconds", "60", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    void StartConnected(std::vector<std::string> extra = {})
    {
        sim.Launch(ControlArgs(extra));
        ASSERT_TRUE(sim.WaitReady(ready));
        ASSERT_TRUE(sim.Connect());
    }
};

TEST_F(Fixture, IdentifiesOverThePtyAndShowsWhatItReceived)
{
    StartConnected({"--exit-on-disconnect"});
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target).rfind("/dev/pts/", 0), 0u) << target;

    Line line(link);
    ASSERT_TRUE(line.ok());
    ASSERT_TRUE(line.Send({0x01}));
    EXPECT_EQ(line.Read(1, 2000), (std::vector<Bytes>{{0x81, 0x02, 0x01, 0x1E}}));
    EXPECT_EQ(sim.Command("wait-rx 1 1000"), "ok");
    EXPECT_EQ(sim.Command("rx"), "ok 1");
    std::string entry = sim.ReadAnswerLine();
    EXPECT_EQ(entry.substr(entry.find(' ') + 1), "01") << entry;
}

TEST_F(Fixture, PortCanBeReopenedAndStartsFromRawSettingsEachTime)
{
    StartConnected({"--exit-on-disconnect"});
    for (int session = 0; session < 3; ++session) {
        SCOPED_TRACE(session);
        Line line(link);
        ASSERT_TRUE(line.ok());
        termios tio{};
        ASSERT_EQ(::tcgetattr(line.fd(), &tio), 0);
        EXPECT_TRUE(tio.c_cflag & HUPCL);
        EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
        // What Wine does to the port; the next session must not inherit it.
        tio.c_cflag &= ~HUPCL;
        ::cfsetospeed(&tio, B19200);
        ::cfsetispeed(&tio, B19200);
        ASSERT_EQ(::tcsetattr(line.fd(), TCSANOW, &tio), 0);

        ASSERT_TRUE(line.Send({0x05}));
        EXPECT_EQ(line.Read(1, 2000), (std::vector<Bytes>{{0x85, 0x03}}));
        EXPECT_EQ(sim.Command("wait-closed 50"), "err timeout");
        line.Close();
        EXPECT_EQ(sim.Command("wait-closed 2000"), "ok");
    }
    EXPECT_EQ(sim.Command("wait-closed"), "err usage: wait-closed TIMEOUT_MS");
    EXPECT_TRUE(Exists(link));
}

TEST_F(Fixture, OutputWhilePortIsClosedIsLost)
{
    StartConnected();
    EXPECT_EQ(sim.Command("touch 1 2"), "ok");
    {
        Line line(link);
        ASSERT_TRUE(line.ok());
        ASSERT_TRUE(line.Send({0x01}));
        EXPECT_EQ(line.Read(2, 500), (std::vector<Bytes>{{0x81, 0x02, 0x01, 0x1E}}));
        // The PC leaves before the answer comes.
        EXPECT_EQ(sim.Command("delay 100"), "ok");
        ASSERT_TRUE(line.Send({0x01}));
        EXPECT_EQ(sim.Command("wait-rx 2 1000"), "ok");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sim.Command("release"), "ok");
    Line line(link);
    ASSERT_TRUE(line.ok());
    EXPECT_TRUE(line.Read(1, 300).empty());
}

TEST_F(Fixture, ControlCommandsReachTheLine)
{
    StartConnected({"--reinit-delay", "100", "--log", dir / "log"});
    Line line(link);
    ASSERT_TRUE(line.ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sim.Command("touch 0xABC 0x123"), "ok");
    EXPECT_EQ(sim.Command("release"), "ok");
    EXPECT_EQ(sim.Command("send 10 11"), "ok");
    EXPECT_EQ(line.Read(3, 2000), (std::vector<Bytes>{{0x90, 0xBC, 0x23, 0x1A}, {0x91}, {0x10, 0x11}}));

    const auto start = Clock::now();
    ASSERT_TRUE(line.Send({0x87}));
    EXPECT_EQ(line.Read(2, 3000), (std::vector<Bytes>{{0x07}, {0x92}}));
    const int64_t elapsed = MsSince(start);
    EXPECT_GE(elapsed, 80);
    EXPECT_LE(elapsed, 2000);

    EXPECT_EQ(sim.Command("quit"), "ok");
    EXPECT_EQ(sim.WaitExit(3000), 0);
    EXPECT_FALSE(Exists(link));
    const std::string log = ReadFile(dir / "log");
    EXPECT_NE(log.find(" TX 90 bc 23 1a\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" RX 87\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" TX 92\n"), std::string::npos) << log;
}

TEST_F(Fixture, WaitRxTimesOutAndSleepHoldsTheAnswer)
{
    StartConnected();
    auto start = Clock::now();
    EXPECT_EQ(sim.Command("wait-rx 1 200"), "err timeout");
    EXPECT_GE(MsSince(start), 150);
    start = Clock::now();
    EXPECT_EQ(sim.Command("sleep 150"), "ok");
    EXPECT_GE(MsSince(start), 120);
    EXPECT_EQ(sim.Command("nonsense").rfind("err ", 0), 0u);
}

TEST_F(Fixture, ExitsWhenTheControlConnectionCloses)
{
    StartConnected({"--exit-on-disconnect"});
    EXPECT_TRUE(Exists(link));
    sim.Disconnect();
    EXPECT_EQ(sim.WaitExit(3000), 0);
    EXPECT_FALSE(Exists(link));
}

TEST_F(Fixture, TerminationSignalRemovesTheLink)
{
    StartConnected();
    ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
    EXPECT_EQ(sim.WaitExit(3000), 0);
    EXPECT_FALSE(Exists(link));
}

TEST_F(Fixture, MaxSecondsEndsAForgottenSimulator)
{
    sim.Launch({"--link", link, "--control", "0", "--ready-file", ready, "--max-seconds", "1", "--quiet"});
    ASSERT_TRUE(sim.WaitReady(ready));
    const auto start = Clock::now();
    EXPECT_EQ(sim.WaitExit(5000), 0);
    EXPECT_LE(MsSince(start), 2500);
    EXPECT_FALSE(Exists(link));
}

// A test runner reads the output of what it started until the last writer
// closes it; the simulator must not be that last writer.
TEST_F(Fixture, LetsGoOfTheCallersOutput)
{
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    sim.Launch(ControlArgs(), pipeFds[1]);
    ::close(pipeFds[1]);
    ASSERT_TRUE(sim.WaitReady(ready));
    pollfd p{pipeFds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    char c;
    EXPECT_EQ(::read(pipeFds[0], &c, 1), 0); // end of file while it still runs
    EXPECT_EQ(sim.WaitExit(0), -1);
    ::close(pipeFds[0]);
}

TEST_F(Fixture, ReplacesAStaleLinkButNoOtherFile)
{
    ASSERT_EQ(::symlink("/dev/pts/nonexistent", link.c_str()), 0);
    StartConnected();
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_NE(std::string(target), "/dev/pts/nonexistent");

    Sim other;
    const std::string file = dir / "plain";
    std::ofstream(file) << "keep me";
    other.Launch({"--link", file, "--control", "0", "--quiet"});
    EXPECT_EQ(other.WaitExit(3000), 1);
    EXPECT_EQ(ReadFile(file), "keep me");
}

TEST_F(Fixture, ScriptRunsAtStart)
{
    const std::string script = dir / "script";
    std::ofstream(script) << "# a finger goes down, then up\nsleep 300\ntouch 1 2\nrelease\n";
    StartConnected({"--script", script});
    Line line(link);
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.Read(2, 3000), (std::vector<Bytes>{{0x90, 0x01, 0x02, 0x00}, {0x91}}));
}

int64_t RawClockUs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// Each write to the line is stamped after it happened, on the clock that a
// program under Wine reads, so a stamp lies between the command and its "ok".
TEST_F(Fixture, WritesToTheLineAreStampedOnTheRawMonotonicClock)
{
    const std::string stamps = dir / "stamps";
    StartConnected({"--tx-times", stamps});
    Line line(link);
    ASSERT_TRUE(line.ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    std::vector<int64_t> before, after;
    for (const char* command : {"touch 0x310 0x220", "release"}) {
        before.push_back(RawClockUs());
        EXPECT_EQ(sim.Command(command), "ok");
        after.push_back(RawClockUs());
    }
    ASSERT_TRUE(line.Send({0x01})); // an answer is a write like any other
    EXPECT_EQ(line.Read(3, 2000).size(), 3u);
    EXPECT_EQ(sim.Command("quit"), "ok");
    EXPECT_EQ(sim.WaitExit(3000), 0);

    uint8_t touch[kFrameBufferSize], release[kFrameBufferSize], ident[kFrameBufferSize];
    const uint8_t touchPayload[] = {0x90, 0x10, 0x20, 0x23}, releasePayload[] = {0x91},
                  identPayload[] = {0x81, 0x02, 0x01, 0x1E};
    const Bytes frames[] = {Bytes(touch, touch + EncodeFrame(touchPayload, 4, touch)),
                            Bytes(release, release + EncodeFrame(releasePayload, 1, release)),
                            Bytes(ident, ident + EncodeFrame(identPayload, 4, ident))};

    std::istringstream text(ReadFile(stamps));
    std::string entry;
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(std::getline(text, entry));
        const size_t blank = entry.find(' ');
        ASSERT_NE(blank, std::string::npos) << entry;
        const int64_t us = std::atoll(entry.substr(0, blank).c_str());
        Bytes bytes;
        std::istringstream hex(entry.substr(blank + 1));
        unsigned value = 0;
        while (hex >> std::hex >> value)
            bytes.push_back(static_cast<uint8_t>(value));
        EXPECT_EQ(bytes, frames[i]);
        if (i < 2) {
            EXPECT_GE(us, before[i]);
            EXPECT_LE(us, after[i]);
        }
    }
    EXPECT_FALSE(std::getline(text, entry)) << entry;
}

// The stream comes over the pty as the PC reads it: touches at the stream's
// places in order, strokes ended by releases, and noise between the frames
// that decodes to nothing.
TEST_F(Fixture, StreamReachesTheLineWithNoiseThatMakesNoFrames)
{
    StartConnected();
    Line line(link);
    ASSERT_TRUE(line.ok());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(sim.Command("stream 200 10 20"), "ok");
    const std::vector<Bytes> got = line.Read(44, 5000); // four strokes
    EXPECT_EQ(sim.Command("stream off"), "ok");
    ASSERT_EQ(got.size(), 44u);
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        if (i % 11 == 10) {
            EXPECT_EQ(got[i], Bytes{0x91});
            continue;
        }
        const long long k = static_cast<long long>(i - i / 11);
        const int x = static_cast<int>(100 + (k % 270) * 3), y = 250;
        EXPECT_EQ(got[i], (Bytes{0x90, static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(y & 0xFF),
                                 static_cast<uint8_t>((x >> 8) | ((y >> 8) << 4))}));
    }
    const std::string counts = sim.Command("stream");
    EXPECT_EQ(counts.rfind("ok reports ", 0), 0u) << counts;
    EXPECT_NE(counts.find(" noise "), std::string::npos) << counts;
}

// "drop": the port vanishes (the PC's handle hangs up and the link goes),
// then a new port appears under the same name and works; the stamps file
// says when.
TEST_F(Fixture, DropTakesThePortAwayAndBringsItBack)
{
    const std::string stamps = dir / "stamps";
    StartConnected({"--tx-times", stamps});
    Line old(link);
    ASSERT_TRUE(old.ok());
    const std::string request = "drop 400\n";
    ASSERT_EQ(::write(sim.socket(), request.data(), request.size()), static_cast<ssize_t>(request.size()));
    const auto start = Clock::now();
    while (Exists(link) && MsSince(start) < 2000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(Exists(link)) << "the port is gone during the drop";
    pollfd p{old.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & (POLLHUP | POLLERR)) << "the PC's handle is dead";
    EXPECT_EQ(sim.ReadAnswerLine(), "ok") << "answered once the port is back";
    EXPECT_TRUE(Exists(link));
    EXPECT_EQ(sim.Command("drop x"), "err usage: drop|mute MS (0..600000)");

    Line line(link);
    ASSERT_TRUE(line.ok());
    ASSERT_TRUE(line.Send({0x01}));
    EXPECT_EQ(line.Read(1, 2000), (std::vector<Bytes>{{0x81, 0x02, 0x01, 0x1E}}));

    EXPECT_EQ(sim.Command("quit"), "ok");
    EXPECT_EQ(sim.WaitExit(3000), 0);
    std::istringstream text(ReadFile(stamps));
    std::vector<std::string> events;
    long long dropUs = 0, backUs = 0;
    for (std::string entry; std::getline(text, entry);) {
        const std::string what = entry.substr(entry.find(' ') + 1);
        if (what == "drop") dropUs = std::atoll(entry.c_str());
        if (what == "back") backUs = std::atoll(entry.c_str());
        if (what == "drop" || what == "back") events.push_back(what);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"drop", "back"}));
    EXPECT_GE(backUs - dropUs, 400000) << "the port stays away for the pause";
}

TEST(DevSimProgram, HelpAndBadOptions)
{
    struct Case {
        std::string args;
        int status;
    };
    const Case cases[] = {
        {"--help", 0},
        {"", 2},
        {"--link", 2},
        {"--link /tmp/x --hwid 256", 2},
        {"--link /tmp/x --version 1", 2},
        {"--link /tmp/x --silent 0x100", 2},
        {"--link /tmp/x --bogus", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string cmd = std::string(DEVSIM_BINARY) + " " + c.args + " >/dev/null 2>&1 </dev/null";
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), c.status);
    }
}

} // namespace

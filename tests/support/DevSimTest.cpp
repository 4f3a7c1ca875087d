// The simulator seen from a Windows program under Wine: a COM port that
// answers like the controller, and a control connection that steers it.
#include <winsock2.h>
#include <windows.h>

#include "base/Handles.h"
#include "channel/FrameCodec.h"
#include "support/DevSim.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A plain (non-overlapped) COM port with short read timeouts.
class TestPort {
public:
    bool Open(int n)
    {
        const std::string name = "\\\\.\\COM" + std::to_string(n);
        m_port.reset(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_port) {
            m_error = "CreateFileA " + name + ": " + std::to_string(::GetLastError());
            return false;
        }
        return true;
    }

    // 9600 8E1, as the program configures its port. Some kernels refuse
    // parity on a pty (tcsetattr with PARENB fails with EINVAL): Wine then
    // logs the error and either goes on without parity or fails
    // SetCommState with ERROR_INVALID_PARAMETER. The simulator's pty carries
    // bytes, not bits, so either way the test goes on (with 8N1 after a
    // refusal) and says which case it met.
    bool Configure()
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_port.get(), &dcb)) return Error("GetCommState");
        dcb.BaudRate = CBR_9600;
        dcb.ByteSize = 8;
        dcb.Parity = EVENPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = TRUE;
        if (::SetCommState(m_port.get(), &dcb)) {
            // Wine reads the line settings back from the pty.
            DCB kept{};
            kept.DCBlength = sizeof kept;
            if (::GetCommState(m_port.get(), &kept) && kept.Parity == EVENPARITY) {
                NoteParity("kept: this kernel accepts even parity on a pty");
            } else {
                NoteParity("refused: this kernel rejects parity on a pty; SetCommState succeeded, the pty kept no parity");
            }
        } else if (::GetLastError() == ERROR_INVALID_PARAMETER) {
            NoteParity("refused: this kernel rejects parity on a pty (SetCommState: 87); the test goes on with 8N1");
            dcb.Parity = NOPARITY;
            dcb.fParity = FALSE;
            if (!::SetCommState(m_port.get(), &dcb)) return Error("SetCommState without parity");
        } else {
            return Error("SetCommState");
        }
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = 20;
        timeouts.WriteTotalTimeoutConstant = 1000;
        if (!::SetCommTimeouts(m_port.get(), &timeouts)) return Error("SetCommTimeouts");
        if (!::PurgeComm(m_port.get(), PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
            return Error("PurgeComm");
        return true;
    }

    bool SendPayload(const Bytes& payload)
    {
        uint8_t frame[kFrameBufferSize];
        int n = EncodeFrame(payload.data(), static_cast<int>(payload.size()), frame);
        DWORD written = 0;
        return ::WriteFile(m_port.get(), frame, static_cast<DWORD>(n), &written, nullptr) &&
               written == static_cast<DWORD>(n);
    }

    // Payloads decoded from the line until `count` arrived or `timeoutMs` passed.
    std::vector<Bytes> ReadPayloads(size_t count, int timeoutMs)
    {
        std::vector<Bytes> got;
        FrameDecoder decoder(
            [](void* context, const uint8_t* payload, int length) {
                static_cast<std::vector<Bytes>*>(context)->emplace_back(payload, payload + length);
            },
            &got);
        const DWORD start = ::GetTickCount();
        while (got.size() < count && ::GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
            uint8_t buffer[100];
            DWORD read = 0;
            if (!::ReadFile(m_port.get(), buffer, sizeof buffer, &read, nullptr)) break;
            decoder.Feed(buffer, static_cast<int>(read));
        }
        return got;
    }

    void Close() { m_port.reset(); }
    const std::string& error() const { return m_error; }

private:
    // Once per test program: which of the two kinds of kernel this is.
    static void NoteParity(const char* what)
    {
        static bool said = false;
        if (said) return;
        said = true;
        std::printf("[  NOTE    ] pty parity %s\n", what);
        ::testing::Test::RecordProperty("pty_parity", what);
    }

    bool Error(const char* what)
    {
        m_error = std::string(what) + ": " + std::to_string(::GetLastError());
        return false;
    }

    UniqueFileHandle m_port;
    std::string m_error;
};

// Whether anything still listens on the port that the simulator used.
bool ControlPortAnswers(int port)
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(port));
    bool connected = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::closesocket(s);
    ::WSACleanup();
    return connected;
}

const Bytes kIdentify = {0x01};

TEST(DevSim, AnswersIdentificationAcrossReopenedPort)
{
    DevSim sim;
    ASSERT_TRUE(sim.Start({})) << sim.LastError();
    const std::string link = sim.LinkPath();
    const int controlPort = sim.ControlPort();
    EXPECT_TRUE(UnixEntryExists(link));

    // Twice across a close: the second configuration of the same pty is the
    // one that fails when the pty's settings are not kept right.
    for (int session = 0; session < 2; ++session) {
        SCOPED_TRACE(session);
        TestPort port;
        ASSERT_TRUE(port.Open(3)) << port.error();
        ASSERT_TRUE(port.Configure()) << port.error();
        ASSERT_TRUE(port.SendPayload(kIdentify));
        EXPECT_EQ(port.ReadPayloads(1, 2000), (std::vector<Bytes>{{0x81, 0x02, 0x01, 0x1E}}));
        EXPECT_EQ(sim.Received(), std::vector<Bytes>{kIdentify}) << sim.LastError();
        sim.ClearReceived();
        ASSERT_TRUE(port.SendPayload({0x85, 0x10}));
        EXPECT_TRUE(sim.WaitReceived(1, 2000)) << sim.LastError();
        EXPECT_EQ(sim.Received(), (std::vector<Bytes>{{0x85, 0x10}}));
        EXPECT_EQ(port.ReadPayloads(1, 2000), (std::vector<Bytes>{{0x05}}));
        sim.ClearReceived();
        port.Close();
        EXPECT_TRUE(sim.Command("wait-closed 2000")) << sim.LastError();
    }

    sim.Stop();
    EXPECT_FALSE(UnixEntryExists(link));
    EXPECT_FALSE(ControlPortAnswers(controlPort));
}

TEST(DevSim, DeviceInitiatedPayloadsArriveAsFrames)
{
    DevSim::Options options;
    options.reinitDelayMs = 100;
    DevSim sim;
    ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    TestPort port;
    ASSERT_TRUE(port.Open(3)) << port.error();
    ASSERT_TRUE(port.Configure()) << port.error();

    ASSERT_TRUE(sim.Command("touch 0xABC 0x123")) << sim.LastError();
    ASSERT_TRUE(sim.Command("release"));
    ASSERT_TRUE(sim.Command("restart"));
    EXPECT_EQ(port.ReadPayloads(3, 2000), (std::vector<Bytes>{{0x90, 0xBC, 0x23, 0x1A}, {0x91}, {0x92}}));

    // Re-initialisation: the acknowledgement, then the restart notice.
    ASSERT_TRUE(port.SendPayload({0x87}));
    EXPECT_EQ(port.ReadPayloads(2, 2000), (std::vector<Bytes>{{0x07}, {0x92}}));
}

TEST(DevSim, OptionsShapeTheAnswers)
{
    DevSim::Options options;
    options.hwId = 5;
    options.major = 1;
    options.minor = 25;
    options.silent = {0x05};
    options.replyDelayMs = 150;
    DevSim sim;
    ASSERT_TRUE(sim.Start(options)) << sim.LastError();
    TestPort port;
    ASSERT_TRUE(port.Open(3)) << port.error();
    ASSERT_TRUE(port.Configure()) << port.error();

    const DWORD start = ::GetTickCount();
    ASSERT_TRUE(port.SendPayload(kIdentify));
    EXPECT_EQ(port.ReadPayloads(1, 2000), (std::vector<Bytes>{{0x81, 5, 1, 25}}));
    EXPECT_GE(::GetTickCount() - start, 100u);
    ASSERT_TRUE(port.SendPayload({0x05}));
    EXPECT_TRUE(port.ReadPayloads(1, 400).empty());
    std::string answer;
    EXPECT_FALSE(sim.Command("bogus", &answer));
    EXPECT_EQ(answer.rfind("err ", 0), 0u);
    sim.Stop();
    port.Close();

    DevSim::Options absent;
    absent.absent = true;
    ASSERT_TRUE(sim.Start(absent)) << sim.LastError();
    ASSERT_TRUE(port.Open(3)) << port.error();
    ASSERT_TRUE(port.Configure()) << port.error();
    ASSERT_TRUE(port.SendPayload(kIdentify));
    EXPECT_TRUE(port.ReadPayloads(1, 400).empty());
    EXPECT_TRUE(sim.WaitReceived(1, 1000));
}

TEST(DevSim, TwoSimulatorsOnTwoPorts)
{
    DevSim::Options first;
    first.port = 3;
    first.hwId = 2;
    DevSim::Options second;
    second.port = 4;
    second.hwId = 4;
    DevSim a, b;
    ASSERT_TRUE(a.Start(first)) << a.LastError();
    ASSERT_TRUE(b.Start(second)) << b.LastError();
    TestPort portA, portB;
    ASSERT_TRUE(portA.Open(3)) << portA.error();
    ASSERT_TRUE(portB.Open(4)) << portB.error();
    ASSERT_TRUE(portA.Configure()) << portA.error();
    ASSERT_TRUE(portB.Configure()) << portB.error();
    ASSERT_TRUE(portA.SendPayload(kIdentify));
    ASSERT_TRUE(portB.SendPayload(kIdentify));
    EXPECT_EQ(portA.ReadPayloads(1, 2000), (std::vector<Bytes>{{0x81, 2, 1, 30}}));
    EXPECT_EQ(portB.ReadPayloads(1, 2000), (std::vector<Bytes>{{0x81, 4, 1, 30}}));
    EXPECT_EQ(a.Received().size(), 1u);
    EXPECT_EQ(b.Received().size(), 1u);
}

// Run only as the child of EndsWithAnAbandoningTestProcess: starts a
// simulator and dies without stopping it, as a crashing test would.
TEST(DevSimHelper, StartAndAbandon)
{
    if (!std::getenv("TP_DEVSIM_ABANDON")) GTEST_SKIP() << "helper of EndsWithAnAbandoningTestProcess";
    DevSim::Options options;
    options.port = 5;
    DevSim sim;
    if (!sim.Start(options)) ::TerminateProcess(::GetCurrentProcess(), 3);
    ::TerminateProcess(::GetCurrentProcess(), 0);
}

TEST(DevSim, EndsWithAnAbandoningTestProcess)
{
    char exe[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
    std::string cmd = std::string("\"") + exe + "\" --gtest_filter=DevSimHelper.StartAndAbandon";
    ASSERT_TRUE(::SetEnvironmentVariableA("TP_DEVSIM_ABANDON", "1"));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    const BOOL started =
        ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    ::SetEnvironmentVariableA("TP_DEVSIM_ABANDON", nullptr);
    ASSERT_TRUE(started);
    UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    ASSERT_EQ(::WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    ::GetExitCodeProcess(process.get(), &code);
    ASSERT_EQ(code, 0u) << "the helper could not start its simulator";

    const std::string link = std::string(std::getenv("TP_PORTS_DIR")) + "/com5";
    const DWORD start = ::GetTickCount();
    while (UnixEntryExists(link) && ::GetTickCount() - start < 5000)
        ::Sleep(20);
    EXPECT_FALSE(UnixEntryExists(link)) << "the simulator outlived its test process";
}

TEST(DevSim, StartFailsCleanlyForABadPort)
{
    DevSim::Options options;
    options.port = 256; // beyond COM255
    DevSim sim;
    EXPECT_FALSE(sim.Start(options));
    EXPECT_FALSE(sim.Running());
}

} // namespace

// The channel on drivers the bench cannot provide, stood in for through the
// channel's table of port operations: one whose transfers never complete,
// one stuck inside a call, one whose port dies under a pending read, one
// that fails its reads, one that over-reports its queue, and line errors
// that meet a Send.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "CommTestSupport.h"
#include "Messages.h"
#include "base/AppContext.h"
#include "base/Reporting.h"
#include "channel/CommPortApi.h"
#include "channel/CommProtocol2.h"
#include "channel/FrameCodec.h"

namespace {

// One simulated port. Reads are served from `line`; a read that wants more
// than is there stays pending until the line has enough, or is cancelled
// with what it got.
struct Driver {
    enum Read { Serve, Never, Fail, Block };
    std::atomic<int> read{Serve};
    std::atomic<bool> writesHang{false};
    std::atomic<bool> statusFails{false};
    std::atomic<DWORD> extraQueued{0}; // over-reported bytes
    std::atomic<DWORD> errors{0};      // flags until the next ClearCommError
    std::atomic<int> opens{0}, cancels{0};
    COMMTIMEOUTS firstTimeouts = {};
    HANDLE unblock = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // A status read by the receive thread waits for this while set.
    HANDLE holdStatus = nullptr;
    DWORD testThread = ::GetCurrentThreadId();

    std::mutex mutex; // the line and the pending read
    std::vector<uint8_t> line;
    OVERLAPPED* pending = nullptr;
    uint8_t* buffer = nullptr;
    DWORD want = 0;

    // Hands the pending read what it asked for, or with cancelled what there is.
    void Complete(bool cancelled)
    {
        if (pending == nullptr || (!cancelled && line.size() < want)) return;
        const DWORD n = static_cast<DWORD>(line.size() < want ? line.size() : want);
        std::memcpy(buffer, line.data(), n);
        line.erase(line.begin(), line.begin() + n);
        pending->InternalHigh = n;
        pending->Internal = cancelled ? 0xC0000120L : 0; // STATUS_CANCELLED
        ::SetEvent(std::exchange(pending, nullptr)->hEvent);
    }
    void Put(const Bytes& payload)
    {
        uint8_t frame[kFrameBufferSize];
        const int size = EncodeFrame(payload.data(), static_cast<int>(payload.size()), frame);
        std::lock_guard<std::mutex> guard(mutex);
        line.insert(line.end(), frame, frame + size);
        Complete(false);
    }
};
Driver* g_driver = nullptr;

HANDLE WINAPI FakeCreate(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
{
    ++g_driver->opens;
    return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); // any handle that can be duplicated
}
BOOL WINAPI FakeTimeouts(HANDLE, LPCOMMTIMEOUTS t)
{
    g_driver->firstTimeouts = *t; // both calls of an open set the same write timeouts
    return TRUE;
}
BOOL WINAPI FakeRead(HANDLE, LPVOID buffer, DWORD want, LPDWORD count, LPOVERLAPPED overlap)
{
    Driver& d = *g_driver;
    if (d.read == Driver::Block) ::WaitForSingleObject(d.unblock, INFINITE);
    if (d.read == Driver::Fail) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(d.mutex);
    if (d.read == Driver::Serve && d.line.size() >= want) {
        std::memcpy(buffer, d.line.data(), want);
        d.line.erase(d.line.begin(), d.line.begin() + want);
        *count = want;
        return TRUE;
    }
    if (d.read == Driver::Serve) {
        d.pending = overlap;
        d.buffer = static_cast<uint8_t*>(buffer);
        d.want = want;
    }
    ::SetLastError(ERROR_IO_PENDING);
    return FALSE;
}
BOOL WINAPI FakeWrite(HANDLE, LPCVOID, DWORD size, LPDWORD count, LPOVERLAPPED)
{
    if (g_driver->writesHang) {
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    *count = size;
    return TRUE;
}
BOOL WINAPI FakeResult(HANDLE, LPOVERLAPPED overlap, LPDWORD count, BOOL)
{
    if (::WaitForSingleObject(overlap->hEvent, 0) != WAIT_OBJECT_0) {
        ::SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    *count = static_cast<DWORD>(overlap->InternalHigh);
    if (overlap->Internal == 0) return TRUE;
    ::SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
}
BOOL WINAPI FakeCancel(HANDLE)
{
    ++g_driver->cancels;
    std::lock_guard<std::mutex> guard(g_driver->mutex);
    if (g_driver->read == Driver::Serve) g_driver->Complete(true);
    return TRUE;
}
BOOL WINAPI FakeStatus(HANDLE, LPDWORD errors, LPCOMSTAT status)
{
    Driver& d = *g_driver;
    if (d.holdStatus != nullptr && ::GetCurrentThreadId() != d.testThread)
        ::WaitForSingleObject(d.holdStatus, 2000);
    if (d.statusFails) return FALSE;
    *errors = d.errors.exchange(0);
    std::lock_guard<std::mutex> guard(d.mutex);
    status->cbInQue = static_cast<DWORD>(d.line.size()) + d.extraQueued;
    return TRUE;
}
BOOL WINAPI Yes2(HANDLE, DWORD)
{
    return TRUE;
}
BOOL WINAPI Yes3(HANDLE, DWORD, DWORD)
{
    return TRUE;
}
BOOL WINAPI YesDcb(HANDLE, LPDCB)
{
    return TRUE;
}

const CommPortApi kFakeApi = {&FakeCreate, &Yes2,      &Yes3,       &FakeTimeouts, &YesDcb,
                              &FakeRead,   &FakeWrite, &FakeResult, &FakeCancel,   &FakeStatus};

// COM7: no test of the bench uses it, and the fake opens it.
constexpr int kComNumber = 7;

class ChannelOnFakeDriver : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteChannelKey(kComNumber);
        App().messageWindow = nullptr;
        App().restartPending = 0;
        // Leaked on purpose: a thread left running may still call in.
        g_driver = new Driver;
        SetCommPortApiForTest(&kFakeApi);
    }
    void TearDown() override
    {
        channel.reset();
        SetCommPortApiForTest(nullptr);
        DeleteChannelKey(kComNumber);
        App().messageWindow = nullptr;
        App().restartPending = 0;
    }
    void OpenWithListener()
    {
        channel = std::make_unique<CommProtocol2>(kComNumber - 1, false);
        ASSERT_TRUE(channel->Open());
        channel->SetListener(&listener);
    }
    Driver& driver() { return *g_driver; }

    RecordingListener listener; // outlives the channel
    std::unique_ptr<CommProtocol2> channel;
};

// A driver that never completes a write or a cancelled read: Send gives up
// after the write timeouts and a margin, Close within 500 ms, and the
// thread's buffers are never freed under the driver. Write timeouts are
// finite when none are stored, and stored ones are used as they are.
TEST_F(ChannelOnFakeDriver, CloseAndSendAreBoundedOnADriverThatNeverCompletes)
{
    const struct {
        uint32_t storedConst, storedMult, usedConst, usedMult;
    } cases[] = {{0, 0, 500, 2}, {300, 0, 300, 0}, {0, 7, 0, 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.storedConst * 100 + c.storedMult);
        driver().firstTimeouts = COMMTIMEOUTS{};
        driver().read = Driver::Never;
        driver().writesHang = true;
        const std::string key = ChannelKeyPath(kComNumber);
        channel = std::make_unique<CommProtocol2>(kComNumber - 1, true); // stores the defaults
        ASSERT_TRUE(SetRegDword(key, "WrTotTimeoutConst", c.storedConst));
        ASSERT_TRUE(SetRegDword(key, "WrTotTimeoutMult", c.storedMult));
        channel = std::make_unique<CommProtocol2>(kComNumber - 1, false);
        ASSERT_TRUE(channel->Open());
        EXPECT_EQ(driver().firstTimeouts.WriteTotalTimeoutConstant, c.usedConst);
        EXPECT_EQ(driver().firstTimeouts.WriteTotalTimeoutMultiplier, c.usedMult);
        ::Sleep(50); // the thread waits in its read

        const uint8_t query = 0x01;
        bool sent = true;
        EXPECT_LT(ElapsedMs([&] { sent = channel->Send(&query, 1); }), 1200);
        EXPECT_FALSE(sent);
        EXPECT_LE(ElapsedMs([&] { channel->Close(); }), 500);
        channel.reset();
    }
}

// The thread is stuck inside a driver call: Close returns within 500 ms and
// the channel is destroyed; once the call returns, the thread ends by itself
// without touching what is gone.
TEST_F(ChannelOnFakeDriver, ThreadStuckInADriverCallIsLeftBehindSafely)
{
    driver().read = Driver::Block;
    ASSERT_NO_FATAL_FAILURE(OpenWithListener());
    ::Sleep(50);
    EXPECT_LE(ElapsedMs([&] { channel->Close(); }), 500);
    channel.reset();
    const int cancels = driver().cancels;
    ::SetEvent(driver().unblock);
    ::Sleep(300);
    EXPECT_GT(driver().cancels, cancels); // it ended its read on its own
    EXPECT_EQ(listener.LinesLost(), 0);
}

// A port that dies under a read the driver keeps pending is noticed by the
// idle check and goes the lost line's way: release, then a reopen a second.
TEST_F(ChannelOnFakeDriver, IdleCheckFindsAPortThatDiedUnderAPendingRead)
{
    driver().read = Driver::Never;
    ASSERT_NO_FATAL_FAILURE(OpenWithListener());
    ::Sleep(100);
    driver().statusFails = true;
    const long long ms = ElapsedMs([&] { PumpMessages(4000, [&] { return listener.LinesLost() >= 1; }); });
    EXPECT_EQ(listener.LinesLost(), 1);
    EXPECT_LE(ms, 2500);
    PumpMessages(2000, [&] { return driver().opens >= 2; });
    EXPECT_GE(driver().opens.load(), 2);
}

// Reads fail on a port that still answers: one event for the episode,
// written on the main thread, the lost line's path with a reopen every
// second, and deliveries again once reads work.
TEST_F(ChannelOnFakeDriver, FailingReadsAreReportedOnceAndTheLineRecovers)
{
    CommandWindow window;
    App().messageWindow = window.hwnd();
    EventRecorder events;
    driver().read = Driver::Fail;
    ASSERT_NO_FATAL_FAILURE(OpenWithListener());
    PumpMessages(3500, [&] { return driver().opens >= 4; });
    EXPECT_GE(driver().opens.load(), 3);
    EXPECT_TRUE(events.Events().empty()); // nothing written on the receive thread
    ASSERT_EQ(window.Count(CMD_APP_EVENT), 1);
    WritePostedAppEvent(window.Commands().front().lParam);
    ASSERT_EQ(events.Events().size(), 1u);
    EXPECT_EQ(events.Events()[0].first, MSG_COMM_BROKEN);
    EXPECT_EQ(events.Events()[0].second.rfind("COM7, ReadFile, LastError: 5", 0), 0u);
    EXPECT_TRUE(channel->Open());

    driver().read = Driver::Serve;
    PumpMessages(1500, [&] { return window.Count(CMD_DEVICE_RESTARTED) >= 1; });
    driver().Put({0x90, 1, 2, 0});
    EXPECT_TRUE(listener.WaitFor(1, 1000));
    EXPECT_EQ(window.Count(CMD_APP_EVENT), 1);
}

// A driver that reports more bytes queued than it holds cannot hold back
// the end of a frame.
TEST_F(ChannelOnFakeDriver, OverReportedQueueDoesNotHoldAFrame)
{
    ASSERT_NO_FATAL_FAILURE(OpenWithListener());
    driver().extraQueued = 30;
    driver().Put({0x90, 5, 6, 0});
    EXPECT_TRUE(listener.WaitFor(1, 500));
}

// Line errors drop the read and release a held touch, even when a Send runs
// between the read and the receive thread's look at the error flags.
TEST_F(ChannelOnFakeDriver, LineErrorsDropTheReadAndReleaseEvenWhileSending)
{
    ASSERT_NO_FATAL_FAILURE(OpenWithListener());
    ::Sleep(50);
    driver().holdStatus = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    driver().errors = CE_FRAME;
    driver().Put({0x90, 7, 8, 0});
    const uint8_t query = 0x21;
    EXPECT_TRUE(channel->Send(&query, 1));
    ::SetEvent(driver().holdStatus);
    PumpMessages(1000, [&] { return listener.LinesLost() >= 1; });
    EXPECT_EQ(listener.LinesLost(), 1);
    EXPECT_TRUE(listener.Payloads().empty());
}

} // namespace

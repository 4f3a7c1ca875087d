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
// with what it got. The operations are its static members.
struct Driver {
    enum Read { Serve, Never, Fail, Block };
    std::atomic<int> read{Serve};
    std::atomic<bool> writesHang{false}, statusFails{false};
    std::atomic<DWORD> extraQueued{0}, errors{0}; // over-reported bytes; flags until read
    std::atomic<int> opens{0}, cancels{0};
    COMMTIMEOUTS timeouts = {};
    HANDLE unblock = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE holdStatus = nullptr; // while set, the receive thread's status read waits for it
    DWORD testThread = ::GetCurrentThreadId();
    std::mutex mutex; // the line and the pending read
    std::vector<uint8_t> line;
    OVERLAPPED* pending = nullptr;
    uint8_t* buffer = nullptr;
    DWORD want = 0;

    // Hands the pending read what it asked for, or when cancelled what there is.
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

    static Driver* d;
    static HANDLE WINAPI Create(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE)
    {
        ++d->opens;
        return ::CreateEventA(nullptr, TRUE, FALSE, nullptr); // a handle that can be duplicated
    }
    static BOOL WINAPI Yes2(HANDLE, DWORD) { return TRUE; }
    static BOOL WINAPI Yes3(HANDLE, DWORD, DWORD) { return TRUE; }
    static BOOL WINAPI State(HANDLE, LPDCB) { return TRUE; }
    static BOOL WINAPI Timeouts(HANDLE, LPCOMMTIMEOUTS t) { return d->timeouts = *t, TRUE; }
    static BOOL Pending() { return ::SetLastError(ERROR_IO_PENDING), FALSE; }
    static BOOL WINAPI Read(HANDLE, LPVOID to, DWORD want, LPDWORD count, LPOVERLAPPED overlap)
    {
        if (d->read == Block) ::WaitForSingleObject(d->unblock, INFINITE);
        if (d->read == Fail) return ::SetLastError(ERROR_ACCESS_DENIED), FALSE;
        std::lock_guard<std::mutex> guard(d->mutex);
        if (d->read != Serve) return Pending();
        d->pending = overlap;
        d->buffer = static_cast<uint8_t*>(to);
        d->want = want;
        if (d->line.size() < want) return Pending();
        d->Complete(false);
        *count = want;
        return TRUE;
    }
    static BOOL WINAPI Write(HANDLE, LPCVOID, DWORD size, LPDWORD count, LPOVERLAPPED)
    {
        if (d->writesHang) return Pending();
        return *count = size, TRUE;
    }
    static BOOL WINAPI Result(HANDLE, LPOVERLAPPED overlap, LPDWORD count, BOOL)
    {
        if (::WaitForSingleObject(overlap->hEvent, 0) != WAIT_OBJECT_0)
            return ::SetLastError(ERROR_IO_INCOMPLETE), FALSE;
        *count = static_cast<DWORD>(overlap->InternalHigh);
        return overlap->Internal == 0 ? TRUE : (::SetLastError(ERROR_OPERATION_ABORTED), FALSE);
    }
    static BOOL WINAPI Cancel(HANDLE)
    {
        ++d->cancels;
        std::lock_guard<std::mutex> guard(d->mutex);
        if (d->read == Serve) d->Complete(true);
        return TRUE;
    }
    static BOOL WINAPI Status(HANDLE, LPDWORD errors, LPCOMSTAT status)
    {
        if (d->holdStatus != nullptr && ::GetCurrentThreadId() != d->testThread)
            ::WaitForSingleObject(d->holdStatus, 2000);
        if (d->statusFails) return FALSE;
        *errors = d->errors.exchange(0);
        std::lock_guard<std::mutex> guard(d->mutex);
        status->cbInQue = static_cast<DWORD>(d->line.size()) + d->extraQueued;
        return TRUE;
    }
};
Driver* Driver::d = nullptr;

const CommPortApi kFakeApi = {&Driver::Create, &Driver::Yes2,  &Driver::Yes3,  &Driver::Timeouts,
                              &Driver::State,  &Driver::Read,  &Driver::Write, &Driver::Result,
                              &Driver::Cancel, &Driver::Status};

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
        Driver::d = new Driver;
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
    Driver& driver() { return *Driver::d; }

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
        driver().read = Driver::Never;
        driver().writesHang = true;
        const std::string key = ChannelKeyPath(kComNumber);
        channel = std::make_unique<CommProtocol2>(kComNumber - 1, true); // stores the defaults
        ASSERT_TRUE(SetRegDword(key, "WrTotTimeoutConst", c.storedConst));
        ASSERT_TRUE(SetRegDword(key, "WrTotTimeoutMult", c.storedMult));
        channel = std::make_unique<CommProtocol2>(kComNumber - 1, false);
        ASSERT_TRUE(channel->Open());
        EXPECT_EQ(driver().timeouts.WriteTotalTimeoutConstant, c.usedConst);
        EXPECT_EQ(driver().timeouts.WriteTotalTimeoutMultiplier, c.usedMult);
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

    // The thread may be in its wait before the next reopen (a second), which
    // every failing read leads to: the frame goes out once a reopen has come
    // after the reads began to work.
    driver().read = Driver::Serve;
    const int opens = driver().opens;
    PumpMessages(2500, [&] { return driver().opens > opens; });
    EXPECT_EQ(window.Count(CMD_DEVICE_RESTARTED), 1);
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

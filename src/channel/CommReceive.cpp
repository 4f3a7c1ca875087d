// The serial channel's receive thread: it reads the line, decodes frames and
// hands them on, looks at a quiet line once a second, and opens a port that
// went away again. Everything it shares with the channel object it reaches
// through a ChannelVisit, so that Close may leave a stuck thread behind.
#include <windows.h>

#include <cstring>
#include <exception>
#include <memory>
#include <utility>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Reporting.h"
#include "channel/CommInternals.h"
#include "channel/CommProtocol2.h"
#include "channel/LineBacklog.h"

namespace {

using comm::ChannelVisit;
using comm::IoSlot;
using comm::LockScope;
using comm::ReceiveStart;

constexpr DWORD kPollMs = 10;
// The longest a read may wait for its first byte before the thread looks at
// the port: some drivers keep a read pending for ever after their device has
// gone, and only the port's status tells.
constexpr DWORD kIdleCheckMs = 1000;
// After a status check that failed, the next one comes sooner.
constexpr DWORD kRecheckMs = 100;
// A read for the bytes the driver reports queued ends at once on a driver
// that reports truthfully; on one that over-reports it would hold the end of
// a frame until more bytes arrive, so it is cut short after this.
constexpr DWORD kQueuedReadMs = 20;
// A port whose status cannot be read this many times in a row is gone.
constexpr int kLineLostAfter = 3;
// How often a port that went away is tried again.
constexpr DWORD kReopenIntervalMs = 1000;
// Errors of the receiving side; the bytes of a read that met one are not to
// be trusted. Transmit errors leave the read alone.
constexpr DWORD kReceiveErrors = CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK;

// Bytes of the next read: one while nothing is queued, so that the read ends
// with the first byte to arrive; otherwise what the driver holds, up to the
// buffer.
DWORD ReadSize(DWORD queued, DWORD buffer)
{
    if (queued == 0) return 1;
    return queued < buffer ? queued : buffer;
}

int64_t NowUs(int64_t frequency)
{
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return frequency > 0 ? now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency
                         : 0;
}

} // namespace

DWORD WINAPI CommProtocol2::ReceiveThread(LPVOID raw)
{
    const std::unique_ptr<ReceiveStart> start(static_cast<ReceiveStart*>(raw));
    try {
        return ReceiveLoop(*start);
    } catch (...) {
        // A fault of the program, not of the line: it ends the process the
        // way every fault that nothing handles does.
        std::terminate();
    }
}

// The thread sleeps in a read that waits for the next byte, so it wakes when
// bytes arrive rather than on a timer, and a frame is handled as soon as its
// last byte is queued. What the driver reports queued behind the first byte
// is read at once, in chunks of the buffer's size, before the thread waits
// again. While the line is quiet it wakes once a second to look at the port.
DWORD CommProtocol2::ReceiveLoop(ReceiveStart& start)
{
    const CommPortApi& api = PortApi();
    comm::ReceiveShared& shared = *start.shared;
    const HANDLE cancel = shared.cancel.get();
    FrameDecoder decoder(&CommProtocol2::Deliver, start.channel);
    LineBacklog backlog(start.byteTimeNs);
    LARGE_INTEGER frequency = {};
    ::QueryPerformanceFrequency(&frequency);

    DWORD queued = 0;       // bytes the driver held after the last read
    uint32_t behind = 0;    // how far the last read was behind the line, us
    int unreadable = 0;     // status checks in a row that failed
    bool failing = false;   // a failure was reported and no read has worked since
    bool quiet = false;     // the last cycle only looked at a quiet line
    bool firstByte = false; // the read in progress waits for the first byte of a quiet line
    for (;;) {
        // A wake on a quiet line does no more than look at the port and
        // wait again: under Wine every call costs a round trip to its
        // server, and the program's idle CPU stays at 0.00 %.
        if (!quiet) {
            // The listener injects mouse input from this thread. Some
            // systems (Wine among them) queue notifications to the
            // injecting thread, and a queue nobody reads grows for as long
            // as the screen is touched: drain it. Nothing is ever posted to
            // this thread.
            MSG msg;
            while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
            // Also ends the thread between two reads of a long burst, which
            // never waits on the event; a flag, as a look at the event would
            // cost a call into the system on every read.
            if (shared.stop.load()) break;
        }
        quiet = false;

        IoSlot& rx = *start.rx;
        const HANDLE port = start.port.get();
        DWORD count = 0;
        bool done = false;
        bool waited = false;          // for the first byte of a quiet line
        const char* failed = nullptr; // the operation that failed, if one did
        DWORD error = 0;
        if (!rx.pending) {
            rx.Arm();
            firstByte = queued == 0;
            const DWORD limit = behind > kCatchUpBacklogUs ? static_cast<DWORD>(sizeof rx.buffer)
                                                           : static_cast<DWORD>(kFrameBufferSize);
            if (api.readFile(port, rx.buffer, ReadSize(queued, limit), &count, &rx.overlap)) {
                done = true;
            } else if ((error = ::GetLastError()) == ERROR_IO_PENDING) {
                rx.pending = true;
            } else {
                failed = "ReadFile";
            }
        }
        if (rx.pending) {
            // Waited for together with the cancel event and outside the lock,
            // leaving Send and Close free. A read for the first byte stays
            // pending from one wake to the next while the line is quiet.
            const DWORD bound = queued != 0 ? kQueuedReadMs : unreadable != 0 ? kRecheckMs : kIdleCheckMs;
            const HANDLE waits[2] = {rx.event.get(), cancel};
            const DWORD woke = ::WaitForMultipleObjects(2, waits, FALSE, bound);
            if (woke == WAIT_OBJECT_0) {
                rx.pending = false;
                // It may have stayed pending through looks at a quiet line;
                // it ends as soon as a byte arrives.
                waited = firstByte;
                done = api.getOverlappedResult(port, &rx.overlap, &count, FALSE) != FALSE;
                if (!done) {
                    error = ::GetLastError();
                    failed = "GetOverlappedResult";
                }
            } else if (woke == WAIT_OBJECT_0 + 1) {
                break;
            } else if (woke != WAIT_TIMEOUT) {
                error = ::GetLastError();
                failed = "WaitForMultipleObjects";
            } else if (queued != 0) {
                // Cut short: what it read so far is kept.
                if (comm::EndTransfer(port, rx, &count)) {
                    done = count > 0;
                } else {
                    error = ERROR_OPERATION_ABORTED;
                    failed = "CancelIo";
                }
            } else {
                // A read for the first byte that timed out: the line is
                // quiet; only its status is looked at below.
                quiet = true;
            }
        }

        DWORD errors = 0;
        COMSTAT status = {};
        if (api.clearCommError(port, &errors, &status)) {
            unreadable = 0;
        } else {
            errors = 0;
            status.cbInQue = 0;
            ++unreadable;
        }
        queued = status.cbInQue;
        if (failed != nullptr) {
            // A failure on a port that still answers is unexpected: it is
            // reported, once until the line works again. On a port that
            // does not answer it is the lost line, which reports itself if
            // the port cannot be opened again. Either way the line is
            // given up and opened afresh.
            if (unreadable == 0 && !failing) {
                char text[kTextMax] = {};
                FormatBounded(text, sizeof text, "%s, %s, LastError: %d", start.portName, failed,
                              static_cast<int>(error));
                PostAppEvent(MSG_COMM_BROKEN, text);
                failing = true;
            }
            unreadable = kLineLostAfter;
        }
        if (unreadable >= kLineLostAfter) {
            unreadable = 0;
            queued = 0;
            decoder.Reset();
            backlog.Reset();
            behind = 0;
            if (!Reconnect(start)) break;
            continue;
        }

        if ((errors & kReceiveErrors) != 0) {
            decoder.Reset();
            backlog.Reset();
            behind = 0;
            // The dropped bytes may have held the release of a touch that is
            // down: a drag cut in two is better than a button left pressed.
            const ChannelVisit visit(shared);
            if (!visit) break;
            start.channel->BreakTouchStream();
        } else if (done && count > 0) {
            failing = false;
            behind = backlog.OnRead(NowUs(frequency.QuadPart), count, queued, waited);
            const ChannelVisit visit(shared);
            if (!visit) break;
            start.channel->FeedRead(decoder, rx.buffer, count, behind);
            backlog.OnHandedOver(NowUs(frequency.QuadPart));
        }
        // A read that came back empty although it was asked to wait (a
        // driver that ignores the timeouts) would make this loop spin: such
        // a cycle waits a poll interval on the cancel event.
        if (done && count == 0 && queued == 0 && ::WaitForSingleObject(cancel, kPollMs) != WAIT_TIMEOUT)
            break;
    }

    if (start.rx && start.rx->pending) {
        DWORD count = 0;
        if (!comm::EndTransfer(start.port.get(), *start.rx, &count)) comm::LeaveToDriver(std::move(start.rx));
    }
    return 1;
}

void CommProtocol2::FeedRead(FrameDecoder& decoder, const uint8_t* bytes, DWORD count, uint32_t backlogUs)
{
    // The listener may hold back what the payloads of this read cause
    // (mouse input) and hand it on together at the end; when they are
    // behind the line, only what a person would miss.
    BracketRead(true, backlogUs);
    decoder.Feed(bytes, static_cast<int>(count));
    BracketRead(false, 0);
}

void CommProtocol2::BracketRead(bool begin, uint32_t backlogUs)
{
    LockScope lock(m_Lock);
    if (m_pBatchListener == nullptr) return;
    // The end is passed on even while closing: it hands on what payloads
    // delivered before the close caused.
    if (!begin) {
        m_pBatchListener->OnReadEnd();
    } else if (!m_bClosing) {
        m_pBatchListener->OnReadBegin(backlogUs);
    }
}

// The port has gone away under the thread: a healthy port always answers
// ClearCommError and completes its reads; a removed USB adapter or a closed
// line does not, and no read on that handle will ever return data again. The
// listener hears of it (a touch that is down gets its release), the handle is
// closed so that Send fails instead of writing into nothing, and the port is
// opened again once a second until it is back or the channel is closed. Once
// back, the device is identified and configured again as after a restart
// notice: it may have been switched off, or replaced. False when the channel
// is closing.
bool CommProtocol2::Reconnect(ReceiveStart& start)
{
    comm::ReceiveShared& shared = *start.shared;
    const HANDLE cancel = shared.cancel.get();
    CommSettings settings;
    {
        const ChannelVisit visit(shared);
        if (!visit) return false;
        CommProtocol2& channel = *start.channel;
        LockScope lock(channel.m_Lock);
        if (channel.m_bClosing) return false;
        settings = channel.m_Settings;
        if (auto* watcher = dynamic_cast<LineLossListener*>(channel.m_pListener)) watcher->OnLineLost();
        channel.m_bLineLost.store(true);
        SignalLineChanged();
        LockScope send(channel.m_SendLock);
        channel.m_hPort.reset();
    }
    if (start.rx && start.rx->pending) {
        DWORD count = 0;
        if (!comm::EndTransfer(start.port.get(), *start.rx, &count)) comm::LeaveToDriver(std::move(start.rx));
    }
    start.port.reset();

    bool reported = false;
    for (;;) {
        if (::WaitForSingleObject(cancel, kReopenIntervalMs) != WAIT_TIMEOUT) return false;
        if (!start.rx) start.rx = IoSlot::Create();
        UniqueFileHandle fresh = comm::OpenPort(start.portName);
        UniqueFileHandle own;
        if (fresh && comm::Configure(fresh.get(), settings)) own = comm::DuplicatePort(fresh.get());
        if (own && start.rx) {
            const ChannelVisit visit(shared);
            if (!visit) return false;
            CommProtocol2& channel = *start.channel;
            LockScope lock(channel.m_Lock);
            if (channel.m_bClosing) return false;
            {
                LockScope send(channel.m_SendLock);
                channel.m_hPort = std::move(fresh);
                comm::WriteTimeouts(settings, &channel.m_WriteConstMs, &channel.m_WriteMultMs);
            }
            start.port = std::move(own);
            channel.m_bLineLost.store(false);
            SignalDeviceRestart();
            return true;
        }
        const DWORD error = ::GetLastError();
        fresh.reset();
        if (!reported) {
            // Once per loss: the log says when the line went, not every try.
            // Written on the main thread, which alone may read the
            // controller's switch for event writing.
            char text[kTextMax] = {};
            FormatBounded(text, sizeof text, "%s, LastError: %d", start.portName, static_cast<int>(error));
            PostAppEvent(MSG_CHANNEL_CANT_OPEN, text);
            reported = true;
        }
    }
}

void CommProtocol2::Deliver(void* self, const uint8_t* payload, int length)
{
    static_cast<CommProtocol2*>(self)->OnFrame(payload, length);
}

void CommProtocol2::OnFrame(const uint8_t* payload, int length)
{
    LockScope lock(m_Lock);
    if (m_bClosing || length < 1) return;

    switch (payload[0]) {
    case comm::kReInitReply:
        if (length == 1) {
            std::memset(m_Reply, 0, sizeof(m_Reply));
            m_Reply[0] = comm::kReInitReply;
            ::SetEvent(m_hIdentEvent.get());
        }
        break;
    case comm::kIdentReply:
        if (length == 4) {
            std::memcpy(m_Reply, payload, sizeof(m_Reply));
            ::SetEvent(m_hIdentEvent.get());
        }
        break;
    case comm::kRestartNotice:
        // The device starts afresh and will not send the release of a touch
        // that is down; and until it is identified again its touches are
        // not taken. Released first, then identified.
        BreakTouchStream();
        SignalDeviceRestart();
        break;
    default:
        break;
    }

    if (m_pListener != nullptr) m_pListener->OnReceive(payload, length);
}

#include "channel/CommProtocol2.h"

#include <cstring>
#include <utility>

#include "Messages.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/ObjectNames.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"

namespace {

constexpr const char* kChannelsKey = "Channels";

constexpr uint8_t kIdentQuery = 0x01;
constexpr uint8_t kIdentReply = 0x81;
constexpr uint8_t kReInitRequest = 0x87;
constexpr uint8_t kReInitReply = 0x07;
constexpr uint8_t kRestartNotice = 0x92;

constexpr int kQueryAttempts = 3;
constexpr DWORD kReplyWaitMs = 200;
constexpr DWORD kRetryPauseMs = 100;
constexpr DWORD kPollMs = 10;
constexpr DWORD kCancelRetryMs = 20;
// A port whose status cannot be read this many cycles in a row is gone.
constexpr int kLineLostAfter = 3;
// How often a port that went away is tried again.
constexpr DWORD kReopenIntervalMs = 1000;
// The receive thread only needs a small stack; CreateThread grows it beyond
// this commit size when a listener needs more.
constexpr SIZE_T kReceiveStack = 4096;

// Bytes of the next read: one while nothing is queued, so that the read ends
// with the first byte to arrive; otherwise what the driver holds, up to the
// buffer.
DWORD ReadSize(DWORD queued, DWORD buffer)
{
    if (queued == 0) return 1;
    return queued < buffer ? queued : buffer;
}

struct CommValue {
    const char* name;
    uint32_t CommSettings::*field;
};

// Storage order of the line settings; load, save and dump all walk it.
constexpr CommValue kCommValues[kCommSettingCount] = {
    {"RdIntTimeout", &CommSettings::RdIntTimeout},
    {"RdTotTimeoutConst", &CommSettings::RdTotTimeoutConst},
    {"RdTotTimeoutMult", &CommSettings::RdTotTimeoutMult},
    {"WrTotTimeoutConst", &CommSettings::WrTotTimeoutConst},
    {"WrTotTimeoutMult", &CommSettings::WrTotTimeoutMult},
    {"ByteSize", &CommSettings::ByteSize},
    {"BaudRate", &CommSettings::BaudRate},
    {"Parity", &CommSettings::Parity},
    {"CheckParity", &CommSettings::CheckParity},
    {"ErrorChar", &CommSettings::ErrorChar},
    {"StopBits", &CommSettings::StopBits},
    {"RdBufferSize", &CommSettings::RdBufferSize},
    {"WrBufferSize", &CommSettings::WrBufferSize},
};

// The recursive channel lock for one scope; exception-safe for the listener
// calls made under it.
class LockScope {
public:
    explicit LockScope(CRITICAL_SECTION& lock) : m_lock(lock) { ::EnterCriticalSection(&m_lock); }
    ~LockScope() { ::LeaveCriticalSection(&m_lock); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

private:
    CRITICAL_SECTION& m_lock;
};

bool ReadDword(HKEY key, const char* name, uint32_t* out)
{
    int32_t value = 0;
    if (!QueryDword(key, name, &value)) return false;
    *out = static_cast<uint32_t>(value);
    return true;
}

uint32_t SignExtendByte(uint32_t value)
{
    return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(value & 0xFF)));
}

// Keeps only what the port uses of each value, in the form it is stored.
void Normalise(CommSettings& s)
{
    s.ByteSize &= 0xFF;
    s.Parity &= 0xFF;
    s.CheckParity &= 1;
    s.ErrorChar = SignExtendByte(s.ErrorChar);
    s.StopBits &= 0xFF;
}

UniqueKernelHandle CreateEventOrFail(BOOL manualReset, const char* detail)
{
    UniqueKernelHandle event(::CreateEventA(nullptr, manualReset, FALSE, nullptr));
    if (!event) FatalCreationFailure(detail);
    return event;
}

} // namespace

const char* CommSettingName(int i)
{
    return (i >= 0 && i < kCommSettingCount) ? kCommValues[i].name : nullptr;
}

CommProtocol2::CommProtocol2(int index, bool reportDefaults)
    : ChannelVirt(::PortName(index) != nullptr ? index : -1)
{
    if (m_nChannel == -1) return;
    if (LoadSettings()) return;
    CopyBounded(m_szPort, sizeof(m_szPort), ::PortName(m_nChannel));
    m_Settings = CommSettings{};
    if (reportDefaults) {
        ReportAppEvent(MSG_CHANNEL_CONFIG_INVALID, m_szPort);
        SaveSettings();
    }
}

CommProtocol2::~CommProtocol2()
{
    CloseNow();
}

bool CommProtocol2::Configure(HANDLE port, const CommSettings& settings)
{
    if (!::PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return false;
    if (!::SetupComm(port, settings.RdBufferSize, settings.WrBufferSize)) return false;

    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = settings.RdIntTimeout;
    timeouts.ReadTotalTimeoutMultiplier = settings.RdTotTimeoutMult;
    timeouts.ReadTotalTimeoutConstant = settings.RdTotTimeoutConst;
    timeouts.WriteTotalTimeoutMultiplier = settings.WrTotTimeoutMult;
    timeouts.WriteTotalTimeoutConstant = settings.WrTotTimeoutConst;
    if (!::SetCommTimeouts(port, &timeouts)) return false;

    // Everything not stored stays zero: no flow control, DTR and RTS held
    // inactive, no error-character replacement.
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = static_cast<BYTE>(settings.ByteSize);
    dcb.Parity = static_cast<BYTE>(settings.Parity);
    dcb.StopBits = static_cast<BYTE>(settings.StopBits);
    dcb.fParity = settings.CheckParity & 1;
    dcb.ErrorChar = static_cast<char>(settings.ErrorChar & 0xFF);
    if (!::SetCommState(port, &dcb)) return false;

    // The receive thread's reads wait for the next byte, however long the
    // line stays quiet, and end with it: no read timeout at all. They are
    // waited for together with the cancel event, so the stored read
    // timeouts, which bounded each read of a polling loop, have nothing left
    // to bound; they were applied above all the same, so values the driver
    // refuses still fail the open. Writes keep the stored timeouts.
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return ::SetCommTimeouts(port, &timeouts) != FALSE;
}

bool CommProtocol2::Open()
{
    LockScope lock(m_Lock);
    // Open while the receive thread runs, even when it is waiting for a
    // port that went away to come back.
    if (m_hRecThread) return true;

    UniqueFileHandle port(::CreateFileA(m_szPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OVERLAPPED, nullptr));
    if (!port) return false;
    if (!Configure(port.get(), m_Settings)) {
        // Release the port at once rather than hold it, locked against
        // everyone else, until a Close; keep the cause for the caller's
        // report.
        const DWORD error = ::GetLastError();
        port.reset();
        ::SetLastError(error);
        return false;
    }

    m_hTXEvent = CreateEventOrFail(TRUE, "OutOfMemory - CommProt2.m_TXOverlap");
    m_hRXEvent = CreateEventOrFail(TRUE, "OutOfMemory - CommProt2.m_RXOverlap");
    m_hIdentEvent = CreateEventOrFail(FALSE, "OutOfMemory - CommProt2.m_hIdentEvent");
    m_hCancelEvent = CreateEventOrFail(FALSE, "OutOfMemory - CommProt2.m_hCancelEvent");
    m_TXOverlap = OVERLAPPED{};
    m_TXOverlap.hEvent = m_hTXEvent.get();
    m_RXOverlap = OVERLAPPED{};
    m_RXOverlap.hEvent = m_hRXEvent.get();

    m_hPort = std::move(port);
    m_bClosing = false;
    m_hRecThread.reset(
        ::CreateThread(nullptr, kReceiveStack, &CommProtocol2::ReceiveThread, this, 0, nullptr));
    if (!m_hRecThread) FatalCreationFailure("OutOfMemory - CommProt2.m_hRecThread");
    return true;
}

bool CommProtocol2::Close()
{
    CloseNow();
    return true;
}

void CommProtocol2::CloseNow()
{
    UniqueKernelHandle thread;
    {
        LockScope lock(m_Lock);
        m_bClosing = true;
        if (m_hPort) ::FlushFileBuffers(m_hPort.get());
        if (m_hCancelEvent) ::SetEvent(m_hCancelEvent.get());
        thread = std::move(m_hRecThread);
    }
    // Waited for without the lock, which the thread needs to finish its
    // current read or delivery. It ends on its own within a poll interval:
    // it is never killed, as that could leave the lock owned or let a read
    // complete into a buffer that is about to be freed.
    if (thread) ::WaitForSingleObject(thread.get(), INFINITE);

    LockScope lock(m_Lock);
    m_hCancelEvent.reset();
    m_hTXEvent.reset();
    m_hRXEvent.reset();
    m_hIdentEvent.reset();
    m_TXOverlap.hEvent = nullptr;
    m_RXOverlap.hEvent = nullptr;
    m_hPort.reset();
}

DWORD WINAPI CommProtocol2::ReceiveThread(LPVOID self)
{
    try {
        return static_cast<CommProtocol2*>(self)->ReceiveLoop();
    } catch (...) {
        return 1;
    }
}

// The receive thread sleeps in a read that waits for the next byte, so it
// wakes when bytes arrive rather than on a timer: nothing runs while the line
// is quiet, and a frame is handled as soon as its last byte is queued. What
// the driver reports queued behind the first byte is read at once, in chunks
// of the buffer's size, before the thread waits again.
DWORD CommProtocol2::ReceiveLoop()
{
    FrameDecoder decoder(&CommProtocol2::Deliver, this);
    HANDLE port;
    HANDLE cancel;
    HANDLE received;
    {
        LockScope lock(m_Lock);
        port = m_hPort.get();
        cancel = m_hCancelEvent.get();
        received = m_hRXEvent.get();
    }

    DWORD queued = 0;   // bytes the driver held after the last read
    int unreadable = 0; // cycles in a row whose port status could not be read
    for (;;) {
        // The listener injects mouse input from this thread. Some systems
        // (Wine among them) queue notifications to the injecting thread, and
        // a queue nobody reads grows for as long as the screen is touched:
        // drain it on every cycle. Nothing is ever posted to this thread.
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {}
        DWORD count = 0;
        bool done = false;
        bool pending = false;
        {
            LockScope lock(m_Lock);
            // Close sets this before it signals the cancel event; testing it
            // here ends the thread between two reads of a long burst, which
            // never waits on the event.
            if (m_bClosing) break;
            ::ResetEvent(received);
            m_RXOverlap.Offset = 0;
            m_RXOverlap.OffsetHigh = 0;
            if (::ReadFile(port, m_RXBuffer, ReadSize(queued, static_cast<DWORD>(sizeof(m_RXBuffer))), &count,
                           &m_RXOverlap)) {
                done = true;
            } else {
                pending = ::GetLastError() == ERROR_IO_PENDING;
            }
        }

        if (pending) {
            // The read waits for the first byte for as long as the line is
            // quiet, so it is waited for together with the cancel event and
            // outside the lock, leaving Send and Close free.
            const HANDLE waits[2] = {received, cancel};
            if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                // Cancelled (or the wait broke): the read must be finished
                // before the thread ends, as it writes into m_RXBuffer. A
                // cancel can be missed while the driver is re-arming the
                // read after a spurious wake-up (seen under Wine), so it is
                // repeated until the read has ended.
                do {
                    ::CancelIo(port);
                } while (::WaitForSingleObject(received, kCancelRetryMs) == WAIT_TIMEOUT);
                ::GetOverlappedResult(port, &m_RXOverlap, &count, FALSE);
                break;
            }
            done = ::GetOverlappedResult(port, &m_RXOverlap, &count, FALSE) != FALSE;
        }

        DWORD errors = 0;
        COMSTAT status = {};
        {
            LockScope lock(m_Lock);
            if (!::ClearCommError(port, &errors, &status)) {
                errors = 0;
                status.cbInQue = 0;
                ++unreadable;
            } else {
                unreadable = 0;
            }
        }
        queued = status.cbInQue;
        if (unreadable >= kLineLostAfter) {
            unreadable = 0;
            decoder.Reset();
            if (!Reconnect(&port)) break;
            continue;
        }
        if (errors != 0) {
            decoder.Reset();
        } else if (done && count > 0) {
            // The listener may hold back what the payloads of this read
            // cause (mouse input) and hand it on together at the end.
            BracketRead(true);
            decoder.Feed(m_RXBuffer, static_cast<int>(count));
            BracketRead(false);
        }
        // A read that failed, or one that came back empty although it was
        // asked to wait (a driver that ignores the timeouts), would make
        // this loop spin: such a cycle waits a poll interval on the cancel
        // event, as the thread did before it woke on arrival.
        if ((!done || count == 0) && queued == 0 && ::WaitForSingleObject(cancel, kPollMs) != WAIT_TIMEOUT) {
            break;
        }
    }
    return 1;
}

void CommProtocol2::BracketRead(bool begin)
{
    LockScope lock(m_Lock);
    if (m_pBatchListener == nullptr) return;
    // The end is passed on even while closing: it hands on what payloads
    // delivered before the close caused.
    if (!begin) {
        m_pBatchListener->OnReadEnd();
    } else if (!m_bClosing) {
        m_pBatchListener->OnReadBegin();
    }
}

// The port has gone away under the thread: a healthy port always answers
// ClearCommError, a removed USB adapter or a closed line does not, and no
// read on that handle will ever return data again. The listener hears of it
// (a touch that is down gets its release), the handle is closed so that
// Send fails instead of writing into nothing, and the port is opened again
// once a second until it is back or the channel is closed. Once back, the
// device is identified and configured again as after a restart notice:
// it may have been switched off, or replaced. False when the channel is
// closing.
bool CommProtocol2::Reconnect(HANDLE* port)
{
    HANDLE cancel;
    CommSettings settings;
    {
        LockScope lock(m_Lock);
        if (m_bClosing) return false;
        cancel = m_hCancelEvent.get();
        settings = m_Settings;
        if (auto* watcher = dynamic_cast<LineLossListener*>(m_pListener)) watcher->OnLineLost();
        m_hPort.reset();
        *port = nullptr;
    }
    bool reported = false;
    for (;;) {
        if (::WaitForSingleObject(cancel, kReopenIntervalMs) != WAIT_TIMEOUT) return false;
        UniqueFileHandle fresh(::CreateFileA(m_szPort, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (fresh && Configure(fresh.get(), settings)) {
            LockScope lock(m_Lock);
            if (m_bClosing) return false;
            *port = fresh.get();
            m_hPort = std::move(fresh);
            SignalDeviceRestart();
            return true;
        }
        const DWORD error = ::GetLastError();
        fresh.reset();
        if (!reported) {
            // Once per loss: the log says when the line went, not every try.
            char text[kTextMax] = {};
            FormatBounded(text, sizeof text, "%s, LastError: %d", m_szPort, static_cast<int>(error));
            ReportAppEvent(MSG_CHANNEL_CANT_OPEN, text);
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
    case kReInitReply:
        if (length == 1) {
            std::memset(m_Reply, 0, sizeof(m_Reply));
            m_Reply[0] = kReInitReply;
            ::SetEvent(m_hIdentEvent.get());
        }
        break;
    case kIdentReply:
        if (length == 4) {
            std::memcpy(m_Reply, payload, sizeof(m_Reply));
            ::SetEvent(m_hIdentEvent.get());
        }
        break;
    case kRestartNotice:
        SignalDeviceRestart();
        break;
    default:
        break;
    }

    if (m_pListener != nullptr) m_pListener->OnReceive(payload, length);
}

bool CommProtocol2::Send(const uint8_t* payload, int length)
{
    LockScope lock(m_Lock);
    if (!m_hPort) return false;
    // Encoded under the lock: a listener may send from the receive thread
    // while the main thread does.
    const int size = EncodeFrame(payload, length, m_TXBuffer);
    if (size == 0) return false;

    const HANDLE port = m_hPort.get();
    ::ResetEvent(m_hTXEvent.get());
    m_TXOverlap.Offset = 0;
    m_TXOverlap.OffsetHigh = 0;
    DWORD written = 0;
    BOOL ok = ::WriteFile(port, m_TXBuffer, static_cast<DWORD>(size), &written, &m_TXOverlap);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
        ok = ::GetOverlappedResult(port, &m_TXOverlap, &written, TRUE);
    }
    // Transmit errors are cleared and otherwise ignored.
    DWORD errors = 0;
    ::ClearCommError(port, &errors, nullptr);
    return ok && written == static_cast<DWORD>(size);
}

// Waits for a reply of the channel's own exchanges; true when one arrived
// whose first byte is the one expected.
bool CommProtocol2::AwaitReply(uint8_t expected)
{
    HANDLE event;
    {
        LockScope lock(m_Lock);
        event = m_hIdentEvent.get();
    }
    if (event == nullptr || ::WaitForSingleObject(event, kReplyWaitMs) != WAIT_OBJECT_0) return false;
    LockScope lock(m_Lock);
    return m_Reply[0] == expected;
}

bool CommProtocol2::Identify(IdentRecord* out, bool notify)
{
    if (out == nullptr) return false;
    *out = IdentRecord{};
    {
        LockScope lock(m_Lock);
        std::memset(m_Reply, 0, sizeof(m_Reply));
        if (!m_hPort) return false;
        ::ResetEvent(m_hIdentEvent.get());
    }

    bool answered = false;
    for (int attempt = 1; attempt <= kQueryAttempts && !answered; ++attempt) {
        if (!Send(&kIdentQuery, 1)) return false;
        answered = AwaitReply(kIdentReply);
        if (!answered && attempt < kQueryAttempts) ::Sleep(kRetryPauseMs);
    }
    if (!answered) return false;

    {
        LockScope lock(m_Lock);
        out->HwId = m_Reply[1];
        out->MajorSwVer = m_Reply[2];
        out->MinorSwVer = m_Reply[3];
    }
    const HWND window = App().messageWindow;
    if (notify && window != nullptr) {
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_IDENTIFIED, 0), reinterpret_cast<LPARAM>(out));
    }
    return true;
}

bool CommProtocol2::ReInit()
{
    {
        LockScope lock(m_Lock);
        std::memset(m_Reply, 0, sizeof(m_Reply));
        if (!m_hPort) return false;
    }
    for (int attempt = 1; attempt <= kQueryAttempts; ++attempt) {
        if (!Send(&kReInitRequest, 1)) return false;
        if (AwaitReply(kReInitReply)) return true;
        if (attempt < kQueryAttempts) ::Sleep(kRetryPauseMs);
    }
    return false;
}

bool CommProtocol2::BuildKeyPath(char* buffer, size_t size) const
{
    const char* port = ::PortName(m_nChannel);
    return port != nullptr && FormatBounded(buffer, size, "%s\\%s\\%s", kRegistryRoot, kChannelsKey, port);
}

bool CommProtocol2::LoadSettings()
{
    char path[kTextMax + 1];
    if (!BuildKeyPath(path, sizeof(path))) return false;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    if (!key) return false;
    CopyBounded(m_szPort, sizeof(m_szPort), ::PortName(m_nChannel));

    // All or nothing: the object keeps what it had unless every value is
    // present and usable.
    CommSettings loaded;
    for (const CommValue& value : kCommValues) {
        if (!ReadDword(key.get(), value.name, &(loaded.*value.field))) return false;
    }
    Normalise(loaded);
    if (loaded.BaudRate == 0 || loaded.ByteSize == 0) return false;
    m_Settings = loaded;
    return true;
}

bool CommProtocol2::SaveSettings()
{
    char path[kTextMax + 1];
    if (!BuildKeyPath(path, sizeof(path))) return false;
    const UniqueRegKey key = CreateKeyForUpdate(HKEY_LOCAL_MACHINE, path);
    if (!key) return false;
    CommSettings stored = m_Settings;
    Normalise(stored);
    // All values or none: a half-written set would load as one.
    DwordValue values[kCommSettingCount];
    for (int i = 0; i < kCommSettingCount; ++i)
        values[i] = {kCommValues[i].name, static_cast<int32_t>(stored.*kCommValues[i].field)};
    return WriteDwordsAllOrNothing(key.get(), values, kCommSettingCount);
}

bool CommProtocol2::DumpSettings(HANDLE file)
{
    char path[kTextMax + 1];
    if (!BuildKeyPath(path, sizeof(path))) return false;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    if (!key) return false;
    const char* names[kCommSettingCount];
    for (int i = 0; i < kCommSettingCount; ++i)
        names[i] = kCommValues[i].name;
    return DumpRegistrySection(file, key.get(), "Channel parameters.", "HKEY_LOCAL_MACHINE", path, names,
                               kCommSettingCount);
}

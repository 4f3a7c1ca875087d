#include "channel/CommProtocol2.h"

#include <cstring>
#include <new>
#include <utility>

#include "channel/CommInternals.h"
#include "channel/LineBacklog.h"
#include "channel/PortList.h"

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

using comm::kIdentQuery;
using comm::kIdentReply;
using comm::kReInitReply;
using comm::kReInitRequest;

constexpr int kQueryAttempts = 3;
constexpr DWORD kReplyWaitMs = 200;
constexpr DWORD kRetryPauseMs = 100;
// How long Close waits for the receive thread. A healthy thread ends within
// milliseconds of the cancel; one stuck in a driver call is left running.
constexpr DWORD kThreadEndMs = 300;
// Write timeouts when none are stored: a device that takes no bytes must not
// hold a write, and with it the main thread, for ever.
constexpr DWORD kDefaultWriteConstMs = 500;
constexpr DWORD kDefaultWriteMultMs = 2;
// Beyond the write timeouts, the time a driver is given to end a write by
// them before the write is cancelled.
constexpr DWORD kWriteMarginMs = 100;
// The receive thread only needs a small stack; CreateThread grows it beyond
// this commit size when a listener needs more.
constexpr SIZE_T kReceiveStack = 4096;

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

using comm::LockScope;

const char* CommSettingName(int i)
{
    return (i >= 0 && i < kCommSettingCount) ? kCommValues[i].name : nullptr;
}

CommProtocol2::CommProtocol2(int index, bool reportDefaults)
    : ChannelVirt(::ChannelName(index) != nullptr ? index : -1)
{
    ::InitializeCriticalSection(&m_SendLock);
    if (m_nChannel == -1) return;
    if (LoadSettings()) return;
    PortDevicePath(m_nChannel + 1, m_szPort, sizeof(m_szPort));
    m_Settings = CommSettings{};
    if (reportDefaults) {
        ReportAppEvent(MSG_CHANNEL_CONFIG_INVALID, ::ChannelName(m_nChannel));
        SaveSettings();
    }
}

CommProtocol2::~CommProtocol2()
{
    CloseNow();
    ::DeleteCriticalSection(&m_SendLock);
}

bool comm::Configure(HANDLE port, const CommSettings& settings)
{
    const CommPortApi& api = PortApi();
    if (!api.purgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) return false;
    if (!api.setupComm(port, settings.RdBufferSize, settings.WrBufferSize)) return false;

    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = settings.RdIntTimeout;
    timeouts.ReadTotalTimeoutMultiplier = settings.RdTotTimeoutMult;
    timeouts.ReadTotalTimeoutConstant = settings.RdTotTimeoutConst;
    WriteTimeouts(settings, &timeouts.WriteTotalTimeoutConstant, &timeouts.WriteTotalTimeoutMultiplier);
    if (!api.setCommTimeouts(port, &timeouts)) return false;

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
    if (!api.setCommState(port, &dcb)) return false;

    // The receive thread's reads wait for the next byte, however long the
    // line stays quiet, and end with it: no read timeout at all. They are
    // waited for together with the cancel event, so the stored read
    // timeouts, which bounded each read of a polling loop, have nothing left
    // to bound; they were applied above all the same, so values the driver
    // refuses still fail the open. The thread bounds its waits itself.
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    return api.setCommTimeouts(port, &timeouts) != FALSE;
}

void comm::WriteTimeouts(const CommSettings& settings, DWORD* constantMs, DWORD* perByteMs)
{
    const bool none = settings.WrTotTimeoutConst == 0 && settings.WrTotTimeoutMult == 0;
    *constantMs = none ? kDefaultWriteConstMs : settings.WrTotTimeoutConst;
    *perByteMs = none ? kDefaultWriteMultMs : settings.WrTotTimeoutMult;
}

UniqueFileHandle comm::DuplicatePort(HANDLE port)
{
    HANDLE copy = nullptr;
    const HANDLE self = ::GetCurrentProcess();
    if (!::DuplicateHandle(self, port, self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return UniqueFileHandle();
    return UniqueFileHandle(copy);
}

UniqueFileHandle comm::OpenPort(const char* name)
{
    return UniqueFileHandle(PortApi().createFile(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
}

std::unique_ptr<comm::IoSlot> comm::IoSlot::Create()
{
    std::unique_ptr<IoSlot> slot(new (std::nothrow) IoSlot);
    if (!slot) return slot;
    slot->event.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!slot->event) slot.reset();
    return slot;
}

void comm::IoSlot::Arm()
{
    ::ResetEvent(event.get());
    overlap = OVERLAPPED{};
    overlap.hEvent = event.get();
    pending = false;
}

bool comm::EndTransfer(HANDLE port, IoSlot& slot, DWORD* count)
{
    const CommPortApi& api = PortApi();
    const DWORD start = ::GetTickCount();
    do {
        api.cancelIo(port);
        if (::WaitForSingleObject(slot.event.get(), kCancelRetryMs) == WAIT_OBJECT_0) {
            *count = 0;
            api.getOverlappedResult(port, &slot.overlap, count, FALSE);
            slot.pending = false;
            return true;
        }
    } while (::GetTickCount() - start < kCancelBoundMs);
    return false;
}

void comm::LeaveToDriver(std::unique_ptr<IoSlot> slot)
{
    // Deliberately leaked: the driver still owns the transfer and may write
    // its record, its event and its buffer whenever it ends it.
    (void)slot.release();
}

bool CommProtocol2::Open()
{
    LockScope lock(m_Lock);
    if (m_hRecThread) {
        // Open while the receive thread runs, even when it is waiting for a
        // port that went away to come back. A thread that has ended is no
        // open channel: the channel is closed and opened afresh.
        if (::WaitForSingleObject(m_hRecThread.get(), 0) == WAIT_TIMEOUT) return true;
        CloseNow();
    }

    UniqueFileHandle port = comm::OpenPort(m_szPort);
    if (!port) return false;
    UniqueFileHandle own;
    if (comm::Configure(port.get(), m_Settings)) own = comm::DuplicatePort(port.get());
    if (!own) {
        // Release the port at once rather than hold it, locked against
        // everyone else, until a Close; keep the cause for the caller's
        // report.
        const DWORD error = ::GetLastError();
        port.reset();
        ::SetLastError(error);
        return false;
    }

    {
        LockScope send(m_SendLock);
        if (!m_pTX) m_pTX = comm::IoSlot::Create();
        if (!m_pTX) FatalCreationFailure("OutOfMemory - CommProt2.m_TXOverlap");
    }
    auto start = std::make_unique<comm::ReceiveStart>();
    start->rx = comm::IoSlot::Create();
    if (!start->rx) FatalCreationFailure("OutOfMemory - CommProt2.m_RXOverlap");
    m_hIdentEvent = CreateEventOrFail(FALSE, "OutOfMemory - CommProt2.m_hIdentEvent");
    start->shared = std::make_shared<comm::ReceiveShared>();
    start->shared->cancel = CreateEventOrFail(TRUE, "OutOfMemory - CommProt2.m_hCancelEvent");
    start->channel = this;
    start->port = std::move(own);
    CopyBounded(start->portName, sizeof start->portName, m_szPort);
    start->byteTimeNs =
        LineByteTimeNs(m_Settings.BaudRate, m_Settings.ByteSize, m_Settings.Parity, m_Settings.StopBits);

    {
        LockScope send(m_SendLock);
        m_hPort = std::move(port);
        comm::WriteTimeouts(m_Settings, &m_WriteConstMs, &m_WriteMultMs);
    }
    m_bClosing = false;
    m_bLineLost.store(false);
    m_pReceive = start->shared;
    m_hRecThread.reset(
        ::CreateThread(nullptr, kReceiveStack, &CommProtocol2::ReceiveThread, start.get(), 0, nullptr));
    if (!m_hRecThread) FatalCreationFailure("OutOfMemory - CommProt2.m_hRecThread");
    (void)start.release(); // the thread's now
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
    std::shared_ptr<comm::ReceiveShared> shared;
    {
        LockScope lock(m_Lock);
        m_bClosing = true;
        thread = std::move(m_hRecThread);
        shared = std::move(m_pReceive);
        if (shared) {
            shared->stop.store(true);
            ::SetEvent(shared->cancel.get());
        }
    }
    // Waited for without the lock, which the thread needs to finish its
    // current delivery, and for a bounded time: a thread stuck in a driver
    // call that never returns is left running (never killed, as that could
    // leave the lock owned). It keeps what it uses, and from here on touches
    // nothing of this object.
    if (thread && ::WaitForSingleObject(thread.get(), kThreadEndMs) != WAIT_OBJECT_0) shared->Detach();

    // No flush of the output: every Send waits (bounded) for its write to
    // end, so nothing the program wrote is left queued, and a flush would
    // wait on a driver that may never answer.
    LockScope lock(m_Lock);
    {
        LockScope send(m_SendLock);
        m_hPort.reset();
    }
    m_hIdentEvent.reset();
}

void comm::ReceiveShared::Detach()
{
    detached.store(true);
    // A visit holds no unbounded wait (see ChannelVisit).
    while (visiting.load())
        ::Sleep(1);
}

bool CommProtocol2::Send(const uint8_t* payload, int length)
{
    // The send lock, not the channel lock: the receive thread goes on
    // delivering while a write waits for the device.
    LockScope send(m_SendLock);
    if (!m_hPort) return false;
    if (!m_pTX) m_pTX = comm::IoSlot::Create();
    if (!m_pTX) return false;
    comm::IoSlot& tx = *m_pTX;
    const int size = EncodeFrame(payload, length, tx.buffer);
    if (size == 0) return false;

    // Transmit errors are not read here: the receive thread owns the port's
    // error flags, and reading them would clear those of a read it has not
    // checked yet. They block nothing (the port does not abort on errors).
    const CommPortApi& api = PortApi();
    const HANDLE port = m_hPort.get();
    tx.Arm();
    DWORD written = 0;
    BOOL ok = api.writeFile(port, tx.buffer, static_cast<DWORD>(size), &written, &tx.overlap);
    if (!ok && ::GetLastError() == ERROR_IO_PENDING) {
        // The write timeouts end the write on a working driver; one that
        // ignores them gets a margin, and then the write is cancelled.
        const DWORD bound = m_WriteConstMs + m_WriteMultMs * static_cast<DWORD>(size) + kWriteMarginMs;
        if (::WaitForSingleObject(tx.event.get(), bound) == WAIT_OBJECT_0) {
            ok = api.getOverlappedResult(port, &tx.overlap, &written, FALSE);
        } else {
            ok = FALSE;
            if (!comm::EndTransfer(port, tx, &written)) comm::LeaveToDriver(std::move(m_pTX));
        }
    }
    return ok && written == static_cast<DWORD>(size);
}

// Waits for a reply of the channel's own exchanges; true when one arrived
// whose first byte is the one expected. The reply is copied under the lock
// it is written under.
bool CommProtocol2::AwaitReply(uint8_t expected, uint8_t* reply)
{
    HANDLE event;
    {
        LockScope lock(m_Lock);
        event = m_hIdentEvent.get();
    }
    if (event == nullptr || ::WaitForSingleObject(event, kReplyWaitMs) != WAIT_OBJECT_0) return false;
    LockScope lock(m_Lock);
    std::memcpy(reply, m_Reply, sizeof(m_Reply));
    return reply[0] == expected;
}

// Sends request up to three times until a reply starting with expected
// comes; reply gets its four bytes.
bool CommProtocol2::Query(uint8_t request, uint8_t expected, uint8_t* reply)
{
    for (int attempt = 1; attempt <= kQueryAttempts; ++attempt) {
        {
            // Only a reply stored after this attempt's send counts. Replies
            // carry no sequence number, so that is as far as the channel can
            // tell them apart: a late reply to the previous attempt or
            // command that arrives after the next send is still taken for
            // its reply. That residue is accepted.
            LockScope lock(m_Lock);
            if (!m_hPort || !m_hIdentEvent) return false;
            std::memset(m_Reply, 0, sizeof(m_Reply));
            ::ResetEvent(m_hIdentEvent.get());
        }
        if (!Send(&request, 1)) return false;
        if (AwaitReply(expected, reply)) return true;
        if (attempt < kQueryAttempts) ::Sleep(kRetryPauseMs);
    }
    return false;
}

bool CommProtocol2::Identify(IdentRecord* out, bool notify)
{
    if (out == nullptr) return false;
    *out = IdentRecord{};
    uint8_t reply[sizeof(m_Reply)] = {};
    if (!Query(kIdentQuery, kIdentReply, reply)) return false;
    out->HwId = reply[1];
    out->MajorSwVer = reply[2];
    out->MinorSwVer = reply[3];
    const HWND window = App().messageWindow;
    if (notify && window != nullptr) {
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_IDENTIFIED, 0), reinterpret_cast<LPARAM>(out));
    }
    return true;
}

bool CommProtocol2::ReInit()
{
    uint8_t reply[sizeof(m_Reply)] = {};
    return Query(kReInitRequest, kReInitReply, reply);
}

bool CommProtocol2::BuildKeyPath(char* buffer, size_t size) const
{
    const char* port = ::ChannelName(m_nChannel);
    return port != nullptr && FormatBounded(buffer, size, "%s\\%s\\%s", kRegistryRoot, kChannelsKey, port);
}

bool CommProtocol2::LoadSettings()
{
    char path[kTextMax + 1];
    if (!BuildKeyPath(path, sizeof(path))) return false;
    const UniqueRegKey key = OpenKeyForRead(HKEY_LOCAL_MACHINE, path);
    if (!key) return false;
    PortDevicePath(m_nChannel + 1, m_szPort, sizeof(m_szPort));

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

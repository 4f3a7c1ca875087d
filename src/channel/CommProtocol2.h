// The serial-port channel: one of "COM1".."COM255", its line settings in the
// registry, a receive thread that decodes frames and hands every payload to
// the listener, and the channel's own exchanges (identification,
// re-initialisation, restart notice).
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/Handles.h"
#include "channel/ChannelVirt.h"
#include "channel/FrameCodec.h"

// The persisted line settings, one field per registry value, in the order in
// which they are stored. Fields documented as "low byte" hold only that byte
// once loaded; ErrorChar holds its byte sign-extended, as it is stored.
struct CommSettings {
    uint32_t RdIntTimeout = 20;     // ms between two bytes of a read
    uint32_t RdTotTimeoutConst = 1; // ms per read
    uint32_t RdTotTimeoutMult = 0;  // ms per byte read
    uint32_t WrTotTimeoutConst = 0;
    uint32_t WrTotTimeoutMult = 0;
    uint32_t ByteSize = 8; // low byte
    uint32_t BaudRate = 9600;
    uint32_t Parity = EVENPARITY;   // low byte
    uint32_t CheckParity = 1;       // 0 or 1
    uint32_t ErrorChar = 1;         // low byte, sign-extended
    uint32_t StopBits = ONESTOPBIT; // low byte
    uint32_t RdBufferSize = 20;     // input queue requested, bytes
    uint32_t WrBufferSize = 10;     // output queue requested, bytes
};

constexpr int kCommSettingCount = 13;

// The channel's working parts, shared by its two source files
// (channel/CommInternals.h).
namespace comm {
struct IoSlot;
struct ReceiveShared;
struct ReceiveStart;
} // namespace comm

// Registry value name of setting i (0..12, storage order), or nullptr.
const char* CommSettingName(int i);

class CommProtocol2 : public ChannelVirt {
public:
    // index -1 (or anything outside 0..254) means no port: nothing is loaded
    // and Open() fails. Settings that cannot be loaded are replaced by the
    // defaults; with reportDefaults the replacement is logged and stored.
    CommProtocol2(int index, bool reportDefaults);
    ~CommProtocol2() override;

    bool Open() override;
    bool Close() override;
    bool Identify(IdentRecord* out, bool notify) override;
    bool ReInit() override;
    bool Send(const uint8_t* payload, int length) override;
    bool NoOperation(int) override { return true; }
    bool DumpSettings(HANDLE file) override;
    virtual bool LoadSettings();
    virtual bool SaveSettings();

    // Main thread only.
    const CommSettings& Settings() const { return m_Settings; }
    const char* DeviceName() const { return m_szPort; }
    // Open, with its receive thread (which may be waiting for a lost port).
    bool IsOpen() const { return static_cast<bool>(m_hRecThread); }
    // The port went away under the receive thread, which is trying to open
    // it again. Any thread.
    bool LineLost() const { return m_bLineLost.load(); }

private:
    static DWORD WINAPI ReceiveThread(LPVOID start);
    static void Deliver(void* self, const uint8_t* payload, int length);
    static DWORD ReceiveLoop(comm::ReceiveStart& start);
    void OnFrame(const uint8_t* payload, int length);
    void BracketRead(bool begin, uint32_t backlogUs);
    void FeedRead(FrameDecoder& decoder, const uint8_t* bytes, DWORD count, uint32_t backlogUs);
    static bool Reconnect(comm::ReceiveStart& start);
    bool BuildKeyPath(char* buffer, size_t size) const;
    bool AwaitReply(uint8_t expected, uint8_t* reply);
    bool Query(uint8_t request, uint8_t expected, uint8_t* reply);
    void CloseNow();

    // Written by the main thread only, under the lock; read by the receive
    // thread under the lock.
    CommSettings m_Settings;
    char m_szPort[MAX_PATH] = {};
    // The channel's own handle of the port, used by Send. Replaced under
    // both locks (m_Lock first, then m_SendLock), so that either lock alone
    // is enough to read it. The receive thread reads through a duplicate of
    // its own, so that a thread left running never uses a handle closed here.
    UniqueFileHandle m_hPort;
    UniqueKernelHandle m_hIdentEvent;
    UniqueKernelHandle m_hRecThread; // main thread only
    // What the receive thread shares with the channel; it outlives the
    // channel while a thread that did not end in time still holds it.
    // Main thread only, under the lock.
    std::shared_ptr<comm::ReceiveShared> m_pReceive;

    // Serialises Send's use of m_pTX and its wait for the write. Taken on
    // its own, or after m_Lock (a listener sends from within a delivery),
    // never the other way round.
    CRITICAL_SECTION m_SendLock;
    // Under m_SendLock. Replaced, and the old one left to the driver, when a
    // write could not be ended.
    std::unique_ptr<comm::IoSlot> m_pTX;
    // Write timeouts in force on m_hPort, which also bound Send's wait;
    // under m_SendLock.
    DWORD m_WriteConstMs = 0;
    DWORD m_WriteMultMs = 0;

    // Set under the lock by Close before it stops the thread, cleared by
    // Open once the new thread may deliver. A delivery checks it under the
    // lock, so none starts once Close has begun.
    bool m_bClosing = false;

    // Written by the receive thread under the lock before it signals
    // m_hIdentEvent; read and cleared by the main thread under the lock.
    uint8_t m_Reply[4] = {};

    // Written by the receive thread when the port goes and comes back, and
    // cleared by Open; read by the main thread's search for the device.
    std::atomic<bool> m_bLineLost{false};
};

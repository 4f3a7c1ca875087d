// Test-side driver of the device simulator (tools/devsim): starts the native
// program from inside Wine, talks to it over its TCP control connection, and
// makes sure it and its COM-port link are gone afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How many of the payloads (see DevSim::Received) begin with code.
size_t CountCode(const std::vector<std::vector<uint8_t>>& payloads, uint8_t code);

class DevSim {
public:
    struct Options {
        int port = 3; // COMn, 1..255: link $TP_PORTS_DIR/com<n> (the bench maps COM1..8 and COM12)
        int hwId = 2, major = 1, minor = 30;
        int replyDelayMs = 0;
        int reinitDelayMs = 500;
        bool absent = false;
        std::vector<int> silent; // codes never answered
    };

    DevSim() = default;
    ~DevSim();
    DevSim(const DevSim&) = delete;
    DevSim& operator=(const DevSim&) = delete;

    // Launches $TP_DEVSIM for the port, waits (up to 10 s) for it to be ready
    // and connects to its control port. False (with the reason in
    // LastError()) if any step fails; a half-started simulator is stopped.
    bool Start(const Options& options);
    // "quit", close the connection, wait (up to 2 s) until the link is gone.
    void Stop();
    bool Running() const { return m_socket != kNoSocket; }

    // Sends one command line and reads its one-line answer; true for "ok...".
    bool Command(const std::string& line, std::string* answer = nullptr);
    // Payloads received from the PC since start or the last clear, in order.
    std::vector<std::vector<uint8_t>> Received();
    bool WaitReceived(size_t count, int timeoutMs);
    void ClearReceived();

    // Unix path of the COM-port link, e.g. /work/main/build/wine/ports/com3.
    const std::string& LinkPath() const { return m_link; }
    int ControlPort() const { return m_controlPort; }
    const std::string& LastError() const { return m_error; }

private:
    static constexpr uintptr_t kNoSocket = ~static_cast<uintptr_t>(0);

    bool Fail(const std::string& reason);
    bool SendLine(const std::string& line);
    bool ReadLine(std::string* line, int timeoutMs);
    bool Exchange(const std::string& line, std::string* answer, int timeoutMs);
    void CloseSocket();

    uintptr_t m_socket = kNoSocket; // a SOCKET; kept opaque so users need no winsock header
    bool m_wsaStarted = false;
    std::string m_link;
    int m_controlPort = 0;
    std::string m_pending; // bytes read past the last answer line
    std::string m_error;
};

// Windows path of a unix path through Wine's Z: drive ("/a/b" -> "Z:\a\b").
std::string WinePathOf(const std::string& unixPath);
// Whether the unix directory entry exists (a link counts even when dangling).
bool UnixEntryExists(const std::string& unixPath);

// Options for a device on COM<port> that identifies itself as hwId with
// firmware major.minor.
DevSim::Options SimOn(int port, int hwId = 2, int major = 1, int minor = 30);

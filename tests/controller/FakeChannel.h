// An in-process channel for controller tests: records every payload sent
// and answers like a device would, through the listener's OnReceive, from
// its own thread and with the channel lock held, as the serial channel does.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "channel/ChannelVirt.h"

using Bytes = std::vector<uint8_t>;

class FakeChannel : public ChannelVirt {
public:
    struct Sent {
        Bytes payload;
        std::chrono::steady_clock::time_point at;
    };

    FakeChannel();
    ~FakeChannel() override;

    bool Open() override { return true; }
    bool Close() override { return true; }
    bool Identify(IdentRecord*, bool) override { return false; }
    bool ReInit() override { return false; }
    bool Send(const uint8_t* payload, int length) override;
    bool DumpSettings(HANDLE) override { return true; }

    // Device behaviour: a parameter N is read with N alone (reply N+0x80,
    // value) and written with N+0x80 and the value (reply N). Silent codes
    // get no answer; extra replies are queued after the regular one.
    std::map<uint8_t, uint8_t> params;
    std::set<uint8_t> silent;
    std::map<uint8_t, std::vector<Bytes>> scripted; // code -> replies instead of the regular one
    int replyDelayMs = 5;

    // Hands a payload to the listener from the delivery thread after delayMs.
    void Deliver(const Bytes& payload, int delayMs = 0);
    // Waits until everything queued was delivered.
    void Drain();

    std::vector<Sent> SentPayloads();
    void ClearSent();

private:
    void Run();

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::pair<std::chrono::steady_clock::time_point, Bytes>> m_queue;
    std::vector<Sent> m_sent;
    bool m_stop = false;
    int m_inFlight = 0;
    std::thread m_thread;
};

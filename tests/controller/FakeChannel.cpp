#include "FakeChannel.h"

#include "controller/CtrlVirt.h"

FakeChannel::FakeChannel() : ChannelVirt(2), m_thread([this] { Run(); }) {}

FakeChannel::~FakeChannel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

bool FakeChannel::Send(const uint8_t* payload, int length)
{
    const Bytes cmd(payload, payload + length);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.push_back({cmd, std::chrono::steady_clock::now()});
    }
    if (cmd.empty()) return true;
    const uint8_t code = cmd[0];
    if (silent.count(code) != 0) return true;
    auto script = scripted.find(code);
    if (script != scripted.end()) {
        for (const Bytes& reply : script->second)
            Deliver(reply, replyDelayMs);
        return true;
    }
    if (code < 0x80 && cmd.size() == 1) {
        Deliver({static_cast<uint8_t>(code + 0x80), params.count(code) ? params[code] : uint8_t{0}},
                replyDelayMs);
    } else if (code >= 0x80 && cmd.size() == 2) {
        params[static_cast<uint8_t>(code - 0x80)] = cmd[1];
        Deliver({static_cast<uint8_t>(code - 0x80)}, replyDelayMs);
    }
    return true;
}

void FakeChannel::Deliver(const Bytes& payload, int delayMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.emplace_back(std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs), payload);
    ++m_inFlight;
    m_cv.notify_all();
}

void FakeChannel::Drain()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cv.wait(lock, [this] { return m_inFlight == 0; });
}

std::vector<FakeChannel::Sent> FakeChannel::SentPayloads()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

void FakeChannel::ClearSent()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sent.clear();
}

void FakeChannel::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (m_stop) return;
        if (m_queue.empty()) {
            m_cv.wait(lock);
            continue;
        }
        const auto due = m_queue.front().first;
        if (std::chrono::steady_clock::now() < due) {
            m_cv.wait_until(lock, due);
            continue;
        }
        Bytes payload = std::move(m_queue.front().second);
        m_queue.pop_front();
        lock.unlock();
        ::EnterCriticalSection(&m_Lock);
        if (m_pListener != nullptr) m_pListener->OnReceive(payload.data(), static_cast<int>(payload.size()));
        ::LeaveCriticalSection(&m_Lock);
        lock.lock();
        --m_inFlight;
        m_cv.notify_all();
    }
}

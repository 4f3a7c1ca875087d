// Helpers shared by the channel tests: a listener that records payloads, a
// window that records private commands, the channel's registry key and the
// event-log observer.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "base/IdentRecord.h"
#include "controller/CtrlVirt.h"

using Bytes = std::vector<uint8_t>;

// Records every payload the channel delivers (on the receive thread).
class RecordingListener final : public CtrlVirt, public LineLossListener {
public:
    void OnLineLost() override { ++m_linesLost; }
    int LinesLost() const { return m_linesLost.load(); }

    // Called on the receive thread with the channel lock held.
    std::function<void(const uint8_t*, int)> onReceive;

    int OnReceive(const uint8_t* payload, int length) override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_payloads.emplace_back(payload, payload + length);
        }
        m_changed.notify_all();
        if (onReceive) onReceive(payload, length);
        return 1;
    }
    TransactResult Transact(const uint8_t*, uint8_t, uint8_t) override { return 2; }
    TransactResult ReadConfig() override { return 2; }
    TransactResult WriteConfig() override { return 2; }
    TransactResult WriteStabilization(int) override { return 2; }
    TransactResult ReadStabilization(int) override { return 2; }
    TransactResult WriteFilter(int) override { return 2; }
    TransactResult ReadFilter(int) override { return 2; }
    int InputLocked() override { return 0; }
    int LoadSettings() override { return 1; }
    int SaveSettings() override { return 1; }
    int DumpSettings(HANDLE) override { return 1; }
    int NoOperation(int) override { return 1; }
    int ReadTemperature(float*) override { return 2; }

    std::vector<Bytes> Payloads()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_payloads;
    }
    // True once at least count payloads arrived.
    bool WaitFor(size_t count, int timeoutMs)
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_payloads.size() >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Bytes> m_payloads;
    std::atomic<int> m_linesLost{0};
};

// A hidden window of the test thread that records WM_COMMAND it receives.
class CommandWindow {
public:
    struct Command {
        WORD id;
        LPARAM lParam;
        IdentRecord identAtDelivery; // copied when lParam carries a record
    };

    CommandWindow();
    ~CommandWindow();
    CommandWindow(const CommandWindow&) = delete;
    CommandWindow& operator=(const CommandWindow&) = delete;

    HWND hwnd() const { return m_hwnd; }
    // Commands with this id received so far (after pumping).
    int Count(WORD id) const;
    const std::vector<Command>& Commands() const { return m_commands; }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    HWND m_hwnd = nullptr;
    std::vector<Command> m_commands;
};

// Dispatches the test thread's messages for about ms milliseconds, or until
// done() holds.
void PumpMessages(int ms, const std::function<bool()>& done = nullptr);

// The registry key of port COM<n> under HKEY_LOCAL_MACHINE.
std::string ChannelKeyPath(int comNumber);
void DeleteChannelKey(int comNumber);
bool SetRegDword(const std::string& path, const char* name, uint32_t value);
bool SetRegString(const std::string& path, const char* name, const char* value);
bool DeleteRegValue(const std::string& path, const char* name);
// False when missing or not a REG_DWORD.
bool GetRegDword(const std::string& path, const char* name, uint32_t* value);

// Records ReportAppEvent calls for the lifetime of the object.
class EventRecorder {
public:
    EventRecorder();
    ~EventRecorder();
    EventRecorder(const EventRecorder&) = delete;
    EventRecorder& operator=(const EventRecorder&) = delete;
    std::vector<std::pair<uint32_t, std::string>> Events();

private:
    static void Observe(void* self, uint32_t id, const char* insert);
    std::mutex m_mutex;
    std::vector<std::pair<uint32_t, std::string>> m_events;
};

// Milliseconds taken by f.
template <typename F> long long ElapsedMs(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    std::forward<F>(f)();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

// Helpers of the LCD tests: a controller model that records what reaches its
// output port (and can be told to fail chosen writes), a rig that joins it
// to the in-process device, the LCD registry key, a stand-in for the
// command-in-progress box and a fixture on the simulated device.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/AppContext.h"
#include "channel/CommProtocol2.h"
#include "controller/ControllerTestSupport.h"
#include "controller/FakeChannel.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdModels.h"
#include "support/DevSim.h"
#include "support/DeviceWiring.h"

using Clock = std::chrono::steady_clock;

// Microseconds from a to b.
inline long long Micros(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(b - a).count();
}

struct PortWrite {
    uint8_t code;
    Clock::time_point sent; // WriteOutputPort entered
    Clock::time_point done; // and returned
    TransactResult result;
};

struct Transaction {
    Bytes command;
    bool boxVisible; // the command-in-progress box, while the command ran
    bool boxActive;  // and whether it had taken the focus
};

// What the recorder saw; shared by the model instantiations.
class PortLog {
public:
    // Writes by position (0 = first write) that fail with the given result
    // without reaching the device.
    std::map<size_t, TransactResult> failAt;

    std::vector<PortWrite> Writes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes;
    }
    std::vector<uint8_t> Codes()
    {
        std::vector<uint8_t> codes;
        for (const PortWrite& w : Writes())
            codes.push_back(w.code);
        return codes;
    }
    std::vector<Transaction> Transactions()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_transactions;
    }
    size_t WriteCount()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes.size();
    }

    // Called by the recorder.
    bool Injected(size_t index, TransactResult* result) const
    {
        const auto it = failAt.find(index);
        if (it == failAt.end()) return false;
        *result = it->second;
        return true;
    }
    size_t BeginWrite()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_started++;
    }
    void EndWrite(const PortWrite& w)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writes.push_back(w);
    }
    void AddTransaction(const Transaction& t)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_transactions.push_back(t);
    }

private:
    std::mutex m_mutex;
    std::vector<PortWrite> m_writes;
    std::vector<Transaction> m_transactions;
    size_t m_started = 0;
};

template <typename Model> class PortRecorder : public Model {
public:
    explicit PortRecorder(PortLog& log) : m_log(log) {}

    TransactResult WriteOutputPort(uint8_t value) override
    {
        const size_t index = m_log.BeginWrite();
        PortWrite w{value, Clock::now(), {}, 0};
        if (!m_log.Injected(index, &w.result)) w.result = Model::WriteOutputPort(value);
        w.done = Clock::now();
        m_log.EndWrite(w);
        return w.result;
    }

    TransactResult Transact(const uint8_t* command, uint8_t length, uint8_t expected) override
    {
        const HWND box = App().commInfoBox;
        m_log.AddTransaction({Bytes(command, command + length),
                              box != nullptr && ::IsWindowVisible(box) != FALSE,
                              box != nullptr && ::GetActiveWindow() == box});
        return Model::Transact(command, length, expected);
    }

private:
    PortLog& m_log;
};

inline std::unique_ptr<ZmrCtrlVirt> MakeRecorder(int model, PortLog& log)
{
    switch (model) {
    case 0:
        return std::make_unique<PortRecorder<ZMR01Ctrl>>(log);
    case 1:
        return std::make_unique<PortRecorder<ZMR02Ctrl>>(log);
    case 2:
        return std::make_unique<PortRecorder<ZMR03Ctrl>>(log);
    default:
        return std::make_unique<PortRecorder<ZMR04Ctrl>>(log);
    }
}

inline std::string LcdKey()
{
    return std::string(kRegistryRoot) + "\\Lcds\\Type2";
}

inline void ClearLcdRegistry()
{
    DeleteRegistryTree(HKEY_CURRENT_USER, std::string(kRegistryRoot) + "\\Lcds");
}

inline void SetLcdDword(const char* name, DWORD value)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, LcdKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    ::RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    ::RegCloseKey(key);
}

inline void SetLcdString(const char* name, const char* value)
{
    HKEY key = nullptr;
    ::RegCreateKeyExA(HKEY_CURRENT_USER, LcdKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                     static_cast<DWORD>(strlen(value) + 1));
    ::RegCloseKey(key);
}

// False when missing or not a REG_DWORD.
inline bool GetLcdDword(const char* name, DWORD* value)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, LcdKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = sizeof(*value);
    const bool ok = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD;
    ::RegCloseKey(key);
    return ok;
}

// A controller of the given model on the in-process device; the controller's
// own registry record is cleared before and after, and the box it shows
// when it falls back to its defaults is closed.
class Rig {
public:
    explicit Rig(int model)
    {
        ClearControllerRegistry();
        ctrl = MakeRecorder(model, log);
        CloseThreadBoxes();
        App().channel = &channel;
        channel.SetListener(ctrl.get());
    }
    ~Rig()
    {
        channel.ClearListener();
        App().channel = nullptr;
        ctrl.reset();
        ClearControllerRegistry();
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Payloads that reached the device, in order.
    std::vector<Bytes> Sent()
    {
        std::vector<Bytes> out;
        for (const auto& s : channel.SentPayloads())
            out.push_back(s.payload);
        return out;
    }

    PortLog log;
    FakeChannel channel;
    std::unique_ptr<ZmrCtrlVirt> ctrl;
};

// A hidden popup standing in for the command-in-progress box while it lives.
class CommInfoBoxStandIn {
public:
    CommInfoBoxStandIn()
    {
        m_hwnd = ::CreateWindowExA(0, "STATIC", "wait", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
        App().commInfoBox = m_hwnd;
    }
    ~CommInfoBoxStandIn()
    {
        App().commInfoBox = nullptr;
        if (m_hwnd != nullptr) ::DestroyWindow(m_hwnd);
    }
    CommInfoBoxStandIn(const CommInfoBoxStandIn&) = delete;
    CommInfoBoxStandIn& operator=(const CommInfoBoxStandIn&) = delete;

    HWND hwnd() const { return m_hwnd; }
    bool Visible() const { return ::IsWindowVisible(m_hwnd) != FALSE; }

private:
    HWND m_hwnd = nullptr;
};

// An LCD of the given type (0..2), attached to ctrl when one is given. The
// LcdType2 registry record is whatever the test left there; the box a
// defaults fallback shows is closed.
inline std::unique_ptr<LcdVirt> MakeLcd(int type, CtrlVirt* ctrl)
{
    std::unique_ptr<LcdVirt> lcd;
    switch (type) {
    case 0:
        lcd = std::make_unique<LcdType1>();
        break;
    case 1:
        lcd = std::make_unique<LcdType2>();
        break;
    default:
        lcd = std::make_unique<LcdType3>();
        break;
    }
    CloseThreadBoxes();
    if (ctrl != nullptr) lcd->AttachController(ctrl);
    return lcd;
}

// The simulated device with a controller of a model and an LCD of a type on
// the real serial channel; everything is taken down again after each test.
class LcdOnDeviceFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (channel) channel->ClearListener();
        App().lcd = nullptr;
        App().controller = nullptr;
        App().channel = nullptr;
        lcd.reset();
        ctrl.reset();
        channel.reset();
        sim.Stop();
        ClearControllerRegistry();
        ClearLcdRegistry();
    }

    // Starts the device on COM<port> with base's other options and joins a
    // Model controller and an LCD of lcdType (0..2) to it; the boxes of a
    // defaults fallback are closed. What the device received is left.
    template <typename Model> void Join(int port, int lcdType, const DevSim::Options& base)
    {
        ASSERT_NO_FATAL_FAILURE(OpenDeviceChannel(sim, base, port, &channel));
        ctrl = std::make_unique<Model>();
        channel->SetListener(ctrl.get());
        App().channel = channel.get();
        lcd = MakeLcd(lcdType, ctrl.get());
        CloseThreadBoxes();
    }

    DevSim sim;
    std::unique_ptr<CommProtocol2> channel;
    std::unique_ptr<ZmrCtrlVirt> ctrl;
    std::unique_ptr<LcdVirt> lcd;
};

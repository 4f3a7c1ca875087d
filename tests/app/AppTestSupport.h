// Helpers of the application-core tests: a private registry, a controller
// double, and a way to see and close the information boxes a call puts up.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "controller/CtrlVirt.h"
#include "support/Pump.h"

// Redirects HKEY_LOCAL_MACHINE of this process to a fresh private key for its
// lifetime, so tests can create, delete and watch the program's values
// without touching the prefix's real ones; the private key is deleted again.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    bool ok() const { return m_ok; }

private:
    std::string m_path; // under HKEY_CURRENT_USER
    bool m_ok = false;
};

// Raw registry access under the (redirected) HKLM root of the program.
bool SetRootValue(const char* name, DWORD type, const void* data, DWORD bytes);
bool SetRootDword(const char* name, DWORD value);
// Reads a value of any type under HKEY_LOCAL_MACHINE\path.
bool GetHklmValue(const char* path, const char* name, DWORD* type, std::string* data);
bool GetRootValue(const char* name, DWORD* type, std::string* data);
bool DeleteRootValue(const char* name);

// A controller that does nothing; only its UseLogEvent member matters.
class FakeController : public CtrlVirt {
public:
    int OnReceive(const uint8_t*, int) override { return 0; }
    TransactResult Transact(const uint8_t*, uint8_t, uint8_t) override { return 0; }
    TransactResult ReadConfig() override { return 0; }
    TransactResult WriteConfig() override { return 0; }
    TransactResult WriteStabilization(int) override { return 0; }
    TransactResult ReadStabilization(int) override { return 0; }
    TransactResult WriteFilter(int) override { return 0; }
    TransactResult ReadFilter(int) override { return 0; }
    int InputLocked() override { return 0; }
    int LoadSettings() override { return 1; }
    int SaveSettings() override { return 1; }
    int DumpSettings(HANDLE) override { return 1; }
    int NoOperation(int) override { return 1; }
    int ReadTemperature(float*) override { return 0; }
};

// What a box showed when it was seen.
struct SeenBox {
    HWND hwnd = nullptr;
    std::string caption;
    std::string text; // control 1100
    RECT rect{};
    bool hasBigIcon = false;
    HWND owner = nullptr;
};

// The information dialogs of the calling thread that are still windows.
std::vector<HWND> ThreadBoxes();
SeenBox Inspect(HWND box);

// Closes the modal boxes that the code under test runs on this thread: a
// thread timer, served by the box's own modal loop, records each box it
// finds and then sends it `closeCommand` (or a Return key press to its
// focused control when pressReturn is set).
class ModalBoxCloser {
public:
    explicit ModalBoxCloser(WORD closeCommand = IDCANCEL, bool pressReturn = false);
    ~ModalBoxCloser();
    ModalBoxCloser(const ModalBoxCloser&) = delete;
    ModalBoxCloser& operator=(const ModalBoxCloser&) = delete;

    const std::vector<SeenBox>& seen() const { return m_seen; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);
    void Tick();

    UINT_PTR m_timer = 0;
    WORD m_command;
    bool m_bPressReturn;
    std::vector<SeenBox> m_seen;
};

// Destroys the boxes ThreadBoxes finds and dispatches what that leaves
// pending; the settings window and the LCD bars stay.
void CloseInfoBoxes();

#include "support/Pump.h"

#include <chrono>

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

void PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        PumpMessages();
        ::Sleep(5);
    }
}

std::string DlgItemText(HWND dialog, int id)
{
    char text[256] = {};
    if (dialog != nullptr) ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

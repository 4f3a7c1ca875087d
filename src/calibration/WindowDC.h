// A window's DC for the life of a scope, released to the window it came from.
#pragma once

#include <windows.h>

class ScopedWindowDC {
public:
    explicit ScopedWindowDC(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(::GetDC(hwnd)) {}
    ~ScopedWindowDC()
    {
        if (m_dc != nullptr) ::ReleaseDC(m_hwnd, m_dc);
    }
    ScopedWindowDC(const ScopedWindowDC&) = delete;
    ScopedWindowDC& operator=(const ScopedWindowDC&) = delete;

    HDC get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

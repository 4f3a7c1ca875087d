// Scoped device contexts of the calibration and drawing windows.
#pragma once

#include <windows.h>

// A window's DC for the life of a scope, released to the window it came from.
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

// WM_PAINT: the window's paint DC for the life of a scope, from BeginPaint to
// EndPaint.
class ScopedPaint {
public:
    explicit ScopedPaint(HWND hwnd) noexcept : m_hwnd(hwnd), m_dc(::BeginPaint(hwnd, &m_ps)) {}
    ~ScopedPaint() { ::EndPaint(m_hwnd, &m_ps); }
    ScopedPaint(const ScopedPaint&) = delete;
    ScopedPaint& operator=(const ScopedPaint&) = delete;

    HDC get() const noexcept { return m_dc; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps = {};
    HDC m_dc;
};

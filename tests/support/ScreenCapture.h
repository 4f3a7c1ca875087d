// Pictures of windows for the documentation: the screen area of a window
// written as a 24-bit BMP file. Used by the screenshot cases, which run
// only when TP_SCREENSHOT_DIR names a directory.
#pragma once

#include <windows.h>

#include <string>

// The directory from TP_SCREENSHOT_DIR, or empty when unset.
std::string ScreenshotDirectory();

// Writes what the screen shows of the window (frame included) to path.
bool CaptureWindowToBmp(HWND window, const std::string& path);

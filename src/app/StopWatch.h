// Watches the global stop event for the life of the program and turns a
// request into the "Exit" command to the message window, so that the program
// ends exactly as after that command (exit code 0, touch released, port
// closed), from the message loop or any modal box. Holds the running mutex
// that the stop tool waits on.
#pragma once

#include <windows.h>

#include "base/Handles.h"

class StopWatch {
public:
    StopWatch() = default;
    ~StopWatch() { Stop(); }
    StopWatch(const StopWatch&) = delete;
    StopWatch& operator=(const StopWatch&) = delete;

    // Creates the objects and the watching thread. False (and nothing kept)
    // if they cannot be made: the program then runs as before, reachable by
    // its window only. Main thread.
    bool Start(HWND messageWindow);
    // Ends the watching thread and releases the mutex; main thread, at the
    // very end of shutdown.
    void Stop();

private:
    static DWORD WINAPI ThreadMain(void* param);

    UniqueKernelHandle m_hStopEvent;
    UniqueKernelHandle m_hRunningMutex; // owned by the main thread while set
    UniqueKernelHandle m_hQuitEvent;    // ends the watching thread
    UniqueKernelHandle m_hThread;
    // Written before the thread starts; read by it as found.
    HWND m_hMessageWindow = nullptr;
};

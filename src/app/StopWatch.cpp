#include "app/StopWatch.h"

#include "base/AppContext.h"
#include "base/StopSignal.h"

namespace {

// The thread only waits: it ends at once when told to.
constexpr DWORD kThreadEndMs = 2000;

} // namespace

bool StopWatch::Start(HWND messageWindow)
{
    StopObjectSecurity security;
    m_hMessageWindow = messageWindow;
    m_hRunningMutex.reset(::CreateMutexA(security.get(), TRUE, kRunningMutexName));
    // Another program of ours already holds it: this one does not own it.
    if (m_hRunningMutex && ::GetLastError() == ERROR_ALREADY_EXISTS &&
        ::WaitForSingleObject(m_hRunningMutex.get(), 0) == WAIT_TIMEOUT) {
        m_hRunningMutex.reset();
    }
    m_hStopEvent.reset(::CreateEventA(security.get(), FALSE, FALSE, kStopEventName));
    m_hQuitEvent.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!m_hStopEvent || !m_hQuitEvent) {
        Stop();
        return false;
    }
    // A request left from before this program started is not meant for it.
    ::ResetEvent(m_hStopEvent.get());
    m_hThread.reset(::CreateThread(nullptr, 0, &StopWatch::ThreadMain, this, 0, nullptr));
    if (!m_hThread) {
        Stop();
        return false;
    }
    return true;
}

void StopWatch::Stop()
{
    if (m_hThread) {
        ::SetEvent(m_hQuitEvent.get());
        // A thread that does not end in time is left alone; it touches
        // nothing but these handles, which then stay open with it.
        if (::WaitForSingleObject(m_hThread.get(), kThreadEndMs) != WAIT_OBJECT_0) {
            m_hThread.release();
            m_hStopEvent.release();
            m_hQuitEvent.release();
        }
        m_hThread.reset();
    }
    m_hStopEvent.reset();
    m_hQuitEvent.reset();
    if (m_hRunningMutex) {
        ::ReleaseMutex(m_hRunningMutex.get());
        m_hRunningMutex.reset();
    }
}

DWORD WINAPI StopWatch::ThreadMain(void* param)
{
    // Copied at once: a thread left running at shutdown must not read an
    // object that has gone.
    const auto* self = static_cast<const StopWatch*>(param);
    const HANDLE waits[] = {self->m_hQuitEvent.get(), self->m_hStopEvent.get()};
    const HWND window = self->m_hMessageWindow;
    for (;;) {
        const DWORD got = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (got != WAIT_OBJECT_0 + 1) return 0;
        // Posted, never sent: the main thread may be inside a box or a
        // device exchange; the command is taken from whichever loop runs.
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_EXIT_PROGRAM, 0), 0);
    }
}

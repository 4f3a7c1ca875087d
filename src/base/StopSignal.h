// The stop request that reaches the program from any session. A tool
// running as SYSTEM in session 0 (an installer started by Group Policy or
// device management) cannot see the program's window on the user's desktop,
// but it can open objects in the global namespace: the program watches the
// event, and holds the mutex for as long as it runs, so that the tool can
// wait for its end without a process handle.
#pragma once

#include <windows.h>

#include "base/Handles.h"

// Auto-reset: one set is one request, taken by the program's watcher.
constexpr const char* kStopEventName = "Global\\TactilePaneStopRequest";
// Owned by the program's main thread from start-up to its end; a wait on it
// returns when the program has ended (released, or abandoned by a crash).
constexpr const char* kRunningMutexName = "Global\\TactilePaneRunning";

// The rights a stop tool needs on both objects.
constexpr DWORD kStopObjectAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;

// A security descriptor that lets SYSTEM, the administrators and the user
// who created an object set and wait on it; empty (default security) if the
// system cannot build one.
class StopObjectSecurity {
public:
    StopObjectSecurity();
    ~StopObjectSecurity();
    StopObjectSecurity(const StopObjectSecurity&) = delete;
    StopObjectSecurity& operator=(const StopObjectSecurity&) = delete;
    // Null for default security.
    SECURITY_ATTRIBUTES* get() { return m_descriptor != nullptr ? &m_attributes : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr; // LocalAlloc'd by the system
    SECURITY_ATTRIBUTES m_attributes = {};
};

// The kernel32 operations through which the channel drives its port, in one
// table, so that a test can stand in for a driver the channel cannot get on
// the bench (one whose I/O never completes, one that fails a read).
#pragma once

#include <windows.h>

struct CommPortApi {
    HANDLE(WINAPI* createFile)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI* purgeComm)(HANDLE, DWORD);
    BOOL(WINAPI* setupComm)(HANDLE, DWORD, DWORD);
    BOOL(WINAPI* setCommTimeouts)(HANDLE, LPCOMMTIMEOUTS);
    BOOL(WINAPI* setCommState)(HANDLE, LPDCB);
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL);
    BOOL(WINAPI* cancelIo)(HANDLE);
    BOOL(WINAPI* clearCommError)(HANDLE, LPDWORD, LPCOMSTAT);
};

// The table in force: the system's, unless a test replaced it.
const CommPortApi& PortApi();

// The system's own operations, for a test table to fall back on.
const CommPortApi& SystemPortApi();

// Test only: replaces the table (nullptr puts the system's back). Set it
// while no channel is open; the table must outlive every channel that used
// it, including a receive thread that was left running.
void SetCommPortApiForTest(const CommPortApi* api);

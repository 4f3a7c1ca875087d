#include "base/ModalLoop.h"

#include <atomic>

#include "base/Dpi.h"

namespace {

// Written on the main thread; read as found by any thread.
std::atomic<bool> g_quitRequested{false};
std::atomic<bool> g_sessionEnding{false};

// One running modal box; they nest on the main thread's stack.
struct ModalRun {
    HWND box = nullptr; // null while the box is being created
    bool done = false;
    INT_PTR result = 0;
    ModalRun* outer = nullptr;
};
// Main thread only.
ModalRun* g_innermost = nullptr;

ModalRun* RunOf(HWND box)
{
    for (ModalRun* run = g_innermost; run != nullptr; run = run->outer)
        if (run->box == box) return run;
    // Ended from its own WM_INITDIALOG: the box being created.
    if (g_innermost != nullptr && g_innermost->box == nullptr) return g_innermost;
    return nullptr;
}

void NoteQuit(WPARAM exitCode)
{
    g_quitRequested.store(true);
    ::PostQuitMessage(static_cast<int>(exitCode));
}

} // namespace

INT_PTR RunModalDialog(HINSTANCE instance, int templateId, HWND owner, DLGPROC proc, LPARAM param)
{
    // Once the program is ending no box is shown: it would only flash.
    if (g_sessionEnding.load() || g_quitRequested.load()) return kModalQuit;
    ModalRun run;
    run.outer = g_innermost;
    g_innermost = &run;
    const HWND box = ::CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), owner, proc, param);
    run.box = box;
    FollowDpiChanges(box);
    if (box == nullptr) {
        g_innermost = run.outer;
        return kModalFailed;
    }
    const bool ownerDisabled = owner != nullptr && ::IsWindowEnabled(owner);
    if (ownerDisabled) ::EnableWindow(owner, FALSE);
    if (!run.done) ::ShowWindow(box, SW_SHOW);

    MSG msg = {};
    while (!run.done && ::IsWindow(box)) {
        const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            NoteQuit(msg.wParam);
            run.result = kModalQuit;
            break;
        }
        if (got == -1) {
            run.result = kModalFailed;
            break;
        }
        if (::IsDialogMessageA(box, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    g_innermost = run.outer;
    // The owner first, so that activation goes back to it and not elsewhere.
    if (ownerDisabled) ::EnableWindow(owner, TRUE);
    if (::IsWindow(box)) ::DestroyWindow(box);
    return run.result;
}

bool ModalBoxRunning()
{
    return g_innermost != nullptr;
}

void EndModalDialog(HWND box, INT_PTR result)
{
    ModalRun* run = RunOf(box);
    if (run == nullptr) return;
    run->done = true;
    run->result = result;
    // The loop notices between messages; this one makes sure there is one.
    if (box != nullptr) ::PostMessageA(box, WM_NULL, 0, 0);
}

void RequestQuit(int exitCode)
{
    NoteQuit(static_cast<WPARAM>(exitCode));
}

bool QuitRequested()
{
    if (g_quitRequested.load()) return true;
    MSG msg = {};
    if (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        NoteQuit(msg.wParam);
        return true;
    }
    return false;
}

void QuitReachedMainLoop()
{
    g_quitRequested.store(false);
}

void BeginSessionEnd()
{
    g_sessionEnding.store(true);
}

bool SessionEnding()
{
    return g_sessionEnding.load();
}

bool WaitServingMessages(DWORD ms)
{
    // Elapsed time in unsigned arithmetic stays right across the counter's wrap.
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg = {};
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                NoteQuit(msg.wParam);
                return false;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (g_quitRequested.load()) return false;
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= ms) return true;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
    }
}

void ForgetQuitRequest()
{
    MSG msg = {};
    while (::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {}
    g_quitRequested.store(false);
    g_sessionEnding.store(false);
}

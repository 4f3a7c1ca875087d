#include "ui/AnyButtonSubclass.h"

namespace {

// Window properties of a subclassed button: its previous procedure and mode.
constexpr char kPrevProcProp[] = "TactilePane.AnyButton.Prev";
constexpr char kModeProp[] = "TactilePane.AnyButton.Mode";

LRESULT CALLBACK AnyButtonProc(HWND button, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const auto previous = reinterpret_cast<WNDPROC>(::GetPropA(button, kPrevProcProp));
    if (previous == nullptr) return ::DefWindowProcA(button, msg, wParam, lParam);
    switch (msg) {
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        ::PostMessageA(button, WM_LBUTTONDOWN, wParam, lParam);
        return 0;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        ::PostMessageA(button, WM_LBUTTONUP, wParam, lParam);
        const auto mode =
            static_cast<AnyButtonMode>(reinterpret_cast<INT_PTR>(::GetPropA(button, kModeProp)));
        if (mode == AnyButtonMode::CommandOnRelease) {
            const auto id = static_cast<WORD>(::GetDlgCtrlID(button));
            ::SendMessageA(::GetParent(button), WM_COMMAND, MAKEWPARAM(id, 0), 0);
        }
        return 0;
    }
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropA(button, kPrevProcProp);
        ::RemovePropA(button, kModeProp);
        return ::CallWindowProcA(previous, button, msg, wParam, lParam);
    default:
        return ::CallWindowProcA(previous, button, msg, wParam, lParam);
    }
}

} // namespace

bool AnyButtonSubclass(HWND button, AnyButtonMode mode)
{
    if (button == nullptr || ::GetPropA(button, kPrevProcProp) != nullptr) return false;
    // The properties first: the new procedure may run as soon as it is set.
    const LONG_PTR previous = ::GetWindowLongPtrA(button, GWLP_WNDPROC);
    if (previous == 0 ||
        !::SetPropA(button, kModeProp, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(mode))) ||
        !::SetPropA(button, kPrevProcProp, reinterpret_cast<HANDLE>(previous))) {
        ::RemovePropA(button, kModeProp);
        return false;
    }
    ::SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AnyButtonProc));
    return true;
}

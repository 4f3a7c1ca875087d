#include "app/AppTestSupport.h"
#include "support/RegistryTree.h"

#include "base/BoundedText.h"

#include "base/AppSettings.h"
#include "resources/resource.h"
#include "base/RegistryIO.h"

namespace {

constexpr const char* kSandboxParent = "Software\\TactilePaneTests";

// A test that fails while a closer is active must not leave a thread timer
// pointing at a destroyed object; one closer at a time is enough.
ModalBoxCloser* g_activeCloser = nullptr;

HKEY OpenRoot(REGSAM access)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, nullptr, REG_OPTION_NON_VOLATILE,
                          AppKeyAccess(HKEY_LOCAL_MACHINE, access), nullptr, &key,
                          nullptr) != ERROR_SUCCESS) {
        return nullptr;
    }
    return key;
}

void DeleteTree(HKEY parent, const char* name)
{
    DeleteRegistryTree(parent, name);
}

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM lParam)
{
    char cls[32] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) == "#32770" && ::GetDlgItem(hwnd, IDC_BOX_TEXT) != nullptr) {
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
    }
    return TRUE;
}

} // namespace

RegistrySandbox::RegistrySandbox()
{
    char path[128];
    FormatBounded(path, sizeof path, "%s\\HKLM-%lu-%lu", kSandboxParent, ::GetCurrentProcessId(),
                  ::GetTickCount());
    m_path = path;
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    m_ok = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS;
    ::RegCloseKey(key);
}

RegistrySandbox::~RegistrySandbox()
{
    ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    DeleteTree(HKEY_CURRENT_USER, m_path.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxParent); // only goes when empty
}

bool SetRootValue(const char* name, DWORD type, const void* data, DWORD bytes)
{
    HKEY key = OpenRoot(KEY_WRITE);
    if (key == nullptr) return false;
    const bool ok =
        ::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

bool SetRootDword(const char* name, DWORD value)
{
    return SetRootValue(name, REG_DWORD, &value, sizeof value);
}

bool GetHklmValue(const char* path, const char* name, DWORD* type, std::string* data)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_READ), &key) !=
        ERROR_SUCCESS)
        return false;
    char buffer[512];
    DWORD bytes = sizeof buffer;
    const bool ok = ::RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &bytes) ==
                    ERROR_SUCCESS;
    ::RegCloseKey(key);
    if (ok) data->assign(buffer, bytes);
    return ok;
}

bool GetRootValue(const char* name, DWORD* type, std::string* data)
{
    return GetHklmValue(kRegistryRoot, name, type, data);
}

bool DeleteRootValue(const char* name)
{
    HKEY key = OpenRoot(KEY_WRITE);
    if (key == nullptr) return false;
    const LONG rc = ::RegDeleteValueA(key, name);
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

std::vector<HWND> ThreadBoxes()
{
    std::vector<HWND> boxes;
    ::EnumThreadWindows(::GetCurrentThreadId(), CollectBox, reinterpret_cast<LPARAM>(&boxes));
    return boxes;
}

SeenBox Inspect(HWND box)
{
    SeenBox seen;
    seen.hwnd = box;
    char text[512] = {};
    ::GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    ::GetDlgItemTextA(box, IDC_BOX_TEXT, text, sizeof text);
    seen.text = text;
    ::GetWindowRect(box, &seen.rect);
    seen.hasBigIcon = ::SendMessageA(box, WM_GETICON, ICON_BIG, 0) != 0;
    seen.owner = ::GetWindow(box, GW_OWNER);
    return seen;
}

ModalBoxCloser::ModalBoxCloser(WORD closeCommand, bool pressReturn)
    : m_command(closeCommand), m_bPressReturn(pressReturn)
{
    g_activeCloser = this;
    m_timer = ::SetTimer(nullptr, 0, 100, OnTimer);
}

ModalBoxCloser::~ModalBoxCloser()
{
    if (m_timer != 0) ::KillTimer(nullptr, m_timer);
    g_activeCloser = nullptr;
}

void CALLBACK ModalBoxCloser::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_activeCloser != nullptr) g_activeCloser->Tick();
}

void ModalBoxCloser::Tick()
{
    for (HWND box : ThreadBoxes()) {
        if (!::IsWindowVisible(box)) continue;
        bool known = false;
        for (const SeenBox& s : m_seen)
            known = known || s.hwnd == box;
        if (!known) m_seen.push_back(Inspect(box));
        if (m_bPressReturn) {
            HWND focus = ::GetFocus();
            ::PostMessageA(focus != nullptr ? focus : box, WM_KEYDOWN, VK_RETURN, 1);
            ::PostMessageA(focus != nullptr ? focus : box, WM_KEYUP, VK_RETURN, 0xC0000001);
        } else {
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(m_command, 0), 0);
        }
    }
}

void CloseInfoBoxes()
{
    for (HWND box : ThreadBoxes())
        ::DestroyWindow(box);
    PumpMessages();
}

#include "base/VersionInfo.h"

#include "base/BoundedText.h"
#include "base/Reporting.h"

bool VersionInfo::Load(const char* path)
{
    m_data.clear();
    if (path == nullptr || path[0] == '\0') return false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return false;
    m_data.assign(size, '\0');
    if (!::GetFileVersionInfoA(path, 0, size, m_data.data())) {
        m_data.clear();
        return false;
    }
    return true;
}

const char* VersionInfo::Query(const char* name) const
{
    if (m_data.empty() || name == nullptr) return nullptr;
    char block[kTextMax] = {};
    if (!FormatBounded(block, sizeof block, "\\StringFileInfo\\000004b0\\%s", name)) return nullptr;
    void* value = nullptr;
    UINT length = 0;
    // VerQueryValueA does not write through its first argument.
    if (!::VerQueryValueA(const_cast<char*>(m_data.data()), block, &value, &length)) return nullptr;
    const char* text = static_cast<const char*>(value);
    if (text == nullptr || length == 0 || text[0] == '\0') return nullptr;
    return text;
}

bool ProgramFilePath(char* out, size_t size)
{
    if (g_szProgramPath[0] != '\0') return CopyBounded(out, size, g_szProgramPath);
    char path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    return CopyBounded(out, size, path);
}

const char* ProgramBuildDate()
{
    return __DATE__;
}

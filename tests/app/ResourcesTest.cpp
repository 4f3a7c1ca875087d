// Resources that other parts of the program look up by number or by path:
// icons, the box template and the version strings of the About page.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace {

std::string VersionString(const char* path, const char* name)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return "(no version information)";
    std::vector<char> info(size);
    if (!::GetFileVersionInfoA(path, 0, size, info.data())) return "(unreadable)";
    const std::string query = std::string("\\StringFileInfo\\000004b0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(info.data(), query.c_str(), &value, &length) || value == nullptr)
        return "(missing)";
    return static_cast<const char*>(value);
}

TEST(Resources, VersionStringsUnderTheNeutralUnicodeBlock)
{
    char path[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    EXPECT_EQ(VersionString(path, "ProductVersion"), "1.0.0");
    EXPECT_FALSE(VersionString(path, "Comments").empty());
    EXPECT_NE(VersionString(path, "Comments")[0], '(');
}

TEST(Resources, IconsAndBoxTemplateArePresent)
{
    HINSTANCE self = ::GetModuleHandleA(nullptr);
    for (int icon : {IDI_APP, IDI_SETTINGS}) {
        HICON h = static_cast<HICON>(::LoadImageA(self, MAKEINTRESOURCEA(icon), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(h, nullptr) << "icon " << icon;
        if (h != nullptr) ::DestroyIcon(h);
    }
    EXPECT_NE(::FindResourceA(self, MAKEINTRESOURCEA(IDD_INFO_BOX), MAKEINTRESOURCEA(5)),
              nullptr); // RT_DIALOG
}

} // namespace

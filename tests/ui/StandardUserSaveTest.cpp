// OK and Apply of the settings window when the settings store is not
// writable, as for a standard user under HKEY_LOCAL_MACHINE: the program's
// key and every key below it deny setting values and creating keys. The
// user is told (0xa02a0009), nothing stored is changed, the objects keep
// what the user chose, and once the store is writable again OK saves it. A
// configuration import in that state writes nothing at all.
#include <cstring>

#include "app/CommandLine.h"
#include "app/ConfigurationImport.h"

#include "Messages.h"
#include "base/RegistryIO.h"
#include "base/Reporting.h"
#include "resources/resource.h"
#include "support/ExportFile.h"
#include "ui/SettingsTestSupport.h"

using namespace settings_test;

namespace {

DWORD RootDword(const char* name)
{
    DWORD type = 0, value = 0xFFFFFFFF;
    std::string data;
    if (GetRootValue(name, &type, &data) && data.size() == sizeof value) std::memcpy(&value, data.data(), 4);
    return value;
}

// Puts a deny entry for Everyone (KEY_SET_VALUE, KEY_CREATE_SUB_KEY) in
// front of the access list of HKLM\<root> and of every key below it, in the
// program's registry view; gives each key its own list back when released.
class WriteProtection {
public:
    WriteProtection() = default;
    ~WriteProtection() { Release(); }
    WriteProtection(const WriteProtection&) = delete;
    WriteProtection& operator=(const WriteProtection&) = delete;

    bool Protect(const std::string& path)
    {
        HKEY key = nullptr;
        if (::RegOpenKeyExA(
                HKEY_LOCAL_MACHINE, path.c_str(), 0,
                AppKeyAccess(HKEY_LOCAL_MACHINE, READ_CONTROL | WRITE_DAC | KEY_ENUMERATE_SUB_KEYS),
                &key) != ERROR_SUCCESS) {
            return false;
        }
        Saved saved{path, {}};
        bool ok = ReadDacl(key, &saved.descriptor);
        if (ok) m_saved.push_back(saved); // restored even if the change below half-works
        ok = ok && Deny(key, saved.descriptor);
        std::vector<std::string> children;
        char name[256];
        for (DWORD i = 0; ok; ++i) {
            DWORD length = sizeof name;
            if (::RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            children.push_back(path + "\\" + name);
        }
        ::RegCloseKey(key);
        for (const std::string& child : children)
            ok = ok && Protect(child);
        return ok;
    }

    void Release()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            HKEY key = nullptr;
            if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, it->path.c_str(), 0,
                                AppKeyAccess(HKEY_LOCAL_MACHINE, WRITE_DAC), &key) != ERROR_SUCCESS) {
                ADD_FAILURE() << "cannot give back the access list of " << it->path;
                continue;
            }
            EXPECT_EQ(::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION,
                                          reinterpret_cast<PSECURITY_DESCRIPTOR>(it->descriptor.data())),
                      ERROR_SUCCESS);
            ::RegCloseKey(key);
        }
        m_saved.clear();
    }

private:
    struct Saved {
        std::string path;
        std::vector<BYTE> descriptor; // self-relative, DACL only
    };

    static bool ReadDacl(HKEY key, std::vector<BYTE>* descriptor)
    {
        DWORD size = 0;
        if (::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size) != ERROR_INSUFFICIENT_BUFFER)
            return false;
        descriptor->assign(size, 0);
        return ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor->data(), &size) ==
               ERROR_SUCCESS;
    }

    // The deny entry first, then the key's own entries (or, for a key that
    // had no list, one that allows everything).
    static bool Deny(HKEY key, std::vector<BYTE>& original)
    {
        BOOL present = FALSE, defaulted = FALSE;
        PACL old = nullptr;
        if (!::GetSecurityDescriptorDacl(original.data(), &present, &old, &defaulted)) return false;
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
            return false;
        const DWORD sidSize = ::GetLengthSid(everyone);
        ACL_SIZE_INFORMATION oldSize = {};
        const bool hasOld = present && old != nullptr &&
                            ::GetAclInformation(old, &oldSize, sizeof oldSize, AclSizeInformation);
        const DWORD aceSize = sizeof(ACCESS_DENIED_ACE) + sidSize;
        std::vector<BYTE> buffer(sizeof(ACL) + 2 * aceSize + (hasOld ? oldSize.AclBytesInUse : 0));
        auto* acl = reinterpret_cast<PACL>(buffer.data());
        bool ok = ::InitializeAcl(acl, static_cast<DWORD>(buffer.size()), ACL_REVISION) &&
                  ::AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, everyone);
        if (ok && hasOld) {
            for (DWORD i = 0; ok && i < oldSize.AceCount; ++i) {
                void* ace = nullptr;
                ok = ::GetAce(old, i, &ace) &&
                     ::AddAce(acl, ACL_REVISION, MAXDWORD, ace, static_cast<ACE_HEADER*>(ace)->AceSize);
            }
        } else if (ok) {
            ok = ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
        }
        ::FreeSid(everyone);
        SECURITY_DESCRIPTOR descriptor = {};
        ok = ok && ::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
             ::SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE);
        return ok && ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    }

    std::vector<Saved> m_saved;
};

// Whether the program could write a value under HKLM\path right now.
bool Writable(const std::string& path)
{
    HKEY key = nullptr;
    const LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0,
                                        AppKeyAccess(HKEY_LOCAL_MACHINE, KEY_SET_VALUE), &key);
    if (result == ERROR_SUCCESS) ::RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

class StandardUserSaveTest : public SettingsFixture {
protected:
    void TearDown() override
    {
        protection.Release(); // before the fixture clears the store
        SettingsFixture::TearDown();
    }

    // Connected, every page stored once with press delay 5 and LCD topmost
    // off, then the store made read-only.
    void StoreThenProtect()
    {
        ASSERT_NO_FATAL_FAILURE(Connect(2, 1, 20));
        ::SendDlgItemMessageA(SettingsControllerPage(), IDC_SLIDER_PRESS_DELAY, TBM_SETPOS, TRUE, 5);
        ::CheckDlgButton(SettingsPage(kPageDriver), IDC_LCD_TOPMOST, BST_UNCHECKED);
        {
            ModalBoxCloser closer(IDOK);
            SettingsOk();
            ASSERT_TRUE(closer.seen().empty());
        }
        ASSERT_TRUE(DeviceValue("PressDelay", &pressDelay));
        ASSERT_EQ(pressDelay, 5u);
        ASSERT_TRUE(DeviceValue("LcdTopMost", &lcdTopMost));
        ASSERT_EQ(lcdTopMost, 0u);
        currentDevice = RootDword("CurrentDevice");
        ASSERT_TRUE(Writable(kDevicesZmr01));
        ASSERT_TRUE(protection.Protect(kRegistryRoot));
        // The bench's Wine must honour key access lists, or this test tells nothing.
        ASSERT_FALSE(Writable(kRegistryRoot));
        ASSERT_FALSE(Writable(kDevicesZmr01));
        ::ShowWindow(Settings(), SW_SHOW);
    }

    void ExpectStoreUnchanged()
    {
        DWORD value = 0;
        EXPECT_TRUE(DeviceValue("PressDelay", &value));
        EXPECT_EQ(value, pressDelay);
        EXPECT_TRUE(DeviceValue("LcdTopMost", &value));
        EXPECT_EQ(value, lcdTopMost);
        EXPECT_EQ(RootDword("CurrentDevice"), currentDevice);
    }

    static std::string RegistryWriteError()
    {
        char text[256] = {};
        FormatAppMessage(MSG_REGISTRY_WRITE_ERROR, text, sizeof text);
        return text;
    }

    WriteProtection protection;
    DWORD pressDelay = 0, lcdTopMost = 0, currentDevice = 0;
};

TEST_F(StandardUserSaveTest, OkTellsTheUserAndKeepsWhatTheUserChose)
{
    ASSERT_NO_FATAL_FAILURE(StoreThenProtect());
    ::SendDlgItemMessageA(SettingsControllerPage(), IDC_SLIDER_PRESS_DELAY, TBM_SETPOS, TRUE, 9);
    ::CheckDlgButton(SettingsPage(kPageDriver), IDC_LCD_TOPMOST, BST_CHECKED);
    sim.ClearReceived();
    ModalBoxCloser closer(IDOK);
    ::SendMessageA(Settings(), WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);

    ASSERT_EQ(closer.seen().size(), 1u);
    EXPECT_EQ(closer.seen()[0].text, RegistryWriteError());
    ExpectStoreUnchanged();
    ZmrCtrlVirt* controller = Controller();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(static_cast<int32_t>(controller->PressDelay), 9);
    EXPECT_EQ(static_cast<int32_t>(controller->LcdTopMost), 1);
    EXPECT_EQ(CountCode(sim.Received(), 0x83), 0u) << "nothing sent that the store does not hold";
    EXPECT_TRUE(::IsWindowEnabled(Settings()));

    // Writable again (an administrator's OK): the choice is still there to save.
    protection.Release();
    ModalBoxCloser quiet(IDOK);
    SettingsOk();
    EXPECT_TRUE(quiet.seen().empty());
    DWORD value = 0;
    EXPECT_TRUE(DeviceValue("PressDelay", &value));
    EXPECT_EQ(value, 9u);
    EXPECT_TRUE(DeviceValue("LcdTopMost", &value));
    EXPECT_EQ(value, 1u);
}

TEST_F(StandardUserSaveTest, ApplyOnEachSavingPageTellsTheUser)
{
    ASSERT_NO_FATAL_FAILURE(StoreThenProtect());
    struct Case {
        int page;
        void (*change)();
    };
    const Case cases[] = {
        {kPageController,
         [] {
             ::SendDlgItemMessageA(SettingsControllerPage(), IDC_SLIDER_PRESS_DELAY, TBM_SETPOS, TRUE, 9);
         }},
        {kPageDriver, [] { ::CheckDlgButton(SettingsPage(kPageDriver), IDC_LCD_TOPMOST, BST_CHECKED); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        SelectTab(c.page);
        c.change();
        ModalBoxCloser closer(IDOK);
        SettingsApply();
        ASSERT_EQ(closer.seen().size(), 1u);
        EXPECT_EQ(closer.seen()[0].text, RegistryWriteError());
        ExpectStoreUnchanged();
        EXPECT_TRUE(::IsWindowVisible(Settings())) << "Apply leaves the window open";
    }
    ZmrCtrlVirt* controller = Controller();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(static_cast<int32_t>(controller->PressDelay), 9);
    EXPECT_EQ(static_cast<int32_t>(controller->LcdTopMost), 1);
}

// An import without the rights for HKEY_LOCAL_MACHINE: nothing is written,
// the user's values neither, and the outcome says why.
TEST_F(StandardUserSaveTest, ImportWritesNothingAndSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(StoreThenProtect());
    const std::string path = TempPath("tp-import-rights.txt");
    WriteText(path, "This file contains application configuration.\r\n\n\nProductVersion: 1.0.0\n"
                    "\n\n\nController parameters.\n"
                    "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Devices\\ZMR01 : \n"
                    "                    PressDelay : 9\n"
                    "\n\n\nLcd parameters.\n"
                    "CURRENT_USER\\Software\\Mavrel\\TactilePane\\Lcds\\Type2 : \n"
                    "                    Brightness : 20\n");
    const ImportOutcome outcome = ImportConfigurationFile(path.c_str(), false, true);
    ::DeleteFileA(path.c_str());
    EXPECT_EQ(outcome.exitCode, kExitNoRights);
    char text[256] = {};
    FormatAppMessage(kMsgConfigNoRights, text, sizeof text);
    EXPECT_EQ(outcome.text + "\r\n", text);
    ExpectStoreUnchanged();
    HKEY lcd = nullptr;
    EXPECT_NE(::RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(kRegistryRoot) + "\\Lcds\\Type2").c_str(), 0,
                              KEY_READ, &lcd),
              ERROR_SUCCESS)
        << "the user's LCD key was not written either";
    if (lcd != nullptr) ::RegCloseKey(lcd);
}

} // namespace

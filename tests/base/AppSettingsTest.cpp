// The application-wide registry values: defaults, types and the rule that an
// unchanged value is never written again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/AppTestSupport.h"
#include "base/AppSettings.h"
#include "base/Handles.h"

namespace {

class AppSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_sandbox.ok()) << "HKLM could not be redirected"; }

    // Denies every writer (and allows everything else) on the root key, so
    // that an attempted write shows as a failure. Watching for change
    // notifications would not do: the registry skips writes of identical data.
    static bool DenyWrites(bool deny)
    {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRegistryRoot, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              READ_CONTROL | WRITE_DAC, nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        UniqueRegKey owner(key);
        SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
        PSID everyone = nullptr;
        if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone))
            return false;
        alignas(DWORD) unsigned char aclBuffer[256];
        PACL acl = reinterpret_cast<PACL>(aclBuffer);
        bool ok = ::InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION) &&
                  (!deny ||
                   ::AddAccessDeniedAce(acl, ACL_REVISION, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, everyone)) &&
                  ::AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone);
        SECURITY_DESCRIPTOR sd;
        ok = ok && ::InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
             ::SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE) &&
             ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
        ::FreeSid(everyone);
        return ok;
    }

    void TearDown() override { DenyWrites(false); }

    RegistrySandbox m_sandbox;
};

struct IndexValue {
    const char* name;
    int (*read)();
    bool (*write)(int);
    int count; // valid indices 0..count-1
};

const IndexValue kIndexValues[] = {
    {"CurrentDevice", ReadCurrentDevice, WriteCurrentDevice, 4},
    {"CurrentChannel", ReadCurrentChannel, WriteCurrentChannel, 255},
    {"CurrentLcd", ReadCurrentLcd, WriteCurrentLcd, 3},
};

TEST_F(AppSettingsTest, MissingKeyGivesTheDefaults)
{
    for (const IndexValue& v : kIndexValues)
        EXPECT_EQ(v.read(), -1) << v.name;
    EXPECT_EQ(ReadCode(), 0u);
    int use = 7;
    EXPECT_FALSE(ReadUseLogEvent(&use));
    EXPECT_EQ(use, 1);
}

TEST_F(AppSettingsTest, IndexValuesRoundTripAsFourByteDwords)
{
    for (const IndexValue& v : kIndexValues) {
        SCOPED_TRACE(v.name);
        ASSERT_TRUE(DeleteRootValue(v.name));
        EXPECT_EQ(v.read(), -1);
        EXPECT_TRUE(v.write(v.count - 1));
        EXPECT_EQ(v.read(), v.count - 1);
        DWORD type = 0;
        std::string data;
        ASSERT_TRUE(GetRootValue(v.name, &type, &data));
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
        ASSERT_EQ(data.size(), 4u);
        EXPECT_EQ(data[0], static_cast<char>(v.count - 1));
    }
}

TEST_F(AppSettingsTest, MinusOneIsNeverWritten)
{
    for (const IndexValue& v : kIndexValues) {
        SCOPED_TRACE(v.name);
        ASSERT_TRUE(DeleteRootValue(v.name));
        EXPECT_TRUE(v.write(-1));
        DWORD type = 0;
        std::string data;
        EXPECT_FALSE(GetRootValue(v.name, &type, &data));
        EXPECT_EQ(v.read(), -1);
    }
}

TEST_F(AppSettingsTest, AnUnchangedValueIsNotRewritten)
{
    ASSERT_TRUE(SetRootDword("CurrentDevice", 2));
    ASSERT_TRUE(SetRootDword("UseLogEvent", 0));
    ASSERT_TRUE(DenyWrites(true));
    // Writing would fail now, so success means nothing was written.
    EXPECT_TRUE(WriteCurrentDevice(2));
    EXPECT_TRUE(WriteUseLogEvent(0));
    EXPECT_TRUE(WriteCurrentDevice(-1));
    // The trap works: a different value is attempted and refused.
    EXPECT_FALSE(WriteCurrentDevice(1));
    EXPECT_FALSE(WriteUseLogEvent(1));
    EXPECT_EQ(ReadCurrentDevice(), 2);

    ASSERT_TRUE(DenyWrites(false));
    EXPECT_TRUE(WriteCurrentDevice(1));
    EXPECT_EQ(ReadCurrentDevice(), 1);
}

TEST_F(AppSettingsTest, ValueOfAnotherTypeIsNotTakenAsStoredAndIsReplaced)
{
    const char text[] = "2";
    ASSERT_TRUE(SetRootValue("CurrentDevice", REG_SZ, text, sizeof text));
    EXPECT_EQ(ReadCurrentDevice(), -1);
    EXPECT_TRUE(WriteCurrentDevice(2));
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(GetRootValue("CurrentDevice", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ReadCurrentDevice(), 2);

    // A DWORD-typed value of the wrong size is no better.
    const unsigned char eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(SetRootValue("CurrentLcd", REG_DWORD, eight, sizeof eight));
    EXPECT_EQ(ReadCurrentLcd(), -1);
    const unsigned char two[2] = {1, 0};
    ASSERT_TRUE(SetRootValue("CurrentLcd", REG_DWORD, two, sizeof two));
    EXPECT_EQ(ReadCurrentLcd(), -1);
}

TEST_F(AppSettingsTest, OutOfRangeIndexReadsAsMissing)
{
    for (const IndexValue& v : kIndexValues) {
        SCOPED_TRACE(v.name);
        ASSERT_TRUE(SetRootDword(v.name, static_cast<DWORD>(v.count)));
        EXPECT_EQ(v.read(), -1);
        ASSERT_TRUE(SetRootDword(v.name, 0xFFFFFFFEu));
        EXPECT_EQ(v.read(), -1);
        ASSERT_TRUE(SetRootDword(v.name, 0));
        EXPECT_EQ(v.read(), 0);
    }
}

TEST_F(AppSettingsTest, CodeIsAlwaysWritten)
{
    EXPECT_TRUE(WriteCode(0x1234));
    EXPECT_EQ(ReadCode(), 0x1234u);
    ASSERT_TRUE(DenyWrites(true));
    EXPECT_FALSE(WriteCode(0x1234)) << "the same code must still be written";
    ASSERT_TRUE(DenyWrites(false));

    const char text[] = "1234";
    ASSERT_TRUE(SetRootValue("Code", REG_SZ, text, sizeof text));
    EXPECT_EQ(ReadCode(), 0u);
}

TEST_F(AppSettingsTest, UseLogEventChecksTheType)
{
    int use = 0;
    const char text[] = "0";
    ASSERT_TRUE(SetRootValue("UseLogEvent", REG_SZ, text, sizeof text));
    EXPECT_FALSE(ReadUseLogEvent(&use));
    EXPECT_EQ(use, 1);

    ASSERT_TRUE(SetRootDword("UseLogEvent", 0));
    use = 5;
    EXPECT_TRUE(ReadUseLogEvent(&use));
    EXPECT_EQ(use, 0);

    // Stored as a string, so it cannot equal 0: the DWORD is written.
    ASSERT_TRUE(SetRootValue("UseLogEvent", REG_SZ, text, sizeof text));
    EXPECT_TRUE(WriteUseLogEvent(0));
    EXPECT_TRUE(ReadUseLogEvent(&use));
    EXPECT_EQ(use, 0);

    EXPECT_FALSE(ReadUseLogEvent(nullptr));
}

} // namespace

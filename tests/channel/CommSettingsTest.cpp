// The channel's line settings in the registry: all-or-nothing loading, the
// defaults written back with a notice, saving, and the dump section.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>

#include "CommTestSupport.h"
#include "base/RegistryIO.h"
#include "channel/CommProtocol2.h"
#include "support/RegistryTree.h"

namespace {

constexpr int kComNumber = 3;
constexpr int kChannelIndex = kComNumber - 1;
constexpr uint32_t kEventChannelConfigInvalid = 0xe02a0001;

using Values = std::array<uint32_t, kCommSettingCount>;

Values AsValues(const CommSettings& s)
{
    return {s.RdIntTimeout, s.RdTotTimeoutConst, s.RdTotTimeoutMult, s.WrTotTimeoutConst, s.WrTotTimeoutMult,
            s.ByteSize,     s.BaudRate,          s.Parity,           s.CheckParity,       s.ErrorChar,
            s.StopBits,     s.RdBufferSize,      s.WrBufferSize};
}

const Values kDefaults = {20, 1, 0, 0, 0, 8, 9600, 2, 1, 1, 0, 20, 10};
// A complete, valid key that differs from the defaults in every value.
const Values kCustom = {30, 2, 1, 5, 3, 7, 19200, 1, 0, 0x3F, 2, 64, 32};

class ChannelSettings : public ::testing::Test {
protected:
    void SetUp() override { DeleteChannelKey(kComNumber); }
    void TearDown() override { DeleteChannelKey(kComNumber); }

    void Store(const Values& values)
    {
        for (int i = 0; i < kCommSettingCount; ++i)
            ASSERT_TRUE(SetRegDword(key, CommSettingName(i), values[i]));
    }
    Values Stored()
    {
        Values values{};
        for (int i = 0; i < kCommSettingCount; ++i) {
            EXPECT_TRUE(GetRegDword(key, CommSettingName(i), &values[i])) << CommSettingName(i);
        }
        return values;
    }

    const std::string key = ChannelKeyPath(kComNumber);
};

TEST_F(ChannelSettings, MissingKeyGivesDefaultsWrittenBackWithANotice)
{
    EventRecorder events;
    CommProtocol2 channel(kChannelIndex, true);
    EXPECT_EQ(AsValues(channel.Settings()), kDefaults);
    EXPECT_STREQ(channel.DeviceName(), "COM3");
    ASSERT_EQ(events.Events().size(), 1u);
    EXPECT_EQ(events.Events()[0].first, kEventChannelConfigInvalid);
    EXPECT_EQ(events.Events()[0].second, "COM3");
    EXPECT_EQ(Stored(), kDefaults);
}

TEST_F(ChannelSettings, WithoutReportingDefaultsAreUsedQuietly)
{
    EventRecorder events;
    CommProtocol2 channel(kChannelIndex, false);
    EXPECT_EQ(AsValues(channel.Settings()), kDefaults);
    EXPECT_STREQ(channel.DeviceName(), "COM3");
    EXPECT_TRUE(events.Events().empty());
    uint32_t value = 0;
    EXPECT_FALSE(GetRegDword(key, "BaudRate", &value));
}

TEST_F(ChannelSettings, CompleteKeyIsLoadedAsStored)
{
    Store(kCustom);
    EventRecorder events;
    CommProtocol2 channel(kChannelIndex, true);
    EXPECT_EQ(AsValues(channel.Settings()), kCustom);
    EXPECT_TRUE(events.Events().empty());
    EXPECT_EQ(Stored(), kCustom);
}

// Every one of these spoils a complete key; the whole key is then rejected.
TEST_F(ChannelSettings, FlawedKeyIsRejectedAsAWhole)
{
    const struct {
        const char* what;
        std::function<bool(const std::string&)> spoil;
    } cases[] = {
        {"BaudRate 0", [](const std::string& k) { return SetRegDword(k, "BaudRate", 0); }},
        {"ByteSize 0", [](const std::string& k) { return SetRegDword(k, "ByteSize", 0); }},
        {"ByteSize 0x100 (low byte 0)",
         [](const std::string& k) { return SetRegDword(k, "ByteSize", 0x100); }},
        {"WrBufferSize missing", [](const std::string& k) { return DeleteRegValue(k, "WrBufferSize"); }},
        {"RdIntTimeout missing", [](const std::string& k) { return DeleteRegValue(k, "RdIntTimeout"); }},
        {"Parity as text", [](const std::string& k) { return SetRegString(k, "Parity", "2"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteChannelKey(kComNumber);
        Store(kCustom);
        ASSERT_TRUE(c.spoil(key));

        EventRecorder events;
        CommProtocol2 channel(kChannelIndex, true);
        EXPECT_EQ(AsValues(channel.Settings()), kDefaults);
        ASSERT_EQ(events.Events().size(), 1u);
        EXPECT_EQ(events.Events()[0].first, kEventChannelConfigInvalid);
        EXPECT_EQ(events.Events()[0].second, "COM3");
        EXPECT_EQ(Stored(), kDefaults);
    }
}

TEST_F(ChannelSettings, FailedReloadLeavesTheSettingsUntouched)
{
    Store(kCustom);
    CommProtocol2 channel(kChannelIndex, false);
    ASSERT_TRUE(SetRegDword(key, "RdIntTimeout", 99));
    ASSERT_TRUE(SetRegDword(key, "BaudRate", 4800));
    ASSERT_TRUE(DeleteRegValue(key, "WrBufferSize"));
    EXPECT_FALSE(channel.LoadSettings());
    EXPECT_EQ(AsValues(channel.Settings()), kCustom);
}

// Only the low byte of the byte-sized values counts; ErrorChar is kept and
// written back sign-extended, CheckParity as 0 or 1.
TEST_F(ChannelSettings, ByteSizedValuesAreNarrowedAndSavedThatWay)
{
    Values odd = kCustom;
    odd[5] = 0x107;  // ByteSize
    odd[7] = 0x301;  // Parity
    odd[8] = 6;      // CheckParity: lowest bit 0
    odd[9] = 0x180;  // ErrorChar
    odd[10] = 0x202; // StopBits
    Store(odd);

    CommProtocol2 channel(kChannelIndex, false);
    const CommSettings& s = channel.Settings();
    EXPECT_EQ(s.ByteSize, 7u);
    EXPECT_EQ(s.Parity, 1u);
    EXPECT_EQ(s.CheckParity, 0u);
    EXPECT_EQ(s.ErrorChar, 0xFFFFFF80u);
    EXPECT_EQ(s.StopBits, 2u);

    ASSERT_TRUE(channel.SaveSettings());
    Values saved = kCustom;
    saved[5] = 7;
    saved[7] = 1;
    saved[8] = 0;
    saved[9] = 0xFFFFFF80u;
    saved[10] = 2;
    EXPECT_EQ(Stored(), saved);
    ASSERT_TRUE(channel.LoadSettings());
    EXPECT_EQ(AsValues(channel.Settings()), saved);
}

int g_writes = 0;
int g_failAt = 0;

bool FailNthWrite(const char*)
{
    return ++g_writes != g_failAt;
}

// A save that fails at any of its writes leaves the key as it was: the
// values written before the failure are put back, or deleted again when the
// key held none.
TEST_F(ChannelSettings, FailedSaveLeavesTheStoredSetAsItWas)
{
    Store(kCustom);
    CommProtocol2 channel(kChannelIndex, false);
    const struct {
        const char* what;
        int failAt;
        bool keyBefore;
    } cases[] = {
        {"at the first value", 1, true},
        {"half-way", kCommSettingCount / 2, true},
        {"at the last value", kCommSettingCount, true},
        {"nothing stored before: nothing stays", 4, false},
    };
    SetDwordWriteHook(&FailNthWrite);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteChannelKey(kComNumber);
        if (c.keyBefore) Store(kDefaults);
        const RegistryValues before = ReadRegistryValues(HKEY_LOCAL_MACHINE, key);
        g_writes = 0;
        g_failAt = c.failAt;
        EXPECT_FALSE(channel.SaveSettings());
        EXPECT_EQ(g_writes, c.failAt);
        EXPECT_EQ(ReadRegistryValues(HKEY_LOCAL_MACHINE, key), before);
        EXPECT_EQ(ReadRegistryValues(HKEY_LOCAL_MACHINE, key).size(),
                  static_cast<size_t>(c.keyBefore ? kCommSettingCount : 0));
    }
    SetDwordWriteHook(nullptr);
    EXPECT_TRUE(channel.SaveSettings());
    EXPECT_EQ(Stored(), kCustom);
}

TEST_F(ChannelSettings, ChannelWithoutAPortHasNoSettings)
{
    EventRecorder events;
    for (int index : {-1, 255, 1000, -2}) {
        SCOPED_TRACE(index);
        CommProtocol2 channel(index, true);
        EXPECT_EQ(channel.ChannelIndex(), -1);
        EXPECT_FALSE(channel.LoadSettings());
        EXPECT_FALSE(channel.SaveSettings());
        EXPECT_FALSE(channel.DumpSettings(INVALID_HANDLE_VALUE));
    }
    EXPECT_TRUE(events.Events().empty());
    // Up to COM255 are ports; above COM9 the device path reaches them.
    const CommProtocol2 com3(2, false), com12(11, false), com255(254, false);
    EXPECT_STREQ(com3.DeviceName(), "COM3");
    EXPECT_STREQ(com12.DeviceName(), "\\\\.\\COM12");
    EXPECT_EQ(com255.ChannelIndex(), 254);
}

// A scratch file in the temporary directory, deleted at the end.
class ScratchFile {
public:
    ScratchFile()
    {
        char dir[MAX_PATH];
        char name[MAX_PATH];
        ::GetTempPathA(MAX_PATH, dir);
        ::GetTempFileNameA(dir, "tpc", 0, name);
        m_path = name;
    }
    ~ScratchFile() { ::DeleteFileA(m_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    UniqueFileHandle Open(DWORD access) const
    {
        return UniqueFileHandle(::CreateFileA(m_path.c_str(), access, 0, nullptr,
                                              access == GENERIC_READ ? OPEN_EXISTING : CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    std::string Contents() const
    {
        UniqueFileHandle file = Open(GENERIC_READ);
        std::string text;
        char buffer[512];
        DWORD got = 0;
        while (::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
            text.append(buffer, got);
        return text;
    }

private:
    std::string m_path;
};

const char kDefaultDump[] = "\n\n\nChannel parameters.\n"
                            "HKEY_LOCAL_MACHINE\\Software\\Mavrel\\TactilePane\\Channels\\COM3 : \n"
                            "                  RdIntTimeout : 14\n"
                            "             RdTotTimeoutConst : 1\n"
                            "              RdTotTimeoutMult : 0\n"
                            "             WrTotTimeoutConst : 0\n"
                            "              WrTotTimeoutMult : 0\n"
                            "                      ByteSize : 8\n"
                            "                      BaudRate : 2580\n"
                            "                        Parity : 2\n"
                            "                   CheckParity : 1\n"
                            "                     ErrorChar : 1\n"
                            "                      StopBits : 0\n"
                            "                  RdBufferSize : 14\n"
                            "                  WrBufferSize : a\n";

TEST_F(ChannelSettings, DumpWritesTheStoredValues)
{
    CommProtocol2 channel(kChannelIndex, true);
    ScratchFile file;
    {
        UniqueFileHandle out = file.Open(GENERIC_WRITE);
        ASSERT_TRUE(out.valid());
        EXPECT_TRUE(channel.DumpSettings(out.get()));
    }
    const std::string text = file.Contents();
    EXPECT_EQ(text, kDefaultDump);
    EXPECT_NE(text.find("\n" + std::string(18, ' ') + "RdIntTimeout : 14\n"), std::string::npos);

    // The registry is what is dumped, not the object; negative bytes show
    // sign-extended.
    ASSERT_TRUE(SetRegDword(key, "BaudRate", 19200));
    ASSERT_TRUE(SetRegDword(key, "ErrorChar", 0xFFFFFF80u));
    {
        UniqueFileHandle out = file.Open(GENERIC_WRITE);
        EXPECT_TRUE(channel.DumpSettings(out.get()));
    }
    const std::string changed = file.Contents();
    EXPECT_NE(changed.find("                      BaudRate : 4b00\n"), std::string::npos);
    EXPECT_NE(changed.find("                     ErrorChar : ffffff80\n"), std::string::npos);
}

TEST_F(ChannelSettings, DumpStopsAtAMissingValue)
{
    CommProtocol2 channel(kChannelIndex, true);
    ASSERT_TRUE(DeleteRegValue(key, "StopBits"));
    ScratchFile file;
    {
        UniqueFileHandle out = file.Open(GENERIC_WRITE);
        EXPECT_FALSE(channel.DumpSettings(out.get()));
    }
    const std::string text = file.Contents();
    const std::string expected(kDefaultDump);
    EXPECT_EQ(text, expected.substr(0, expected.find("                      StopBits")));
}

TEST_F(ChannelSettings, DumpWithoutAKeyWritesNothing)
{
    CommProtocol2 channel(kChannelIndex, false);
    ScratchFile file;
    {
        UniqueFileHandle out = file.Open(GENERIC_WRITE);
        EXPECT_FALSE(channel.DumpSettings(out.get()));
    }
    EXPECT_EQ(file.Contents(), "");
}

// A file that refuses the text: the section is not written, and the export
// must hear about it.
TEST_F(ChannelSettings, DumpToAFileThatTakesNothingFails)
{
    CommProtocol2 channel(kChannelIndex, true);
    ScratchFile file;
    {
        UniqueFileHandle create = file.Open(GENERIC_WRITE);
    }
    UniqueFileHandle readOnly = file.Open(GENERIC_READ);
    ASSERT_TRUE(readOnly.valid());
    EXPECT_FALSE(channel.DumpSettings(readOnly.get()));
}

} // namespace

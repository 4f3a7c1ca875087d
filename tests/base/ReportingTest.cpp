// Event-source registration, event writing and the lookup of message texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Messages.h"
#include "app/AppTestSupport.h"
#include "base/AppContext.h"
#include "base/BoundedText.h"
#include "base/Reporting.h"

namespace {

constexpr const char* kSourceKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\TactilePane";

bool ReadSourceValue(const char* name, DWORD* type, std::string* data)
{
    return GetHklmValue(kSourceKey, name, type, data);
}

TEST(RegisterAppEventSource, RegistersOnceAndNeverRewrites)
{
    RegistrySandbox sandbox;
    ASSERT_TRUE(sandbox.ok());

    RegisterAppEventSource();
    const std::string program = g_szProgramPath;
    ASSERT_GT(program.size(), 4u);
    EXPECT_EQ(program.substr(program.size() - 4), ".exe");
    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(ReadSourceValue("EventMessageFile", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(data, program + '\0') << "the path is stored with its terminator";
    ASSERT_TRUE(ReadSourceValue("TypesSupported", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(data[0], 7);

    // The program file has moved since: the existing registration stays.
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSourceKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    const char moved[] = "C:\\elsewhere\\TactilePane.exe";
    ::RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(moved),
                     sizeof moved);
    ::RegDeleteValueA(key, "TypesSupported");
    ::RegCloseKey(key);

    RegisterAppEventSource();
    ASSERT_TRUE(ReadSourceValue("EventMessageFile", &type, &data));
    EXPECT_EQ(data, std::string(moved, sizeof moved));
    EXPECT_FALSE(ReadSourceValue("TypesSupported", &type, &data));
    EXPECT_EQ(std::string(g_szProgramPath), program);
}

DWORD WINAPI ReportFromThread(void*)
{
    ReportAppEvent(MSG_INCOMPATIBLE_COMMAND, "0x55");
    return 0;
}

class ReportAppEventTest : public ::testing::Test {
protected:
    struct Entry {
        uint32_t id;
        std::string insert;
    };

    void SetUp() override { SetAppEventObserver(&ReportAppEventTest::Observe, this); }
    void TearDown() override
    {
        SetAppEventObserver(nullptr, nullptr);
        App().controller.store(nullptr);
    }

    static void Observe(void* context, uint32_t id, const char* insert)
    {
        static_cast<ReportAppEventTest*>(context)->m_entries.push_back(
            {id, insert != nullptr ? insert : "(null)"});
    }

    std::vector<Entry> m_entries;
};

TEST_F(ReportAppEventTest, FollowsTheCurrentControllersSwitch)
{
    struct Step {
        bool controller;
        int useLogEvent;
        bool written;
    };
    const Step steps[] = {
        {false, 0, true}, // before any controller exists, everything is written
        {true, 1, true},  {true, 0, false}, {true, 2, true}, // only 0 switches it off
        {false, 0, true},
    };
    FakeController controller;
    for (const Step& step : steps) {
        m_entries.clear();
        controller.UseLogEvent = step.useLogEvent;
        App().controller.store(step.controller ? &controller : nullptr);
        ReportAppEvent(MSG_FATAL_ERROR, "OutOfMemory - CommProt2.m_hRecThread");
        ASSERT_EQ(m_entries.size(), step.written ? 1u : 0u)
            << "controller " << step.controller << ", UseLogEvent " << step.useLogEvent;
        if (step.written) {
            EXPECT_EQ(m_entries[0].id, MSG_FATAL_ERROR);
            EXPECT_EQ(m_entries[0].insert, "OutOfMemory - CommProt2.m_hRecThread");
        }
    }
}

TEST_F(ReportAppEventTest, WorksFromAnotherThreadAndWithoutInsert)
{
    ReportAppEvent(MSG_COMM_BROKEN, nullptr);
    HANDLE thread = ::CreateThread(nullptr, 0, ReportFromThread, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(::WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
    ASSERT_EQ(m_entries.size(), 2u);
    EXPECT_EQ(m_entries[0].id, MSG_COMM_BROKEN);
    EXPECT_EQ(m_entries[1].insert, "0x55");
}

TEST(FormatAppMessage, NoResponseTextEndsWithALineBreak)
{
    char text[kTextMax] = {};
    FormatAppMessage(0xa02a0028u, text, sizeof text);
    EXPECT_STREQ(text, "No response for the dispatched command. Communication has been broken.\r\n");
}

TEST(FormatAppMessage, MissingTextSaysSoAfterExplainingWhy)
{
    ModalBoxCloser closer;
    char text[kTextMax] = {};
    FormatAppMessage(0x602a0099u, text, sizeof text);
    EXPECT_STREQ(text, "Resource not found: 602a0099.\n");
    ASSERT_EQ(closer.seen().size(), 1u) << "one box with the system's reason";
    const SeenBox& box = closer.seen()[0];
    EXPECT_EQ(box.caption, "Information");
    EXPECT_FALSE(box.text.empty());
    EXPECT_NE(box.text, "information") << "the reason was not put into the box";
    EXPECT_EQ(box.text.find('%'), std::string::npos) << box.text;
    EXPECT_TRUE(ThreadBoxes().empty());
}

TEST(FormatAppMessage, OverlongTextCountsAsMissing)
{
    // The program's own texts are short; borrow a long one from the system.
    DWORD longId = 0;
    for (DWORD id = 1; id < 16000 && longId == 0; ++id) {
        char raw[1024];
        const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                         id, 0, raw, sizeof raw, nullptr);
        if (n > 254 && n < sizeof raw - 1) longId = id;
    }
    if (longId == 0) GTEST_SKIP() << "no system message longer than 254 characters";
    ModalBoxCloser closer;
    char text[kTextMax] = {};
    FormatAppMessage(longId, text, sizeof text);
    char expected[64];
    FormatBounded(expected, sizeof expected, "Resource not found: %lx.\n", longId);
    EXPECT_STREQ(text, expected);
    EXPECT_EQ(closer.seen().size(), 1u);
}

TEST(FormatAppMessage, StaysWithinTheCallersBuffer)
{
    char small[12];
    std::memset(small, 'x', sizeof small);
    FormatAppMessage(MSG_NO_RESPONSE, small, 8);
    EXPECT_STREQ(small, "No resp");
    EXPECT_EQ(small[8], 'x');

    small[0] = 'x';
    FormatAppMessage(MSG_NO_RESPONSE, small, 0);
    EXPECT_EQ(small[0], 'x');
    FormatAppMessage(MSG_NO_RESPONSE, nullptr, 255);

    // The fallback text is bounded too.
    ModalBoxCloser closer;
    std::memset(small, 'x', sizeof small);
    FormatAppMessage(0x602a0099u, small, 8);
    EXPECT_STREQ(small, "Resourc");
    EXPECT_EQ(small[8], 'x');
}

} // namespace

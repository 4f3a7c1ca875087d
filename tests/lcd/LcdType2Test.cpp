// The brightness display: its record under HKEY_CURRENT_USER (defaults,
// damaged values, write-back), the brightness command and the export
// section.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "LcdTestSupport.h"

namespace {

class LcdType2Config : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearLcdRegistry();
        ClearControllerRegistry();
    }
    void TearDown() override
    {
        ClearLcdRegistry();
        ClearControllerRegistry();
    }

    // Constructs the display and counts the boxes its construction showed.
    std::unique_ptr<LcdType2> Construct(int* boxes)
    {
        auto lcd = std::make_unique<LcdType2>();
        *boxes = CloseThreadBoxes();
        return lcd;
    }

    static void ExpectDefaults(const LcdType2& lcd)
    {
        EXPECT_EQ(lcd.Brightness, 50);
        EXPECT_EQ(lcd.MinBrightness, 1);
        EXPECT_EQ(lcd.MaxBrightness, 255);
    }

    static void ExpectStored(DWORD brightness, DWORD min, DWORD max)
    {
        DWORD value = 0;
        EXPECT_TRUE(GetLcdDword("Brightness", &value) && value == brightness) << value;
        EXPECT_TRUE(GetLcdDword("MinBrightness", &value) && value == min) << value;
        EXPECT_TRUE(GetLcdDword("MaxBrightness", &value) && value == max) << value;
    }
};

TEST_F(LcdType2Config, MissingRecordIsReplacedByTheDefaultsWithOneNotice)
{
    int boxes = 0;
    auto lcd = Construct(&boxes);
    EXPECT_EQ(boxes, 1);
    ExpectDefaults(*lcd);
    EXPECT_EQ(lcd->m_nType, 1);
    ExpectStored(50, 1, 255);
}

TEST_F(LcdType2Config, DamagedValueResetsAllThreeAndWritesThemBack)
{
    SetLcdDword("Brightness", 77);
    SetLcdString("MinBrightness", "5");
    SetLcdDword("MaxBrightness", 200);
    int boxes = 0;
    auto lcd = Construct(&boxes);
    EXPECT_EQ(boxes, 1);
    ExpectDefaults(*lcd);
    ExpectStored(50, 1, 255);
}

TEST_F(LcdType2Config, StoredValuesAreTakenUncheckedAndOnlyTheLowByteIsSent)
{
    SetLcdDword("Brightness", 300);
    SetLcdDword("MinBrightness", 400);
    SetLcdDword("MaxBrightness", 2);
    int boxes = 0;
    auto lcd = Construct(&boxes);
    EXPECT_EQ(boxes, 0);
    EXPECT_EQ(lcd->Brightness, 300);
    EXPECT_EQ(lcd->MinBrightness, 400);
    EXPECT_EQ(lcd->MaxBrightness, 2);

    Rig rig(2);
    lcd->AttachController(rig.ctrl.get());
    EXPECT_EQ(lcd->SendConfig(), 0);
    EXPECT_EQ(lcd->KeyLeft(), 0);
    EXPECT_EQ(lcd->KeyRight(), 0);
    EXPECT_EQ(rig.Sent(), (std::vector<Bytes>{{0x8C, 0x2C}, {0x8C, 0x2C}, {0x8C, 0x2C}}));
    lcd->DetachController();
}

TEST_F(LcdType2Config, DefaultButtonResetsOnlyTheObject)
{
    SetLcdDword("Brightness", 300);
    SetLcdDword("MinBrightness", 10);
    SetLcdDword("MaxBrightness", 20);
    int boxes = 0;
    auto lcd = Construct(&boxes);
    lcd->SetDefaults(0);
    EXPECT_EQ(CloseThreadBoxes(), 0);
    ExpectDefaults(*lcd);
    ExpectStored(300, 10, 20);
}

TEST_F(LcdType2Config, SaveWritesTheObjectAndLeavesTheLoggingChoiceAlone)
{
    ASSERT_TRUE(WriteUseLogEvent(0));
    int boxes = 0;
    auto lcd = Construct(&boxes);
    EXPECT_EQ(lcd->UseLogEvent, 0);
    // The user switches logging on and the controller saves that first.
    ASSERT_TRUE(WriteUseLogEvent(1));
    lcd->Brightness = 123;
    EXPECT_EQ(lcd->SaveConfig(), 1);
    ExpectStored(123, 1, 255);
    int stored = -1;
    EXPECT_TRUE(ReadUseLogEvent(&stored));
    EXPECT_EQ(stored, 1);
}

TEST_F(LcdType2Config, SendConfigNeedsAControllerButNotTheDisplay)
{
    int boxes = 0;
    auto lcd = Construct(&boxes);
    EXPECT_EQ(lcd->SendConfig(), 2);

    Rig rig(3);
    lcd->AttachController(rig.ctrl.get());
    // A key operation holding the display does not delay the configuration.
    ASSERT_EQ(::WaitForSingleObject(lcd->m_hSemaphore.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(lcd->SendConfig(), 0);
    ::ReleaseSemaphore(lcd->m_hSemaphore.get(), 1, nullptr);
    EXPECT_EQ(rig.Sent(), (std::vector<Bytes>{{0x8C, 0x32}}));

    rig.channel.silent.insert(0x8C);
    EXPECT_EQ(lcd->SendConfig(), 1);
    lcd->DetachController();
}

// A file in the test's temporary directory, removed afterwards.
class TempFile {
public:
    TempFile()
    {
        char dir[MAX_PATH];
        ::GetTempPathA(MAX_PATH, dir);
        ::GetTempFileNameA(dir, "lcd", 0, m_path);
    }
    ~TempFile() { ::DeleteFileA(m_path); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    UniqueFileHandle Open(DWORD access)
    {
        return UniqueFileHandle(::CreateFileA(m_path, access, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    std::string Content()
    {
        UniqueFileHandle file(
            ::CreateFileA(m_path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        std::string text(4096, '\0');
        DWORD read = 0;
        ::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
        text.resize(read);
        return text;
    }

private:
    char m_path[MAX_PATH] = {};
};

const char kDumpHeader[] =
    "\n\n\nLcd parameters.\nCURRENT_USER\\Software\\Mavrel\\TactilePane\\Lcds\\Type2 : \n";

TEST_F(LcdType2Config, ExportListsTheStoredValuesRightAlignedInHex)
{
    int boxes = 0;
    auto lcd = Construct(&boxes);
    lcd->Brightness = 99; // the export shows the registry, not the object
    TempFile file;
    {
        UniqueFileHandle out = file.Open(GENERIC_WRITE);
        ASSERT_TRUE(out.valid());
        EXPECT_EQ(lcd->DumpConfig(out.get()), 1);
    }
    EXPECT_EQ(file.Content(), std::string(kDumpHeader) + "                    Brightness : 32\n"
                                                         "                 MinBrightness : 1\n"
                                                         "                 MaxBrightness : ff\n");
}

TEST_F(LcdType2Config, ExportFailsOnAMissingKeyADamagedValueOrAFailedWrite)
{
    int boxes = 0;
    auto lcd = Construct(&boxes);
    {
        TempFile file;
        UniqueFileHandle readOnly = file.Open(GENERIC_READ);
        EXPECT_EQ(lcd->DumpConfig(readOnly.get()), 0);
    }
    {
        SetLcdString("MaxBrightness", "ff");
        TempFile file;
        {
            UniqueFileHandle out = file.Open(GENERIC_WRITE);
            EXPECT_EQ(lcd->DumpConfig(out.get()), 0);
        }
        EXPECT_EQ(file.Content(), std::string(kDumpHeader) + "                    Brightness : 32\n"
                                                             "                 MinBrightness : 1\n");
    }
    {
        ClearLcdRegistry();
        TempFile file;
        {
            UniqueFileHandle out = file.Open(GENERIC_WRITE);
            EXPECT_EQ(lcd->DumpConfig(out.get()), 0);
        }
        EXPECT_EQ(file.Content(), "");
    }
}

} // namespace

#include "channel/PortList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PortList, NamesNumbersAndDevicePaths)
{
    struct Case {
        const char* name;
        int number;
        const char* path;
    };
    const Case cases[] = {
        {"COM1", 1, "COM1"},           {"com9", 9, "COM9"},
        {"COM10", 10, "\\\\.\\COM10"}, {"COM255", 255, "\\\\.\\COM255"},
        {"COM256", 0, nullptr},        {"COM0", 0, nullptr},
        {"COM012", 0, nullptr},        {"COM", 0, nullptr},
        {"LPT1", 0, nullptr},          {"COM1a", 0, nullptr},
        {"COM1234", 0, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortNumber(c.name), c.number) << c.name;
        char path[16] = {};
        EXPECT_EQ(PortDevicePath(c.number, path, sizeof path), c.path != nullptr) << c.name;
        if (c.path != nullptr) EXPECT_STREQ(path, c.path);
    }
    char tiny[6];
    EXPECT_FALSE(PortDevicePath(12, tiny, sizeof tiny));
}

TEST(PortList, FixedPortsFirstThenThePresentOnesInOrder)
{
    const std::vector<PresentPort> present = {
        {"COM40", ""},
        {"COM3", "Communications Port (COM3)"},
        {"COM12", "USB Serial Port (COM12)"},
        {"COM12", ""},
        {"bogus", "Something"},
        {"COM9", "Bluetooth Link (COM9)"},
    };
    std::vector<std::string> shown;
    std::vector<int> numbers;
    for (const PortItem& item : BuildPortList(present)) {
        shown.push_back(item.text);
        numbers.push_back(item.number);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8",
                                               "Bluetooth Link (COM9)", "USB Serial Port (COM12)", "COM40"}));
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 40}));
    EXPECT_EQ(BuildPortList({}).size(), 8u);
}

TEST(PortList, PortsGivenAsTextAndTheExportSection)
{
    struct Case {
        const char* text;
        std::vector<std::string> names, friendly;
    };
    const Case cases[] = {
        {"", {}, {}},
        {"COM12", {"COM12"}, {""}},
        {"COM12=USB Serial Port (COM12);COM15;LPT1=Printer;;com40=x=y",
         {"COM12", "COM15", "com40"},
         {"USB Serial Port (COM12)", "", "x=y"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> names, friendly;
        for (const PresentPort& p : ParsePresentPorts(c.text)) {
            names.push_back(p.name);
            friendly.push_back(p.friendlyName);
        }
        EXPECT_EQ(names, c.names) << c.text;
        EXPECT_EQ(friendly, c.friendly) << c.text;
    }

    EXPECT_EQ(PortSectionText("COM3", ""), "\n\n\nSerial port.\nName : COM3\n");
    EXPECT_EQ(PortSectionText("COM12", "USB\r\nPort"),
              "\n\n\nSerial port.\nName : COM12\nFriendly name : USB  Port\n");
    EXPECT_LE(PortSectionText("COM12", std::string(1000, 'x')).size(), 300u);
}

} // namespace

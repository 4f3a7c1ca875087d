// The shared object-name table and its range-checked lookups.
#include "base/ObjectNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ObjectNames, TableOrder)
{
    const char* const expected[kObjectNameCount] = {
        "ZMR01", "ZMR02", "ZMR03", "ZMR04", "Type1", "Type2", "Type3", "COM1",
        "COM2",  "COM3",  "COM4",  "COM5",  "COM6",  "COM7",  "COM8",
    };
    for (int i = 0; i < kObjectNameCount; ++i) {
        ASSERT_NE(ObjectName(i), nullptr) << i;
        EXPECT_STREQ(ObjectName(i), expected[i]) << i;
    }
}

TEST(ObjectNames, LookupsStayInTheirRange)
{
    struct Lookup {
        const char* name;
        const char* (*fn)(int);
        int count;
        const char* first;
        const char* last;
    };
    const Lookup lookups[] = {
        {"controller", &ControllerModelName, kControllerModelCount, "ZMR01", "ZMR04"},
        {"lcd", &LcdModelName, kLcdModelCount, "Type1", "Type3"},
        {"port", &PortName, kPortCount, "COM1", "COM8"},
        {"channel", &ChannelName, kChannelCount, "COM1", "COM255"},
        {"table", &ObjectName, kObjectNameCount, "ZMR01", "COM8"},
    };
    for (const Lookup& l : lookups) {
        SCOPED_TRACE(l.name);
        EXPECT_STREQ(l.fn(0), l.first);
        EXPECT_STREQ(l.fn(l.count - 1), l.last);
        for (int bad : {-1, l.count, l.count + 1, -2147483647 - 1, 2147483647}) {
            EXPECT_EQ(l.fn(bad), nullptr) << bad;
        }
    }
    EXPECT_STREQ(PortName(2), "COM3");
    EXPECT_STREQ(ChannelName(2), "COM3");
    EXPECT_STREQ(ChannelName(11), "COM12");
    EXPECT_STREQ(LcdModelName(1), "Type2");
}

} // namespace

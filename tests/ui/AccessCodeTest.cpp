// The access code: packing typed digits and the decision at ENTER.
#include "ui/AccessCode.h"

#include <gtest/gtest.h>

namespace {

TEST(AccessCode, DigitsPackFourBitsEachAndOnlyTheLastEightCount)
{
    struct Case {
        const char* typed;
        uint32_t code;
    };
    const Case cases[] = {
        {"", 0},
        {"0", 0},
        {"5", 0x5},
        {"1234", 0x1234},
        {"01234", 0x1234}, // a leading zero does not count
        {"00001234", 0x1234},
        {"91234", 0x91234},    // a leading non-zero digit does
        {"900001234", 0x1234}, // the 9 is the ninth digit from the end
        {"12345678", 0x12345678},
        {"987654321", 0x87654321},
        {"99999999", 0x99999999},
        {"12345678901234567890", 0x34567890},
        {"12-34 x", 0x1234}, // only digits are key presses
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PackCode(c.typed), c.code) << c.typed;
    }
    EXPECT_EQ(PackCode(nullptr), 0u);
}

TEST(AccessCode, KeysOutsideTheDigitsChangeNothing)
{
    const int keys[] = {-1, 10, 16, 255, -2147483647 - 1};
    for (int key : keys)
        EXPECT_EQ(AddCodeDigit(0x1234, key), 0x1234u) << key;
    EXPECT_EQ(AddCodeDigit(0x12345678, 9), 0x23456789u);
}

TEST(AccessCode, EnterAcceptsOnlyTheStoredCodeAndFailsClosedOnADamagedOne)
{
    struct Case {
        const char* what;
        int state;
        uint32_t entered, stored;
        bool damaged;
        EnterOutcome outcome;
    };
    const Case cases[] = {
        {"no code, nothing typed", kKeypadEnterCode, 0, 0, false, EnterOutcome::StoreAccept},
        {"no code, a digit typed", kKeypadEnterCode, 5, 0, false, EnterOutcome::Refuse},
        {"right code", kKeypadEnterCode, 0x4711, 0x4711, false, EnterOutcome::Accept},
        {"wrong code", kKeypadEnterCode, 0x4712, 0x4711, false, EnterOutcome::Refuse},
        {"nothing typed against a code", kKeypadEnterCode, 0, 0x4711, false, EnterOutcome::Refuse},
        {"right old code", kKeypadOldCode, 0x4711, 0x4711, false, EnterOutcome::Accept},
        {"wrong old code", kKeypadOldCode, 0x1, 0x4711, false, EnterOutcome::Refuse},
        {"new code is stored", kKeypadNewCode, 0x1234, 0x4711, false, EnterOutcome::StoreAccept},
        {"empty new code removes the code", kKeypadNewCode, 0, 0x4711, false, EnterOutcome::StoreAccept},
        // A value that could not be read is not "no code".
        {"damaged, nothing typed", kKeypadEnterCode, 0, 0, true, EnterOutcome::Refuse},
        {"damaged, old code", kKeypadOldCode, 0, 0, true, EnterOutcome::Refuse},
        {"damaged, any code", kKeypadEnterCode, 0x4711, 0x4711, true, EnterOutcome::Refuse},
        {"unknown state counts as enter code", 7, 0x4712, 0x4711, false, EnterOutcome::Refuse},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideEnter(c.state, c.entered, c.stored, c.damaged), c.outcome) << c.what;
    }
}

} // namespace

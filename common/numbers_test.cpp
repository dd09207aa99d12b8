#include "common/numbers.h"

#include <gtest/gtest.h>

#include "common/runtime_error.h"
#include "common/text.h"

using namespace kobal;

TEST(LeadingNumber, ReadsTheNumberAtTheStartAndStops) {
    EXPECT_EQ(LeadingNumber("100"), 100);
    EXPECT_EQ(LeadingNumber("12abc"), 12);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("1,5"), 1);
    EXPECT_EQ(LeadingNumber("-7.25"), -7.25);
    EXPECT_EQ(LeadingNumber("+3"), 3);
    EXPECT_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_EQ(LeadingNumber("-"), 0);
    EXPECT_EQ(LeadingNumber("1e3"), 1000);
    EXPECT_EQ(LeadingNumber("2D2"), 200);
    EXPECT_EQ(LeadingNumber("5e"), 5);  // an exponent without digits is not read
    EXPECT_EQ(LeadingNumber("1.5.5"), 1.5);
}

TEST(LeadingNumber, SkipsBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(LeadingNumber("  \t 4 2"), 42);
    EXPECT_EQ(LeadingNumber("1\n0"), 10);
    EXPECT_EQ(LeadingNumber("- 3"), -3);
    EXPECT_EQ(LeadingNumber("\r5"), 0);  // a carriage return is not skipped
}

TEST(LeadingNumber, ReadsHexAndOctal) {
    EXPECT_EQ(LeadingNumber("&H1F"), 31);
    EXPECT_EQ(LeadingNumber("&hff"), 255);
    EXPECT_EQ(LeadingNumber("&O17"), 15);
    EXPECT_EQ(LeadingNumber("&HFFFF"), -1);
    EXPECT_EQ(LeadingNumber("&O9"), 0);
    EXPECT_EQ(LeadingNumber("&X1"), 0);
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundToInt16(2.5), 2);
    EXPECT_EQ(RoundToInt16(3.5), 4);
    EXPECT_EQ(RoundToInt16(-2.5), -2);
    EXPECT_EQ(RoundToInt16(0.5), 0);
    EXPECT_EQ(RoundToInt16(2.4999), 2);
    EXPECT_EQ(RoundToInt16(-32768), -32768);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_EQ(RoundToInt32(3000000.5), 3000000);
}

TEST(Rounding, OutsideSixteenBitsIsAnOverflow) {
    for (double v : {32767.5, 40000.0, -32769.0, 1e300}) {
        try {
            RoundToInt16(v);
            FAIL() << v;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::Overflow);
            EXPECT_EQ(e.message(), "Run-time error '6': Overflow");
        }
    }
    EXPECT_THROW(NumberSetting("1e400"), RuntimeError);
    EXPECT_THROW(Mul16(200, 200), RuntimeError);
    EXPECT_EQ(Mul16(-200, 100), -20000);
}

TEST(TrimBlanks, OnlySpacesGo) {
    EXPECT_EQ(TrimBlanks("  a b  "), "a b");
    EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
    EXPECT_EQ(TrimBlanks("    "), "");
    EXPECT_TRUE(EqualsNoCase("KoBaL", "kobal"));
    EXPECT_EQ(RightChars("ab", 5), "ab");
    EXPECT_TRUE(EndsWithNoCase("x.KACT", ".kact"));
}

#include "device/text_rules.h"

#include <gtest/gtest.h>

#include <utility>

namespace kestrel::text {
namespace {

TEST(TextRules, HexValueReadsLeadingDigitsSkippingBlanks) {
    EXPECT_EQ(hexValue("1D"), 0x1D);
    EXPECT_EQ(hexValue("1Dh"), 0x1D);
    EXPECT_EQ(hexValue("1d"), 0x1D);
    EXPECT_EQ(hexValue(""), 0);
    EXPECT_EQ(hexValue("x1"), 0);
    EXPECT_EQ(hexValue(" 8 1\t0\n0"), 0x8100);
    EXPECT_EQ(hexValue("81 00h: 3C"), 0x8100);
    EXPECT_EQ(hexValue("AEh"), 0xAE);
    EXPECT_EQ(hexValue("FFFF"), 0xFFFF);
    EXPECT_EQ(hexValue("12345"), 0x2345) << "five digits keep the low 16 bits";
    EXPECT_EQ(hexValue("8100\r"), 0x8100) << "a carriage return ends the number";
    EXPECT_EQ(addressText(0x1001F), "1F") << "addresses wrap at FFFFh";
}

}  // namespace
}  // namespace kestrel::text

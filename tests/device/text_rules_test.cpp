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
}

TEST(TextRules, NumberTexts) {
    EXPECT_EQ(hexText(5), "5");
    EXPECT_EQ(hexText(0xAE), "AE");
    EXPECT_EQ(byteText(0x1FF), "FF");
    EXPECT_EQ(addressText(0x1001F), "1F");
    EXPECT_EQ(imageLine(0x8100, 0x3C), "8100h: 3Ch");
    EXPECT_EQ(suffixedHexText(0x200), "200h");
    EXPECT_EQ(suffixedHexText(0), "0h");
    EXPECT_EQ(suffixedByteText(0x5), "05h");
    EXPECT_EQ(suffixedByteText(0x13C), "3Ch");
    EXPECT_EQ(suffixedAddressText(0x18100), "8100h");
}

TEST(TextRules, ImageLineDataIsTheTwoCharactersBeforeTheLast) {
    EXPECT_EQ(imageLineData("8100h: 3Ch"), 0x3C);
    EXPECT_EQ(imageLineData("8103h: 5h"), 0x05);
    EXPECT_EQ(imageLineData("8103h: 123h"), 0x23);
    EXPECT_EQ(imageLineData("8100: 3C"), 0x03);
    EXPECT_EQ(imageLineData(""), 0x00);
    EXPECT_EQ(imageLineData("3C"), 0x3C);
    EXPECT_EQ(imageLineData("A"), 0x0A);
}

TEST(TextRules, AddressTextSplitsByPosition) {
    const auto split = [](const char* t) {
        const auto a = splitAddressText(t);
        return std::pair{int(a.high), int(a.low)};
    };
    EXPECT_EQ(split("81E0"), std::pair(0x81, 0xE0));
    EXPECT_EQ(split("810"), std::pair(0x81, 0x10));
    EXPECT_EQ(split("8"), std::pair(0x08, 0x08));
    EXPECT_EQ(split(""), std::pair(0, 0));
    EXPECT_TRUE(isFourHexDigits("81e0"));
    EXPECT_FALSE(isFourHexDigits("810"));
    EXPECT_FALSE(isFourHexDigits("8100h"));
}

}  // namespace
}  // namespace kestrel::text

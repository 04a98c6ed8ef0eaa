#include <gtest/gtest.h>

#include "bus/crc8.h"

namespace kestrel {
namespace {

TEST(Crc8, MatchesTheSmbusCheckValue) {
    const std::string check = "123456789";
    EXPECT_EQ(smbusPec(std::vector<std::uint8_t>(check.begin(), check.end())), 0xF4);
    EXPECT_EQ(smbusPec({}), 0x00);
}

}  // namespace
}  // namespace kestrel

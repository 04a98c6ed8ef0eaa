#include "main_window/image_file.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

TEST(ImageFile, LineEndsOfEveryKind) {
    using V = std::vector<std::string>;
    EXPECT_EQ(image_file::splitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\rb\r"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\nb\n"), (V{"a", "b"})) << "files edited on Linux";
    EXPECT_EQ(image_file::splitLines("\r\n\r\nx"), (V{"", "", "x"}));
    EXPECT_EQ(image_file::splitLines(""), V{});
}

}  // namespace
}  // namespace kestrel

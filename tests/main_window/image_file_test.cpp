#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "main_window/image_file.h"

namespace kestrel {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ImageFileTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "kestrel_image_test";
    void SetUp() override { std::filesystem::create_directories(dir); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string file(const char* name) { return (dir / name).string(); }
};

TEST_F(ImageFileTest, SavesExactlyTheBlockWithCrLf) {
    std::vector<std::string> items;
    for (int i = 0; i < 40; ++i) items.push_back("line" + std::to_string(i));
    std::string error;
    ASSERT_TRUE(image_file::save(file("a.dat"), items, 32, &error)) << error;
    const std::string text = readAll(file("a.dat"));
    EXPECT_EQ(text.rfind("line0\r\nline1\r\n", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 8), "line31\r\n");
    EXPECT_EQ(text.find("line32"), std::string::npos);

    ASSERT_TRUE(image_file::save(file("empty.dat"), {}, 32, &error));
    std::string crlf32;
    for (int i = 0; i < 32; ++i) crlf32 += "\r\n";
    EXPECT_EQ(readAll(file("empty.dat")), crlf32) << "an empty list saves 32 empty lines";
}

TEST_F(ImageFileTest, LineEndsOfEveryKind) {
    using V = std::vector<std::string>;
    EXPECT_EQ(image_file::splitLines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\r\nb"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\rb\r"), (V{"a", "b"}));
    EXPECT_EQ(image_file::splitLines("a\nb\n"), (V{"a", "b"})) << "files edited on Linux";
    EXPECT_EQ(image_file::splitLines("\r\n\r\nx"), (V{"", "", "x"}));
    EXPECT_EQ(image_file::splitLines(""), V{});
}

TEST_F(ImageFileTest, FailuresAreReportedAndLeaveTheListAlone) {
    std::vector<std::string> lines = {"keep"};
    std::string error;
    EXPECT_FALSE(image_file::load(file("missing.dat"), lines, &error));
    EXPECT_EQ(lines, std::vector<std::string>{"keep"});
    EXPECT_NE(error.find("missing.dat"), std::string::npos);

    EXPECT_FALSE(image_file::save((dir / "no" / "such" / "dir.dat").string(), lines, 32, &error));
    EXPECT_NE(error.find("Cannot create"), std::string::npos);

    std::vector<std::string> items = {"8100h: 3Ch", "8101h: 5h"};
    ASSERT_TRUE(image_file::save(file("b.dat"), items, 2, &error));
    ASSERT_TRUE(image_file::load(file("b.dat"), lines, &error));
    EXPECT_EQ(lines, items);
}

}  // namespace
}  // namespace kestrel

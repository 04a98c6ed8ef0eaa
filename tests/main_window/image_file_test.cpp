#include "files/image_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace kestrel {
namespace {

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/kestrel-image-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
};

// Only regular files of a sane size are read; a save keeps the file's permissions.
TEST(ImageFile, LineEndsOfEveryKindOnlyRegularFilesOfSaneSizeAndPermissionsKept) {
    TempDir dir;
    std::vector<std::string> lines{"kept"};
    std::string error;
    EXPECT_FALSE(image_file::load(dir.path, lines, &error)) << "a folder";
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(image_file::load(fifo, lines, &error)) << "a FIFO, refused without hanging";
    EXPECT_FALSE(image_file::load("/dev/zero", lines, &error));
    EXPECT_FALSE(image_file::load("/proc/self/mem", lines, &error)) << "opens, but cannot be read";
    const std::string big = dir.file("big.dat");
    std::ofstream(big) << std::string(image_file::kMaxFileBytes + 1, 'x');
    EXPECT_FALSE(image_file::load(big, lines, &error));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
    EXPECT_EQ(lines, std::vector<std::string>{"kept"});

    const std::string path = dir.file("block.dat");
    ASSERT_TRUE(image_file::save(path, lines, 32, &error)) << error;
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(image_file::save(path, lines, 32, &error)) << error;
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Line ends of every kind.
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

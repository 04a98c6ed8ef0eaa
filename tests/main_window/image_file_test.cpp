#include "files/image_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

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

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/kestrel-image-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return path + "/" + name; }
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A save that cannot complete (here: the process may not write more than
// 100 bytes to a file, as on a full disk) leaves the old file whole and says
// so; it never leaves half a file behind.
TEST(ImageFile, AFailedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const std::string path = dir.file("block.dat");
    const std::vector<std::string> old(32, "8100h: 11h");
    std::string error;
    ASSERT_TRUE(image_file::save(path, old, 32, &error)) << error;
    const std::string before = slurp(path);
    ASSERT_EQ(before.size(), 32u * 12u);
    ::chmod(path.c_str(), 0640);

    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool saved_ok =
        image_file::save(path, std::vector<std::string>(32, "8100h: 22h"), 32, &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_NE(error.find("Cannot write"), std::string::npos) << error;
    EXPECT_EQ(slurp(path), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path),
                            std::filesystem::directory_iterator()),
              1)
        << "no temporary file is left behind";

    // A save that succeeds keeps the file's permissions.
    ASSERT_TRUE(image_file::save(path, std::vector<std::string>(32, "8100h: 33h"), 32, &error));
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(ImageFile, OnlyRegularFilesOfSaneSizeAreRead) {
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

    // Bytes above 7Fh are single characters, kept as they are.
    const std::string odd = dir.file("odd.dat");
    std::ofstream(odd, std::ios::binary) << "8100h: 3C\xb0\r\n";
    ASSERT_TRUE(image_file::load(odd, lines, &error)) << error;
    EXPECT_EQ(lines, std::vector<std::string>{"8100h: 3C\xb0"});
}

}  // namespace
}  // namespace kestrel

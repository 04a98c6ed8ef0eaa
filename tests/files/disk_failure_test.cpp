// Every writer of the program's files, with write, fsync or close failing: the write is reported as
// failed, the old file is kept as it was and nothing half-written is left beside it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "batch/batch_files.h"
#include "bus/disk_calls.h"
#include "files/backup_folder.h"
#include "files/image_file.h"
#include "simulator/simulated_board.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

ssize_t failingWrite(int, const void*, std::size_t) {
    errno = ENOSPC;
    return -1;
}
int failingFsync(int) {
    errno = EIO;
    return -1;
}
int failingClose(int fd) {
    ::close(fd);
    errno = EIO;
    return -1;
}

enum class Failing { Write, Fsync, Close };

// Swaps one of the calls for a failing one while it lives.
struct FailingDisk {
    disk::Calls saved = disk::calls();
    explicit FailingDisk(Failing call) {
        if (call == Failing::Write) disk::calls().write = failingWrite;
        if (call == Failing::Fsync) disk::calls().fsync = failingFsync;
        if (call == Failing::Close) disk::calls().close = failingClose;
    }
    ~FailingDisk() { disk::calls() = saved; }
};

std::string slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Each writer replaces (or, for a backup, adds) dir/file with new content.
using Writer = std::function<bool(const fs::path& dir, std::string& error)>;

TEST(DiskFailure, AFailingFsyncOrCloseIsAFailedWriteAndKeepsTheOldFile) {
    const std::pair<const char*, Writer> writers[] = {
        {"image file",
         [](const fs::path& dir, std::string& error) {
             return image_file::writeAtomically((dir / "file").string(), "new", &error);
         }},
        {"state file",
         [](const fs::path& dir, std::string& error) {
             sim::SimulatedBoard board;
             board.kestrel().setEeprom(0x8100, 0x00);
             return board.saveState((dir / "file").string(), &error);
         }},
        {"batch output",
         [](const fs::path& dir, std::string& error) {
             batch::OutputFile out;
             std::ostringstream unused;
             return out.prepare((dir / "file").string(), error) && out.commit("new", unused, error);
         }},
        {"batch new file",
         [](const fs::path& dir, std::string& error) {
             batch::OutputFile out;
             std::string path;
             return out.prepare((dir / "other").string(), error) &&
                    out.commitNew("new", path, error);
         }},
        {"backup",
         [](const fs::path& dir, std::string& error) {
             std::string path;
             return backup::saveNew(dir.string(), "other", "new", path, error);
         }},
    };
    const fs::path dir = fs::temp_directory_path() / ("kestrel_disk_" + std::to_string(::getpid()));
    for (const auto& [name, write] : writers) {
        for (const Failing call : {Failing::Write, Failing::Fsync, Failing::Close}) {
            SCOPED_TRACE(std::string(name) + ": call " + std::to_string(static_cast<int>(call)));
            fs::remove_all(dir);
            fs::create_directories(dir);
            std::ofstream(dir / "file") << "old";
            std::string error;
            {
                FailingDisk failing(call);
                EXPECT_FALSE(write(dir, error));
            }
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(slurp(dir / "file"), "old");
            EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
                << "nothing else left in the folder";
            // The same write goes through once the disk works.
            ASSERT_TRUE(write(dir, error)) << error;
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel

// Every writer of the program's files, with write, fsync or close failing: the write is reported as
// failed, the old file is kept as it was and nothing half-written is left beside it. The folder is
// flushed after the rename (a failure there is a failed write too), and permissions are the
// umask's for a new file and kept for a replaced one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "batch/batch_files.h"
#include "bus/disk_calls.h"
#include "bus/durable_file.h"
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

// The folder's flush, after the rename: the file's own fsync works.
int failingFolderFsync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    return ::fsync(fd);
}

enum class Failing { Write, Fsync, Close, FolderFsync };

// Swaps one of the calls for a failing one while it lives.
struct FailingDisk {
    disk::Calls saved = disk::calls();
    explicit FailingDisk(Failing call) {
        if (call == Failing::Write) disk::calls().write = failingWrite;
        if (call == Failing::Fsync) disk::calls().fsync = failingFsync;
        if (call == Failing::Close) disk::calls().close = failingClose;
        if (call == Failing::FolderFsync) disk::calls().fsync = failingFolderFsync;
    }
    ~FailingDisk() { disk::calls() = saved; }
};

std::string slurp(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Each writer replaces dir/file (or adds dir/other, or other-2 ...) with new content.
using Writer = std::function<bool(const fs::path& dir, std::string& error)>;

const std::pair<const char*, Writer> kWriters[] = {
    {"image file",
     [](const fs::path& dir, std::string& error) {
         return image_file::save((dir / "file").string(), {"new"}, 1, &error);
     }},
    {"export",
     [](const fs::path& dir, std::string& error) {
         return durable::replaceFile((dir / "file").string(), "new", error);
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
         return out.prepare((dir / "other").string(), error) && out.commitNew("new", path, error);
     }},
    {"backup",
     [](const fs::path& dir, std::string& error) {
         std::string path;
         return backup::saveNew(dir.string(), "other", "new", path, error);
     }},
};

fs::path freshFolder() {
    const fs::path dir = fs::temp_directory_path() / ("kestrel_disk_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(DiskFailure, AFailingFsyncOrCloseIsAFailedWriteAndKeepsTheOldFile) {
    fs::path dir;
    for (const auto& [name, write] : kWriters) {
        for (const Failing call : {Failing::Write, Failing::Fsync, Failing::Close}) {
            SCOPED_TRACE(std::string(name) + ": call " + std::to_string(static_cast<int>(call)));
            dir = freshFolder();
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

// A new file gets what the umask leaves of 0666, a replaced one keeps its
// permissions (a backup never replaces: its second copy is new again). The
// new name reaches the disk only with its folder: a folder that cannot be
// flushed is a failed write, named, with no temporary file left; so too at
// the end of a trace, which is written in place.
TEST(DiskFailure, PermissionsAreTheUmasksOrKeptAndTheFolderIsFlushed) {
    const mode_t saved = ::umask(027);
    fs::path dir;
    std::string error;
    for (const auto& [name, write] : kWriters) {
        SCOPED_TRACE(name);
        dir = freshFolder();
        ASSERT_TRUE(write(dir, error)) << error;
        const bool replaces = fs::exists(dir / "file");
        const fs::path written = dir / (replaces ? "file" : "other");
        EXPECT_EQ(fs::status(written).permissions(), fs::perms(0640));
        fs::permissions(written, fs::perms(0604));
        ASSERT_TRUE(write(dir, error)) << error;
        EXPECT_EQ(fs::status(written).permissions(), fs::perms(0604));
        EXPECT_EQ(fs::status(dir / "other-2").permissions(),
                  replaces ? fs::perms::unknown : fs::perms(0640));
        FailingDisk failing(Failing::FolderFsync);
        EXPECT_FALSE(write(dir, error));
        EXPECT_NE(error.find("annot flush the folder " + dir.string()), std::string::npos) << error;
        for (const auto& entry : fs::directory_iterator(dir))
            EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
    }
    ::umask(saved);
    const std::string trace = (dir / "other").string();  // a file written in place
    EXPECT_TRUE(durable::flushWritten(trace, error)) << error;
    FailingDisk failing(Failing::FolderFsync);
    EXPECT_FALSE(durable::flushWritten(trace, error));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace kestrel

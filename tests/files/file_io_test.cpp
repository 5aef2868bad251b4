// Saving and reading files: whole replacement or none, kept links and permissions, refused
// non-regular files, and failures that name the file and the system's reason.
#include "foundation/host/sdk/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/files/file_helpers.h"

namespace fs = std::filesystem;
using namespace loom;
using loomtest::Child;
using loomtest::Slurp;
using loomtest::Spit;
using loomtest::TempFolder;
using loomtest::WithFileSizeLimit;

namespace {

std::size_t Temporaries(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().filename().string().find(kTemporaryMarker) != std::string::npos) ++n;
    }
    return n;
}

bool Save(const std::string& path, const std::string& bytes, std::string& err,
          const SaveOptions& o = {}) {
    return SaveFile(path, bytes.data(), bytes.size(), o, err);
}

}  // namespace

TEST(SaveFile, ReplacesWholeAndKeepsPermissionBits) {
    TempFolder dir;
    const std::string path = dir.File("scene.loom");
    std::string err;
    const mode_t old = ::umask(022);
    ASSERT_TRUE(Save(path, "first", err)) << err;
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // a new file: 0666 less the umask
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(Save(path, "second, longer", err)) << err;
    EXPECT_EQ(Slurp(path), "second, longer");
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Temporaries(dir.path), 0u);
}

TEST(SaveFile, WritesThroughASymbolicLinkAndKeepsTheLink) {
    TempFolder dir;
    fs::create_directories(dir.path / "real");
    Spit(dir.File("real/data.bin"), "old");
    fs::create_symlink("real/data.bin", dir.path / "link.bin");
    std::string err;
    ASSERT_TRUE(Save(dir.File("link.bin"), "new", err)) << err;
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.bin"));
    EXPECT_EQ(Slurp(dir.File("real/data.bin")), "new");
    // The temporary lived beside the real file, not beside the link.
    EXPECT_EQ(Temporaries(dir.path), 0u);
    EXPECT_EQ(Temporaries(dir.path / "real"), 0u);
}

TEST(SaveFile, RefusesAReadOnlyFileUnlessForced) {
    TempFolder dir;
    const std::string path = dir.File("keep.png");
    Spit(path, "precious");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    std::string err;
    EXPECT_FALSE(Save(path, "other", err));
    EXPECT_NE(err.find(path), std::string::npos) << err;
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    EXPECT_EQ(Slurp(path), "precious");
    EXPECT_FALSE(CheckOutputFile(path, {}, err));
    SaveOptions force;
    force.force = true;
    EXPECT_TRUE(CheckOutputFile(path, force, err)) << err;
    ASSERT_TRUE(Save(path, "other", err, force)) << err;
    EXPECT_EQ(Slurp(path), "other");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST(SaveFile, RemovesTemporariesOfDeadProcessesButNotOfLiveOnes) {
    TempFolder dir;
    const std::string path = dir.File("a.loom");
    Spit(path, "old");
    Spit(dir.File("victim"), "untouched");
    // A process id that is gone: a child that has ended.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string dead = dir.File(".a.loom.loomtmp." + std::to_string(gone) + ".0123abcd");
    const std::string planted = dir.File(".a.loom.loomtmp." + std::to_string(gone) + ".link");
    const std::string live = dir.File(".a.loom.loomtmp." + std::to_string(::getpid()) + ".live");
    const std::string stale = dir.File(".a.loom.loomtmp." + std::to_string(::getpid()) + ".old");
    const std::string other = dir.File(".b.loom.loomtmp." + std::to_string(gone) + ".0");
    for (const std::string& p : {dead, live, stale, other}) Spit(p, "partial");
    fs::create_symlink(dir.path / "victim", planted);
    const timeval twoDaysAgo[2] = {{std::time(nullptr) - 2 * 86400, 0},
                                   {std::time(nullptr) - 2 * 86400, 0}};
    ASSERT_EQ(::utimes(stale.c_str(), twoDaysAgo), 0);
    std::string err;
    ASSERT_TRUE(Save(path, "new", err)) << err;
    EXPECT_EQ(Slurp(path), "new");
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(fs::symlink_status(planted)));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));   // another save of this process may be under way
    EXPECT_TRUE(fs::exists(other));  // another file's
    EXPECT_EQ(Slurp(dir.File("victim")), "untouched");
}

TEST(SaveFile, AFailedWriteLeavesTheOldFileAndNoTemporary) {
    TempFolder dir;
    const std::string path = dir.File("big.bin");
    Spit(path, "old contents");
    // A file size limit makes the write fail as a full disk does.
    const std::string message = WithFileSizeLimit(4096, [&] {
        std::string err;
        return Save(path, std::string(100000, 'x'), err) ? std::string("saved") : err;
    });
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
    EXPECT_EQ(message.find("Success"), std::string::npos) << message;
    EXPECT_EQ(Slurp(path), "old contents");
    EXPECT_EQ(Temporaries(dir.path), 0u);
}

TEST(SaveFile, AnInterruptStopsBeforeTheFileIsReplaced) {
    TempFolder dir;
    const std::string path = dir.File("out.png");
    Spit(path, "old");
    std::atomic<bool> interrupted{true};
    SaveOptions o;
    o.interrupt = &interrupted;
    std::string err;
    EXPECT_FALSE(Save(path, std::string(3 << 20, 'x'), err, o));
    EXPECT_NE(err.find("interrupted"), std::string::npos) << err;
    EXPECT_EQ(Slurp(path), "old");
    EXPECT_EQ(Temporaries(dir.path), 0u);
}

TEST(CheckOutputFile, RefusesWhatCannotBeSaved) {
    TempFolder dir;
    fs::create_directories(dir.path / "folder.png");
    Spit(dir.File("plain"), "x");
    ASSERT_EQ(::mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
    const struct {
        std::string path, says;
    } cases[] = {
        {dir.File("missing/a.png"), "does not exist"}, {dir.File("folder.png"), "is a folder"},
        {dir.File("folder.png/"), "folder"},           {dir.File("plain/a.png"), "is not a folder"},
        {dir.File("pipe.png"), "not a regular file"},  {"", "no output file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string err;
        EXPECT_FALSE(CheckOutputFile(c.path, {}, err));
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_FALSE(Save(c.path, "data", err));
    }
    std::string err;
    EXPECT_TRUE(CheckOutputFile(dir.File("new.png"), {}, err)) << err;
    EXPECT_FALSE(fs::exists(dir.path / "new.png"));  // checking makes nothing
}

TEST(CheckOutputFile, RefusesAFolderWithoutWritePermission) {
    TempFolder dir;
    fs::create_directories(dir.path / "ro");
    ASSERT_EQ(::chmod(dir.File("ro").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
    // A privileged user may write anywhere: the check runs as an ordinary user.
    const std::string message = Child([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            return std::string("cannot drop privileges");
        }
        std::string err;
        return CheckOutputFile(dir.File("ro/a.png"), {}, err) ? std::string("accepted") : err;
    });
    EXPECT_NE(message.find("ro/a.png"), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EACCES)), std::string::npos) << message;
}

TEST(ReadRegularFile, RefusesNonRegularFilesWithoutBlocking) {
    TempFolder dir;
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    const struct {
        std::string path, says;
    } cases[] = {
        {dir.File("pipe"), "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {dir.path.string(), "is a folder"},
        {dir.File("missing"), std::strerror(ENOENT)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<std::uint8_t> bytes;
        std::string err;
        EXPECT_FALSE(ReadRegularFile(c.path, 1 << 20, bytes, err));
        EXPECT_NE(err.find(c.path), std::string::npos) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
}

TEST(ReadRegularFile, StopsAtTheLimit) {
    TempFolder dir;
    Spit(dir.File("twelve"), "123456789012");
    Spit(dir.File("thirteen"), "1234567890123");
    std::vector<std::uint8_t> bytes;
    std::string err;
    ASSERT_TRUE(ReadRegularFile(dir.File("twelve"), 12, bytes, err)) << err;
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "123456789012");
    EXPECT_FALSE(ReadRegularFile(dir.File("thirteen"), 12, bytes, err));
    EXPECT_NE(err.find("too large"), std::string::npos) << err;
    EXPECT_TRUE(bytes.empty());
}

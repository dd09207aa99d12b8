#include "config/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/runtime_error.h"
#include "common/test_files.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using kobal::config::testing::ReadBytes;
namespace fs = std::filesystem;

namespace {

size_t FileCount(const std::string& dir) {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(NumberForms, PrintedAndTextForms) {
    EXPECT_EQ(PrintedNumber(1), " 1 ");
    EXPECT_EQ(PrintedNumber(0), " 0 ");
    EXPECT_EQ(PrintedNumber(-1), "-1 ");
    EXPECT_EQ(NumberText(150), "150");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(0.5), ".5");
    EXPECT_EQ(NumberText(-0.25), "-.25");
    EXPECT_EQ(NumberText(0.7 * 60), "42");  // binary noise stays hidden
    EXPECT_EQ(NumberText(1e-10 * 60), "6E-09");
}

TEST(SettingsFileText, ALineBreakInATypedValueCannotEndTheFileEarly) {
    SettingsValues v;
    v.priorityup = "100\r\n[end]\r\nspeedup=5";
    const std::string text = SettingsFileText(v);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "priorityup =100[end]speedup=5");
    EXPECT_EQ(text.find("[end]\r\n"), text.size() - 7);
}

TEST(WriteFileReplacing, ReplacesTheFileKeepingItsModeAndLink) {
    TempDir dir;
    const std::string path = dir.Write("real/config.kcfg", "a much longer old content\r\n");
    ::chmod(path.c_str(), 0640);
    fs::create_symlink(path, dir / "config.kcfg");
    WriteFileReplacing(dir / "config.kcfg", "new\r\n");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    EXPECT_TRUE(fs::is_symlink(dir / "config.kcfg"));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(FileCount(dir / "real"), 1u);
}

TEST(WriteFileReplacing, FailuresNameTheFileAndLeaveNoTemporaryFile) {
    TempDir dir;
    try {
        WriteFileReplacing(dir / "missing/config.kcfg", "x");
        ADD_FAILURE() << "no error for a missing directory";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_EQ(e.file(), dir / "missing/config.kcfg");
    }
    fs::create_directories(dir / "res/config.kcfg");
    EXPECT_THROW(WriteFileReplacing(dir / "res/config.kcfg", "x"), RuntimeError);
    EXPECT_EQ(FileCount(dir / "res"), 1u);
}

TEST(WriteFileReplacing, AFullDiskKeepsTheOldFileWhole) {
    TempDir dir;
    const std::string old = "priorityup =100\r\n[end]\r\n";
    const std::string path = dir.Write("config.kcfg", old);

    // A file size limit stands in for a full disk: writing stops after 8 bytes.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    std::optional<RuntimeError> error;
    try {
        WriteFileReplacing(path, std::string(4096, 'x'));
    } catch (const RuntimeError& e) {
        error = e;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), ErrorNumber::DiskFull);
    EXPECT_EQ(error->file(), path);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FileCount(dir.path()), 1u);
}

TEST(WriteFileReplacing, AReadOnlyFileIsRefusedByNameAndKept) {
    TempDir dir;
    const std::string path = dir.Write("config.kcfg", "old\r\n[end]\r\n");
    ::chmod(path.c_str(), 0444);  // refused even where root could write it
    try {
        WriteFileReplacing(path, "new\r\n");
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PermissionDenied);
        EXPECT_EQ(e.file(), path);
        EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadBytes(path), "old\r\n[end]\r\n");
    EXPECT_EQ(FileCount(dir.path()), 1u);
}

TEST(WriteFileReplacing, TemporaryFilesOfKilledWritesGoAtTheNextWrite) {
    TempDir dir;
    const std::string path = dir.Write("config.kcfg", "old\r\n");
    // No process has this number; the parent process still runs.
    dir.Write("config.kcfg.tmp999999999-0", "half");
    dir.Write("config.kcfg.tmp999999999-12", "half");
    const std::string living = "config.kcfg.tmp" + std::to_string(::getppid()) + "-0";
    dir.Write(living, "being written");
    dir.Write("config.kcfg.tmpnotes", "someone's own file");
    dir.Write("other.kcfg.tmp999999999-0", "another file's");
    WriteFileReplacing(path, "new\r\n");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    EXPECT_FALSE(fs::exists(dir / "config.kcfg.tmp999999999-0"));
    EXPECT_FALSE(fs::exists(dir / "config.kcfg.tmp999999999-12"));
    EXPECT_TRUE(fs::exists(dir / living));
    EXPECT_TRUE(fs::exists(dir / "config.kcfg.tmpnotes"));
    EXPECT_TRUE(fs::exists(dir / "other.kcfg.tmp999999999-0"));
}

#include "config/settings_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/runtime_error.h"
#include "common/test_files.h"

using namespace kobal;
using namespace kobal::config;
namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Files in a directory other than the ones named (leftover temporaries).
std::vector<std::string> OtherFiles(const std::string& dir, const std::vector<std::string>& expected) {
    std::vector<std::string> extra;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) extra.push_back(name);
    }
    return extra;
}

}  // namespace

TEST(NumberForms, PrintedNumberHasTheBlanksOfAPrintStatement) {
    EXPECT_EQ(PrintedNumber(1), " 1 ");
    EXPECT_EQ(PrintedNumber(0), " 0 ");
    EXPECT_EQ(PrintedNumber(3), " 3 ");
    EXPECT_EQ(PrintedNumber(-1), "-1 ");
    EXPECT_EQ(PrintedNumber(-32768), "-32768 ");
}

TEST(NumberForms, NumberTextHasNoLeadingZeroAndNoNoise) {
    EXPECT_EQ(NumberText(150), "150");
    EXPECT_EQ(NumberText(75), "75");
    EXPECT_EQ(NumberText(0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(0.5), ".5");
    EXPECT_EQ(NumberText(-0.25), "-.25");
    EXPECT_EQ(NumberText(2.5), "2.5");
    EXPECT_EQ(NumberText(0.1 * 60 / 2), "3");     // binary noise stays hidden
    EXPECT_EQ(NumberText(0.7 * 60), "42");
    EXPECT_EQ(NumberText(0.001 * 60), ".06");
    EXPECT_EQ(NumberText(1e-10 * 60), "6E-09");
    EXPECT_EQ(NumberText(1.5e20), "1.5E+20");
    EXPECT_EQ(NumberText(1.0 / 3 * 60), "20");
    EXPECT_EQ(NumberText(0.123 * 60), "7.38");
}

TEST(SettingsFileText, IsTheTenLinesAndEndWithCrLf) {
    SettingsValues v;
    v.priorityup = "100";
    v.speedup = "abc";
    v.audioon = 1;
    v.showsplash = 0;
    v.boredtime = "12 monkeys";
    v.sleeptime = "";
    v.hibernatetime = "28800";
    v.initialpriority = 3;
    v.transparencyoff = 1;
    v.overrideactor = 0;
    EXPECT_EQ(SettingsFileText(v),
              "priorityup =100\r\n"
              "speedup=abc\r\n"
              "audioon= 1 \r\n"
              "showsplash= 0 \r\n"
              "boredtime=12 monkeys\r\n"
              "sleeptime=\r\n"
              "hibernatetime=28800\r\n"
              "initialpriority= 3 \r\n"
              "transparencyoff= 1 \r\n"
              "overrideactor= 0 \r\n"
              "[end]\r\n");
}

TEST(SettingsFileText, ALineBreakInATypedValueCannotEndTheFileEarly) {
    SettingsValues v;
    v.priorityup = "100\r\n[end]\r\nspeedup=5";
    const std::string text = SettingsFileText(v);
    EXPECT_EQ(text.substr(0, text.find("\r\n")), "priorityup =100[end]speedup=5");
    EXPECT_EQ(text.find("[end]\r\n"), text.size() - 7);
}

TEST(WriteFileReplacing, ReplacesTheWholeFileAndKeepsItsMode) {
    TempDir dir;
    const std::string path = dir.Write("config.kcfg", "a much longer old content than the new one\r\n");
    ::chmod(path.c_str(), 0640);
    WriteFileReplacing(path, "new\r\n");
    EXPECT_EQ(ReadBytes(path), "new\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(OtherFiles(dir.path(), {"config.kcfg"}).empty());
}

TEST(WriteFileReplacing, CreatesAMissingFileAndWritesThroughALink) {
    TempDir dir;
    const std::string fresh = dir / "config.kcfg";
    WriteFileReplacing(fresh, "x");
    EXPECT_EQ(ReadBytes(fresh), "x");

    const std::string real = dir.Write("real/config.kcfg", "old");
    fs::create_directory(dir / "linked");
    fs::create_symlink(real, dir / "linked/config.kcfg");
    WriteFileReplacing(dir / "linked/config.kcfg", "new");
    EXPECT_TRUE(fs::is_symlink(dir / "linked/config.kcfg"));
    EXPECT_EQ(ReadBytes(real), "new");
}

TEST(WriteFileReplacing, FailuresNameTheFileAndLeaveNoTemporaryFile) {
    TempDir dir;
    try {
        WriteFileReplacing(dir / "missing/config.kcfg", "x");
        FAIL() << "no error for a missing directory";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_EQ(e.file(), dir / "missing/config.kcfg");
    }

    fs::create_directories(dir / "res/config.kcfg");
    try {
        WriteFileReplacing(dir / "res/config.kcfg", "x");
        FAIL() << "no error for a directory in the file's place";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathFileAccessError);
        EXPECT_NE(std::string(e.what()).find(dir / "res/config.kcfg"), std::string::npos);
    }
    EXPECT_TRUE(OtherFiles(dir / "res", {"config.kcfg"}).empty());
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
    EXPECT_TRUE(OtherFiles(dir.path(), {"config.kcfg"}).empty());
}

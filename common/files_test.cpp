#include <gtest/gtest.h>

#include "common/install_path.h"
#include "common/line_reader.h"
#include "common/paths.h"
#include "common/playlist_reader.h"
#include "common/random.h"
#include "common/runtime_error.h"
#include "test_files.h"

using namespace kobal;

TEST(LineReader, AcceptsCrLfLfAndCr) {
    TempDir dir;
    const auto path = dir.Write("lines.txt", "a\r\nb\nc\rd");
    LineReader r(path);
    EXPECT_EQ(r.ReadLine(), "a");
    EXPECT_EQ(r.ReadLine(), "b");
    EXPECT_EQ(r.ReadLine(), "c");
    EXPECT_FALSE(r.AtEnd());
    EXPECT_EQ(r.ReadLine(), "d");
    EXPECT_EQ(r.lineNumber(), 4);
    EXPECT_TRUE(r.AtEnd());
    EXPECT_THROW(r.ReadLine(), RuntimeError);
}

TEST(LineReader, OpenFailuresNameThePath) {
    TempDir dir;
    try {
        LineReader r(dir / "missing.kani");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.message(), "Run-time error '53': File not found: " + (dir / "missing.kani"));
    }
    try {
        LineReader r(dir / "nodir/x.kani");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
    }
    // A directory named like a list (an empty list name leaves actorpath alone).
    EXPECT_THROW(LineReader r(dir.path() + "/"), RuntimeError);
}

TEST(Paths, TextRulesAndNativeForm) {
    EXPECT_TRUE(IsAbsolutePath("C:\\actors\\bob.kact"));
    EXPECT_TRUE(IsAbsolutePath("/home/a/bob.kact"));
    EXPECT_FALSE(IsAbsolutePath("actors\\bob.kact"));
    EXPECT_EQ(NativePath("C:\\program files\\kobaltron\\resource\\x"), "/program files/kobaltron/resource/x");
    EXPECT_EQ(NativePath("/opt/k\\resource\\config.kcfg"), "/opt/k/resource/config.kcfg");
    EXPECT_EQ(NativePath("actors\\bob\\"), "actors/bob/");
}

TEST(Paths, NamesThatDifferOnlyInLetterCaseAreFound) {
    TempDir dir;
    dir.Write("Actors/Bob/Walk1.BMP", "x");
    const std::string asWritten = dir.path() + "\\actors\\bob\\walk1.bmp";
    EXPECT_TRUE(FileExists(asWritten));
    EXPECT_FALSE(ExistsExactly(asWritten));
    EXPECT_EQ(ResolvePath(asWritten), dir.path() + "/Actors/Bob/Walk1.BMP");
    EXPECT_TRUE(DirectoryExists(dir.path() + "/ACTORS"));
    EXPECT_FALSE(FileExists(dir.path() + "/actors/bob/walk2.bmp"));
    EXPECT_EQ(ResolvePath(dir.path() + "/actors/nobody"), dir.path() + "/actors/nobody");
    LineReader r(dir.path() + "/ACTORS/BOB/WALK1.bmp");
    EXPECT_EQ(r.ReadLine(), "x");
}

TEST(PlaylistReader, FieldsQuotesAndBlanks) {
    TempDir dir;
    const auto path = dir.Write("list.kpls",
                                "/a/bob.kact,  /a/ann.kact\r\n"
                                "\"/a/with, comma.kact\"\r\n"
                                "\r\n"
                                "   \"/a/q.kact\" , /a/last.kact   \r\n");
    PlaylistReader r(path);
    std::vector<std::string> fields;
    while (!r.AtEnd()) fields.push_back(r.ReadField());
    EXPECT_EQ(fields, (std::vector<std::string>{"/a/bob.kact", "/a/ann.kact", "/a/with, comma.kact",
                                                "/a/q.kact", "/a/last.kact"}));
    EXPECT_THROW(r.ReadField(), RuntimeError);
}

TEST(PlaylistReader, EmptyFileHasNoFields) {
    TempDir dir;
    PlaylistReader r(dir.Write("empty.kpls", ""));
    EXPECT_TRUE(r.AtEnd());
    PlaylistReader r2(dir.Write("blank.kpls", "\r\n  \r\n"));
    EXPECT_TRUE(r2.AtEnd());
    PlaylistReader r3(dir.Write("one.kpls", "x.kact"));
    EXPECT_EQ(r3.ReadField(), "x.kact");
    EXPECT_TRUE(r3.AtEnd());
}

TEST(InstallPath, DefaultFollowsTheRunningProgram) {
    EXPECT_EQ(DefaultInstallPath("/opt/kobaltron/resource"), "/opt/kobaltron");
    EXPECT_EQ(DefaultInstallPath("/opt/k b/Resource/"), "/opt/k b");
    ::setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
    EXPECT_EQ(DefaultInstallPath("/usr/bin"), "/tmp/xdg-data/kobaltron");
    EXPECT_EQ(InstallDirFrom("/opt/k"), "/opt/k\\");

    struct Store : InstallPathStore {
        std::optional<std::string> value;
        std::optional<std::string> ReadApplicationPath() override { return value; }
        void WriteApplicationPath(const std::string& p) override { value = p; }
    } store;
    EXPECT_EQ(ReadInstallPath(store, "/def"), "/def");
    store.WriteApplicationPath("/mine");
    EXPECT_EQ(ReadInstallPath(store, "/def"), "/mine");
}

TEST(ClassicRandom, RepeatableInRangeAndSeedDependent) {
    ClassicRandom a, b;
    a.Seed(12345);
    b.Seed(12345);
    for (int i = 0; i < 1000; ++i) {
        const double x = a.Next();
        EXPECT_EQ(x, b.Next());
        ASSERT_GE(x, 0.0);
        ASSERT_LT(x, 1.0);
    }
    ClassicRandom c;
    c.Seed(12346);
    a.Seed(12345);
    bool differs = false;
    for (int i = 0; i < 10; ++i) differs |= a.Next() != c.Next();
    EXPECT_TRUE(differs);
}

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

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

// What is not a regular file reads as no file, at once: a FIFO without a
// writer (which would block an open for ever), /dev/zero behind a link
// (which would never end a line) and a socket.
TEST(LineReader, OnlyRegularFilesAreRead) {
    TempDir dir;
    const std::string fifo = dir / "walk.kani";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string zero = dir / "zero.krnd";
    std::filesystem::create_symlink("/dev/zero", zero);
    const std::string sock = dir / "sock.kact";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(sock.size(), sizeof addr.sun_path);
    std::copy(sock.begin(), sock.end(), addr.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    const std::string linkToFifo = dir / "link.kpls";
    std::filesystem::create_symlink(fifo, linkToFifo);

    for (const std::string& path : {fifo, zero, sock, linkToFifo}) {
        try {
            LineReader r(path);
            ADD_FAILURE() << path << " was opened";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::FileNotFound) << e.message();
            EXPECT_NE(e.message().find(path), std::string::npos) << e.message();
        }
        EXPECT_THROW(PlaylistReader p(path), RuntimeError) << path;
    }
    ::close(fd);
}

TEST(LineReader, LongLinesEndWithAnErrorNamingFileAndLine) {
    TempDir dir;
    const std::string limit(kMaxLineLength, 'x');
    const auto path = dir.Write("long.krnd", "2\r\n" + limit + "\r\n" + limit + "y\r\n");
    LineReader r(path);
    EXPECT_EQ(r.ReadLine(), "2");
    EXPECT_EQ(r.ReadLine(), limit);  // the longest line that still reads
    try {
        r.ReadLine();
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::OutOfStringSpace);
        EXPECT_EQ(e.file(), path);
        EXPECT_EQ(e.line(), 3);
    }
    // A playlist field, quoted or not, has the same limit.
    PlaylistReader p(dir.Write("long.kpls", "a.kact," + limit + "y\r\n"));
    EXPECT_EQ(p.ReadField(), "a.kact");
    EXPECT_THROW(p.ReadField(), RuntimeError);
    PlaylistReader q(dir.Write("quoted.kpls", "\"" + limit + "y\"\r\n"));
    EXPECT_THROW(q.ReadField(), RuntimeError);
}

// Some editors begin a UTF-8 file with a byte-order mark; it is not part of
// the first line. Only the whole mark at the very start is skipped.
TEST(LineReader, ByteOrderMarkAtTheStartIsSkipped) {
    TempDir dir;
    LineReader r(dir.Write("bom.kani",
                           "\xEF\xBB\xBF"
                           "framecount=2\r\n\xEF\xBB\xBFx\r\n"));
    EXPECT_EQ(r.ReadLine(), "framecount=2");
    EXPECT_EQ(r.ReadLine(), "\xEF\xBB\xBFx");
    LineReader half(dir.Write("half.kani", "\xEF\xBBx\r\n"));
    EXPECT_EQ(half.ReadLine(), "\xEF\xBBx");
    LineReader onlyMark(dir.Write("mark.kani", "\xEF\xBB\xBF"));
    EXPECT_TRUE(onlyMark.AtEnd());
    PlaylistReader p(dir.Write("bom.kpls",
                               "\xEF\xBB\xBF"
                               "bob.kact\r\n"));
    EXPECT_EQ(p.ReadField(), "bob.kact");
}

// Text kept in memory reads as its file: the same lines, the same errors
// naming the file and line; it is what follows a mark already skipped.
TEST(LineReader, TextInMemoryReadsAsItsFile) {
    const std::string limit(kMaxLineLength, 'x');
    const std::string text = std::string(
                                 "\xEF\xBB\xBF"
                                 "a\0b\r\nc\nd\re\r\n",
                                 14) +
                             limit + "\r\n" + limit + "y";
    LineReader r("/actors/walk.kani", std::make_shared<const std::string>(text));
    EXPECT_EQ(r.name(), "/actors/walk.kani");
    EXPECT_EQ(r.ReadLine(), std::string("\xEF\xBB\xBF"
                                        "a\0b",
                                        6));
    for (const char* line : {"c", "d", "e"}) EXPECT_EQ(r.ReadLine(), line);
    EXPECT_EQ(r.ReadLine(), limit);
    EXPECT_FALSE(r.AtEnd());
    try {
        r.ReadLine();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::OutOfStringSpace);
        EXPECT_EQ(e.file(), "/actors/walk.kani");
        EXPECT_EQ(e.line(), 6);
    }
    LineReader empty("/actors/empty.kani", std::make_shared<const std::string>());
    EXPECT_TRUE(empty.AtEnd());
    try {
        empty.ReadLine();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::InputPastEndOfFile);
        EXPECT_EQ(e.message(), "Run-time error '62': Input past end of file: /actors/empty.kani, line 1");
    }
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
    EXPECT_EQ(fields, (std::vector<std::string>{"/a/bob.kact", "/a/ann.kact", "/a/with, comma.kact", "/a/q.kact",
                                                "/a/last.kact"}));
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

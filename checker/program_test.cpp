// kobalcheck as authors run it: the staged program, its exit status and
// output, on the staged sample actors and on the corpus.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "checker/program_run.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker::testing;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Stage() {
    return KOBAL_STAGE_DIR;
}

bool SamplesStaged() {
    return std::filesystem::exists(Stage() + "/actors/samples.kpls") &&
           std::filesystem::exists(Stage() + "/resource/config.kcfg");
}

}  // namespace

TEST(Kobalcheck, TheSampleActorsPassWithoutError) {
    if (!SamplesStaged()) GTEST_SKIP() << "the sample actors are not staged";
    for (const char* file : {"actors/samples.kpls", "actors/kobi/kobi.kact", "actors/tron/tron.kact"}) {
        const Result r = Kobalcheck(Stage(), std::string("--install . ") + file, true);
        EXPECT_EQ(r.status, 0) << file << "\n" << r.output;
        EXPECT_EQ(r.output.find(": error: "), std::string::npos) << r.output;
    }
    // Run from its place in resource/, the program finds its install directory itself.
    EXPECT_EQ(Kobalcheck(Stage(), "actors/samples.kpls").status, 0);
}

TEST(Kobalcheck, ASampleRunIsRepeatableForOneSeed) {
    if (!SamplesStaged()) GTEST_SKIP() << "the sample actors are not staged";
    for (const char* file : {"actors/kobi/kobi.kact", "actors/tron/tron.kact"}) {
        const std::string args = std::string("--install . --run 300 ") + file + " --seed ";
        const Result first = Kobalcheck(Stage(), args + "11");
        const Result again = Kobalcheck(Stage(), args + "11");
        const Result other = Kobalcheck(Stage(), args + "12");
        EXPECT_EQ(first.status, 0) << first.output.substr(first.output.size() > 2000 ? first.output.size() - 2000 : 0);
        EXPECT_EQ(first.output, again.output);
        EXPECT_NE(first.output, other.output);
        EXPECT_NE(first.output.find("300000 ms  end"), std::string::npos);
    }
}

TEST(Kobalcheck, ReportsRelativeToTheWorkingDirectoryAndFailsOnErrors) {
    CorpusInstall broken("missing_picture");
    Result r = Kobalcheck(broken.path(), "--install . a/actor.kact");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "a/left.kani:14: error: picture \"f9.bmp\" not found: a/f9.bmp\n");

    // Warnings alone do not fail.
    CorpusInstall warned("no_key_colour");
    r = Kobalcheck(warned.path(),
                   "--install " + ShellQuoted(warned.path()) + " " + ShellQuoted(warned / "a/actor.kact"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "a/sleep.kani:13: warning: key colour 255,0,255 appears nowhere in picture \"plain.bmp\": the "
              "whole rectangle shows\n");

    r = Kobalcheck(warned.path(), "--install . a/nothing.kact");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "a/nothing.kact: error: actor file not found\n");
}

TEST(Kobalcheck, TakesARelativeNameWhereTheLauncherFindsIt) {
    CorpusInstall install("missing_picture");
    TempDir here;
    here.Write(".keep", "");
    const std::string args = "--install " + ShellQuoted(install.path()) + " a/actor.kact";
    // Only below the install directory: checked there (it lacks a picture).
    Result r = Kobalcheck(here.path(), args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("error: picture \"f9.bmp\" not found"), std::string::npos) << r.output;

    // Here as well: this one wins, and it is the one the report names.
    here.Write("a/actor.kact", "version=Kobaltron V1.0\r\nactorname=Here\r\n");
    r = Kobalcheck(here.path(), args);
    EXPECT_EQ(r.output.find("f9.bmp"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.rfind("a/actor.kact:", 0), 0u) << r.output;

    // In neither: named as typed.
    r = Kobalcheck(here.path(), "--install " + ShellQuoted(install.path()) + " a/nothing.kact");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "a/nothing.kact: error: actor file not found\n");
}

// An info line is no problem: the status stays 0; the summary counts it.
TEST(Kobalcheck, InfoLinesLeaveTheExitStatusAlone) {
    CorpusInstall install;
    install.dir.Write("a/left.kani",
                      "framecount=2\nframepause=4\ntimerspeed=50\nmovespeed=30\nactorwidth=16\n"
                      "actorheight=12\ntransparentred=255\ntransparentgreen=0\ntransparentblue=255\n"
                      "[end]\nf1.bmp\nf2.bmp\n");
    Result r = Kobalcheck(install.path(), "--install . a/actor.kact", true);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("a/left.kani:2: info: frame 1 \"f1.bmp\" shows for 4 ticks (200 ms)"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("kobalcheck: 0 errors, 0 warnings, 1 info line\n"), std::string::npos) << r.output;

    // Files given together are actors running side by side: a second actor
    // file for the same files has no dance.krnd for the first one's message.
    install.dir.Write("b/actor.kact", ReadFile(install / "a/actor.kact"));
    r = Kobalcheck(install.path(), "--install . a/actor.kact b/actor.kact");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("a/active.krnd:5: warning: link message \"*%*dance.krnd\" names a list that none of "
                            "the actors it reaches has: b/actor.kact (ann) has no a/dance.krnd"),
              std::string::npos)
        << r.output;
    r = Kobalcheck(install.path(), "--install . a/actor.kact a/actor.kact");
    EXPECT_EQ(r.output.find("link message"), std::string::npos) << "one actor named twice is one actor";
}

TEST(Kobalcheck, ABadCommandLineIsRefusedWithUsage) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"", "kobalcheck: no actor file or playlist given"},
        {"--run", "kobalcheck: --run needs a number of seconds"},
        {"--run ten a.kact", "kobalcheck: SECONDS \"ten\" is not a number from 0 to 604800"},
        {"--run 5 --seed -1 a.kact", "kobalcheck: seed \"-1\" is not a number"},
        {"--screen 1920 a.kact", "kobalcheck: screen size \"1920\" is not WIDTHxHEIGHT"},
        {"--run 5 a.kact b.kact", "kobalcheck: --run takes exactly one actor file"},
        {"--run 5 actors/Samples.KPL", "kobalcheck: --run takes one actor file, and actors/Samples.KPL is a playlist"},
        {"--frobnicate a.kact", "kobalcheck: unknown option --frobnicate"},
        {"--install /nonexistent/kobal a.kact", "kobalcheck: install directory \"/nonexistent/kobal\" not found"},
    };
    for (const auto& c : cases) {
        const Result r = Kobalcheck(here, c.args, true);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.output.rfind(c.message, 0), 0u) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find("Usage: kobalcheck"), std::string::npos) << c.args;
    }
}

TEST(Kobalcheck, BadPreviewOptionsAreRefusedWithUsage) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        const char* args;
        const char* message;
    } cases[] = {
        {"--run 5 --click soon a.kact", "kobalcheck: --click \"soon\" is not a time in seconds such as 5 or 2.5"},
        {"--run 5 --click 1.2345 a.kact", "kobalcheck: --click \"1.2345\" is not a time in seconds"},
        {"--run 5 --click -1 a.kact", "kobalcheck: --click \"-1\" is not a time in seconds"},
        {"--run 5 --click 5.5 a.kact", "kobalcheck: --click 5.5 is after the end of the run (5 seconds)"},
        {"--run 5 --message 2", "kobalcheck: --message needs a LIST after the time"},
        {"--run 5 --message 9 x.krnd a.kact", "kobalcheck: --message 9 is after the end of the run (5 seconds)"},
        {"--run 5 --message 1 '' a.kact", "kobalcheck: --message needs a LIST after the time, and it is empty"},
        {"--run 5 --list wave.kani a.kact",
         "kobalcheck: --list takes a random-choice list (a name ending in .krnd), and \"wave.kani\" is not one"},
        {"--summary a.kact", "kobalcheck: --summary needs --run SECONDS"},
        {"--click 1 a.kact", "kobalcheck: --click needs --run SECONDS"},
        {"--windows w.txt a.kact", "kobalcheck: --windows needs --run SECONDS"},
        {"--run 5 --gif /nonexistent/kobal/p.gif a.kact",
         "kobalcheck: cannot write the GIF \"/nonexistent/kobal/p.gif\": folder \"/nonexistent/kobal\" not found"},
    };
    for (const auto& c : cases) {
        const Result r = Kobalcheck(here, c.args, true);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.output.rfind(c.message, 0), 0u) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find("Usage: kobalcheck"), std::string::npos) << c.args;
    }
}

TEST(Kobalcheck, AWindowLayoutThatCannotBeReadIsNamedWithItsLine) {
    CorpusInstall install;
    install.dir.Write("w.txt", "# windows\n800 500 400 300 closes 5\n800 500 400 300 opens 5\n");
    Result r = Kobalcheck(install.path(), "--install . --run 10 --windows w.txt a/actor.kact", true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.output.rfind("kobalcheck: w.txt:3: \"opens\" is not \"closes\", \"moves\" or \"fullscreen\"", 0), 0u)
        << r.output;
    EXPECT_EQ(r.output.find("Usage:"), std::string::npos) << r.output;
    r = Kobalcheck(install.path(), "--install . --run 10 --windows none.txt a/actor.kact", true);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.output.rfind("kobalcheck: cannot read the window layout none.txt: No such file or directory", 0), 0u)
        << r.output;
    // A good one runs, its windows at the head of the timeline.
    install.dir.Write("w.txt", "800 500 400 300 closes 5\n");
    r = Kobalcheck(install.path(), "--install . --run 10 --windows w.txt a/actor.kact");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("# window 1: 800,500 400x300 pixels, closes at 5000 ms\n"), std::string::npos) << r.output;
}

// Kobi among windows: it lands on them, and each fall from one plays its fall list.
TEST(Kobalcheck, TheSampleActorLandsOnWindowsAndFallsWithItsFallList) {
    if (!SamplesStaged()) GTEST_SKIP() << "the sample actors are not staged";
    TempDir dir;
    const std::string layout = dir.Write("w.txt", "700 600 500 300 closes 40\n0 850 1920 100 moves 60 0 -100\n");
    int lands = 0, falls = 0;
    for (int seed = 1; seed <= 6; ++seed) {
        const Result r = Kobalcheck(Stage(), "--install . --run 120 --summary --windows " + layout +
                                                 " actors/kobi/kobi.kact --seed " + std::to_string(seed));
        ASSERT_EQ(r.status, 0) << r.output;
        std::istringstream in(r.output);
        std::vector<std::string> now;  // the lines of one time
        for (std::string line; std::getline(in, line);) {
            if (now.empty() || now.back().substr(0, 10) != line.substr(0, 10)) now.clear();
            now.push_back(line);
            if (line.find(" lands on window ") != std::string::npos) ++lands;
            if (line.find(" falls: ") == std::string::npos) continue;
            ++falls;
            const bool descends = std::any_of(now.begin(), now.end(), [](const std::string& l) {
                return l.find("action type=3 (descend) anim=fall.kani from=drop.krnd") != std::string::npos;
            });
            EXPECT_TRUE(descends) << line << "\n" << r.output;
        }
    }
    EXPECT_GT(lands, 0);
    EXPECT_GT(falls, 0);
}

TEST(Kobalcheck, APreviewRunWritesAGifThatReadsBack) {
    CorpusInstall install;
    const std::string args =
        "--install . --run 20 --click 2.5 --message 4 more.krnd --summary --gif p.gif a/actor.kact";
    const Result r = Kobalcheck(install.path(), args, true);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("2500 ms  click    "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("# totals over 20000 ms"), std::string::npos) << r.output;
    const std::regex wrote("kobalcheck: wrote p.gif: ([0-9]+) frames, 16x12 pixels, 0 to 20000 ms\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.output, m, wrote)) << r.output;
    const std::string gif = ReadFile(install / "p.gif");
    EXPECT_EQ(gif.rfind("GIF89a", 0), 0u);
    EXPECT_EQ(gif.back(), ';');

    // One seed, one file.
    ASSERT_EQ(Kobalcheck(install.path(), args + " --gif q.gif").status, 0);
    EXPECT_EQ(ReadFile(install / "q.gif"), gif);

    // ImageMagick, where it is installed, agrees on the frames and their delays.
    if (std::system("identify -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ImageMagick here";
    const std::string command = "cd " + ShellQuoted(install.path()) + " && identify -format '%T\\n' p.gif";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    int frames = 0, total = 0;
    for (int delay; std::fscanf(pipe, "%d", &delay) == 1; ++frames) total += delay;
    EXPECT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(frames, std::stoi(m[1]));
    EXPECT_EQ(total, 2000);
}

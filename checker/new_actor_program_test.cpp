// kobalcheck --new as an author types it: what it says, its exit status,
// and an actor the staged checker then passes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "checker/program_run.h"
#include "common/test_files.h"

using kobal::checker::testing::Kobalcheck;
using kobal::checker::testing::ShellQuoted;
using Outcome = kobal::checker::testing::Result;

namespace {

bool Staged() {
    return std::filesystem::exists(std::string(KOBAL_STAGE_DIR) + "/resource/config.kcfg") &&
           std::filesystem::exists(std::string(KOBAL_STAGE_DIR) + "/actors/kobi");
}

}  // namespace

TEST(KobalcheckNew, WritesAnActorThatPassesAndSaysWhereAndHowToGoOn) {
    if (!Staged()) GTEST_SKIP() << "the install directory is not staged";
    kobal::TempDir work;
    const std::string install = "--install " + ShellQuoted(KOBAL_STAGE_DIR) + " ";
    const Outcome made = Kobalcheck(work.path(), install + "--new pip mine", true);
    EXPECT_EQ(made.status, 0) << made.output;
    const std::string folder = work / "mine/pip/";
    EXPECT_NE(made.output.find("wrote the actor pip in " + folder + "\n"), std::string::npos) << made.output;
    EXPECT_NE(made.output.find("Check it:  kobalcheck " + folder + "pip.kact"), std::string::npos) << made.output;
    EXPECT_NE(made.output.find("Start it:  kobaltron " + folder + "pip.kact"), std::string::npos) << made.output;
    for (const char* file : {"pip.kact", "active.krnd", "hello.wav", "icon.ico", "splash.bmp", "idle.bmp"})
        EXPECT_NE(made.output.find(file), std::string::npos) << file;

    // Checked from its own folder, from the parent, and by absolute name.
    for (const auto& [dir, name] :
         {std::pair{folder, std::string("pip.kact")}, {work.path(), "mine/pip/pip.kact"}, {"/", folder + "pip.kact"}}) {
        const Outcome checked = Kobalcheck(dir, install + ShellQuoted(name), true);
        EXPECT_EQ(checked.status, 0) << checked.output;
        EXPECT_EQ(checked.output, "kobalcheck: 0 errors, 0 warnings\n") << dir << " " << name;
    }
}

// Twenty minutes nobody clicks: active, bored and asleep, every animation but
// the click's played, and no run-time error.
TEST(KobalcheckNew, TheActorRunsThroughItsStatesHeadless) {
    if (!Staged()) GTEST_SKIP() << "the install directory is not staged";
    kobal::TempDir work;
    const std::string install = "--install " + ShellQuoted(KOBAL_STAGE_DIR) + " ";
    ASSERT_EQ(Kobalcheck(work.path(), install + "--new pip .", true).status, 0);
    const Outcome run = Kobalcheck(work / "pip", install + "--run 1200 --seed 3 pip.kact", true);
    EXPECT_EQ(run.status, 0) << run.output.substr(run.output.size() > 2000 ? run.output.size() - 2000 : 0);
    for (const char* seen :
         {"anim=walkleft.kani", "anim=walkright.kani", "anim=climb.kani", "anim=fall.kani", "anim=land.kani",
          "anim=idle.kani", "anim=sleep.kani", "state=Bored", "state=Sleep", "1200000 ms  end"})
        EXPECT_NE(run.output.find(seen), std::string::npos) << seen;
}

TEST(KobalcheckNew, RefusesBadNamesTakenFoldersAndNamesTheInstallDirectoryUses) {
    if (!Staged()) GTEST_SKIP() << "the install directory is not staged";
    kobal::TempDir work;
    const std::string install = "--install " + ShellQuoted(KOBAL_STAGE_DIR) + " ";
    for (const char* bad : {"''", "a/b", "..", "'a%b'"}) {
        const Outcome r = Kobalcheck(work.path(), install + "--new " + bad + " here", true);
        EXPECT_EQ(r.status, 2) << bad << "\n" << r.output;
        EXPECT_NE(r.output.find("kobalcheck: the actor's name"), std::string::npos) << r.output;
    }
    EXPECT_FALSE(std::filesystem::exists(work / "here"));

    // The sample actor's folder below the install directory would win over
    // the new actor's own files.
    const Outcome sample = Kobalcheck(work.path(), install + "--new kobi here", true);
    EXPECT_EQ(sample.status, 1);
    EXPECT_NE(sample.output.find("already holds an actor folder named kobi"), std::string::npos) << sample.output;
    EXPECT_FALSE(std::filesystem::exists(work / "here/kobi"));

    work.Write("here/pip/notes.txt", "mine\n");
    const Outcome taken = Kobalcheck(work.path(), install + "--new pip here", true);
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.output.find(work / "here/pip already exists"), std::string::npos) << taken.output;
    EXPECT_FALSE(std::filesystem::exists(work / "here/pip/pip.kact"));

    for (const char* args : {"--new pip", "--new", "--new pip here other.kact", "--run 5 --new pip here"}) {
        const Outcome r = Kobalcheck(work.path(), install + args, true);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.output;
    }
}

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "checker/actor_checker.h"
#include "checker/qt_pictures.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;

namespace {

std::vector<std::string> Check(const CorpusInstall& install, const std::string& file) {
    QtPictureInspector pictures;
    Report report(install.path());
    ActorChecker checker({install.path()}, pictures, report);
    checker.CheckFile(install / file);
    return report.Lines();
}

std::vector<std::string> CaseNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CorpusDir()))
        if (entry.is_directory() && entry.path().filename() != "base")
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Checker, TheCorpusBaseActorIsClean) {
    CorpusInstall install;
    EXPECT_EQ(Check(install, "a/actor.kact"), std::vector<std::string>{});
}

// As the programs do: the actor's files beside a copied actor file whose
// actorpath the install lacks, and the user's own settings file.
TEST(Checker, FindsACopiedActorAndReadsTheUsersOwnSettings) {
    namespace fs = std::filesystem;
    CorpusInstall install;
    TempDir home;
    fs::create_directories(home / "Downloads/ann");
    fs::copy(install / "a", home / "Downloads/ann", fs::copy_options::recursive);
    fs::remove_all(install / "a");
    const std::string own = home / "config/kobaltron/config.kcfg";
    auto check = [&] {
        QtPictureInspector pictures;
        Report report(home.path());
        ActorChecker checker({install.path(), {own, ""}}, pictures, report);
        checker.CheckFile(home / "Downloads/ann/actor.kact");
        return report.Lines();
    };
    EXPECT_EQ(check(), std::vector<std::string>{});

    home.Write("config/kobaltron/config.kcfg", "speedup=0\r\npriorityup=100\r\n[end]\r\n");
    const std::vector<std::string> lines = check();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("config/kobaltron/config.kcfg:1: error: speedup is 0", 0), 0u) << lines[0];
}

// Each case of the corpus is the good actor with one mistake laid over it;
// its expected.txt holds the exact report, line for line.
class Corpus : public ::testing::TestWithParam<std::string> {};

TEST_P(Corpus, ReportsExactlyTheExpectedLines) {
    const std::string name = GetParam();
    CorpusInstall install(name);
    const std::string target = std::filesystem::exists(install / "playlist.kpls") ? "playlist.kpls" : "a/actor.kact";
    const std::vector<std::string> expected = ReadLines(CorpusDir() + "/" + name + "/expected.txt");
    ASSERT_FALSE(expected.empty()) << "a case states what it expects";
    EXPECT_EQ(Check(install, target), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Corpus, ::testing::ValuesIn(CaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

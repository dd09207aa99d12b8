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
        if (entry.is_directory() && entry.path().filename() != "base") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Checker, TheCorpusBaseActorIsClean) {
    CorpusInstall install;
    EXPECT_EQ(Check(install, "a/actor.kact"), std::vector<std::string>{});
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

// The keys of actors that stand on windows: the fall list an actor plays
// when its window goes, and the on/off preferences that take only 0 or 1.
#include <gtest/gtest.h>

#include "checker/actor_checker.h"
#include "checker/qt_pictures.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;

namespace {

// The corpus actor's first eleven lines; each case's lines follow from line 12.
const char* kActorHead =
    "version=Kobaltron V1.0\r\nactorname=Ann\r\nactorddename=ann\r\nactorpath=a\\\r\niconfile=icon.bmp\r\n"
    "activefile=active.krnd\r\nresponsefile=response.krnd\r\nboredfile=bored.krnd\r\nsleepfile=sleep.krnd\r\n"
    "infofile=info.txt\r\nsplashscreen=splash.bmp\r\n";

struct Case {
    const char* what;
    const char* config;     // global settings from line 3 on
    const char* actorTail;  // from line 12 on
    std::vector<std::pair<const char*, const char*>> files;
    std::vector<std::string> expected;
};

std::vector<std::string> CheckCase(const Case& c) {
    CorpusInstall install;
    install.dir.Write("resource/config.kcfg",
                      std::string("priorityup=100\r\nspeedup=100\r\nshowsplash=0\r\n") + c.config + "[end]\r\n");
    install.dir.Write("a/actor.kact", std::string(kActorHead) + c.actorTail + "[end]\r\n");
    for (const auto& [name, text] : c.files) install.dir.Write(name, text);
    QtPictureInspector pictures;
    Report report(install.path());
    ActorChecker checker({install.path()}, pictures, report);
    checker.CheckFile(install / "a/actor.kact");
    return report.Lines();
}

const char* kFall = "1\r\n!03|-400|left.kani|\r\n";

}  // namespace

TEST(FallList, IsOptionalAndCheckedLikeTheStateListsWithAllItLeadsTo) {
    const std::string noAction =
        "fallfile \"drop.krnd\" leads to no action: in that state the actor stands where it "
        "is, showing one frame per tick, until it is clicked";
    const Case cases[] = {
        {"a fall that descends", "", "fallfile=drop.krnd\r\n", {{"a/drop.krnd", kFall}}, {}},
        {"an empty value is no fall list", "", "fallfile=\r\n", {}, {}},
        {"missing",
         "",
         "fallfile=gone.krnd\r\n",
         {},
         {"a/actor.kact:12: error: list \"gone.krnd\" not found: a/gone.krnd"}},
        {"another letter case",
         "",
         "fallfile=Drop.krnd\r\n",
         {{"a/drop.krnd", kFall}},
         {"a/actor.kact:12: warning: \"Drop.krnd\" matches \"drop.krnd\" only with another letter case: "
          "a/drop.krnd"}},
        {"a count past its entries",
         "",
         "fallfile=drop.krnd\r\n",
         {{"a/drop.krnd", "2\r\n!03|-400|left.kani|\r\n"}},
         {"a/drop.krnd:1: error: count 2 is larger than its 1 entry: picking entry 2 ends with Input past end of "
          "file"}},
        {"a list it names is followed",
         "",
         "fallfile=drop.krnd\r\n",
         {{"a/drop.krnd", "1\r\ndeeper.krnd\r\n"}, {"a/deeper.krnd", "1\r\n!03|-400|left.kani|gone.krnd\r\n"}},
         {"a/deeper.krnd:2: error: next list \"gone.krnd\" not found: a/gone.krnd"}},
        {"an animation alone starts no fall",
         "",
         "fallfile=drop.krnd\r\n",
         {{"a/drop.krnd", "1\r\nwave.kani\r\n"}},
         {"a/actor.kact:12: warning: " + noAction}},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckCase(c), c.expected) << c.what;
}

TEST(OnOffPreferences, AValueOtherThanZeroOrOneIsAWarningWhereItIsGiven) {
    const std::string floors =
        "windowfloors 2 is neither 0 nor 1: it is taken as 0, so only the monitors' edges "
        "are floors";
    const Case cases[] = {
        {"both set by the actor", "", "windowfloors=1\r\nhidefullscreen=0\r\n", {}, {}},
        {"the actor's own", "", "windowfloors=2\r\n", {}, {"a/actor.kact:12: warning: " + floors}},
        {"the actor's wins over the global file",
         "windowfloors=1\r\n",
         "windowfloors=2\r\n",
         {},
         {"a/actor.kact:12: warning: " + floors}},
        {"the global file's",
         "hidefullscreen=3\r\nwindowfloors=-1\r\n",
         "",
         {},
         {"resource/config.kcfg:4: warning: hidefullscreen 3 is neither 0 nor 1: it is taken as 0, so actors stay "
          "while a window is fullscreen",
          "resource/config.kcfg:5: warning: windowfloors -1 is neither 0 nor 1: it is taken as 0, so only the "
          "monitors' edges are floors"}},
        {"under overrideactor the actor's line changes nothing",
         "overrideactor=1\r\nwindowfloors=1\r\n",
         "windowfloors=2\r\n",
         {},
         {"a/actor.kact:12: warning: \"windowfloors\" is ignored: config.kcfg sets overrideactor=1"}},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckCase(c), c.expected) << c.what;
}

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/runtime_error.h"
#include "common/test_files.h"
#include "config/config_window.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::testing;

namespace {

using V = std::vector<std::string>;
using A = FakeWizard::Answer;

struct WizardTest : ::testing::Test {
    TempDir product;
    Fakes fakes;
    ConfigWindow window{fakes.ports(), "/nonexistent"};

    void SetUp() override {
        product.Write("resource/kobalactor", "");
        product.Write("resource/wizard.gif", "GIF89a");
        window.apath.text = product.path();
        window.Reset_Click();
    }

    // Runs the wizard answering smoothness, speed and minutes.
    void Run(int s, int f, const std::string& minutes) {
        fakes.wizard.script = {A::Ok(), A::Choice(s), A::Choice(f), A::Text(minutes), A::Ok()};
        window.Calibrate_Click();
    }

    std::vector<std::string> Times() const {
        return {window.sleeps.text, window.boreds.text, window.hyber.text};
    }
};


}  // namespace

TEST_F(WizardTest, AcceptingTheProposalsAsksEveryQuestionInTurn) {
    window.Calibrate_Click();
    EXPECT_EQ(window.timerup.text, "100");
    EXPECT_EQ(window.moveup.text, "100");
    EXPECT_EQ(Times(), (V{"360", "180", "3600"}));
    EXPECT_FALSE(window.ended());

    const auto& seen = fakes.wizard.seen;
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].label,
              "Welcome to the configuration Wizard, This will configure the advanced settings by asking you a few "
              "simple questions\r\rTo begin please click OK\r");
    EXPECT_FALSE(seen[0].textboxVisible);
    EXPECT_FALSE(seen[0].comboboxVisible);

    EXPECT_EQ(seen[1].label,
              "How smooth do you want movement to be?\r\r(Less smooth will reduce cpu usage, smoother will increase "
              "it)\r");
    EXPECT_EQ(seen[1].items, (V{"Smoother Motion", "Normal Motion", "Less Smooth Motion"}));
    EXPECT_EQ(seen[1].position, 1);
    EXPECT_TRUE(seen[1].comboboxVisible);
    EXPECT_FALSE(seen[1].textboxVisible);

    EXPECT_EQ(seen[2].label, "How fast do you want the actor to move?\r");
    EXPECT_EQ(seen[2].items, (V{"Fast Movement", "Normal Movement", "Slow Movement"}));
    EXPECT_EQ(seen[2].position, 1);

    EXPECT_EQ(seen[3].label,
              "How many minutes until the actor enters sleep mode?\r\rsuggested values:\r"
              "10= (10 minutes) If you want to watch it do it's thing\r"
              "6= (6 minutes) Will stay active for a while\r"
              "3= (3 minutes) Stays active for a short while\r"
              "1= (1 minute) Leaves you to get down to work\r\r"
              "Or enter your own time delay in minutes!\r\r"
              "(Time since actor was last left clicked upon)\r");
    EXPECT_TRUE(seen[3].textboxVisible);
    EXPECT_FALSE(seen[3].comboboxVisible);
    EXPECT_EQ(seen[3].text, "6");

    EXPECT_EQ(seen[4].label, "The configuration has been completed!\r\rClick on OK to return to the configuration screen.\r");
    EXPECT_FALSE(seen[4].textboxVisible);
    EXPECT_FALSE(seen[4].comboboxVisible);

    EXPECT_EQ(fakes.wizard.loads, 1);
    EXPECT_EQ(fakes.wizard.loadedPicture, product / "resource/wizard.gif");
}

TEST_F(WizardTest, SmoothnessAndSpeedTable) {
    // Rows: fast, normal, slow; columns: smoother, normal, less smooth.
    const char* expected[3][3][2] = {
        {{"200", "100"}, {"100", "50"}, {"50", "25"}},
        {{"200", "200"}, {"100", "100"}, {"50", "50"}},
        {{"200", "400"}, {"100", "200"}, {"50", "100"}},
    };
    for (int f = 0; f < 3; ++f) {
        for (int s = 0; s < 3; ++s) {
            Run(s, f, "6");
            EXPECT_EQ(window.timerup.text, expected[f][s][0]) << "s=" << s << " f=" << f;
            EXPECT_EQ(window.moveup.text, expected[f][s][1]) << "s=" << s << " f=" << f;
        }
    }
}

TEST_F(WizardTest, SleepAnswers) {
    struct Case {
        const char* answer;
        V times;  // sleeps, boreds, hyber
    };
    const Case cases[] = {
        {"2.5", {"150", "75", "1500"}}, {"0", {"0", "0", "0"}},        {"letters", {"0", "0", "0"}},
        {"-5", {"60", "30", "600"}},    {"60", {"3600", "1800", "36000"}}, {"50", {"3000", "1500", "30000"}},
        {"61", {"3600", "1800", "36000"}}, {"1e999", {"3600", "1800", "36000"}}, {"-1e999", {"60", "30", "600"}},
        {"0.5", {"30", "15", "300"}},   {".01", {".6", ".3", "6"}},     {"10 minutes", {"600", "300", "6000"}},
    };
    for (const Case& c : cases) {
        Run(1, 1, c.answer);
        EXPECT_EQ(Times(), c.times) << "answer " << c.answer;
    }
}

TEST_F(WizardTest, OkAppliesTheInputChecksToTheWizardsTimes) {
    Run(1, 1, "60");
    window.Save_Click();
    std::ifstream in(product / "resource/config.kcfg", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_NE(bytes.str().find("boredtime=1800\r\nsleeptime=3600\r\nhibernatetime=28800\r\n"), std::string::npos);
}

TEST_F(WizardTest, AskForTheProductUntilFoundOrGivenUp) {
    TempDir elsewhere;
    elsewhere.Write("resource/kobalactor", "");
    elsewhere.Write("resource/wizard.gif", "GIF89a");
    window.apath.text = "/nowhere";
    fakes.input.answers = {"/still/nowhere", elsewhere.path()};
    window.Calibrate_Click();
    ASSERT_EQ(fakes.input.asked.size(), 2u);
    EXPECT_EQ(fakes.input.asked[0].prompt,
              "The application could not be found, before the wizard can start, please specify the path where the "
              "application is installed");
    EXPECT_EQ(fakes.input.asked[0].title, "?");
    EXPECT_EQ(fakes.input.asked[0].proposed, "/nowhere");
    EXPECT_EQ(fakes.input.asked[1].proposed, "/still/nowhere");
    EXPECT_EQ(window.apath.text, elsewhere.path());
    EXPECT_EQ(fakes.wizard.loadedPicture, elsewhere / "resource/wizard.gif");
    EXPECT_EQ(fakes.wizard.seen.size(), 5u);

    // Cancelling (an empty answer) ends the tool before any question.
    ConfigWindow other{fakes.ports(), "/nonexistent"};
    other.apath.text = "/nowhere";
    other.Calibrate_Click();
    EXPECT_TRUE(other.ended());
    EXPECT_EQ(fakes.wizard.seen.size(), 5u);
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(WizardTest, MissingPictureEndsTheToolNamingIt) {
    std::filesystem::remove(product / "resource/wizard.gif");
    try {
        window.Calibrate_Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.file(), product / "resource/wizard.gif");
    }
    EXPECT_TRUE(fakes.wizard.seen.empty());
}

TEST_F(WizardTest, TheDialogKeepsItsPictureAndListsBetweenRuns) {
    Run(0, 2, "3");
    EXPECT_EQ(window.wizardbox().Combobox.items, (V{"Fast Movement", "Normal Movement", "Slow Movement"}));
    // The picture is gone now, but the dialog loaded it before.
    std::filesystem::remove(product / "resource/wizard.gif");
    Run(1, 1, "3");
    EXPECT_EQ(fakes.wizard.loads, 1);
    EXPECT_EQ(Times(), (V{"180", "90", "1800"}));
}

TEST_F(WizardTest, ClosingTheDialogLeavesTheWizardKeepingWhatItSet) {
    window.timerup.text = "7";
    fakes.wizard.script = {A::Ok(), A::Choice(0), A::Closed()};
    window.Calibrate_Click();
    EXPECT_EQ(window.timerup.text, "7");
    EXPECT_EQ(fakes.wizard.seen.size(), 3u);

    fakes.wizard.seen.clear();
    fakes.wizard.script = {A::Ok(), A::Choice(0), A::Choice(0), A::Closed()};
    window.Calibrate_Click();
    EXPECT_EQ(window.timerup.text, "200");
    EXPECT_EQ(window.moveup.text, "100");
    EXPECT_EQ(Times(), (V{"360", "180", "28800"}));
    EXPECT_EQ(fakes.wizard.seen.size(), 4u);
    EXPECT_FALSE(window.ended());
}

TEST_F(WizardTest, WizardInputKinds) {
    auto r = window.wizardinput("text?", "12", 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::get<std::string>(*r), "12");

    window.wizardbox().Combobox.SetItems({"a", "b", "c"});
    r = window.wizardinput("choose", "2", 2);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::get<int16_t>(*r), 2);

    const size_t shown = fakes.wizard.seen.size();
    r = window.wizardinput("nothing", "0", 3);
    ASSERT_TRUE(r);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*r));
    EXPECT_EQ(fakes.wizard.seen.size(), shown);
}

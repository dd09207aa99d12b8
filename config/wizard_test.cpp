#include <gtest/gtest.h>

#include <filesystem>

#include "common/runtime_error.h"
#include "common/test_files.h"
#include "config/config_window.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::testing;
using V = std::vector<std::string>;

namespace {

struct ConfigWizardTest : ::testing::Test {
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
        fakes.wizard.script = {{}, FakeWizard::Choice(s), FakeWizard::Choice(f), FakeWizard::Text(minutes)};
        window.Calibrate_Click();
    }
    V Values() const {
        return {window.timerup.text, window.moveup.text, window.sleeps.text, window.boreds.text, window.hyber.text};
    }
};

}  // namespace

TEST_F(ConfigWizardTest, AcceptingTheProposalsAsksEveryQuestionInTurn) {
    window.Calibrate_Click();
    EXPECT_EQ(Values(), (V{"100", "100", "360", "180", "3600"}));
    EXPECT_FALSE(window.ended());

    const auto& seen = fakes.wizard.seen;
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].question,
              "Welcome to the configuration Wizard, This will configure the advanced settings by "
              "asking you a few "
              "simple questions\r\rTo begin please click OK\r");
    EXPECT_EQ(seen[1].question,
              "How smooth do you want movement to be?\r\r(Less smooth will reduce cpu usage, "
              "smoother will increase "
              "it)\r");
    EXPECT_EQ(seen[1].Combobox.items, (V{"Smoother Motion", "Normal Motion", "Less Smooth Motion"}));
    EXPECT_EQ(seen[2].question, "How fast do you want the actor to move?\r");
    EXPECT_EQ(seen[2].Combobox.items, (V{"Fast Movement", "Normal Movement", "Slow Movement"}));
    EXPECT_EQ(seen[3].question,
              "How many minutes until the actor enters sleep mode?\r\rsuggested values:\r"
              "10= (10 minutes) If you want to watch it do it's thing\r"
              "6= (6 minutes) Will stay active for a while\r"
              "3= (3 minutes) Stays active for a short while\r"
              "1= (1 minute) Leaves you to get down to work\r\r"
              "Or enter your own time delay in minutes!\r\r"
              "(Time since actor was last left clicked upon)\r");
    EXPECT_EQ(seen[3].Textbox.text, "6");
    EXPECT_EQ(seen[4].question,
              "The configuration has been completed!\r\rClick on OK to return to the configuration "
              "screen.\r");
    // Which answer control each question shows: none, list, list, text, none.
    std::string shown;
    for (const WizardBox& box : seen) shown += box.textboxVisible ? 'T' : box.comboboxVisible ? 'L' : '-';
    EXPECT_EQ(shown, "-LLT-");
    EXPECT_EQ(seen[1].Combobox.listIndex, 1);
    EXPECT_EQ(seen[2].Combobox.listIndex, 1);

    // A second run: the picture was loaded once and the lists were kept.
    std::filesystem::remove(product / "resource/wizard.gif");
    Run(0, 2, "3");
    EXPECT_EQ(fakes.wizard.loaded, V{product / "resource/wizard.gif"});
    EXPECT_EQ(seen[5].Combobox.items, seen[2].Combobox.items);  // the welcome of the second run
}

TEST_F(ConfigWizardTest, SmoothnessAndSpeedTable) {
    // Rows: fast, normal, slow; columns: smoother, normal, less smooth.
    const char* expected[3][3][2] = {
        {{"200", "100"}, {"100", "50"}, {"50", "25"}},
        {{"200", "200"}, {"100", "100"}, {"50", "50"}},
        {{"200", "400"}, {"100", "200"}, {"50", "100"}},
    };
    for (int f = 0; f < 3; ++f) {
        for (int s = 0; s < 3; ++s) {
            Run(s, f, "6");
            EXPECT_EQ(window.timerup.text + " " + window.moveup.text,
                      std::string(expected[f][s][0]) + " " + expected[f][s][1])
                << "s=" << s << " f=" << f;
        }
    }
}

TEST_F(ConfigWizardTest, SleepAnswers) {
    const std::pair<const char*, V> cases[] = {
        {"2.5", {"150", "75", "1500"}},       {"0", {"0", "0", "0"}},
        {"letters", {"0", "0", "0"}},         {"-5", {"60", "30", "600"}},
        {"60", {"3600", "1800", "36000"}},    {"50", {"3000", "1500", "30000"}},
        {"1e999", {"3600", "1800", "36000"}}, {".01", {".6", ".3", "6"}},
    };
    for (const auto& [answer, times] : cases) {
        Run(1, 1, answer);
        const V values = Values();
        EXPECT_EQ(V(values.begin() + 2, values.end()), times) << "answer " << answer;
    }
    // "OK" then applies the input checks: 36000 seconds are too many.
    Run(1, 1, "60");
    window.Save_Click();
    EXPECT_NE(
        ReadBytes(product / "resource/config.kcfg").find("boredtime=1800\r\nsleeptime=3600\r\nhibernatetime=28800\r\n"),
        std::string::npos);
}

TEST_F(ConfigWizardTest, AskForTheProductUntilFoundOrGivenUp) {
    TempDir elsewhere;
    elsewhere.Write("resource/kobalactor", "");
    elsewhere.Write("resource/wizard.gif", "GIF89a");
    window.apath.text = "/nowhere";
    fakes.input.answers = {"/still/nowhere", elsewhere.path()};
    window.Calibrate_Click();
    const std::string prompt =
        "?: The application could not be found, before the wizard can start, please specify the "
        "path where the "
        "application is installed";
    EXPECT_EQ(fakes.input.asked, (V{prompt + " [/nowhere]", prompt + " [/still/nowhere]"}));
    EXPECT_EQ(window.apath.text, elsewhere.path());
    EXPECT_EQ(fakes.wizard.loaded, V{elsewhere / "resource/wizard.gif"});
    EXPECT_EQ(fakes.wizard.seen.size(), 5u);

    // Cancelling (an empty answer) ends the tool before any question.
    ConfigWindow other{fakes.ports(), "/nonexistent"};
    other.apath.text = "/nowhere";
    other.Calibrate_Click();
    EXPECT_TRUE(other.ended());
    EXPECT_EQ(fakes.wizard.seen.size(), 5u);
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(ConfigWizardTest, MissingPictureEndsTheToolNamingIt) {
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

TEST_F(ConfigWizardTest, ClosingTheDialogLeavesTheWizardKeepingWhatItSet) {
    window.timerup.text = "7";
    fakes.wizard.script = {{}, FakeWizard::Choice(0), FakeWizard::Closed()};
    window.Calibrate_Click();
    EXPECT_EQ(Values(), (V{"7", "100", "360", "180", "28800"}));

    fakes.wizard.script = {{}, FakeWizard::Choice(0), FakeWizard::Choice(0), FakeWizard::Closed()};
    window.Calibrate_Click();
    EXPECT_EQ(Values(), (V{"200", "100", "360", "180", "28800"}));
    EXPECT_EQ(fakes.wizard.seen.size(), 7u);
    EXPECT_FALSE(window.ended());

    // An unknown kind of question shows nothing.
    EXPECT_TRUE(std::holds_alternative<std::monostate>(*window.wizardinput("x", "0", 3)));
    EXPECT_EQ(fakes.wizard.seen.size(), 7u);
}

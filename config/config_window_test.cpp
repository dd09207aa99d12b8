#include "config/config_window.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/runtime_error.h"
#include "common/test_files.h"
#include "config/start.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::testing;
namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string TestData(const std::string& name) { return ReadBytes(std::string(KOBAL_TEST_DATA) + "/" + name); }

const std::string kDefaultFile =
    "priorityup =100\r\n"
    "speedup=100\r\n"
    "audioon= 1 \r\n"
    "showsplash= 1 \r\n"
    "boredtime=180\r\n"
    "sleeptime=360\r\n"
    "hibernatetime=28800\r\n"
    "initialpriority= 1 \r\n"
    "transparencyoff= 0 \r\n"
    "overrideactor= 0 \r\n"
    "[end]\r\n";

// An installed product: resource/kobalactor and, when given, the settings file.
struct Product {
    TempDir dir;
    explicit Product(const std::optional<std::string>& settings = std::nullopt) {
        dir.Write("resource/kobalactor", "");
        if (settings) dir.Write("resource/config.kcfg", *settings);
    }
    std::string settingsPath() const { return dir / "resource/config.kcfg"; }
};

struct ConfigTest : ::testing::Test {
    Fakes fakes;
    ConfigWindow window{fakes.ports(), "/nonexistent/default/kobaltron"};

    void ExpectDefaults() {
        EXPECT_EQ(window.timerup.text, "100");
        EXPECT_EQ(window.moveup.text, "100");
        EXPECT_EQ(window.boreds.text, "180");
        EXPECT_EQ(window.sleeps.text, "360");
        EXPECT_EQ(window.hyber.text, "28800");
        EXPECT_EQ(window.initial.listIndex, 1);
        EXPECT_EQ(window.audio.value, 1);
        EXPECT_EQ(window.splash.value, 1);
        EXPECT_EQ(window.transp.value, 0);
        EXPECT_EQ(window.override.value, 0);
    }
};

}  // namespace

TEST_F(ConfigTest, LoadWithoutTheProductShowsDefaultsAndTheSetting) {
    EXPECT_EQ(window.timerup.text, "Text1");
    EXPECT_EQ(window.audio.value, 1);
    fakes.paths.value = "/no/such\\place";
    window.Form_Load();
    EXPECT_EQ(window.apath.text, "/no/such\\place");
    ExpectDefaults();
    EXPECT_EQ(window.store().speedup, 100);

    ConfigWindow unset{fakes.ports(), "/nonexistent/default/kobaltron"};
    fakes.paths.value.reset();
    unset.Form_Load();
    EXPECT_EQ(unset.apath.text, "/nonexistent/default/kobaltron");
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(ConfigTest, LoadWithTheProductRestoresTheSettingsFile) {
    Product product(TestData("full.kcfg"));
    fakes.paths.value = product.dir.path();
    window.Form_Load();
    EXPECT_EQ(window.timerup.text, "150");
    EXPECT_EQ(window.moveup.text, "75");
    EXPECT_EQ(window.audio.value, 0);
    EXPECT_EQ(window.splash.value, 1);
    EXPECT_EQ(window.boreds.text, "240");
    EXPECT_EQ(window.sleeps.text, "480");
    EXPECT_EQ(window.hyber.text, "-5");
    EXPECT_EQ(window.initial.listIndex, 3);
    EXPECT_EQ(window.transp.value, 1);
    EXPECT_EQ(window.override.value, 1);
}

TEST_F(ConfigTest, RestoreKeepsStoreValuesForMissingKeys) {
    Product product(TestData("partial.kcfg"));
    window.apath.text = product.dir.path();
    window.read_Click();
    // Nothing read yet: the missing keys show 0.
    EXPECT_EQ(window.timerup.text, "150");
    EXPECT_EQ(window.moveup.text, "0");
    EXPECT_EQ(window.hyber.text, "0");
    EXPECT_EQ(window.audio.value, 0);
    EXPECT_EQ(window.initial.listIndex, 0);

    // "Default" also sets four store fields, which a later "Restore" shows.
    window.Reset_Click();
    window.read_Click();
    EXPECT_EQ(window.timerup.text, "150");
    EXPECT_EQ(window.moveup.text, "100");
    EXPECT_EQ(window.audio.value, 1);
    EXPECT_EQ(window.splash.value, 1);
    EXPECT_EQ(window.boreds.text, "0");
}

TEST_F(ConfigTest, RestoreShowsValuesTheControlsCannotHoldAsUndecided) {
    Product product(TestData("odd_values.kcfg"));
    window.apath.text = product.dir.path();
    window.read_Click();
    EXPECT_EQ(window.initial.listIndex, -1);
    EXPECT_EQ(window.audio.value, 2);
    EXPECT_EQ(window.splash.value, 2);
    EXPECT_EQ(window.transp.value, 2);
    EXPECT_EQ(window.override.value, 2);
    EXPECT_FALSE(window.ended());

    // "OK" then writes the fallbacks.
    window.Save_Click();
    const std::string saved = ReadBytes(product.settingsPath());
    EXPECT_NE(saved.find("audioon= 1 \r\nshowsplash= 1 \r\n"), std::string::npos);
    EXPECT_NE(saved.find("initialpriority= 1 \r\ntransparencyoff= 0 \r\noverrideactor= 0 \r\n"), std::string::npos);
}

TEST_F(ConfigTest, RestoreFindsTheFileInAnotherLetterCase) {
    TempDir dir;
    dir.Write("Resource/Config.KCFG", TestData("full.kcfg"));
    window.apath.text = dir.path();
    window.read_Click();
    EXPECT_EQ(window.timerup.text, "150");
}

TEST_F(ConfigTest, RestoreFailuresNameTheFile) {
    struct Case {
        std::optional<std::string> file;
        ErrorNumber error;
    };
    for (const Case& c : {Case{std::nullopt, ErrorNumber::FileNotFound},
                          Case{TestData("no_end.kcfg"), ErrorNumber::InputPastEndOfFile},
                          Case{TestData("overflow.kcfg"), ErrorNumber::Overflow}}) {
        Product product(c.file);
        window.apath.text = product.dir.path();
        try {
            window.read_Click();
            ADD_FAILURE() << "no error for " << static_cast<int>(c.error);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.error);
            EXPECT_NE(std::string(e.what()).find(product.settingsPath()), std::string::npos) << e.what();
        }
    }
}

TEST_F(ConfigTest, OkAfterDefaultWritesTheDefaultFileAndTheInstallPath) {
    Product product(std::string("old\r\n[end]\r\n"));
    window.apath.text = product.dir.path();
    window.Reset_Click();
    window.Save_Click();
    EXPECT_EQ(ReadBytes(product.settingsPath()), kDefaultFile);
    EXPECT_EQ(fakes.paths.writes, std::vector<std::string>{product.dir.path()});
    EXPECT_TRUE(window.ended());
}

TEST_F(ConfigTest, OkRemovesOnlyOneTrailingBackslash) {
    Product product;
    window.Reset_Click();
    window.apath.text = product.dir.path() + "\\";
    window.Save_Click();
    EXPECT_EQ(fakes.paths.writes.back(), product.dir.path());
    EXPECT_EQ(ReadBytes(product.settingsPath()), kDefaultFile);

    fs::remove(product.settingsPath());
    window.apath.text = product.dir.path() + "\\\\";
    window.Save_Click();
    EXPECT_EQ(fakes.paths.writes.back(), product.dir.path() + "\\");
    EXPECT_EQ(window.apath.text, product.dir.path() + "\\");
    EXPECT_EQ(ReadBytes(product.settingsPath()), kDefaultFile);
}

TEST_F(ConfigTest, OkSavesCheckedEntriesAsTyped) {
    Product product;
    window.apath.text = product.dir.path();
    window.Reset_Click();
    window.timerup.text = "abc";
    window.moveup.text = "1000";
    window.boreds.text = "120 seconds";
    window.sleeps.text = "2.5";
    window.hyber.text = "36000";
    window.initial.SetListIndex(0);
    window.audio.value = 0;
    window.override.value = 1;
    window.Save_Click();
    EXPECT_EQ(ReadBytes(product.settingsPath()),
              "priorityup =abc\r\n"
              "speedup=1000\r\n"
              "audioon= 0 \r\n"
              "showsplash= 1 \r\n"
              "boredtime=120 seconds\r\n"
              "sleeptime=2.5\r\n"
              "hibernatetime=28800\r\n"
              "initialpriority= 0 \r\n"
              "transparencyoff= 0 \r\n"
              "overrideactor= 1 \r\n"
              "[end]\r\n");
}

TEST_F(ConfigTest, OkWithoutAResourceDirectoryFailsAfterSavingTheInstallPath) {
    TempDir dir;
    window.apath.text = dir.path() + "\\";
    window.Reset_Click();
    try {
        window.Save_Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_NE(std::string(e.what()).find(dir.path()), std::string::npos);
    }
    EXPECT_EQ(fakes.paths.writes, std::vector<std::string>{dir.path()});
    EXPECT_FALSE(window.ended());
}

TEST_F(ConfigTest, CancelAsksAndEndsOnlyOnOk) {
    window.Reset_Click();
    window.timerup.text = "77";
    fakes.boxes.answer = false;
    window.Exits_Click();
    ASSERT_EQ(fakes.boxes.shown.size(), 1u);
    EXPECT_EQ(fakes.boxes.shown[0].text, "Exit without saving?");
    EXPECT_EQ(fakes.boxes.shown[0].title, "?");
    EXPECT_FALSE(window.ended());
    EXPECT_EQ(window.timerup.text, "77");

    fakes.boxes.answer = true;
    window.Exits_Click();
    EXPECT_TRUE(window.ended());
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(ConfigTest, AssociateAndShortcutsCallTheShellOnly) {
    window.Reset_Click();
    window.Associate_Click();
    window.shortcuts_Click();
    EXPECT_EQ(fakes.shell.calls, (std::vector<std::string>{"RegisterFileAssociations", "CreateStartMenuShortcuts"}));
    ExpectDefaults();
    EXPECT_FALSE(window.ended());
}

TEST_F(ConfigTest, ValidateTextBoxesOnTheNumberAsRead) {
    struct Case {
        TextBox ConfigWindow::*box;
        const char* typed;
        const char* after;
    };
    const Case cases[] = {
        {&ConfigWindow::timerup, "1001", "100"},   {&ConfigWindow::timerup, "1000", "1000"},
        {&ConfigWindow::timerup, "1000.5", "100"}, {&ConfigWindow::timerup, "-1", "100"},
        {&ConfigWindow::timerup, "0", "0"},        {&ConfigWindow::timerup, "abc", "abc"},
        {&ConfigWindow::timerup, "1e999", "100"},  {&ConfigWindow::timerup, "-1e999", "100"},
        {&ConfigWindow::timerup, "5 0", "5 0"},    {&ConfigWindow::moveup, "1001", "100"},
        {&ConfigWindow::moveup, "&H3E8", "&H3E8"}, {&ConfigWindow::moveup, "&H3E9", "100"},
        {&ConfigWindow::boreds, "120 seconds", "120 seconds"},
        {&ConfigWindow::boreds, "30000", "30000"}, {&ConfigWindow::boreds, "30001", "180"},
        {&ConfigWindow::sleeps, "-0.5", "360"},    {&ConfigWindow::sleeps, "", ""},
        {&ConfigWindow::hyber, "36000", "28800"},  {&ConfigWindow::hyber, "30000", "30000"},
    };
    for (const Case& c : cases) {
        window.Reset_Click();
        window.*c.box = TextBox{c.typed};
        window.validate();
        EXPECT_EQ((window.*c.box).text, c.after) << "typed " << c.typed;
    }
}

TEST_F(ConfigTest, ValidateCheckBoxesListAndNotApath) {
    window.Reset_Click();
    window.apath.text = "  odd\\\\";
    window.audio.value = 2;
    window.splash.value = 2;
    window.transp.value = 2;
    window.override.value = 2;
    window.initial.SetListIndex(-1);
    window.validate();
    EXPECT_EQ(window.audio.value, 1);
    EXPECT_EQ(window.splash.value, 1);
    EXPECT_EQ(window.transp.value, 0);
    EXPECT_EQ(window.override.value, 0);
    EXPECT_EQ(window.initial.listIndex, 1);
    EXPECT_EQ(window.apath.text, "  odd\\\\");

    // Values in range stay.
    window.audio.value = 0;
    window.transp.value = 1;
    window.initial.SetListIndex(3);
    window.validate();
    EXPECT_EQ(window.audio.value, 0);
    EXPECT_EQ(window.transp.value, 1);
    EXPECT_EQ(window.initial.listIndex, 3);
}

TEST(StartConfigTool, EachFormOfTheCommandLine) {
    struct Case {
        const char* line;
        StartResult result;
        std::vector<std::string> calls;
        std::vector<std::string> pathWrites;
    };
    const std::vector<Case> cases = {
        {"INSTALL", StartResult::Ended, {"CreateStartMenuShortcuts", "RegisterFileAssociations"}, {}},
        {"\"INSTALL\"", StartResult::Ended, {"CreateStartMenuShortcuts", "RegisterFileAssociations"}, {}},
        {"install", StartResult::Ended, {"AddToStartMenu install"}, {}},
        {"\"/home/u/My Actors/bob.kact\"", StartResult::Ended, {"AddToStartMenu /home/u/My Actors/bob.kact"}, {}},
        {"/tmp/list.kpls\"", StartResult::Ended, {"AddToStartMenu /tmp/list.kpls"}, {}},
        {"!/some/dir", StartResult::Ended, {}, {"/some/dir"}},
        {"\"!D:\\actors\"", StartResult::Ended, {}, {"D:\\actors"}},
        {"!", StartResult::Ended, {}, {""}},
        {"", StartResult::ShowWindow, {}, {}},
        {"\"\"", StartResult::ShowWindow, {}, {}},
        {"\"", StartResult::ShowWindow, {}, {}},
    };
    for (const Case& c : cases) {
        Fakes fakes;
        EXPECT_EQ(StartConfigTool(c.line, fakes.paths, fakes.boxes, fakes.shell), c.result) << c.line;
        EXPECT_EQ(fakes.shell.calls, c.calls) << c.line;
        EXPECT_EQ(fakes.paths.writes, c.pathWrites) << c.line;
        if (c.pathWrites.empty()) {
            EXPECT_TRUE(fakes.boxes.shown.empty()) << c.line;
        } else {
            ASSERT_EQ(fakes.boxes.shown.size(), 1u);
            EXPECT_EQ(fakes.boxes.shown[0].text, "Registry key added");
            EXPECT_EQ(fakes.boxes.shown[0].title, "Kobalconfig");
        }
    }
}

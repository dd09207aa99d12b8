#include "config/config_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "common/runtime_error.h"
#include "common/test_files.h"
#include "config/start.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::testing;
using V = std::vector<std::string>;

namespace {

const std::string kDefaultFile =
    "priorityup =100\r\nspeedup=100\r\naudioon= 1 \r\nshowsplash= 1 "
    "\r\nboredtime=180\r\nsleeptime=360\r\n"
    "hibernatetime=28800\r\ninitialpriority= 1 \r\ntransparencyoff= 0 \r\noverrideactor= 0 "
    "\r\nhidefullscreen= 0 \r\nwindowfloors= 1 \r\n[end]\r\n";

std::string TestData(const std::string& name) {
    return ReadBytes(std::string(KOBAL_TEST_DATA) + "/" + name);
}

struct ConfigWindowTest : ::testing::Test {
    TempDir product;  // resource/kobalactor, and a settings file when a test writes one
    Fakes fakes;
    ConfigWindow window{fakes.ports(), "/nonexistent/kobaltron"};

    void SetUp() override { product.Write("resource/kobalactor", ""); }
    std::string Settings() const { return product / "resource/config.kcfg"; }
    void Restore(const std::string& testdata) {
        product.Write("resource/config.kcfg", TestData(testdata));
        window.apath.text = product.path();
        window.read_Click();
    }
    // Text boxes timerup, moveup, boreds, sleeps, hyber; list; audio, splash, transp, override.
    V Shown() const {
        return {window.timerup.text,
                window.moveup.text,
                window.boreds.text,
                window.sleeps.text,
                window.hyber.text,
                std::to_string(window.initial.listIndex),
                std::to_string(window.audio.value),
                std::to_string(window.splash.value),
                std::to_string(window.transp.value),
                std::to_string(window.override.value)};
    }
};

const V kDefaultsShown = {"100", "100", "180", "360", "28800", "1", "1", "1", "0", "0"};

}  // namespace

TEST_F(ConfigWindowTest, LoadStepRestoresWhenTheProductIsThereElseShowsDefaults) {
    fakes.paths.value = "/no/such\\place";
    window.Form_Load();
    EXPECT_EQ(window.apath.text, "/no/such\\place");
    EXPECT_EQ(Shown(), kDefaultsShown);

    fakes.paths.value.reset();
    ConfigWindow unset{fakes.ports(), "/nonexistent/kobaltron"};
    unset.Form_Load();
    EXPECT_EQ(unset.apath.text, "/nonexistent/kobaltron");

    product.Write("resource/config.kcfg", TestData("full.kcfg"));
    fakes.paths.value = product.path();
    window.Form_Load();
    EXPECT_EQ(Shown(), (V{"150", "75", "240", "480", "-5", "3", "0", "1", "1", "1"}));
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(ConfigWindowTest, RestoreShowsTheStoreForMissingKeys) {
    Restore("partial.kcfg");  // priorityup only; nothing read before: 0
    EXPECT_EQ(Shown(), (V{"150", "0", "0", "0", "0", "0", "0", "0", "0", "0"}));
    // "Default" also sets four store fields, which the next "Restore" shows.
    window.Reset_Click();
    window.read_Click();
    EXPECT_EQ(Shown(), (V{"150", "100", "0", "0", "0", "0", "1", "1", "0", "0"}));
}

TEST_F(ConfigWindowTest, RestoreShowsValuesTheControlsCannotHoldAsUndecided) {
    Restore("odd_values.kcfg");  // list position 7, check boxes 2, -1, 5, 2
    EXPECT_EQ(window.initial.listIndex, -1);
    const V shown = Shown();
    EXPECT_EQ(V(shown.begin() + 6, shown.end()), (V{"2", "2", "2", "2"}));
    window.Save_Click();
    const std::string saved = ReadBytes(Settings());
    EXPECT_NE(saved.find("audioon= 1 \r\nshowsplash= 1 \r\n"), std::string::npos);
    EXPECT_NE(saved.find("initialpriority= 1 \r\ntransparencyoff= 0 \r\noverrideactor= 0 \r\n"), std::string::npos);
}

TEST_F(ConfigWindowTest, RestoreFailuresNameTheFile) {
    const std::pair<const char*, ErrorNumber> cases[] = {{nullptr, ErrorNumber::FileNotFound},
                                                         {"no_end.kcfg", ErrorNumber::InputPastEndOfFile},
                                                         {"overflow.kcfg", ErrorNumber::Overflow}};
    window.apath.text = product.path();
    for (const auto& [file, error] : cases) {
        std::filesystem::remove(Settings());
        try {
            if (file) Restore(file);
            else window.read_Click();
            ADD_FAILURE() << "no error for " << static_cast<int>(error);
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), error);
            EXPECT_NE(std::string(e.what()).find(Settings()), std::string::npos) << e.what();
        }
    }
}

TEST_F(ConfigWindowTest, OkAfterDefaultWritesTheDefaultFileRemovingOneBackslash) {
    product.Write("resource/config.kcfg", "old\r\n[end]\r\n");
    window.Reset_Click();
    window.apath.text = product.path() + "\\";
    window.Save_Click();
    EXPECT_EQ(ReadBytes(Settings()), kDefaultFile);
    EXPECT_EQ(fakes.paths.writes, V{product.path()});
    EXPECT_TRUE(window.ended());

    std::filesystem::remove(Settings());
    window.apath.text = product.path() + "\\\\";
    window.Save_Click();
    EXPECT_EQ(fakes.paths.writes.back(), product.path() + "\\");
    EXPECT_EQ(ReadBytes(Settings()), kDefaultFile);
}

TEST_F(ConfigWindowTest, OkWithoutAResourceDirectoryFailsAndSavesNothing) {
    TempDir empty;
    window.apath.text = empty.path();
    window.Reset_Click();
    try {
        window.Save_Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_NE(std::string(e.what()).find(empty.path()), std::string::npos);
    }
    // The install path is written only after the settings file.
    EXPECT_TRUE(fakes.paths.writes.empty());
    EXPECT_FALSE(window.ended());
}

TEST_F(ConfigWindowTest, AReadOnlySettingsFileIsRefusedAndNothingIsSaved) {
    product.Write("resource/config.kcfg", TestData("full.kcfg"));
    ::chmod(Settings().c_str(), 0444);
    TempDir home;
    ConfigWindow own{fakes.ports(), "", {home / "kobaltron/config.kcfg", ""}};
    own.apath.text = product.path();
    own.Reset_Click();
    try {
        own.Save_Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PermissionDenied);
        EXPECT_EQ(e.file(), Settings());
    }
    EXPECT_EQ(ReadBytes(Settings()), TestData("full.kcfg"));
    EXPECT_FALSE(std::filesystem::exists(home / "kobaltron"));
    EXPECT_TRUE(fakes.paths.writes.empty());
    EXPECT_TRUE(fakes.boxes.shown.empty());
}

TEST_F(ConfigWindowTest, TheUsersOwnSettingsAreReadAndWrittenOnceTheyExist) {
    product.Write("resource/config.kcfg", TestData("full.kcfg"));
    TempDir home;
    const std::string mine = home.Write("kobaltron/config.kcfg", kDefaultFile);
    fakes.paths.value = product.path();
    ConfigWindow own{fakes.ports(), "", {mine, ""}};
    own.Form_Load();
    EXPECT_EQ(own.timerup.text, "100");  // the user's file, not the global 150
    own.timerup.text = "120";
    own.Save_Click();
    EXPECT_EQ(ReadBytes(mine).substr(0, 18), "priorityup =120\r\ns");
    EXPECT_EQ(ReadBytes(Settings()), TestData("full.kcfg"));
    EXPECT_TRUE(fakes.boxes.shown.empty());
}

// Runs body as an ordinary user: in a child process as "nobody" when the
// tests run as root (root writes every folder), else here.
static void AsOrdinaryUser(const std::function<void()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST_F(ConfigWindowTest, AUserWhoCannotWriteTheInstallKeepsOwnSettingsAndIsToldOnce) {
    product.Write("resource/config.kcfg", TestData("full.kcfg"));
    TempDir home;
    // The install is the system's (read-only to the user); the home is theirs.
    ::chmod(product.path().c_str(), 0755);
    ::chmod((product / "resource").c_str(), 0555);
    ::chmod(home.path().c_str(), 0777);
    const std::string mine = home / "config/kobaltron/config.kcfg";
    AsOrdinaryUser([&] {
        Fakes user;
        user.paths.value = product.path();
        ConfigWindow own{user.ports(), "", {mine, ""}};
        own.Form_Load();
        own.Reset_Click();
        own.Save_Click();
        EXPECT_TRUE(own.ended());
        EXPECT_EQ(ReadBytes(mine), kDefaultFile);
        EXPECT_EQ(user.paths.writes, V{product.path()});
        EXPECT_EQ(user.boxes.shown, V{"!: " + OwnSettingsNotice(mine, product.path())});
        // The next save goes there too, silently.
        ConfigWindow again{user.ports(), "", {mine, ""}};
        again.Form_Load();
        again.Save_Click();
        EXPECT_EQ(user.boxes.shown.size(), 1u);
        EXPECT_EQ(ReadBytes(mine), kDefaultFile);
    });
    ::chmod((product / "resource").c_str(), 0755);
    EXPECT_EQ(ReadBytes(Settings()), TestData("full.kcfg"));
}

TEST_F(ConfigWindowTest, CancelAssociateAndShortcuts) {
    window.Reset_Click();
    fakes.boxes.answer = false;
    window.Exits_Click();
    EXPECT_FALSE(window.ended());
    window.Associate_Click();
    window.shortcuts_Click();
    EXPECT_EQ(fakes.shell.calls, (V{"associations", "shortcuts"}));
    EXPECT_EQ(Shown(), kDefaultsShown);
    fakes.boxes.answer = true;
    window.Exits_Click();
    EXPECT_TRUE(window.ended());
    EXPECT_EQ(fakes.boxes.shown, (V{"?: Exit without saving?", "?: Exit without saving?"}));
    EXPECT_TRUE(fakes.paths.writes.empty());
}

TEST_F(ConfigWindowTest, TheLoginChoiceIsSavedByOkOnlyAndOnlyWhenChanged) {
    fakes.login.entry = "/home/u/bob.kact";
    product.Write("resource/config.kcfg", "[end]\r\n");
    fakes.paths.value = product.path();
    window.Form_Load();
    EXPECT_EQ(window.login, (LoginChoice{true, "/home/u/bob.kact"}));

    // Unticked, then "Cancel" answered OK: the entry stays.
    window.login.checked = false;
    window.Exits_Click();
    EXPECT_TRUE(window.ended());
    EXPECT_TRUE(fakes.login.calls.empty());

    // Unchanged: "OK" leaves the entry alone.
    ConfigWindow same{fakes.ports(), "/nonexistent/kobaltron"};
    same.Form_Load();
    same.Save_Click();
    EXPECT_TRUE(fakes.login.calls.empty());

    // Another file: written with the install directory "OK" saves.
    ConfigWindow other{fakes.ports(), "/nonexistent/kobaltron"};
    other.Form_Load();
    other.login = {true, "/home/u/all.kpls"};
    other.Save_Click();
    EXPECT_EQ(fakes.login.calls, V{"choose /home/u/all.kpls " + product.path() + "\\"});

    // Unticked: "OK" takes the entry away.
    ConfigWindow off{fakes.ports(), "/nonexistent/kobaltron"};
    off.Form_Load();
    EXPECT_EQ(off.login.file, "/home/u/all.kpls");
    off.login.checked = false;
    off.Save_Click();
    EXPECT_EQ(fakes.login.calls.back(), "remove");
    EXPECT_FALSE(fakes.login.entry);
}

TEST_F(ConfigWindowTest, ALoginChoiceIsNotWrittenWhenTheSettingsFileCannotBe) {
    TempDir empty;
    fakes.paths.value = empty.path();
    window.Form_Load();
    window.login = {true, "/home/u/bob.kact"};
    EXPECT_THROW(window.Save_Click(), RuntimeError);
    EXPECT_TRUE(fakes.login.calls.empty());
}

TEST_F(ConfigWindowTest, ValidateTextBoxesOnTheNumberAsRead) {
    const std::tuple<TextBox ConfigWindow::*, const char*, const char*> cases[] = {
        {&ConfigWindow::timerup, "1001", "100"},
        {&ConfigWindow::timerup, "1000", "1000"},
        {&ConfigWindow::timerup, "1000.5", "100"},
        {&ConfigWindow::timerup, "-1", "100"},
        {&ConfigWindow::timerup, "0", "0"},
        {&ConfigWindow::timerup, "abc", "abc"},
        {&ConfigWindow::timerup, "1e999", "100"},
        {&ConfigWindow::moveup, "&H3E9", "100"},
        {&ConfigWindow::boreds, "120 seconds", "120 seconds"},
        {&ConfigWindow::boreds, "30001", "180"},
        {&ConfigWindow::sleeps, "-0.5", "360"},
        {&ConfigWindow::hyber, "36000", "28800"},
        {&ConfigWindow::hyber, "30000", "30000"},
    };
    for (const auto& [box, typed, after] : cases) {
        window.Reset_Click();
        (window.*box).text = typed;
        window.validate();
        EXPECT_EQ((window.*box).text, after) << "typed " << typed;
    }
}

TEST_F(ConfigWindowTest, ValidateCheckBoxesAndListButNotApath) {
    window.Reset_Click();
    window.apath.text = "  odd\\\\";
    window.audio.value = window.splash.value = window.transp.value = window.override.value = 2;
    window.initial.SetListIndex(-1);
    window.validate();
    EXPECT_EQ(Shown(), kDefaultsShown);
    EXPECT_EQ(window.apath.text, "  odd\\\\");
}

TEST_F(ConfigWindowTest, DefaultAndEveryFallbackAreTheDefaultSettings) {
    // The product's own config.kcfg is written from DefaultSettings() alone.
    EXPECT_EQ(SettingsFileText(DefaultSettings()), kDefaultFile);
    window.Reset_Click();
    EXPECT_EQ(window.Values(), DefaultSettings());
    // Every entry out of range: the input checks put back exactly the defaults.
    window.timerup.text = "1001";
    window.moveup.text = "-1";
    window.boreds.text = "30001";
    window.sleeps.text = "1e999";
    window.hyber.text = "36000";
    window.audio.value = window.splash.value = window.transp.value = window.override.value = window.hidefull.value =
        window.winfloors.value = 2;
    window.initial.SetListIndex(-1);
    window.validate();
    EXPECT_EQ(window.Values(), DefaultSettings());
}

TEST(StartConfigTool, EachFormOfTheCommandLine) {
    const std::tuple<const char*, StartResult, V, V> cases[] = {
        {"INSTALL", StartResult::Ended, {"shortcuts", "associations"}, {}},
        {"\"INSTALL\"", StartResult::Ended, {"shortcuts", "associations"}, {}},
        {"install", StartResult::Ended, {"add install"}, {}},
        {"\"/home/u/My Actors/bob.kact\"", StartResult::Ended, {"add /home/u/My Actors/bob.kact"}, {}},
        {"!/some/dir", StartResult::Ended, {}, {"/some/dir"}},
        {"\"!D:\\actors\"", StartResult::Ended, {}, {"D:\\actors"}},
        {"!", StartResult::Ended, {}, {""}},
        {"", StartResult::ShowWindow, {}, {}},
        {"\"\"", StartResult::ShowWindow, {}, {}},
    };
    for (const auto& [line, result, calls, writes] : cases) {
        Fakes fakes;
        EXPECT_EQ(StartConfigTool(line, fakes.paths, fakes.boxes, fakes.shell), result) << line;
        EXPECT_EQ(fakes.shell.calls, calls) << line;
        EXPECT_EQ(fakes.paths.writes, writes) << line;
        EXPECT_EQ(fakes.boxes.shown, writes.empty() ? V{} : V{"Kobalconfig: Registry key added"}) << line;
    }
}

TEST_F(ConfigWindowTest, LaterKeysAreOffForOlderFilesTakeTheirDefaultsAndTravelToTheFile) {
    Restore("full.kcfg");  // written before either key existed: today's behaviour
    EXPECT_EQ(window.hidefull.value, 0);
    EXPECT_EQ(window.winfloors.value, 0);
    product.Write("resource/config.kcfg", "hidefullscreen= 1 \r\nwindowfloors= 1 \r\n[end]\r\n");
    window.read_Click();
    EXPECT_EQ(window.hidefull.value, 1);
    EXPECT_EQ(window.winfloors.value, 1);
    window.winfloors.value = 0;
    window.Save_Click();
    const std::string saved = ReadBytes(Settings());
    // After every older key, in the order they came, where older readers pass over them.
    EXPECT_NE(saved.find("overrideactor= 1 \r\nhidefullscreen= 1 \r\nwindowfloors= 0 \r\n[end]\r\n"), std::string::npos)
        << saved;

    // Default: hiding stays off, window floors come on as in the shipped file.
    window.Reset_Click();
    EXPECT_EQ(window.hidefull.value, 0);
    EXPECT_EQ(window.winfloors.value, 1);
    window.hidefull.value = 5;  // no such state: the input checks put back the defaults
    window.winfloors.value = -1;
    window.validate();
    EXPECT_EQ(window.hidefull.value, 0);
    EXPECT_EQ(window.winfloors.value, 1);

    // A value the box cannot show comes from the file greyed, and is replaced on "OK".
    product.Write("resource/config.kcfg", "windowfloors=7\r\n[end]\r\n");
    window.read_Click();
    EXPECT_EQ(window.winfloors.value, 2);
    window.Save_Click();
    EXPECT_NE(ReadBytes(Settings()).find("\r\nwindowfloors= 1 \r\n[end]\r\n"), std::string::npos);
}

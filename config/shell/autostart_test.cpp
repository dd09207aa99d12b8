#include "config/shell/autostart.h"

#include <gtest/gtest.h>

#include <map>

#include "config/shell/shell_test_support.h"

using namespace kobal::shell;
using kobal::shell::testing::FakeBoxes;

namespace {

class FakeFiles : public EntryFiles {
  public:
    bool Exists(const std::string& path) override { return files.count(path) > 0; }
    std::optional<std::string> Read(const std::string& path) override {
        const auto f = files.find(path);
        if (f == files.end()) return std::nullopt;
        return f->second;
    }
    bool Write(const std::string& path, const std::string& text, std::string& reason) override {
        if (readOnly) {
            reason = "read-only file system";
            return false;
        }
        files[path] = text;
        return true;
    }
    bool Remove(const std::string& path, std::string& reason) override {
        if (readOnly && files.count(path)) {
            reason = "read-only file system";
            return false;
        }
        files.erase(path);
        return true;
    }
    std::map<std::string, std::string> files;
    bool readOnly = false;
};

struct AutostartTest : ::testing::Test {
    FakeFiles files;
    FakeBoxes boxes;
    Autostart autostart{files, boxes, "/home/u/.config", "/opt/kobal tron\\"};
    const std::string entry = "/home/u/.config/autostart/kobaltron-actors.desktop";

    void SetUp() override {
        files.files["/opt/kobal tron/resource/kobaltron"] = "";
        files.files["/home/u/actors/my list.kpls"] = "";
        files.files["/home/u/bob.KACT"] = "";
    }
    std::string LastMessage() const { return boxes.shown.empty() ? "" : boxes.shown.back().text; }
};

}  // namespace

TEST_F(AutostartTest, ChoosingWritesAnEntryThatRunsTheLauncherOnTheFile) {
    ASSERT_TRUE(autostart.Choose("/home/u/actors/my list.kpls"));
    EXPECT_EQ(autostart.EntryPath(), entry);
    EXPECT_EQ(files.files.at(entry),
              "[Desktop Entry]\nType=Application\nName=Kobaltron actors\n"
              "Comment=Starts /home/u/actors/my list.kpls when you log in\n"
              "Exec=\"/opt/kobal tron/resource/kobaltron\" \"/home/u/actors/my list.kpls\"\n"
              "Path=/opt/kobal tron\n"
              "Terminal=false\nX-GNOME-Autostart-enabled=true\n"
              "X-Kobaltron-File=/home/u/actors/my list.kpls\n");
    EXPECT_EQ(LastMessage(), "/home/u/actors/my list.kpls will start when you log in");
    EXPECT_EQ(autostart.Current(), "/home/u/actors/my list.kpls");

    // A second choice replaces the first; there is only ever one entry.
    ASSERT_TRUE(autostart.Choose("/home/u/bob.KACT"));
    EXPECT_EQ(autostart.Current(), "/home/u/bob.KACT");
    EXPECT_EQ(files.files.size(), 4u);
}

TEST_F(AutostartTest, RemovingTheChoiceRemovesTheEntryAndNothingElse) {
    files.files["/home/u/.config/autostart/other.desktop"] = "[Desktop Entry]\n";
    ASSERT_TRUE(autostart.Choose("/home/u/bob.KACT"));
    ASSERT_TRUE(autostart.Remove());
    EXPECT_FALSE(files.files.count(entry));
    EXPECT_TRUE(files.files.count("/home/u/.config/autostart/other.desktop"));
    EXPECT_EQ(autostart.Current(), std::nullopt);
    // Nothing to remove is no failure.
    EXPECT_TRUE(autostart.Remove());
}

TEST_F(AutostartTest, RefusesWhatTheLauncherCouldNotStartAndSaysWhy) {
    struct Case {
        std::string file;
        std::string message;
    } cases[] = {
        {"actors/my list.kpls", "Choose the actor file or playlist by its full name: actors/my list.kpls"},
        {"/home/u/notes.txt", "/home/u/notes.txt is neither an actor file (.kact) nor a playlist (.kpls)"},
        {"/home/u/kact", "/home/u/kact is neither an actor file (.kact) nor a playlist (.kpls)"},
        {"/home/u/gone.kac", "File not found: /home/u/gone.kac"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(autostart.Choose(c.file)) << c.file;
        EXPECT_EQ(LastMessage(), c.message);
    }
    files.files.erase("/opt/kobal tron/resource/kobaltron");
    EXPECT_FALSE(autostart.Choose("/home/u/bob.KACT"));
    EXPECT_EQ(LastMessage(), "Cannot find the application");
    EXPECT_FALSE(files.files.count(entry));
}

TEST_F(AutostartTest, AFailedWriteOrRemovalIsReportedNotCalledDone) {
    ASSERT_TRUE(autostart.Choose("/home/u/bob.KACT"));
    files.readOnly = true;
    EXPECT_FALSE(autostart.Choose("/home/u/actors/my list.kpls"));
    EXPECT_EQ(LastMessage(), "The actors cannot be started at login: read-only file system");
    EXPECT_FALSE(autostart.Remove());
    EXPECT_EQ(LastMessage(), "The actors cannot stop starting at login: read-only file system");
    EXPECT_EQ(autostart.Current(), "/home/u/bob.KACT");
}

TEST_F(AutostartTest, NamesWithReservedCharactersSurviveTheEntry) {
    const std::string odd = "/home/u/a \"b\" $c\\d 100%.kact";
    files.files[odd] = "";
    ASSERT_TRUE(autostart.Choose(odd));
    // Quoted for Exec, then escaped as any string value: a backslash doubles twice.
    EXPECT_NE(files.files.at(entry).find("Exec=\"/opt/kobal tron/resource/kobaltron\" "
                                         "\"/home/u/a \\\\\"b\\\\\" \\\\$c\\\\\\\\d 100%%.kact\"\n"),
              std::string::npos)
        << files.files.at(entry);
    EXPECT_EQ(autostart.Current(), odd);
}

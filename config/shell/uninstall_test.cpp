#include "config/shell/uninstall.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/test_files.h"
#include "config/shell/manifest.h"
#include "config/shell/registry_file.h"

using namespace kobal::shell;

TEST(Manifest, KeepsEachRecordOnceInItsOrderAndSurvivesItsOwnText) {
    Manifest m;
    EXPECT_TRUE(m.Add("directory", ""));
    EXPECT_TRUE(m.Add("directory", "actors"));
    EXPECT_TRUE(m.Add("file", "actors\\a b.kact"));
    EXPECT_FALSE(m.Add("file", "actors\\a b.kact"));
    EXPECT_TRUE(m.Add("registration", "start-menu-entry /x/a b.kact"));
    EXPECT_FALSE(m.Add("unknown", "x"));

    const Manifest back = Manifest::Parse(m.Text());
    EXPECT_EQ(back.directories, (std::vector<std::string>{"", "actors"}));
    EXPECT_EQ(back.files, (std::vector<std::string>{"actors\\a b.kact"}));
    EXPECT_EQ(back.registrations, (std::vector<std::string>{"start-menu-entry /x/a b.kact"}));
    // Comments, blank and foreign lines are no records; CRLF endings are.
    const Manifest odd =
        Manifest::Parse("# note\r\n\r\nfile a.txt\r\nnonsense\r\nrubbish here\r\n");
    EXPECT_EQ(odd.files, (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(odd.directories.empty());
}

TEST(Manifest, ALaterInstallAddsToTheRecordsOnDisk) {
    kobal::TempDir dir;
    FileManifestLog log;
    log.Record(dir.path(), "file", "a.txt");
    log.Record(dir.path(), "file", "b.txt");
    log.Record(dir.path(), "file", "a.txt");
    std::ifstream in(dir / kManifestName);
    std::ostringstream text;
    text << in.rdbuf();
    const Manifest m = Manifest::Parse(text.str());
    EXPECT_EQ(m.files, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(Uninstall, MimeAppsLoseOnlyTheProductsEntries) {
    const std::vector<std::string> ours{"kobaltron-kactor-open.desktop",
                                        "kobaltron-kactor-install.desktop"};
    EXPECT_EQ(WithoutDesktopIds("[Default Applications]\ntext/plain=mine.desktop;\n"
                                "application/x-kactor=kobaltron-kactor-open.desktop;\n"
                                "\n[Added Associations]\n"
                                "application/x-kactor=kobaltron-kactor-open.desktop;other.desktop;"
                                "kobaltron-kactor-install.desktop;\n"
                                "# kobaltron-kactor-open.desktop in a comment stays\n",
                                ours),
              "[Default Applications]\ntext/plain=mine.desktop;\n\n[Added Associations]\n"
              "application/x-kactor=other.desktop;\n# kobaltron-kactor-open.desktop in a comment "
              "stays\n");
    // A group that held nothing but the product's entries goes with them.
    EXPECT_EQ(WithoutDesktopIds(
                  "[Default Applications]\ntext/plain=mine.desktop;\n\n[Added Associations]\n"
                  "application/x-kactor=kobaltron-kactor-open.desktop;\n",
                  ours),
              "[Default Applications]\ntext/plain=mine.desktop;\n");
    EXPECT_EQ(WithoutDesktopIds("[Added Associations]\n", ours), "[Added Associations]\n");
}

TEST(Uninstall, RegistryKeysGoWithEverythingBelowThemAndNothingBeside) {
    RegistryTree t;
    t.SetValue("Kactor\\Shell\\Open\\Command", "", "x");
    t.SetValue("KactorOther", "", "theirs");
    t.SetValue(".KACT", "", "Kactor");
    t.RemoveKey("kactor");
    EXPECT_FALSE(t.HasKey("Kactor"));
    EXPECT_FALSE(t.HasKey("Kactor\\Shell\\Open\\Command"));
    EXPECT_TRUE(t.HasKey("KactorOther"));
    EXPECT_TRUE(t.HasKey(".KACT"));
}

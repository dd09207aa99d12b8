#include "config/shell/registry_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/runtime_error.h"
#include "config/shell/shell_test_support.h"

namespace kobal::shell {
namespace {

using testing::ReadBytes;

TEST(RegistryTree, TextRoundTripKeepsQuotesBackslashesAndCase) {
    RegistryTree tree;
    tree.SetValue("Kactor\\Shell\\Open\\Command", "", "C:\\a b\\kobaltron \"%1\"");
    tree.SetValue(".KACT", "Content Type", "kact");
    const std::string text = tree.Serialize();
    EXPECT_EQ(text,
              "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Kactor]\n\n[HKEY_CLASSES_ROOT\\Kactor\\Shell]\n\n"
              "[HKEY_CLASSES_ROOT\\Kactor\\Shell\\Open]\n\n[HKEY_CLASSES_ROOT\\Kactor\\Shell\\Open\\Command]\n"
              "@=\"C:\\\\a b\\\\kobaltron \\\"%1\\\"\"\n\n[HKEY_CLASSES_ROOT\\.KACT]\n\"Content Type\"=\"kact\"\n");

    const RegistryTree back = RegistryTree::Parse(text, "r.reg");
    EXPECT_EQ(back.Serialize(), text);
    // Names compare without regard to letter case and keep their first spelling.
    EXPECT_EQ(back.Value("kactor\\shell\\OPEN\\command", ""), "C:\\a b\\kobaltron \"%1\"");
    EXPECT_EQ(back.Value(".kact", "content type"), "kact");
    EXPECT_FALSE(back.Value(".kact", ""));
    RegistryTree again = back;
    again.SetValue("KACTOR", "", "KobalTron Actor");
    EXPECT_EQ(again.keys()[0].path, "Kactor");
    EXPECT_EQ(again.keys().size(), back.keys().size());
}

TEST(RegistryTree, MalformedTextNamesFileAndLine) {
    struct Case {
        const char* text;
        int line;
    };
    for (const Case& c :
         {Case{"HKEY\n", 1}, Case{"REGEDIT4\n@=\"x\"\n", 2}, Case{"REGEDIT4\n[HKEY_CURRENT_USER\\x]\n", 2},
          Case{"REGEDIT4\n\n[HKEY_CLASSES_ROOT\\a]\n@=\"open\n", 4}, Case{"REGEDIT4\n[HKEY_CLASSES_ROOT\\a\\\\b]\n", 2},
          Case{"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n\"n\" = \"v\"\n", 3},
          Case{"REGEDIT4\n[HKEY_CLASSES_ROOT\\a]\n@=\"\\q\"\n", 3}}) {
        try {
            RegistryTree::Parse(c.text, "/cfg/registry.reg");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.file(), "/cfg/registry.reg") << c.text;
            EXPECT_EQ(e.line(), c.line) << c.text;
            EXPECT_FALSE(e.detail().empty());
        }
    }
    EXPECT_TRUE(RegistryTree::Parse("", "r").keys().empty());
    EXPECT_TRUE(RegistryTree::Parse("REGEDIT4\r\n; comment\r\n", "r").keys().empty());
}

TEST(FileRegistry, WritesReadTheFileAfreshAndLeaveBadFilesAlone) {
    kobal::TempDir dir;
    FileRegistry reg(dir / "kobaltron/registry.reg");
    std::string reason;
    EXPECT_TRUE(reg.SetValue(".KACT", "", "Kactor", reason));

    // Another program adds a key in between: it is kept.
    FileRegistry other(reg.file());
    EXPECT_TRUE(other.CreateKey("Other", reason));
    EXPECT_TRUE(reg.SetValue(".KPLS", "", "Kplaylist", reason));
    const RegistryTree tree = reg.Read();
    EXPECT_TRUE(tree.HasKey("Other"));
    EXPECT_EQ(tree.Value(".KACT", ""), "Kactor");
    EXPECT_FALSE(std::filesystem::exists(reg.file() + ".new"));

    dir.Write("kobaltron/registry.reg", "not a registry\n");
    EXPECT_FALSE(reg.CreateKey("Kactor", reason));
    EXPECT_NE(reason.find(reg.file()), std::string::npos);
    EXPECT_NE(reason.find("line 1"), std::string::npos);
    EXPECT_EQ(ReadBytes(reg.file()), "not a registry\n");

    EXPECT_FALSE(reg.CreateKey("a\\\\b", reason));
    EXPECT_EQ(reason, "not a valid key name");
}

TEST(FileRegistry, UnwritablePlaceGivesTheCause) {
    kobal::TempDir dir;
    dir.Write("blocked", "a file where the folder should be");
    FileRegistry reg(dir / "blocked/registry.reg");
    std::string reason;
    EXPECT_FALSE(reg.SetValue(".KACT", "", "Kactor", reason));
    EXPECT_NE(reason.find(dir / "blocked/registry.reg"), std::string::npos);
}

}  // namespace
}  // namespace kobal::shell

#include "config/shell/freedesktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "common/runtime_error.h"
#include "config/shell/desktop_shell.h"
#include "config/shell/shell_test_support.h"

namespace kobal::shell {
namespace {

using testing::ReadBytes;
namespace fs = std::filesystem;

class FakeRunner : public CommandRunner {
public:
    std::optional<int> Run(const std::vector<std::string>& argv) override {
        std::string line;
        for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
        calls.push_back(line);
        return status;
    }
    std::vector<std::string> calls;
    std::optional<int> status = 0;
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

FileTypeInfo ActorType(const std::string& installdir) {
    FileTypeInfo info;
    info.Extension = ".KACT";
    info.TypeName = "Kactor";
    info.Description = "KobalTron Actor";
    info.IconPath = installdir + "resource\\KobalTronIcon.ico";
    info.Verbs = {"Open", "Install"};
    info.Commands = {installdir + "resource\\kobaltron \"%1\"", installdir + "resource\\kobalconfig \"%1\""};
    return info;
}

TEST(DesktopText, CommandsSplitIntoProgramAndFile) {
    EXPECT_EQ(SplitCommand("/a b\\resource\\kobaltron \"%1\"").program, "/a b\\resource\\kobaltron");
    EXPECT_TRUE(SplitCommand("/a b\\resource\\kobaltron \"%1\"").passesFile);
    EXPECT_EQ(SplitCommand("/x\\kobaltron %1").program, "/x\\kobaltron");
    EXPECT_TRUE(SplitCommand("/x\\kobaltron %1").passesFile);
    EXPECT_EQ(SplitCommand("/x\\kobalconfig").program, "/x\\kobalconfig");
    EXPECT_FALSE(SplitCommand("/x\\kobalconfig").passesFile);
    EXPECT_FALSE(SplitCommand("%1").passesFile);
}

TEST(DesktopText, ExecQuotingSurvivesBothUnescapingSteps) {
    // Field codes double "%"; the quoting rule escapes " ` $ \ with "\".
    EXPECT_EQ(QuoteExecArgument("/a b/k$o`\"\\%"), "\"/a b/k\\$o\\`\\\"\\\\%%\"");
    EXPECT_EQ(QuoteExecArgument("/opt/k/resource/kobaltron"), "/opt/k/resource/kobaltron");
    EXPECT_EQ(QuoteExecArgument("/opt/100%/x"), "/opt/100%%/x");
    EXPECT_EQ(QuoteExecArgument(""), "\"\"");
    // The string-value rule then doubles every "\" again.
    EXPECT_EQ(EscapeDesktopValue("\"a\\\\b\"\nx\ty"), "\"a\\\\\\\\b\"\\nx\\ty");
    EXPECT_EQ(MimeTypeFor("Kactor"), "application/x-kactor");
    EXPECT_EQ(VerbDesktopId("K play/list", "Open"), "kobaltron-k-play-list-open.desktop");
}

TEST(DesktopText, MimeAppsMergeKeepsEveryOtherLine) {
    const std::string old =
        "# mine\n[Default Applications]\ntext/plain=editor.desktop;\napplication/x-kactor=old.desktop;\n\n"
        "[Added Associations]\napplication/x-kactor=kobaltron-kactor-install.desktop;viewer.desktop;\n"
        "[Removed Associations]\nimage/png=x.desktop;\n";
    const std::string merged = MergeMimeApps(
        old, "application/x-kactor", {"kobaltron-kactor-open.desktop", "kobaltron-kactor-install.desktop"});
    EXPECT_EQ(merged,
              "# mine\n[Default Applications]\ntext/plain=editor.desktop;\n"
              "application/x-kactor=kobaltron-kactor-open.desktop;\n\n"
              "[Added Associations]\napplication/x-kactor=kobaltron-kactor-open.desktop;"
              "kobaltron-kactor-install.desktop;viewer.desktop;\n"
              "[Removed Associations]\nimage/png=x.desktop;\n");

    EXPECT_EQ(MergeMimeApps("", "application/x-kpls", {"a.desktop"}),
              "[Default Applications]\napplication/x-kpls=a.desktop;\n\n"
              "[Added Associations]\napplication/x-kpls=a.desktop;\n");
    // A group without the type gets it after its last entry, before the blank line.
    EXPECT_EQ(MergeMimeApps("[Default Applications]\nx/y=z.desktop;\n\n[Other]\n", "a/b", {"k.desktop"}),
              "[Default Applications]\nx/y=z.desktop;\na/b=k.desktop;\n\n[Other]\n\n"
              "[Added Associations]\na/b=k.desktop;\n");
}

class FreedesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.Write("Kobal Tron/resource/kobaltron", "#!/bin/sh\n");
        dir.Write("Kobal Tron/resource/kobalconfig", "#!/bin/sh\n");
        fs::permissions(dir / "Kobal Tron/resource/kobaltron", fs::perms::owner_all);
        fs::permissions(dir / "Kobal Tron/resource/kobalconfig", fs::perms::owner_all);
        dir.Write("Kobal Tron/resource/KobalTronIcon.ico", "");
    }
    kobal::TempDir dir;
    const std::string installdir = dir / "Kobal Tron\\";
    FakeRunner runner;
    Freedesktop desktop{dir / "data", dir / "config", runner};
};

TEST_F(FreedesktopTest, FileTypeGetsMimePackageEntriesAndDefault) {
    EXPECT_TRUE(desktop.RegisterFileType(ActorType(installdir)).empty());

    const std::string xml = ReadBytes(desktop.MimePackageFile("Kactor"));
    EXPECT_TRUE(Contains(xml, "<mime-type type=\"application/x-kactor\">"));
    EXPECT_TRUE(Contains(xml, "<comment>KobalTron Actor</comment>"));
    EXPECT_TRUE(Contains(xml, "<glob pattern=\"*.kact\"/>"));
    EXPECT_TRUE(Contains(xml, "<glob pattern=\"*.kac\"/>"));
    EXPECT_FALSE(Contains(xml, "case-sensitive"));  // BOB.KACT matches too

    const std::string open = ReadBytes(dir / "data/applications/kobaltron-kactor-open.desktop");
    EXPECT_TRUE(Contains(open, "Exec=\"" + dir.path() + "/Kobal Tron/resource/kobaltron\" %f\n")) << open;
    // Relative playlist entries are read from the install directory.
    EXPECT_TRUE(Contains(open, "Path=" + dir.path() + "/Kobal Tron\n")) << open;
    EXPECT_TRUE(Contains(open, "MimeType=application/x-kactor;\n"));
    EXPECT_TRUE(Contains(open, "Icon=" + dir.path() + "/Kobal Tron/resource/KobalTronIcon.ico\n"));
    EXPECT_TRUE(Contains(open, "NoDisplay=true\n"));
    const std::string install = ReadBytes(dir / "data/applications/kobaltron-kactor-install.desktop");
    EXPECT_TRUE(Contains(install, "Name=Install KobalTron Actor\n"));
    EXPECT_TRUE(Contains(install, "/Kobal Tron/resource/kobalconfig\" %f\n"));

    EXPECT_EQ(ReadBytes(dir / "config/mimeapps.list"),
              "[Default Applications]\napplication/x-kactor=kobaltron-kactor-open.desktop;\n\n"
              "[Added Associations]\napplication/x-kactor=kobaltron-kactor-open.desktop;"
              "kobaltron-kactor-install.desktop;\n");
}

TEST_F(FreedesktopTest, UnwritablePlacesAreNamed) {
    dir.Write("config", "a file where the folder should be");
    const auto failures = desktop.RegisterFileType(ActorType(installdir));
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].rfind(dir / "config/mimeapps.list: ", 0), 0u) << failures[0];
}

TEST_F(FreedesktopTest, CacheToolsRunAndOnlyTheirFailuresCount) {
    EXPECT_TRUE(desktop.RefreshCaches().empty());
    EXPECT_TRUE(runner.calls.empty());  // nothing written yet, nothing to refresh

    desktop.RegisterFileType(ActorType(installdir));
    EXPECT_TRUE(desktop.RefreshCaches().empty());
    EXPECT_EQ(runner.calls, (std::vector<std::string>{"update-mime-database " + dir / "data/mime",
                                                      "update-desktop-database " + dir / "data/applications"}));
    runner.status.reset();  // tools not installed
    EXPECT_TRUE(desktop.RefreshCaches().empty());
    runner.status = 2;
    const auto failures = desktop.RefreshCaches();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0], dir / "data/mime" + ": update-mime-database ended with status 2");
}

TEST_F(FreedesktopTest, MenuEntryBesideTheShortcut) {
    fs::create_directories(dir / "apps/Kobaltron");
    desktop.WriteMenuEntry(dir / "apps/Kobaltron/Congigure Kobaltron.url", "Congigure Kobaltron",
                           installdir + "resource\\kobalconfig", installdir + "resource\\KobalTronIcon.ico");
    const std::string program = ReadBytes(dir / "apps/Kobaltron/Congigure Kobaltron.desktop");
    EXPECT_TRUE(Contains(program, "Name=Congigure Kobaltron\n"));
    EXPECT_TRUE(Contains(program, "Exec=\"" + dir.path() + "/Kobal Tron/resource/kobalconfig\"\n")) << program;
    EXPECT_TRUE(Contains(program, "Icon=" + dir.path() + "/Kobal Tron/resource/KobalTronIcon.ico\n"));

    // A document (here through a file address) opens with its own application.
    desktop.WriteMenuEntry(dir / "apps/Bob.url", "Bob", "file:///" + dir / "actors/bob.kact", "");
    const std::string doc = ReadBytes(dir / "apps/Bob.desktop");
    EXPECT_TRUE(Contains(doc, "Exec=xdg-open " + dir.path() + "/actors/bob.kact\n")) << doc;
    EXPECT_FALSE(Contains(doc, "Icon="));

    dir.Write("plain", "x");
    try {
        desktop.WriteMenuEntry(dir / "plain/X.url", "X", "/bin/true", "");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.file(), dir / "plain/X.desktop");
    }
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        std::array<char, 256> buf{};
        while (std::fgets(buf.data(), buf.size(), p)) out += buf.data();
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

// The system-wide package holds both product types, each element exactly as
// the per-user registration writes it, so the two never disagree.
TEST_F(FreedesktopTest, SystemPackageDescribesBothTypesAsTheUserOneDoes) {
    const std::vector<FileTypeInfo> types = ProductFileTypes(installdir);
    ASSERT_EQ(types.size(), 2u);
    const std::string package = MimePackageXml(types);
    for (const FileTypeInfo& type : types) {
        desktop.RegisterFileType(type);
        const std::string user = ReadBytes(desktop.MimePackageFile(type.TypeName));
        const std::string element = MimeTypeElement(type);
        EXPECT_TRUE(Contains(user, element)) << user;
        EXPECT_TRUE(Contains(package, element)) << package;
    }
    EXPECT_TRUE(Contains(package, "type=\"application/x-kactor\""));
    EXPECT_TRUE(Contains(package, "type=\"application/x-kplaylist\""));
    EXPECT_EQ(package.rfind("<?xml", 0), 0u);
    EXPECT_EQ(package.find("<mime-info"), package.rfind("<mime-info"));
}

bool HaveTool(const std::string& name) { return !Output("command -v " + name + " 2>/dev/null").empty(); }

// The real desktop files and tools, in a private home: what a file manager
// would find for an actor file afterwards.
TEST(DesktopShellTest, FileManagersOpenActorFilesWithTheLauncher) {
    kobal::TempDir home;
    testing::ScopedEnv env;
    env.Set("HOME", home.path());
    env.Set("XDG_DATA_HOME", home / "share");
    env.Set("XDG_CONFIG_HOME", home / "config");
    env.Set("XDG_CURRENT_DESKTOP", "");
    for (const char* program : {"kobalactor", "kobaltron", "kobalconfig"}) {
        home.Write(std::string("product/resource/") + program, "#!/bin/sh\n");
        fs::permissions(home / "product/resource/" + program, fs::perms::owner_all);
    }

    testing::FakeBoxes boxes;
    testing::FakeInstallPath installPath;
    installPath.value = home / "product";
    SettingStore settings(SettingStore::Program::Config);
    DesktopShell shell(boxes, installPath, "/nowhere", settings, "Kobalconfig");
    shell.module().RegisterFileAssociations();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "File Associations have been made!");

    EXPECT_EQ(FileRegistry(home / "config/kobaltron/registry.reg").Read().Value(".KACT", ""), "Kactor");

    if (HaveTool("xdg-mime")) {
        EXPECT_EQ(Output("xdg-mime query default application/x-kactor"), "kobaltron-kactor-open.desktop");
        EXPECT_EQ(Output("xdg-mime query default application/x-kplaylist"), "kobaltron-kplaylist-open.desktop");
    } else {
        const std::string apps = ReadBytes(home / "config/mimeapps.list");
        EXPECT_TRUE(Contains(apps, "application/x-kactor=kobaltron-kactor-open.desktop;"));
    }
    if (HaveTool("update-mime-database")) {
        // The refreshed database maps every letter case of both endings.
        const std::string globs = ReadBytes(home / "share/mime/globs2");
        for (const char* g : {"application/x-kactor:*.kact", "application/x-kactor:*.kac",
                              "application/x-kplaylist:*.kpls", "application/x-kplaylist:*.kpl"})
            EXPECT_TRUE(Contains(globs, g)) << g << "\n" << globs;
    }
    if (HaveTool("gio")) {
        home.Write("Bob.KACT", "[end]\n");
        EXPECT_TRUE(Contains(Output("gio info -a standard::content-type '" + home / "Bob.KACT" + "' 2>&1"),
                             "application/x-kactor"));
    }
}

}  // namespace
}  // namespace kobal::shell

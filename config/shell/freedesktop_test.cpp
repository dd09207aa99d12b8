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

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

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
        "# mine\n[Default "
        "Applications]\ntext/plain=editor.desktop;\napplication/x-kactor=old.desktop;\n\n"
        "[Added "
        "Associations]\napplication/x-kactor=kobaltron-kactor-install.desktop;viewer.desktop;\n"
        "[Removed Associations]\nimage/png=x.desktop;\n";
    const std::string merged = MergeMimeApps(old, "application/x-kactor",
                                             {"kobaltron-kactor-open.desktop", "kobaltron-kactor-install.desktop"});
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
    EXPECT_TRUE(Contains(xml, "<comment>Kobaltron actor</comment>"));
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
    EXPECT_TRUE(Contains(install, "Name=Install Kobaltron actor\n"));
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
    desktop.WriteMenuEntry(dir / "apps/Kobaltron/Congigure Kobaltron.url",
                           {.name = "Congigure Kobaltron",
                            .target = installdir + "resource\\kobalconfig",
                            .iconFile = installdir + "resource\\KobalTronIcon.ico",
                            .open = MenuOpen::Program,
                            .categories = "Settings;"});
    const std::string program = ReadBytes(dir / "apps/Kobaltron/Congigure Kobaltron.desktop");
    EXPECT_TRUE(Contains(program, "Name=Congigure Kobaltron\n"));
    EXPECT_TRUE(Contains(program, "Exec=\"" + dir.path() + "/Kobal Tron/resource/kobalconfig\"\n")) << program;
    EXPECT_TRUE(Contains(program, "Path=" + dir.path() + "/Kobal Tron\n")) << program;
    EXPECT_TRUE(Contains(program, "Icon=" + dir.path() + "/Kobal Tron/resource/KobalTronIcon.ico\n"));
    EXPECT_TRUE(Contains(program, "Categories=Settings;\n"));

    // A document opens with its own application, whatever its mode.
    dir.Write("help.txt", "#!/bin/sh\ntouch " + dir / "ran" + "\n");
    fs::permissions(dir / "help.txt", fs::perms::owner_all);
    desktop.WriteMenuEntry(dir / "apps/Help.url", {.name = "Help", .target = dir / "help.txt"});
    const std::string doc = ReadBytes(dir / "apps/Help.desktop");
    EXPECT_TRUE(Contains(doc, "Exec=xdg-open " + dir.path() + "/help.txt\n")) << doc;
    EXPECT_FALSE(Contains(doc, "Icon="));
    EXPECT_FALSE(Contains(doc, "Categories="));

    dir.Write("plain", "x");
    try {
        desktop.WriteMenuEntry(dir / "plain/X.url", {.name = "X", .target = "/bin/true"});
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.file(), dir / "plain/X.desktop");
    }
}

// The Exec line of an actor's entry as a desktop reads it: unescaped as a
// string value, then split by the quoting rules, then field codes.
std::vector<std::string> ExecArguments(const std::string& entry) {
    const size_t at = entry.find("\nExec=");
    std::string value;
    for (size_t i = at + 6; i < entry.size() && entry[i] != '\n'; ++i) {
        if (entry[i] == '\\') {
            const char c = entry[++i];
            value += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 's' ? ' ' : c;
        } else {
            value += entry[i];
        }
    }
    std::vector<std::string> args;
    std::string arg;
    bool quoted = false, any = false;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (quoted && c == '\\' && i + 1 < value.size()) {
            arg += value[++i];
        } else if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any || !arg.empty()) args.push_back(arg);
            arg.clear();
            any = false;
        } else if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            arg += value[++i];
        } else {
            arg += c;
        }
    }
    if (any || !arg.empty()) args.push_back(arg);
    return args;
}

// An actor file or playlist is handed to the launcher, never run, even
// with its execute bit and a name full of characters the rules reserve.
TEST_F(FreedesktopTest, ActorEntriesRunTheLauncherWithTheFileWhateverItsMode) {
    const std::string launcher = installdir + "resource\\kobaltron";
    for (const std::string name : {"bob.kact", "a b's $HOME `x` \"q\" 100% #1 (x);&|<>*?~.kact", "k=v\ttab.kpls"}) {
        const std::string file = dir.Write("actors/" + name, "#!/bin/sh\ntouch " + dir / "ran" + "\n[end]\n");
        fs::permissions(file, fs::perms::owner_all);
        desktop.WriteMenuEntry(dir / "apps/Bob.url", {.name = "Bob",
                                                      .target = "file:///" + file,
                                                      .open = MenuOpen::Launcher,
                                                      .launcher = launcher,
                                                      .categories = "Game;Amusement;"});
        const std::string entry = ReadBytes(dir / "apps/Bob.desktop");
        EXPECT_EQ(ExecArguments(entry), (std::vector<std::string>{dir.path() + "/Kobal Tron/resource/kobaltron", file}))
            << entry;
        EXPECT_TRUE(Contains(entry, "Path=" + dir.path() + "/Kobal Tron\n")) << entry;
        EXPECT_TRUE(Contains(entry, "Categories=Game;Amusement;\n"));
    }
    EXPECT_FALSE(fs::exists(dir / "ran"));
}

// A packaged install already offers "Configure Kobaltron" for the same
// program: no second entry, and an earlier one of ours goes.
TEST_F(FreedesktopTest, NoEntryBesideTheSystemsOwnForTheSameProgram) {
    testing::ScopedEnv env;
    env.Set("XDG_DATA_DIRS", dir / "nothing" + ":" + dir / "system");
    const std::string program = dir / "Kobal Tron/resource/kobalconfig";
    const MenuEntry configure{.name = "Congigure Kobaltron",
                              .target = installdir + "resource\\kobalconfig",
                              .open = MenuOpen::Program,
                              .systemEntry = kSystemConfigEntry};
    fs::create_directories(dir / "apps/Kobaltron");
    const std::string ours = dir / "apps/Kobaltron/Congigure Kobaltron.desktop";

    // Another install's entry does not stand for this one.
    dir.Write("system/applications/org.kobaltron.Kobalconfig.desktop",
              "[Desktop Entry]\nName=Configure Kobaltron\nExec=/usr/bin/elsewhere-kobalconfig\n");
    desktop.WriteMenuEntry(dir / "apps/Kobaltron/Congigure Kobaltron.url", configure);
    EXPECT_TRUE(fs::exists(ours));

    // A link in a bin folder to the same program, quoted as a path with a blank must be.
    fs::create_directories(dir / "system/bin");
    fs::create_symlink(program, dir / "system/bin/kobal config");
    dir.Write("system/applications/org.kobaltron.Kobalconfig.desktop",
              "[Desktop Entry]\nName=Configure Kobaltron\nExec=\"" + dir / "system/bin/kobal config" + "\"\n");
    desktop.WriteMenuEntry(dir / "apps/Kobaltron/Congigure Kobaltron.url", configure);
    EXPECT_FALSE(fs::exists(ours));
}

TEST(DesktopText, TypesGetTheirIconAndASentenceCaseName) {
    FileTypeInfo actor = ProductFileTypes("/k/")[0];
    const std::string xml = MimeTypeElement(actor);
    EXPECT_TRUE(Contains(xml, "<comment>Kobaltron actor</comment>")) << xml;
    EXPECT_TRUE(Contains(xml, "<icon name=\"application-x-kactor\"/>")) << xml;
    EXPECT_TRUE(Contains(xml, "<generic-icon name=\"text-x-generic\"/>")) << xml;
    EXPECT_EQ(actor.Description, "KobalTron Actor");  // the registry keeps its own text
    EXPECT_EQ(DesktopDescription("KobalTron Playlist"), "Kobaltron playlist");
    EXPECT_EQ(MimeIconName("Kplaylist"), "application-x-kplaylist");
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

bool HaveTool(const std::string& name) {
    return !Output("command -v " + name + " 2>/dev/null").empty();
}

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
    shell.integration().RegisterFileAssociations();
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

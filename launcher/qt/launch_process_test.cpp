// Runs the real kobaltron program against a private install directory whose
// actor program is a stand-in that records how it was started; and, once the
// actor program is built, against the staged tree and its sample playlist.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "common/qt/qt_support.h"
#include "common/qt/x11_probe.h"
#include "common/runtime_error.h"
#include "common/test_files.h"
#include "launcher/qt/launcher_ports.h"

using namespace kobal;
using namespace kobal::launcher;
namespace fs = std::filesystem;
using kobal::qt::Q;
using Strings = std::vector<std::string>;

namespace {

struct Started {
    long long ms = 0;
    int pid = 0;
    Strings args;
};

long long NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Polls (other processes, not a timer) until the check holds or 60 s pass:
// a loaded machine, or a sanitizer build, is slow to start processes.
template <typename Check>
void WaitFor(Check check) {
    for (int i = 0; i < 3000 && !check(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The stand-in's log: start time, pid, argument count, arguments.
std::vector<Started> ReadLog(const std::string& log, size_t expected) {
    std::vector<Started> out;
    WaitFor([&] {
        out.clear();
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            Started s;
            std::string count, arg;
            fields >> s.ms >> s.pid >> count;
            fields.get();
            while (std::getline(fields, arg, '\t')) s.args.push_back(arg);
            out.push_back(s);
        }
        return out.size() >= expected;
    });
    return out;
}

Strings ArgsOf(const std::vector<Started>& started) {
    Strings out;
    for (const auto& s : started) out.insert(out.end(), s.args.begin(), s.args.end());
    return out;
}

// Running, not merely waiting to be reaped.
bool Alive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    stat >> pidField >> name >> state;
    return stat && state != "Z" && state != "X";
}

bool HaveDisplay() {
    return !qgetenv("DISPLAY").isEmpty();
}

// An install directory with a blank in its name: the launcher and the
// stand-in actor program in resource/, the launcher's pictures, testdata.
class Installation : public ::testing::Test {
  protected:
    void SetUp() override {
        inst = root.path() + "/kobal tron";
        fs::create_directories(inst + "/resource");
        fs::copy(KOBAL_LAUNCHER_TEST_DATA, inst, fs::copy_options::recursive);
        fs::create_symlink(KOBALTRON_PROGRAM, inst + "/resource/kobaltron");
        fs::create_symlink(KOBAL_STAND_IN_ACTOR, inst + "/resource/kobalactor");
        for (const char* art : {"splash.gif", "playlist.jpg"})
            fs::copy_file(std::string(KOBAL_STAGE_DIR) + "/resource/" + art, inst + "/resource/" + art);
        Config(0);
        root.Write("config/kobaltron/Kobaltron.ini", "[Path]\nApplication=" + inst + "\n");
        log = root / "started.log";
    }
    void TearDown() override {
        for (const auto& s : ReadLog(log, 0)) ::kill(s.pid, SIGTERM);
    }
    void Config(int showsplash) {
        root.Write("kobal tron/resource/config.kcfg", "showsplash=" + std::to_string(showsplash) + "\r\n[end]\r\n");
    }
    void Start(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Q(root / "config"));
        env.insert("KOBAL_STAND_IN_LOG", Q(log));
        env.insert("KOBALTRON_NO_DIALOGS", "1");
        env.insert("HOME", Q(root / "home"));
        env.insert("XDG_DATA_HOME", Q(root / "data"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(Q(workdir.empty() ? inst : workdir));
        startMs = NowMs();
        p.start(KOBALTRON_PROGRAM, args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    int Run(const QStringList& args) {
        QProcess p;
        Start(p, args);
        EXPECT_TRUE(p.waitForFinished(20000));
        err = p.readAllStandardError().toStdString();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    TempDir root;
    std::string inst, log, err;
    std::string workdir;  // the install directory when empty
    long long startMs = 0;
    const Strings bobAndAnn{"actors\\bob.kact", "actors\\ann, the second.kact"};
};

}  // namespace

TEST_F(Installation, PlaylistStartsEachCompatibleActorAndTheyOutliveTheLauncher) {
    EXPECT_EQ(Run({"trio.kpls"}), 0) << err;
    EXPECT_NE(err.find("!: Kobaltron is not compatible with this version (Kobaltron V0.9)."), std::string::npos) << err;
    // One argument each, blanks and comma included, as the playlist names them.
    const auto started = ReadLog(log, 2);
    // Started in playlist order (the launcher's own tests check that), but
    // two detached processes may write their first line either way round.
    EXPECT_THAT(ArgsOf(started), ::testing::UnorderedElementsAreArray(bobAndAnn));
    for (const auto& s : started) EXPECT_TRUE(Alive(s.pid)) << s.pid;

    kobal::launcher::qt::QtProcessStarter starter;
    EXPECT_THROW(starter.StartProcess(inst + "/resource/nothing", "x.kact"), RuntimeError);
}

TEST_F(Installation, SplashShowsShapedForThreeSecondsBeforeTheFirstActor) {
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    Config(1);
    QProcess p;
    Start(p, {"\"" + Q(inst) + "/trio.kpls\""});
    const QRegularExpression splashWindow(R"((0x[0-9a-f]+) "Kobaltron": \("kobaltron")");
    QRegularExpressionMatch match;
    WaitFor([&] {
        QProcess xwininfo;
        xwininfo.start("xwininfo", {"-root", "-tree"});
        xwininfo.waitForFinished(5000);
        match = splashWindow.match(QString::fromLocal8Bit(xwininfo.readAllStandardOutput()));
        return match.hasMatch();
    });
    ASSERT_TRUE(match.hasMatch()) << "no splash window on the server";
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(match.captured(1).toULong(nullptr, 16)), 1);
    EXPECT_TRUE(ReadLog(log, 0).empty());

    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const auto started = ReadLog(log, 2);
    // Started in playlist order (the launcher's own tests check that), but
    // two detached processes may write their first line either way round.
    EXPECT_THAT(ArgsOf(started), ::testing::UnorderedElementsAreArray(bobAndAnn));
    ASSERT_FALSE(started.empty());
    EXPECT_GE(started[0].ms - startMs, 2900);
}

TEST_F(Installation, FailuresNameTheFileAndKeepEarlierActors) {
    EXPECT_EQ(Run({"broken.kpls"}), 1);
    EXPECT_NE(err.find("Kobaltron: Run-time error '62': Input past end of file: actors/noend.kact, line 4"),
              std::string::npos)
        << err;
    const auto started = ReadLog(log, 1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(Alive(started[0].pid));

    EXPECT_EQ(Run({}), 1);
    EXPECT_NE(err.find("!: Usage: Kobaltron:[Actorfile.kact] Usage: Kobaltron:[Actorlist.kpls]"), std::string::npos)
        << err;
    if (HaveDisplay()) {  // the splash picture is loaded before anything starts
        Config(1);
        fs::remove(inst + "/resource/splash.gif");
        EXPECT_EQ(Run({"trio.kpls"}), 1);
        EXPECT_NE(err.find("File not found: " + inst + "/resource/splash.gif"), std::string::npos) << err;
        EXPECT_EQ(ReadLog(log, 0).size(), 1u);
    }
}

TEST_F(Installation, RelativeNamesFromAnotherFolderAreReadWhereTheyAreFound) {
    root.Write("home/work/.keep", "");
    workdir = root / "home/work";
    root.Write("home/work/mine/pip.kact", "version=Kobaltron V1.0\r\nactorname=Pip\r\n[end]\r\n");
    // The install directory holds actors/bob.kact too: the working directory wins.
    root.Write("home/work/actors/bob.kact", "version=Kobaltron V1.0\r\nactorname=Mine\r\n[end]\r\n");

    EXPECT_EQ(Run({"mine/pip.kact"}), 0) << err;  // only here
    EXPECT_EQ(ReadLog(log, 1).size(), 1u);
    EXPECT_EQ(Run({"actors/ann, the second.kact"}), 0) << err;  // only below the install directory
    EXPECT_EQ(ReadLog(log, 2).size(), 2u);
    EXPECT_EQ(Run({"\"actors/bob.kact\""}), 0) << err;  // in both
    const auto started = ReadLog(log, 3);
    EXPECT_THAT(ArgsOf(started),
                ::testing::UnorderedElementsAre(workdir + "/mine/pip.kact", inst + "\\actors/ann, the second.kact",
                                                workdir + "/actors/bob.kact"));
    for (const auto& s : started) EXPECT_TRUE(Alive(s.pid)) << s.pid;

    // In neither: the usage box, and nothing more starts.
    EXPECT_EQ(Run({"actors/gone.kact"}), 1);
    EXPECT_NE(err.find("!: Usage: Kobaltron:[Actorfile.kact] Usage: Kobaltron:[Actorlist.kpls]"), std::string::npos)
        << err;
    // A playlist below the install directory: its entry found here is read
    // here, the others beside the playlist.
    EXPECT_EQ(Run({"trio.kpls"}), 0) << err;
    const auto all = ReadLog(log, 5);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_THAT(ArgsOf({all.begin() + 3, all.end()}),
                ::testing::UnorderedElementsAre("actors\\bob.kact", inst + "/actors\\ann, the second.kact"));
}

TEST_F(Installation, MissingSplashPictureNamesTheActorFileAndStartsNothing) {
    // Refused before the splash would open the display.
    Config(1);
    workdir = root / "home";
    const std::string nokey = root.Write("home/nokey.kact", "version=Kobaltron V1.0\r\nactorname=Bop\r\n[end]\r\n");
    EXPECT_EQ(Run({"nokey.kact"}), 1);
    EXPECT_NE(err.find("Kobaltron: Run-time error '53': File not found: " + nokey + " (" + kNoSplashKeyText + ")"),
              std::string::npos)
        << err;
    // Set, but the picture is not there: the picture and the actor file that names it.
    EXPECT_EQ(Run({"actors/bob.kact"}), 1);
    EXPECT_NE(err.find("Run-time error '53': File not found: " + inst +
                       "/actors/bob.gif (the splash picture, splashscreen=bob.gif in " + inst + "/actors/bob.kact)"),
              std::string::npos)
        << err;
    EXPECT_TRUE(ReadLog(log, 0).empty());
}

namespace {

Strings ProcStrings(int pid, const char* what) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + what, std::ios::binary);
    Strings out;
    for (std::string s; std::getline(in, s, '\0');) out.push_back(s);
    return out;
}

// Running processes of the program that carry the marker in their environment.
std::vector<std::pair<int, std::string>> MarkedProcesses(const std::string& program, const std::string& marker) {
    std::vector<std::pair<int, std::string>> out;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const int pid = std::stoi(name);
        const auto cmd = ProcStrings(pid, "cmdline");
        const auto env = ProcStrings(pid, "environ");
        if (cmd.size() == 2 && cmd[0] == program && Alive(pid) && std::count(env.begin(), env.end(), marker))
            out.emplace_back(pid, cmd[1]);
    }
    return out;
}

struct Recorder : MessageBoxPort, InstallPathStore, ProcessStarter, SplashPort {
    std::string installPath;
    Strings started;
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ReadApplicationPath() override { return installPath; }
    void WriteApplicationPath(const std::string&) override {}
    void StartProcess(const std::string&, const std::string& actorfile) override { started.push_back(actorfile); }
    void ShowSplash(const SplashContent&) override {}
};

}  // namespace

TEST(SamplePlaylist, OneRealActorPerCompatibleActorOutlivingTheLauncher) {
    const std::string stage = KOBAL_STAGE_DIR;
    const std::string program = stage + "/resource/kobalactor";
    if (!fs::exists(program)) GTEST_SKIP() << "the actor program is not built yet: " << program;
    if (!HaveDisplay()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    Strings playlists;
    for (const auto& entry : fs::recursive_directory_iterator(stage))
        if (entry.is_regular_file() && ClassifyTarget(entry.path().string()) == TargetKind::Playlist)
            playlists.push_back(entry.path().string());
    if (playlists.empty()) GTEST_SKIP() << "no sample playlist staged below " << stage;
    const std::string playlist = *std::min_element(playlists.begin(), playlists.end());

    // What the launcher's logic asks for is what must be running.
    Recorder expected;
    expected.installPath = stage;
    const auto here = fs::current_path();
    fs::current_path(stage);
    ActorLauncher({expected, expected, expected, expected, stage}).LaunchFromCommandLine(playlist);
    fs::current_path(here);
    ASSERT_FALSE(expected.started.empty()) << playlist << " names no compatible actor";

    TempDir config;  // no install path setting: the staged tree is the installation
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", Q(config.path()));
    env.insert("KOBALTRON_NO_DIALOGS", "1");
    env.insert("KOBAL_LAUNCH_TEST", Q(config.path()));
    env.insert("XDG_RUNTIME_DIR",
               Q(config.path()));  // a link of their own, apart from other tests' actors
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Q(stage));
    p.start(Q(stage + "/resource/kobaltron"), {Q(playlist)});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    std::vector<std::pair<int, std::string>> actors;
    WaitFor([&] {
        actors = MarkedProcesses(program, "KOBAL_LAUNCH_TEST=" + config.path());
        return actors.size() >= expected.started.size();
    });
    Strings files;
    for (const auto& [pid, file] : actors) files.push_back(file);
    std::sort(files.begin(), files.end());
    std::sort(expected.started.begin(), expected.started.end());
    EXPECT_EQ(files, expected.started);
    for (const auto& [pid, file] : actors) ::kill(pid, SIGTERM);
}

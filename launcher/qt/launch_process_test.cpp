// Runs the real kobaltron program against a private install directory whose
// actor program is a stand-in that records how it was started.
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <signal.h>

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
using kobal::qt::S;

namespace {

struct Started {
    long long ms;
    int pid;
    std::vector<std::string> args;
};

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Reads the stand-in's log, waiting (for other processes, not for a timer)
// until it holds the lines expected.
std::vector<Started> ReadLog(const std::string& log, size_t expected) {
    std::vector<Started> out;
    for (int tries = 0; tries < 250; ++tries) {
        out.clear();
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            Started s;
            std::string part;
            std::getline(fields, part, '\t');
            s.ms = std::stoll(part);
            std::getline(fields, part, '\t');
            s.pid = std::stoi(part);
            std::getline(fields, part, '\t');
            while (std::getline(fields, part, '\t')) s.args.push_back(part);
            out.push_back(s);
        }
        if (out.size() >= expected) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return out;
}

// Running, not merely waiting to be reaped.
bool Alive(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidField, name, state;
    stat >> pidField >> name >> state;
    return stat && state != "Z" && state != "X";
}

// An install directory with a blank in its name, the launcher and the
// stand-in actor program in resource/, and the sample files of testdata.
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

    // Starts kobaltron in the install directory; the caller waits.
    void Start(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", Q(root / "config"));
        env.insert("KOBAL_STAND_IN_LOG", Q(log));
        env.insert("KOBALTRON_NO_DIALOGS", "1");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(Q(inst));
        startMs = NowMs();
        p.start(KOBALTRON_PROGRAM, args);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    int Run(const QStringList& args) {
        QProcess p;
        Start(p, args);
        EXPECT_TRUE(p.waitForFinished(20000));
        err = S(QString::fromLocal8Bit(p.readAllStandardError()));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    TempDir root;
    std::string inst;
    std::string log;
    std::string err;
    long long startMs = 0;
};

}  // namespace

TEST_F(Installation, StarterPassesTheActorFileAsOneArgument) {
    kobal::launcher::qt::QtProcessStarter starter;
    qputenv("KOBAL_STAND_IN_LOG", QByteArray::fromStdString(log));
    starter.StartProcess(inst + "/resource/kobalactor", "my actors\\bob, the first.kact");
    const auto started = ReadLog(log, 1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].args, std::vector<std::string>{"my actors\\bob, the first.kact"});
    EXPECT_THROW(starter.StartProcess(inst + "/resource/nothing", "x.kact"), RuntimeError);
}

TEST_F(Installation, PlaylistStartsEachCompatibleActorAndTheyOutliveTheLauncher) {
    EXPECT_EQ(Run({"trio.kpls"}), 0) << err;
    EXPECT_NE(err.find("!: Kobaltron is not compatible with this version (Kobaltron V0.9)."), std::string::npos)
        << err;
    const auto started = ReadLog(log, 2);
    ASSERT_EQ(started.size(), 2u);
    // Names as the playlist gives them, for the working directory they share.
    EXPECT_EQ(started[0].args, std::vector<std::string>{"actors\\bob.kact"});
    EXPECT_EQ(started[1].args, std::vector<std::string>{"actors\\ann.kact"});
    for (const auto& s : started) EXPECT_TRUE(Alive(s.pid)) << s.pid;
}

TEST_F(Installation, SplashShowsShapedForThreeSecondsBeforeTheFirstActor) {
    if (qgetenv("DISPLAY").isEmpty()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    Config(1);
    QProcess p;
    Start(p, {"\"" + Q(inst) + "/trio.kpls\""});
    // Find the splash on the server while it is up.
    QString tree;
    QRegularExpression splashWindow(R"((0x[0-9a-f]+) "Kobaltron": \("kobaltron")");
    QRegularExpressionMatch match;
    for (int tries = 0; tries < 100 && !match.hasMatch(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QProcess xwininfo;
        xwininfo.start("xwininfo", {"-root", "-tree"});
        xwininfo.waitForFinished(5000);
        tree = QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
        match = splashWindow.match(tree);
    }
    ASSERT_TRUE(match.hasMatch()) << tree.toStdString();
    QString shape;
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(match.captured(1).toULong(nullptr, 16), &shape), 1)
        << shape.toStdString();
    EXPECT_TRUE(ReadLog(log, 0).empty());

    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const auto started = ReadLog(log, 2);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_GE(started[0].ms - startMs, 2900);
}

TEST_F(Installation, FailuresNameTheFileAndKeepEarlierActors) {
    EXPECT_EQ(Run({"broken.kpls"}), 1);
    EXPECT_NE(err.find("Kobaltron: Run-time error '62': Input past end of file: actors/noend.kact, line 4"),
              std::string::npos)
        << err;
    auto started = ReadLog(log, 1);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].args, std::vector<std::string>{"actors\\bob.kact"});
    EXPECT_TRUE(Alive(started[0].pid));

    EXPECT_EQ(Run({}), 1);
    EXPECT_NE(err.find("!: Usage: Kobaltron:[Actorfile.kact] Usage: Kobaltron:[Actorlist.kpls]"), std::string::npos)
        << err;

    // The splash picture is loaded before anything starts.
    if (!qgetenv("DISPLAY").isEmpty()) {
        Config(1);
        fs::remove(inst + "/resource/splash.gif");
        EXPECT_EQ(Run({"trio.kpls"}), 1);
        EXPECT_NE(err.find("File not found: " + inst + "/resource/splash.gif"), std::string::npos) << err;
        EXPECT_EQ(ReadLog(log, 0).size(), 1u);
    }
}

namespace {

// The NUL-separated contents of a /proc file, as strings.
std::vector<std::string> ProcStrings(int pid, const char* what) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + what, std::ios::binary);
    std::vector<std::string> out;
    for (std::string s; std::getline(in, s, '\0');) out.push_back(s);
    return out;
}

// Processes of the staged actor program that carry our marker.
std::vector<std::pair<int, std::string>> MarkedActors(const std::string& program, const std::string& marker) {
    std::vector<std::pair<int, std::string>> out;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const int pid = std::stoi(name);
        const auto cmd = ProcStrings(pid, "cmdline");
        if (cmd.size() != 2 || cmd[0] != program || !Alive(pid)) continue;
        const auto env = ProcStrings(pid, "environ");
        if (std::find(env.begin(), env.end(), marker) != env.end()) out.emplace_back(pid, cmd[1]);
    }
    return out;
}

struct Recorder : MessageBoxPort, InstallPathStore, ProcessStarter, SplashPort {
    std::string installPath;
    std::vector<std::string> started;
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
    if (qgetenv("DISPLAY").isEmpty()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    std::vector<std::string> playlists;
    for (const auto& entry : fs::recursive_directory_iterator(stage))
        if (entry.is_regular_file() && ClassifyTarget(entry.path().string()) == TargetKind::Playlist)
            playlists.push_back(entry.path().string());
    if (playlists.empty()) GTEST_SKIP() << "no sample playlist staged below " << stage;
    std::sort(playlists.begin(), playlists.end());
    const std::string playlist = playlists.front();

    // What the launcher's logic asks for is what must be running.
    Recorder recorder;
    recorder.installPath = stage;
    {
        const auto old = fs::current_path();
        fs::current_path(stage);
        Koballaunch({recorder, recorder, recorder, recorder, stage}).LaunchFromCommandLine(playlist);
        fs::current_path(old);
    }
    ASSERT_FALSE(recorder.started.empty()) << playlist << " has no compatible actor";

    TempDir config;
    const std::string marker = "KOBAL_LAUNCH_TEST=" + config.path();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", Q(config.path()));  // no setting: the staged tree is the install
    env.insert("KOBALTRON_NO_DIALOGS", "1");
    env.insert("KOBAL_LAUNCH_TEST", Q(config.path()));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(Q(stage));
    p.start(Q(stage + "/resource/kobaltron"), {Q(playlist)});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();

    std::vector<std::pair<int, std::string>> actors;
    for (int tries = 0; tries < 250 && actors.size() < recorder.started.size(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        actors = MarkedActors(program, marker);
    }
    std::vector<std::string> files;
    for (const auto& [pid, file] : actors) files.push_back(file);
    std::sort(files.begin(), files.end());
    std::sort(recorder.started.begin(), recorder.started.end());
    EXPECT_EQ(files, recorder.started);
    for (const auto& [pid, file] : actors) ::kill(pid, SIGTERM);
}

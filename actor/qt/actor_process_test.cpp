// The real actor program on a real X server (run under xvfb-run): window
// size, place and shape, mouse handling, the menu without a tray, and the
// way bad input ends the program.
#include <gtest/gtest.h>

#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLibraryInfo>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

#include "actor/qt/process_harness.h"
#include "common/qt/x11_probe.h"

using namespace kobal::actor::qt::testing;

namespace {

class ActorProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        install = std::make_unique<ActorInstall>();
    }
    std::string WriteActor(const std::string& name, const std::string& activefile) {
        return install->WriteActor(name, activefile);
    }
    void Start(const QStringList& args) { current = &install->Start(args); }
    QString FindWindow() { return ActorInstall::FindWindow("TestActor"); }
    int Finish(QString* err) { return ActorInstall::Finish(*current, err); }

    std::unique_ptr<ActorInstall> install;
    QProcess* current = nullptr;
    kobal::TempDir& dir() { return install->dir; }
};

}  // namespace

TEST_F(ActorProcess, WindowTakesTheAnimationsSizeIsCentredShapedAndMoves) {
    Start({QString::fromStdString(WriteActor("wander.kact", "wander.krnd"))});
    const QString id = FindWindow();
    ASSERT_FALSE(id.isEmpty());
    Wait(300);
    const Geometry first = WindowGeometry(id);
    EXPECT_EQ(first.width, 40);
    EXPECT_EQ(first.height, 30);
    // Near the centre of the 1920x1080 screen after its first frames.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LT(std::abs(first.x + 20 - screen.width() / 2), 80);
    EXPECT_LT(std::abs(first.y + 15 - screen.height() / 2), 80);
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(id.toULong()), 1);
    QString shape;
    kobal::qt::testing::HasBoundingShape(id.toULong(), &shape);
    EXPECT_TRUE(shape.contains("extents:  20x20+10+5")) << shape.toStdString();
    EXPECT_TRUE(Within([&] {
        const Geometry later = WindowGeometry(id);
        return later.x != first.x && later.y != first.y;
    })) << "the wandering actor did not move";
}

// An actor file without actorname gives an empty caption, and the window
// manager sees no other name (Qt would give the program's).
TEST_F(ActorProcess, WithoutANameTheWindowsCaptionIsEmptyForTheWindowManagerToo) {
    Start({QString::fromStdString(install->WriteActor("noname.kact", "stand.krnd", ""))});
    QString id;
    QElapsedTimer t;
    t.start();
    while (id.isEmpty() && t.elapsed() < 15000) {
        const QStringList ids =
            RunTool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(current->processId())})
                .split('\n', Qt::SkipEmptyParts);
        for (const QString& w : ids)
            if (WindowGeometry(w).width == 40 && WindowGeometry(w).height == 30) id = w;
        if (id.isEmpty()) Wait(100);
    }
    ASSERT_FALSE(id.isEmpty()) << "no actor window";
    const QString names = RunTool("xprop", {"-id", id, "_NET_WM_NAME", "WM_NAME"});
    EXPECT_TRUE(
        names.contains(QRegularExpression("_NET_WM_NAME\\(UTF8_STRING\\) = ?$", QRegularExpression::MultilineOption)))
        << names.toStdString();
    EXPECT_TRUE(names.contains(QRegularExpression("^WM_NAME\\(\\w+\\) = ?$", QRegularExpression::MultilineOption)))
        << names.toStdString();
}

TEST_F(ActorProcess, RightDragMovesLeftClickAnswersAndRightClickMenuRemoves) {
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    const QString id = FindWindow();
    ASSERT_FALSE(id.isEmpty());
    Geometry before = WindowGeometry(id);
    EXPECT_TRUE(Within([&] {
        before = WindowGeometry(id);
        return PixelAt(before.x + 20, before.y + 15) == QColor(Qt::red);
    })) << "the first frame is not shown";
    const int cx = before.x + 20, cy = before.y + 15;

    RunTool("xdotool", {"mousemove", QString::number(cx), QString::number(cy), "mousedown", "3"});
    for (int step = 1; step <= 10; ++step) {
        RunTool("xdotool", {"mousemove", QString::number(cx + step * 12), QString::number(cy + step * 7)});
        Wait(20);
    }
    RunTool("xdotool", {"mouseup", "3"});
    Geometry after = WindowGeometry(id);
    Within([&] {
        after = WindowGeometry(id);
        return after.x - before.x >= 118 && after.y - before.y >= 68;
    });
    EXPECT_NEAR(after.x - before.x, 120, 2);
    EXPECT_NEAR(after.y - before.y, 70, 2);

    RunTool("xdotool", {"mousemove", QString::number(after.x + 20), QString::number(after.y + 15), "click", "1"});
    EXPECT_TRUE(Within([&] { return PixelAt(after.x + 20, after.y + 15) == QColor(Qt::blue); }))
        << "no response after a left click";

    // No tray here: a right click without motion opens the actor's menu;
    // "Remove" is its last item.
    RunTool("xdotool", {"click", "3"});
    Wait(500);
    RunTool("xdotool", {"key", "Up", "Return"});
    QString err;
    EXPECT_EQ(Finish(&err), 0) << err.toStdString();
}

TEST_F(ActorProcess, TrayIconBringsTheMenuAndRemoveEndsTheActor) {
    if (RunTool("sh", {"-c", "command -v trayer"}).isEmpty()) GTEST_SKIP() << "trayer (a tray host) is not installed";
    QProcess tray;
    tray.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "200", "--height",
                          "32", "--transparent", "false"});
    ASSERT_TRUE(tray.waitForStarted(3000));
    const QString panel = ActorInstall::FindWindow("panel");
    ASSERT_FALSE(panel.isEmpty());
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    ASSERT_FALSE(FindWindow().isEmpty());
    // The actor's icon is the panel's child window of icon size.
    QString children;
    QRegularExpressionMatch m;
    Within([&] {
        children = RunTool("xwininfo", {"-children", "-id", panel});
        m = QRegularExpression(R"((0x[0-9a-f]+) [^\n]*  \d\d+x\d\d+\+)").match(children);
        return m.hasMatch();
    });
    ASSERT_TRUE(m.hasMatch()) << "no tray icon in the panel: " << children.toStdString();
    ActorInstall::ClickCentre(m.captured(1), 3);
    Wait(600);
    RunTool("xdotool", {"key", "Up", "Return"});
    QString err;
    EXPECT_EQ(Finish(&err), 0) << err.toStdString();
    tray.kill();
    tray.waitForFinished(2000);
}

TEST_F(ActorProcess, TerminateSignalIsACloseRequest) {
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    ASSERT_FALSE(FindWindow().isEmpty());
    current->terminate();
    QString err;
    EXPECT_EQ(Finish(&err), 0) << err.toStdString();
}

// Whatever input method the desktop asks for, the actor (which takes no
// typed text) loads none; it still shows itself.
TEST_F(ActorProcess, NoInputMethodIsLoadedIntoTheActor) {
    const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforminputcontexts");
    if (plugins.entryList({"*.so"}, QDir::Files).isEmpty()) GTEST_SKIP() << "no input method plugin to avoid";
    install->extraEnv.insert("QT_IM_MODULE", "compose");
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    ASSERT_FALSE(FindWindow().isEmpty());
    QFile maps(QString("/proc/%1/maps").arg(current->processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libQt6Gui")) << "not the actor's own map";
    EXPECT_FALSE(mapped.contains("platforminputcontexts/"));
    current->terminate();
    QString err;
    EXPECT_EQ(Finish(&err), 0) << err.toStdString();
}

TEST_F(ActorProcess, StartedByHandItRefusesWithItsMessage) {
    Start({});
    QString err;
    EXPECT_NE(Finish(&err), 0);
    EXPECT_TRUE(err.contains("!: This program is used by Kobaltron, Do not run it manually!")) << err.toStdString();
}

TEST_F(ActorProcess, ATestSeedThatIsNoNumberIsRefusedByName) {
    qputenv("KOBALACTOR_TEST_SEED", "7th");
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    qunsetenv("KOBALACTOR_TEST_SEED");
    QString err;
    EXPECT_EQ(Finish(&err), 2);
    EXPECT_TRUE(err.contains("kobalactor: KOBALACTOR_TEST_SEED \"7th\" is not a whole number")) << err.toStdString();
}

TEST_F(ActorProcess, BrokenActorEndsWithTheErrorNamingTheFile) {
    dir().Write("actor/ghost.kani",
                "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=40\r\nactorheight="
                "30\r\n[end]\r\nghost.bmp\r\n");
    dir().Write("actor/ghost.krnd", "1\r\n!04|1|ghost.kani|\r\n");
    Start({QString::fromStdString(WriteActor("ghost.kact", "ghost.krnd"))});
    QString err;
    EXPECT_EQ(Finish(&err), 1);
    EXPECT_TRUE(err.contains("kobalactor: Run-time error '53': File not found: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("ghost.bmp")) << err.toStdString();

    dir().Write("actor/cut.kani", "framecount=1\r\nframepause=1\r\n");
    dir().Write("actor/cut.krnd", "1\r\n!04|1|cut.kani|\r\n");
    Start({QString::fromStdString(WriteActor("cut.kact", "cut.krnd"))});
    EXPECT_EQ(Finish(&err), 1);
    EXPECT_TRUE(err.contains("Input past end of file: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("cut.kani, line 3")) << err.toStdString();
}

// Real actors in a Wayland session: weston with XWayland, the way a GNOME or
// KDE Wayland session runs them. Weston's headless output has no seat, and
// XWayland crashes on the first synthetic pointer event there, so weston runs
// on a private Xvfb through its X11 output: its seat is the Xvfb pointer, and
// clicks reach the actors through the compositor as real input does.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include "actor/qt/process_harness.h"
#include "common/qt/private_x.h"
#include "common/qt/x11_probe.h"

using namespace kobal::actor::qt::testing;
using kobal::qt::testing::PrivateX;

namespace {

const QColor kDesktop(0x20, 0x40, 0x60);

QString RunOn(const QString& display, const QString& program, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

class WaylandSession : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        for (const char* tool : {"weston", "Xwayland", "Xvfb"})
            if (RunTool("sh", {"-c", QString("command -v ") + tool}).isEmpty())
                GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";
        install = std::make_unique<ActorInstall>();
        runtime = QString::fromStdString(install->dir / "wayland");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

        host = std::make_unique<PrivateX>(QStringList{"-screen", "0", "1400x900x24"});
        ASSERT_TRUE(host->running()) << "Xvfb gave no display";
        hostDisplay = host->display();

        install->dir.Write("wayland.ini",
                           "[core]\nxwayland=true\nidle-time=0\n[shell]\npanel-position=none\n"
                           "background-color=0xff204060\n");
        const QString log = runtime + "/weston.log";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", hostDisplay);
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.remove("WAYLAND_DISPLAY");
        compositor.setProcessEnvironment(env);
        compositor.start("weston", {"--backend=x11-backend.so", "--use-pixman", "--xwayland", "--socket=kobal-wl",
                                    "--width=1280", "--height=800", "--log=" + log,
                                    "--config=" + QString::fromStdString(install->dir / "wayland.ini")});
        ASSERT_TRUE(compositor.waitForStarted(5000));
        QElapsedTimer t;
        t.start();
        while (xwayland.isEmpty() && t.elapsed() < 20000) {
            QFile f(log);
            if (f.open(QIODevice::ReadOnly)) {
                const auto m = QRegularExpression("xserver listening on display (:\\d+)").match(f.readAll());
                if (m.hasMatch()) xwayland = m.captured(1);
            }
            if (xwayland.isEmpty()) Wait(100);
        }
        ASSERT_FALSE(xwayland.isEmpty()) << "weston started no XWayland";
        // The actors and the window probes talk to XWayland; the pointer
        // and the screenshots belong to weston's own display.
        oldDisplay = qgetenv("DISPLAY");
        oldPlatform = qgetenv("QT_QPA_PLATFORM");
        qputenv("DISPLAY", xwayland.toLatin1());
        // This test's own Qt may run offscreen; the actors must not.
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("WAYLAND_DISPLAY", (runtime + "/kobal-wl").toLatin1());
    }
    void TearDown() override {
        if (!oldDisplay.isNull()) qputenv("DISPLAY", oldDisplay);
        if (!oldPlatform.isNull()) qputenv("QT_QPA_PLATFORM", oldPlatform);
        qunsetenv("WAYLAND_DISPLAY");
        install.reset();
        if (compositor.state() != QProcess::NotRunning) {
            compositor.terminate();
            if (!compositor.waitForFinished(5000)) compositor.kill();
            compositor.waitForFinished(2000);
        }
        host.reset();
    }
    QColor ShownAt(int x, int y) {
        const QString file = QString::fromStdString(install->dir / "shown.png");
        RunOn(hostDisplay, "import", {"-window", "root", "-crop", QString("1x1+%1+%2").arg(x).arg(y), file});
        return QImage(file).pixelColor(0, 0);
    }
    void Pointer(const QStringList& args) { RunOn(hostDisplay, "xdotool", args); }
    // Weston's X11 output follows the host pointer by relative motion, which
    // drifts at its edges; entering its window sets the place exactly. Its
    // window is smaller than the host screen so that the pointer can leave.
    void PointTo(int x, int y) {
        Pointer({"mousemove", "1350", "850"});
        Wait(100);
        Pointer({"mousemove", QString::number(x), QString::number(y)});
        Wait(200);
    }
    // Screenshots for a person to look at, when KOBAL_SHOT_DIR names a directory.
    void Shot(const QString& name) {
        const QString dir = qEnvironmentVariable("KOBAL_SHOT_DIR");
        if (!dir.isEmpty())
            RunOn(hostDisplay, "import", {"-window", "root", "-crop", "1280x800+0+0", dir + "/" + name});
    }

    std::unique_ptr<ActorInstall> install;
    QString runtime, hostDisplay, xwayland;
    QByteArray oldDisplay, oldPlatform;
    std::unique_ptr<PrivateX> host;
    QProcess compositor;
};

}  // namespace

TEST_F(WaylandSession, ActorIsShapedStandsWhereItSaysAndWalks) {
    install->Start({QString::fromStdString(install->WriteActor("wander.kact", "wander.krnd"))});
    const QString id = ActorInstall::FindWindow("TestActor", 15000);
    ASSERT_FALSE(id.isEmpty()) << "no actor window on XWayland";
    Wait(500);
    const Geometry first = WindowGeometry(id);
    EXPECT_EQ(first.width, 40);
    EXPECT_EQ(first.height, 30);
    // Weston would put a managed window where it likes, in a frame of its own.
    EXPECT_TRUE(RunTool("xwininfo", {"-id", id}).contains("Override Redirect State: yes"));
    EXPECT_LT(std::abs(first.x + 20 - 640), 120);
    EXPECT_LT(std::abs(first.y + 15 - 400), 120);
    QString shape;
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(id.toULong(), &shape), 1);
    EXPECT_TRUE(shape.contains("extents:  20x20+10+5")) << shape.toStdString();

    QElapsedTimer t;
    t.start();
    Geometry later = first;
    while (t.elapsed() < 10000 && (later.x == first.x || later.y == first.y)) {
        Wait(200);
        later = WindowGeometry(id);
    }
    EXPECT_TRUE(later.x != first.x && later.y != first.y) << "the wandering actor did not move";
}

TEST_F(WaylandSession, CompositorShowsItWhereItIsDragsItAndItsMenuRemovesIt) {
    // It stands in place but changes its picture, as a real actor does:
    // weston draws a newly mapped XWayland popup only when it repaints.
    WritePicture(install->dir / "actor/red2.bmp", Qt::red);
    install->dir.Write("actor/glow.kani",
                       "framecount=2\r\nframepause=1\r\ntimerspeed=40\r\nmovespeed=30\r\n"
                       "actorwidth=40\r\nactorheight=30\r\ntransparentred=255\r\n"
                       "transparentgreen=0\r\ntransparentblue=255\r\n[end]\r\nred.bmp\r\nred2.bmp\r\n");
    install->dir.Write("actor/glow.krnd", "1\r\n!04|1000|glow.kani|\r\n");
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("glow.kact", "glow.krnd"))});
    const QString id = ActorInstall::FindWindow("TestActor", 15000);
    ASSERT_FALSE(id.isEmpty()) << "no actor window on XWayland";
    Wait(500);
    const Geometry before = WindowGeometry(id);
    const int cx = before.x + 20, cy = before.y + 15;
    PointTo(1200, 700);
    // What weston composites at the place XWayland holds: the picture.
    QElapsedTimer t;
    t.start();
    while (ShownAt(cx - 6, cy - 6) != QColor(Qt::red) && t.elapsed() < 5000) Wait(200);
    EXPECT_EQ(ShownAt(cx - 6, cy - 6), QColor(Qt::red));
    // Weston ignores the X shape: the key colour must be transparent itself.
    EXPECT_EQ(ShownAt(before.x + 3, before.y + 3), kDesktop) << "the key colour shows";
    Shot("actor-under-weston.png");

    // A right drag through the compositor's pointer.
    PointTo(cx, cy);
    Pointer({"mousedown", "3"});
    for (int step = 1; step <= 10; ++step) {
        Pointer({"mousemove", QString::number(cx + step * 12), QString::number(cy + step * 7)});
        Wait(30);
    }
    Pointer({"mouseup", "3"});
    Wait(500);
    const Geometry after = WindowGeometry(id);
    EXPECT_NEAR(after.x - before.x, 120, 2);
    EXPECT_NEAR(after.y - before.y, 70, 2);
    t.restart();
    while (ShownAt(after.x + 14, after.y + 9) != QColor(Qt::red) && t.elapsed() < 5000) Wait(200);
    EXPECT_EQ(ShownAt(after.x + 14, after.y + 9), QColor(Qt::red)) << "weston does not show the actor where it went";

    // No tray: a right click opens the menu; "Remove" is its last item.
    Pointer({"click", "3"});
    QString menu;
    t.restart();
    while (menu.isEmpty() && t.elapsed() < 8000) {
        for (const QString& w : RunTool("xdotool", {"search", "--onlyvisible", "--class", "kobalactor"}).split('\n'))
            if (!w.isEmpty() && w != id && WindowGeometry(w).height > 60) menu = w;
        if (menu.isEmpty()) Wait(200);
    }
    ASSERT_FALSE(menu.isEmpty()) << "no menu opened";
    const Geometry m = WindowGeometry(menu);
    // Drawn by the compositor, with the pointer still where it clicked.
    t.restart();
    while (ShownAt(m.x + 30, m.y + m.height - 12) == kDesktop && t.elapsed() < 5000) Wait(200);
    EXPECT_NE(ShownAt(m.x + 30, m.y + m.height - 12), kDesktop) << "weston does not show the menu";
    Shot("menu-under-weston.png");
    PointTo(m.x + m.width / 2, m.y + m.height - 10);
    Pointer({"click", "1"});
    QString err;
    EXPECT_EQ(ActorInstall::Finish(actor, &err), 0) << err.toStdString();
}

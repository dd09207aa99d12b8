// The real actor program on X servers of the test's own: two monitors of
// different sizes and a layout change while actors run, scaled screens,
// and staying out of the way (fullscreen windows, click-through).
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <set>
#include <thread>

#include "actor/qt/process_harness.h"
#include "actor/qt/window_manager_ready.h"
#include "actor/qt/x_support.h"
#include "common/qt/private_x.h"
#include "common/qt/x11_probe.h"

using namespace kobal::actor::qt::testing;
using kobal::qt::testing::PrivateX;

namespace {

// Polls until the condition holds, with a limit generous for a loaded machine.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (condition()) return true;
        Wait(100);
    }
    return condition();
}

class DesktopProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        if (!PrivateX::Installed("Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        install = std::make_unique<ActorInstall>();
        install->WriteQuickMovers();
    }
    QString StartActor(const std::string& name, const std::string& list) { return install->StartActor(name, list); }
    // Saves the screen for the lead when KOBAL_SHOTS names a directory.
    static void Shot(const QString& name, const QStringList& drawing = {}) {
        const QString dir = qEnvironmentVariable("KOBAL_SHOTS");
        if (dir.isEmpty()) return;
        QDir().mkpath(dir);
        const QString file = dir + "/" + name + ".png";
        RunTool("import", {"-window", "root", file});
        if (!drawing.isEmpty()) RunTool("convert", QStringList{file} + drawing + QStringList{file});
    }
    std::string Errors() { return install->Errors(); }
    std::unique_ptr<ActorInstall> install;
};

constexpr const char* kSecondMonitor = "1280/338x1024/270+1920+0";

}  // namespace

// Qt reads monitors from RandR 1.5; Xvfb holds one screen, on which xrandr
// sets two monitors side by side and takes one away again.
TEST_F(DesktopProcess, ActorsRoamBothMonitorsAndComeBackWhenOneGoes) {
    PrivateX x({"-screen", "0", "3200x1080x24"});
    ASSERT_TRUE(x.running());
    RunTool("xrandr", {"--setmonitor", "A", "1920/508x1080/286+0+0", "screen"});
    RunTool("xrandr", {"--setmonitor", "B", kSecondMonitor, "none"});
    ASSERT_TRUE(RunTool("xrandr", {"--listmonitors"}).contains("Monitors: 2"));

    const QString walker = StartActor("Walker", "walk.krnd");
    const QString fallerA = StartActor("FallerA", "fall.krnd");
    const QString fallerB = StartActor("FallerB", "fall.krnd");
    ASSERT_FALSE(walker.isEmpty() || fallerA.isEmpty() || fallerB.isEmpty()) << Errors();

    // Start-up centres on the primary monitor, and the fallers land on its floor.
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(fallerB).y == 1080 - 30; }));
    EXPECT_NEAR(WindowGeometry(fallerB).x, 960 - 20, 2);

    // Carried onto the second monitor, a faller lands on that one's floor.
    Geometry g = WindowGeometry(fallerB);
    RunTool("xdotool", {"mousemove", QString::number(g.x + 20), QString::number(g.y + 15), "mousedown", "3"});
    for (int step = 1; step <= 20; ++step) {
        RunTool("xdotool", {"mousemove", QString::number(g.x + 20 + step * 78), QString::number(g.y + 15 - step * 40)});
        Wait(20);
    }
    RunTool("xdotool", {"mouseup", "3"});
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(fallerB).y == 1024 - 30; }))
        << "at " << WindowGeometry(fallerB).x << "," << WindowGeometry(fallerB).y;
    EXPECT_GT(WindowGeometry(fallerB).x, 1920);
    EXPECT_EQ(WindowGeometry(fallerA).y, 1080 - 30);

    // The walker crosses onto the second monitor and turns at its far edge.
    int farthest = 0;
    bool turned = false;
    EXPECT_TRUE(WaitFor(
        [&] {
            const int wx = WindowGeometry(walker).x;
            farthest = std::max(farthest, wx);
            turned = farthest > 3200 - 40 - 40 && wx < farthest - 60;
            return turned;
        },
        40000))
        << "farthest " << farthest;
    EXPECT_LE(farthest, 3200 - 40 + 20);
    EXPECT_EQ(WindowGeometry(walker).y, 540 - 15);
    Shot("two-monitors", {"-fill", "none", "-stroke", "gray50", "-draw", "rectangle 0,0 1919,1079", "-draw",
                          "rectangle 1920,0 3199,1023", "-fill", "gray20", "-draw", "rectangle 1920,1024 3199,1079"});

    // The second monitor goes while the actors run: nobody stays on it.
    RunTool("xrandr", {"--delmonitor", "B"});
    EXPECT_TRUE(WaitFor([&] {
        const Geometry f = WindowGeometry(fallerB);
        return f.x + 40 <= 1920 && f.y == 1080 - 30;
    })) << "the faller left on the second monitor is at "
        << WindowGeometry(fallerB).x;
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(walker).x + 40 <= 1920; }));
    for (int i = 0; i < 15; ++i) {
        EXPECT_LE(WindowGeometry(walker).x + 40, 1920 + 20) << "the walker walked off the desktop";
        Wait(100);
    }
    Shot("after-second-monitor-removed");

    // Back again, lower down: the walker finds it again.
    RunTool("xrandr", {"--setmonitor", "B", "1280/338x1024/270+1920+56", "none"});
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(walker).x > 1920; }, 40000));
}

// Xvfb's Xinerama lays its screens over each other at the origin, and Qt 6
// takes its screens from RandR, which shows one 1920 x 1080 monitor there:
// the actors keep to it.
TEST_F(DesktopProcess, UnderXineramaActorsKeepToTheDesktop) {
    PrivateX x({"+xinerama", "-screen", "0", "1920x1080x24", "-screen", "1", "1280x1024x24"});
    ASSERT_TRUE(x.running());
    const QString walker = StartActor("Walker", "walk.krnd");
    const QString faller = StartActor("Faller", "fall.krnd");
    ASSERT_FALSE(walker.isEmpty() || faller.isEmpty()) << Errors();
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1080 - 30; }));
    int lowest = 5000, highest = -5000;
    for (int i = 0; i < 60; ++i) {
        const int wx = WindowGeometry(walker).x;
        lowest = std::min(lowest, wx);
        highest = std::max(highest, wx);
        Wait(100);
    }
    EXPECT_GE(lowest, 0);
    EXPECT_LE(highest, 1920 - 40 + 20);
    EXPECT_GT(highest - lowest, 300) << "the walker did not walk";
}

// Scaled screens: the actor scales by the screen's whole factor, so a
// picture pixel is a 2 x 2 block of device pixels, its shape is cut at the
// same blocks, and its twips map to the same places as on a plain screen.
class ScaledScreen : public DesktopProcess, public ::testing::WithParamInterface<const char*> {};

TEST_P(ScaledScreen, ActorScalesCleanlyAndKeepsItsPlaces) {
    PrivateX x({"-screen", "0", "1920x1080x24"});
    ASSERT_TRUE(x.running());
    const std::string how = GetParam();
    if (how == "QT_SCALE_FACTOR=2") install->extraEnv.insert("QT_SCALE_FACTOR", "2");
    else RunTool("sh", {"-c", "echo 'Xft.dpi: 192' | xrdb -merge"});

    const QString stand = StartActor("Stand", "stand.krnd");
    ASSERT_FALSE(stand.isEmpty()) << Errors();
    ASSERT_TRUE(WaitFor([&] { return WindowGeometry(stand).width == 80; })) << WindowGeometry(stand).width;
    // On a loaded machine the scaled picture may reach the screen a little
    // after the window's size.
    WaitFor([&] {
        const Geometry now = WindowGeometry(stand);
        return PixelAt(now.x + 59, now.y + 49) == QColor(Qt::red);
    });
    const Geometry g = WindowGeometry(stand);
    EXPECT_EQ(g.height, 60);
    // Centred on the screen in device pixels.
    EXPECT_NEAR(g.x + 40, 960, 2);
    EXPECT_NEAR(g.y + 30, 540, 2);
    QString shape;
    kobal::qt::testing::HasBoundingShape(g.x >= 0 ? stand.toULong() : 0, &shape);
    EXPECT_TRUE(shape.contains("extents:  40x40+20+10")) << shape.toStdString();
    // The block's edges fall on the shape's: red inside, the desktop outside.
    EXPECT_EQ(PixelAt(g.x + 20, g.y + 10), QColor(Qt::red));
    EXPECT_EQ(PixelAt(g.x + 59, g.y + 49), QColor(Qt::red));
    EXPECT_EQ(PixelAt(g.x + 19, g.y + 30), QColor(Qt::black));
    EXPECT_EQ(PixelAt(g.x + 60, g.y + 30), QColor(Qt::black));

    // The floor in twips is the screen's bottom edge in device pixels. The
    // faller starts only now: starting where the other actor stands, it
    // could otherwise cover the pixels read above.
    const QString faller = StartActor("Faller", "fall.krnd");
    ASSERT_FALSE(faller.isEmpty()) << Errors();
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1080 - 60; })) << WindowGeometry(faller).y;

    // A right drag keeps the grab point under the pointer.
    const int cx = g.x + 40, cy = g.y + 30;
    RunTool("xdotool", {"mousemove", QString::number(cx), QString::number(cy), "mousedown", "3"});
    for (int step = 1; step <= 10; ++step) {
        RunTool("xdotool", {"mousemove", QString::number(cx + step * 12), QString::number(cy - step * 7)});
        Wait(20);
    }
    RunTool("xdotool", {"mouseup", "3"});
    Wait(300);
    const Geometry moved = WindowGeometry(stand);
    EXPECT_NEAR(moved.x - g.x, 120, 2);
    EXPECT_NEAR(moved.y - g.y, -70, 2);
    Shot(QString::fromStdString(how == "QT_SCALE_FACTOR=2" ? "scale-factor-2" : "xft-dpi-192"),
         {"-crop", "400x300+760+390"});
}

INSTANTIATE_TEST_SUITE_P(Both, ScaledScreen, ::testing::Values("QT_SCALE_FACTOR=2", "Xft.dpi=192"),
                         [](const auto& info) { return std::string(info.param[0] == 'Q' ? "ScaleFactor" : "XftDpi"); });

namespace {

QString MapState(const QString& id) {
    const auto m = QRegularExpression("Map State: (\\w+)").match(RunTool("xwininfo", {"-id", id}));
    return m.hasMatch() ? m.captured(1) : QString();
}

}  // namespace

// A real window manager (openbox) keeps _NET_ACTIVE_WINDOW and the
// fullscreen state; the fullscreen window is the configuration tool's.
TEST_F(DesktopProcess, ActorAskedToHideStaysAwayWhileAFullscreenWindowIsActive) {
    if (!PrivateX::Installed("openbox") || !PrivateX::Installed("wmctrl"))
        GTEST_SKIP() << "openbox and wmctrl are not installed (scripts/deps installs them)";
    PrivateX x({"-screen", "0", "1280x1024x24"});
    ASSERT_TRUE(x.running());
    x.Helper("openbox", {"--sm-disable"});
    ASSERT_TRUE(WaitFor([] { return RunTool("wmctrl", {"-m"}).contains("Openbox"); }, 10000));

    auto& d = install->dir;
    d.Write("install/resource/config.kcfg",
            "priorityup =100\r\nspeedup=100\r\naudioon= 0 \r\nshowsplash= 0 "
            "\r\nboredtime=60\r\nsleeptime=300\r\n"
            "hibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\noverrideactor= 0 \r\n"
            "hidefullscreen= 1 \r\n[end]\r\n");
    const QString shy = StartActor("Shy", "stand.krnd");
    // An actor file's own preference wins over the global one.
    d.Write("bold.kact", "actorname=Bold\r\nactorpath=" + d.path() +
                             "/actor/\r\niconfile=icon.bmp\r\nactivefile=stand.krnd\r\nresponsefile=answer.krnd\r\n"
                             "boredfile=stand.krnd\r\nsleepfile=stand.krnd\r\nhidefullscreen=0\r\n[end]\r\n");
    install->Start({QString::fromStdString(d / "bold.kact")});
    const QString bold = ActorInstall::FindWindow("Bold", 15000);
    ASSERT_FALSE(shy.isEmpty() || bold.isEmpty()) << Errors();

    QProcess config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(d / "config"));
    env.insert("KOBALTRON_NO_DIALOGS", "1");
    config.setProcessEnvironment(env);
    config.start(KOBAL_STAGE_DIR "/resource/kobalconfig", {});
    const QString window = ActorInstall::FindWindow("Kobaltron Configuration", 15000);
    ASSERT_FALSE(window.isEmpty());
    RunTool("wmctrl", {"-i", "-a", window});
    Wait(300);
    EXPECT_EQ(MapState(shy), "IsViewable") << "a plain active window hides nothing";

    RunTool("wmctrl", {"-i", "-r", window, "-b", "add,fullscreen"});
    EXPECT_TRUE(WaitFor([&] { return MapState(shy) == "IsUnMapped"; }, 10000)) << MapState(shy).toStdString();
    EXPECT_EQ(MapState(bold), "IsViewable");
    Shot("fullscreen-active");

    RunTool("wmctrl", {"-i", "-r", window, "-b", "remove,fullscreen"});
    EXPECT_TRUE(WaitFor([&] { return MapState(shy) == "IsViewable"; }, 10000));

    // Fullscreen again, then another window becomes active: the actor is back.
    RunTool("wmctrl", {"-i", "-r", window, "-b", "add,fullscreen"});
    EXPECT_TRUE(WaitFor([&] { return MapState(shy) == "IsUnMapped"; }, 10000));
    RunTool("wmctrl", {"-i", "-a", bold});
    EXPECT_TRUE(WaitFor([&] { return MapState(shy) == "IsViewable"; }, 10000));
    config.kill();
    config.waitForFinished(3000);
}

// Click-through from the tray menu, and back out of it the same way.
TEST_F(DesktopProcess, ClickThroughLetsClicksPassAndTheTrayMenuEndsIt) {
    if (!PrivateX::Installed("trayer")) GTEST_SKIP() << "trayer (a tray host) is not installed";
    PrivateX x({"-screen", "0", "1280x1024x24"});
    ASSERT_TRUE(x.running());
    x.Helper("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "200", "--height", "32",
                        "--transparent", "false"});
    const QString panel = ActorInstall::FindWindow("panel");
    ASSERT_FALSE(panel.isEmpty());
    const QString actor = StartActor("Ghost", "stand.krnd");
    ASSERT_FALSE(actor.isEmpty()) << Errors();
    QString icon;
    ASSERT_TRUE(WaitFor(
        [&] {
            const auto m = QRegularExpression(R"((0x[0-9a-f]+) [^\n]*  \d\d+x\d\d+\+)")
                               .match(RunTool("xwininfo", {"-children", "-id", panel}));
            icon = m.hasMatch() ? m.captured(1) : QString();
            return !icon.isEmpty();
        },
        10000))
        << "no tray icon";
    // The item above Help, About and Remove.
    // The actor's windows on the screen: its own, and its menu while open.
    auto shown = [] { return RunTool("xdotool", {"search", "--onlyvisible", "--class", "kobalactor"}).count('\n'); };
    auto toggle = [&] {
        const int before = shown();
        ActorInstall::ClickCentre(icon, 3);
        ASSERT_TRUE(WaitFor([&] { return shown() > before; }, 10000)) << "the tray menu did not open";
        Wait(200);
        RunTool("xdotool", {"key", "Up", "Up", "Up", "Up", "Return"});
        ASSERT_TRUE(WaitFor([&] { return shown() == before; }, 10000)) << "the tray menu did not close";
        Wait(200);
    };
    Wait(400);
    const Geometry g = WindowGeometry(actor);
    const QString cx = QString::number(g.x + 20), cy = QString::number(g.y + 15);

    toggle();
    RunTool("xdotool", {"mousemove", cx, cy, "click", "1"});
    Wait(600);
    EXPECT_EQ(PixelAt(g.x + 20, g.y + 15), QColor(Qt::red)) << "the click reached the actor";
    // The pointer is over the desktop, not the actor.
    EXPECT_FALSE(RunTool("xdotool", {"getmouse", "--shell"}).contains("WINDOW=" + QString::number(actor.toULong())));

    toggle();
    RunTool("xdotool", {"mousemove", cx, cy, "click", "1"});
    EXPECT_TRUE(WaitFor([&] { return PixelAt(g.x + 20, g.y + 15) == QColor(Qt::blue); }, 5000))
        << "clicks still pass through";
}

// Scaled and on two monitors: Qt's own coordinates have a gap between the
// monitors there, the actor's desktop does not.
TEST_F(DesktopProcess, ScaledWalkerStillCrossesIntoTheNextMonitor) {
    PrivateX x({"-screen", "0", "3200x1080x24"});
    ASSERT_TRUE(x.running());
    RunTool("xrandr", {"--setmonitor", "A", "1920/508x1080/286+0+0", "screen"});
    RunTool("xrandr", {"--setmonitor", "B", kSecondMonitor, "none"});
    install->extraEnv.insert("QT_SCALE_FACTOR", "2");
    const QString walker = StartActor("Walker", "walk.krnd");
    ASSERT_FALSE(walker.isEmpty()) << Errors();
    int farthest = 0;
    EXPECT_TRUE(WaitFor(
        [&] {
            const Geometry g = WindowGeometry(walker);
            farthest = std::max(farthest, g.x);
            return farthest > 3200 - 80 - 40 && g.x < farthest - 100;
        },
        40000))
        << "farthest " << farthest;
    EXPECT_LE(farthest, 3200 - 80 + 40);
    EXPECT_EQ(WindowGeometry(walker).width, 80);
}

namespace {

// Reads the whole screen over and over on a connection of its own, from
// before the actors start, and counts the pixels of the key colours.
class ScreenReader {
  public:
    explicit ScreenReader(std::set<uint32_t> keys) : keys_(std::move(keys)) {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) return;
        thread_ = std::thread([this] { Run(); });
    }
    ~ScreenReader() {
        Stop();
        xcb_disconnect(connection_);
    }
    bool connected() const { return thread_.joinable() || reads_ > 0; }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    long reads() const { return reads_; }
    long keyedReads() const { return keyedReads_; }
    long keyPixels() const { return keyPixels_; }
    double longestGapMs() const { return longestGapMs_; }
    const std::string& first() const { return first_; }

  private:
    void Run() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        const int width = screen->width_in_pixels;
        auto last = std::chrono::steady_clock::now();
        while (!stop_) {
            xcb_get_image_reply_t* image =
                xcb_get_image_reply(connection_,
                                    xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 0, 0,
                                                  screen->width_in_pixels, screen->height_in_pixels, ~0u),
                                    nullptr);
            const auto now = std::chrono::steady_clock::now();
            if (reads_ > 0)
                longestGapMs_ =
                    std::max(longestGapMs_.load(), std::chrono::duration<double, std::milli>(now - last).count());
            last = now;
            if (!image) break;
            const auto* pixels = reinterpret_cast<const uint32_t*>(xcb_get_image_data(image));
            const int count = xcb_get_image_data_length(image) / 4;
            long keyed = 0;
            for (int i = 0; i < count; ++i) {
                if (!keys_.count(pixels[i] & 0xFFFFFF)) continue;
                if (!keyed && first_.empty())
                    first_ = "at " + std::to_string(i % width) + "," + std::to_string(i / width) + " on read " +
                             std::to_string(reads_);
                ++keyed;
            }
            std::free(image);
            ++reads_;
            if (keyed) {
                ++keyedReads_;
                keyPixels_ += keyed;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
        }
    }
    std::set<uint32_t> keys_;
    xcb_connection_t* connection_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<long> reads_{0}, keyedReads_{0}, keyPixels_{0};
    std::atomic<double> longestGapMs_{0};
    std::string first_;
};

// The key colour an animation file names, as 0xRRGGBB.
uint32_t KeyColour(const QString& kani) {
    QFile f(kani);
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QString text = QString::fromLatin1(f.readAll());
    auto part = [&](const char* name) {
        const auto m = QRegularExpression(QString("(?m)^%1=\\s*(\\d+)").arg(name)).match(text);
        return m.hasMatch() ? m.captured(1).toUInt() & 0xFF : 0u;
    };
    return part("transparentred") << 16 | part("transparentgreen") << 8 | part("transparentblue");
}

}  // namespace

// Without a compositor a window manager's frame keeps what the actor last
// drew until the manager reshapes it: the screen is read from before the
// first map while both sample actors walk, and no key colour may show.
TEST_F(DesktopProcess, KeyColourNeverReachesTheScreenUnderAWindowManagerWithoutACompositor) {
    if (!PrivateX::Installed("openbox")) GTEST_SKIP() << "openbox is not installed";
    const QString samples = KOBAL_STAGE_DIR "/actors";
    if (!QFile::exists(samples + "/tron/tron.kact")) GTEST_SKIP() << "the sample actors are not built";
    PrivateX x({"-screen", "0", "640x480x24"});
    ASSERT_TRUE(x.running());
    x.Helper("openbox", {"--sm-disable"});
    ASSERT_TRUE(WindowManagerReady()) << "openbox did not start";

    // Both samples, walking and nothing else.
    std::set<uint32_t> keys;
    struct Sample {
        const char* dir;
        const char* name;
    };
    const Sample both[] = {{"tron", "Tron"}, {"kobi", "Kobi"}};
    for (const Sample& sample : both) {
        const std::string dir = install->dir / (std::string("samples/") + sample.dir);
        QDir().mkpath(QString::fromStdString(install->dir / "samples"));
        RunTool("cp", {"-r", samples + "/" + sample.dir, QString::fromStdString(dir)});
        const uint32_t key = KeyColour(QString::fromStdString(dir + "/walkleft.kani"));
        ASSERT_NE(key, 0u) << sample.dir << " names no key colour";
        keys.insert(key);
        QFile active(QString::fromStdString(dir + "/active.krnd"));
        ASSERT_TRUE(active.open(QIODevice::ReadOnly));
        const auto walk = QRegularExpression("(?m)^!02\\|[^\r\n]*").match(QString::fromLatin1(active.readAll()));
        ASSERT_TRUE(walk.hasMatch()) << sample.dir << " has no walk";
        install->dir.Write("samples/" + std::string(sample.dir) + "/walk.krnd",
                           "1\r\n" + walk.captured(0).toStdString() + "\r\n");
        install->dir.Write(std::string(sample.dir) + ".kact",
                           "actorname=" + std::string(sample.name) + "\r\nactorpath=" + dir +
                               "/\r\niconfile=" + sample.dir +
                               ".ico\r\nactivefile=walk.krnd\r\nresponsefile=walk.krnd\r\n"
                               "boredfile=walk.krnd\r\nsleepfile=walk.krnd\r\n[end]\r\n");
    }

    ScreenReader reader(keys);
    ASSERT_TRUE(reader.connected());
    Wait(200);
    for (const Sample& sample : both)
        install->Start({QString::fromStdString(install->dir / (std::string(sample.dir) + ".kact"))});
    const QString tron = ActorInstall::FindWindow("Tron", 15000);
    const QString kobi = ActorInstall::FindWindow("Kobi", 15000);
    ASSERT_FALSE(tron.isEmpty() || kobi.isEmpty()) << Errors();
    // In the window manager's care, framed as it frames them.
    auto managed = [](const QString& id) {
        return RunTool("xprop", {"-root", "_NET_CLIENT_LIST"})
            .contains(QRegularExpression("0x0*" + QString::number(id.toULong(), 16) + "\\b"));
    };
    EXPECT_TRUE(managed(tron) && managed(kobi)) << RunTool("xprop", {"-root", "_NET_CLIENT_LIST"}).toStdString();
    // Where each walked while the screen was read.
    int lowest[2] = {1 << 20, 1 << 20}, highest[2] = {-(1 << 20), -(1 << 20)};
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 25000 && reader.keyedReads() == 0) {
        const QString ids[2] = {tron, kobi};
        for (int i = 0; i < 2; ++i) {
            const int wx = WindowGeometry(ids[i]).x;
            lowest[i] = std::min(lowest[i], wx);
            highest[i] = std::max(highest[i], wx);
        }
        Wait(200);
    }
    reader.Stop();
    std::cout << reader.reads() << " screen reads, at most " << reader.longestGapMs() << " ms apart\n";

    EXPECT_EQ(reader.keyedReads(), 0) << reader.keyPixels() << " key-coloured pixels in " << reader.keyedReads()
                                      << " of " << reader.reads() << " reads, the first " << reader.first();
    EXPECT_GT(highest[0] - lowest[0], 40) << "Tron did not walk\n" << Errors();
    EXPECT_GT(highest[1] - lowest[1], 40) << "Kobi did not walk\n" << Errors();
    EXPECT_GT(reader.reads(), 100);
}

namespace {

// A dock of the test's own along the bottom edge, reserving its height
// with a strut, as a desktop's panel does.
class BottomDock {
  public:
    explicit BottomDock(int height) {
        c_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c_)) return;
        const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        width_ = s->width_in_pixels;
        rootHeight_ = s->height_in_pixels;
        window_ = xcb_generate_id(c_);
        const uint32_t grey = 0x808080;
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, s->root, 0, static_cast<int16_t>(rootHeight_ - height),
                          static_cast<uint16_t>(width_), static_cast<uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, XCB_CW_BACK_PIXEL, &grey);
        const uint32_t dock = Atom("_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, Atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                            &dock);
        SetStrut(height);
        xcb_map_window(c_, window_);
        xcb_flush(c_);
    }
    ~BottomDock() {
        if (window_) xcb_destroy_window(c_, window_);
        xcb_flush(c_);
        xcb_disconnect(c_);
    }
    // The panel grows or shrinks, and says so.
    void SetHeight(int height) {
        const uint32_t geometry[] = {0, static_cast<uint32_t>(rootHeight_ - height), static_cast<uint32_t>(width_),
                                     static_cast<uint32_t>(height)};
        xcb_configure_window(
            c_, window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT,
            geometry);
        SetStrut(height);
        xcb_flush(c_);
    }

  private:
    uint32_t Atom(const char* name) { return kobal::actor::qt::InternAtom(c_, name); }
    void SetStrut(int height) {
        const uint32_t strut[12] = {0, 0, 0, static_cast<uint32_t>(height),    0, 0, 0, 0,
                                    0, 0, 0, static_cast<uint32_t>(width_ - 1)};
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, Atom("_NET_WM_STRUT_PARTIAL"), XCB_ATOM_CARDINAL, 32,
                            12, strut);
    }
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    int width_ = 0, rootHeight_ = 0;
};

}  // namespace

// Floors are the tops of the panels: an actor stands on a bottom dock,
// rises with it, and comes down to the monitor's edge once it has gone.
TEST_F(DesktopProcess, ActorStandsOnABottomDockAndFollowsItWhenItChangesOrGoes) {
    if (!PrivateX::Installed("openbox")) GTEST_SKIP() << "openbox is not installed";
    PrivateX x({"-screen", "0", "1280x1024x24"});
    ASSERT_TRUE(x.running());
    x.Helper("openbox", {"--sm-disable"});
    ASSERT_TRUE(WindowManagerReady()) << "openbox did not start";
    auto workArea = [] { return RunTool("xprop", {"-root", "_NET_WORKAREA"}); };

    auto dock = std::make_unique<BottomDock>(60);
    ASSERT_TRUE(WaitFor([&] { return workArea().contains("= 0, 0, 1280, 964"); }, 10000)) << workArea().toStdString();
    const QString faller = StartActor("Faller", "fall.krnd");
    ASSERT_FALSE(faller.isEmpty()) << Errors();
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1024 - 60 - 30; }))
        << "at " << WindowGeometry(faller).y;
    Shot("standing-on-a-dock");

    // The panel grows under the actor: it rises with it.
    dock->SetHeight(100);
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1024 - 100 - 30; }))
        << "at " << WindowGeometry(faller).y;

    // The panel goes: the next fall ends at the monitor's edge.
    dock.reset();
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1024 - 30; })) << "at " << WindowGeometry(faller).y;

    // A shorter panel comes: the actor is lifted onto it, never left behind it.
    dock = std::make_unique<BottomDock>(20);
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(faller).y == 1024 - 20 - 30; }))
        << "at " << WindowGeometry(faller).y;
    for (int i = 0; i < 10; ++i) {
        EXPECT_LE(WindowGeometry(faller).y + 30, 1024 - 20) << "behind the panel";
        Wait(100);
    }
}

// A hibernating actor hears nothing of the window manager's lists and takes
// no focus (each would wake it); woken, it takes focus as before and knows
// of the panel that came meanwhile.
TEST_F(DesktopProcess, HibernatingActorTakesNoFocusAndKnowsOfAPanelThatCameMeanwhileWhenWoken) {
    if (!PrivateX::Installed("openbox")) GTEST_SKIP() << "openbox is not installed";
    PrivateX x({"-screen", "0", "1280x1024x24"});
    ASSERT_TRUE(x.running());
    x.Helper("openbox", {"--sm-disable"});
    ASSERT_TRUE(WindowManagerReady()) << "openbox did not start";
    auto& d = install->dir;
    install->Start({QString::fromStdString(d.Write(
        "sleeper.kact", "actorname=Sleeper\r\nactorpath=" + d.path() +
                            "/actor/\r\niconfile=icon.bmp\r\nactivefile=fall.krnd\r\nresponsefile=fall.krnd\r\n"
                            "boredfile=stand.krnd\r\nsleepfile=stand.krnd\r\ninitialpriority=3\r\n[end]\r\n"))});
    const QString sleeper = ActorInstall::FindWindow("Sleeper", 15000);
    ASSERT_FALSE(sleeper.isEmpty()) << Errors();
    auto hints = [&] { return RunTool("xprop", {"-id", sleeper, "WM_HINTS", "WM_PROTOCOLS"}); };
    EXPECT_TRUE(WaitFor([&] {
        const QString h = hints();
        return h.contains("input focus: False") && !h.contains("WM_TAKE_FOCUS");
    })) << hints().toStdString();

    auto dock = std::make_unique<BottomDock>(60);
    auto workArea = [] { return RunTool("xprop", {"-root", "_NET_WORKAREA"}); };
    ASSERT_TRUE(WaitFor([&] { return workArea().contains("= 0, 0, 1280, 964"); }, 10000)) << workArea().toStdString();
    Wait(500);  // time to hear of the panel, were it listening

    // A click wakes it; it falls onto the panel, not behind it.
    const Geometry g = WindowGeometry(sleeper);
    RunTool("xdotool", {"mousemove", QString::number(g.x + 20), QString::number(g.y + 15), "click", "1"});
    EXPECT_TRUE(WaitFor([&] { return WindowGeometry(sleeper).y == 1024 - 60 - 30; }))
        << "at " << WindowGeometry(sleeper).y;
    EXPECT_TRUE(WaitFor([&] {
        const QString h = hints();
        return h.contains("input focus: True") && h.contains("WM_TAKE_FOCUS");
    })) << hints().toStdString();
}

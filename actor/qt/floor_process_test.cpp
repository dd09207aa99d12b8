// The real actor program standing on other programs' windows: openbox on an
// X server of the test's own, xmessage windows, and small actors whose lists
// say exactly what they do (descend, then stand or walk).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <memory>

#include "actor/qt/client_windows.h"
#include "actor/qt/process_harness.h"
#include "actor/qt/window_manager_ready.h"
#include "common/qt/private_x.h"

using namespace kobal::actor::qt::testing;
using kobal::qt::testing::PrivateX;

namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;
constexpr int kActorHeight = 30, kActorWidth = 40;
constexpr int kFloor = kScreenHeight - kActorHeight;  // the actor's top on the monitor's floor

const char kSettings[] =
    "priorityup =100\r\nspeedup=100\r\naudioon= 0 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
    "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
    "overrideactor= 0 \r\n";

class FloorProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        for (const char* tool : {"Xvfb", "openbox", "xmessage", "xdotool", "wmctrl", "xprop", "xwininfo"})
            if (!PrivateX::Installed(tool)) GTEST_SKIP() << tool << " is not installed (scripts/deps installs it)";
        home_ = std::make_unique<PrivateHome>();
        install = std::make_unique<ActorInstall>();
        auto& d = install->dir;
        SetWindowFloors(true);
        const std::string header = install->WriteQuickMovers();
        // Standing, as fast: a lost floor drops it with the animation it stands with.
        d.Write("actor/stand.kani", "framecount=1\r\nframepause=2\r\n" + header + "red.bmp\r\n");
        // Down, then walk on what it landed on.
        d.Write("actor/walkon.krnd", "1\r\n!03|5000|fall.kani|walk.krnd\r\n");
        x_ = std::make_unique<PrivateX>(
            QStringList{"-screen", "0", QString("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight)});
        ASSERT_TRUE(x_->running());
        x_->Helper("openbox", {"--sm-disable"});
        ASSERT_TRUE(WindowManagerReady()) << "openbox did not start";
    }
    void TearDown() override {
        install.reset();  // the actors first, then the windows and the server
        windows.reset();
        x_.reset();
        home_.reset();
    }
    void SetWindowFloors(bool on) {
        install->dir.Write("install/resource/config.kcfg",
                           std::string(kSettings) + (on ? "windowfloors= 1 \r\n" : "") + "[end]\r\n");
    }
    QString StartActor(const std::string& name, const std::string& list) { return install->StartActor(name, list); }
    std::string Errors() { return install->Errors(); }
    static std::string At(const QString& actor) {
        const Geometry g = WindowGeometry(actor);
        return "the actor is at " + std::to_string(g.x) + "," + std::to_string(g.y);
    }
    // Standing on the window's frame, title bar included.
    static bool StandsOn(const QString& actor, const QString& window) {
        const Geometry a = WindowGeometry(actor);
        const Frame f = FrameOf(window);
        return a.y + kActorHeight == f.top && a.x + kActorWidth / 2 >= f.left && a.x + kActorWidth / 2 < f.right();
    }
    static bool OnTheFloor(const QString& actor) { return WindowGeometry(actor).y == kFloor; }

    std::unique_ptr<PrivateHome> home_;
    std::unique_ptr<PrivateX> x_;
    std::unique_ptr<ClientWindows> windows = std::make_unique<ClientWindows>();
    std::unique_ptr<ActorInstall> install;
};

}  // namespace

// The actor starts at the middle of the screen, above the window.
TEST_F(FloorProcess, ActorLandsOnAWindowRidesItWhenItMovesAndFallsWhenItCloses) {
    const QString window = windows->Open("Below", "400x120+440+700");
    ASSERT_FALSE(window.isEmpty());
    const QString actor = StartActor("Faller", "fall.krnd");
    ASSERT_FALSE(actor.isEmpty()) << Errors();
    ASSERT_TRUE(Within([&] { return StandsOn(actor, window); })) << At(actor) << "\n" << Errors();

    // Dragged by another program, the window carries the actor along.
    const Geometry before = WindowGeometry(actor);
    const Frame from = FrameOf(window);
    RunTool("xdotool", {"windowmove", window, "300", "450"});
    ASSERT_TRUE(Within([&] { return FrameOf(window).top != from.top; }));
    const Frame to = FrameOf(window);
    EXPECT_TRUE(Within([&] { return StandsOn(actor, window); })) << At(actor);
    EXPECT_NEAR(WindowGeometry(actor).x - before.x, to.left - from.left, 1) << "the actor slid along the window";

    // Closed under it, the window lets it fall to the monitor's floor.
    windows->Close(window);
    EXPECT_TRUE(Within([&] { return OnTheFloor(actor); })) << At(actor);
}

TEST_F(FloorProcess, WalkerWalksAlongAWindowTopAndFallsOffItsEnd) {
    const QString window = windows->Open("Ledge", "500x100+390+700");
    ASSERT_FALSE(window.isEmpty());
    const Frame f = FrameOf(window);
    const QString walker = StartActor("Walker", "walkon.krnd");
    ASSERT_FALSE(walker.isEmpty()) << Errors();
    ASSERT_TRUE(Within([&] { return StandsOn(walker, window); })) << At(walker) << "\n" << Errors();

    // Along the top, never in the air beside it, until it drops off an end.
    int lowest = 1 << 20, highest = -(1 << 20);
    bool inTheAir = false;
    int droppedAt = -1;  // the walker's middle on its way down
    EXPECT_TRUE(Within([&] {
        const Geometry g = WindowGeometry(walker);
        const int centre = g.x + kActorWidth / 2;
        if (g.y + kActorHeight == f.top) {
            lowest = std::min(lowest, g.x);
            highest = std::max(highest, g.x);
            inTheAir = inTheAir || centre < f.left - 20 || centre >= f.right() + 20;
        } else if (droppedAt < 0 && g.y + kActorHeight > f.top && g.y < kFloor) {
            droppedAt = centre;
        }
        return OnTheFloor(walker);
    })) << At(walker);
    EXPECT_GT(highest - lowest, 100) << "the walker did not walk on the window";
    EXPECT_FALSE(inTheAir) << "the walker walked on beyond the window's top";
    // It came down beside the window, not through it.
    EXPECT_TRUE(droppedAt < 0 || droppedAt < f.left + 30 || droppedAt >= f.right() - 30) << "fell at " << droppedAt;
}

TEST_F(FloorProcess, ActorNeverStandsOnAFullscreenWindow) {
    const QString window = windows->Open("Screen", "400x120+440+700");
    ASSERT_FALSE(window.isEmpty());
    const int top = FrameOf(window).top;
    const QString first = StartActor("First", "fall.krnd");
    ASSERT_FALSE(first.isEmpty()) << Errors();
    ASSERT_TRUE(Within([&] { return StandsOn(first, window); })) << At(first) << "\n" << Errors();

    // The window fills the screen: the actor standing on it falls.
    RunTool("wmctrl", {"-i", "-r", window, "-b", "add,fullscreen"});
    EXPECT_TRUE(Within([&] { return OnTheFloor(first); })) << At(first);

    // One that starts while it fills the screen goes down to the floor, never
    // stopping where the window's top was nor on its top now.
    const QString second = StartActor("Second", "fall.krnd");
    ASSERT_FALSE(second.isEmpty()) << Errors();
    bool stopped = false;
    EXPECT_TRUE(Within([&] {
        const int y = WindowGeometry(second).y;
        stopped = stopped || y + kActorHeight == top || y + kActorHeight == 0;
        return y == kFloor;
    })) << At(second);
    EXPECT_FALSE(stopped);
}

TEST_F(FloorProcess, WithWindowFloorsOffTheActorGoesDownToTheMonitorsFloor) {
    SetWindowFloors(false);
    const QString window = windows->Open("Ignored", "400x120+440+700");
    ASSERT_FALSE(window.isEmpty());
    const int top = FrameOf(window).top;
    const QString actor = StartActor("Faller", "fall.krnd");
    ASSERT_FALSE(actor.isEmpty()) << Errors();
    int stops = 0;
    EXPECT_TRUE(Within([&] {
        stops += WindowGeometry(actor).y + kActorHeight == top;
        return OnTheFloor(actor);
    })) << At(actor);
    EXPECT_LE(stops, 1) << "the actor stood on the window";
    // And it stays there when the window moves under where it fell.
    RunTool("xdotool", {"windowmove", window, "440", "900"});
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(OnTheFloor(actor)) << At(actor);
        Wait(100);
    }
}

// Kobi from the samples, on a window and falling when it closes, for the
// eye: the pictures go where KOBAL_SHOTS says.
TEST_F(FloorProcess, KobiStandsOnAWindowAndFallsWhenItCloses) {
    const QString samples = KOBAL_STAGE_DIR "/actors/kobi";
    if (!QFile::exists(samples + "/kobi.kact")) GTEST_SKIP() << "the sample actors are not built";
    auto& d = install->dir;
    const std::string dir = d / "kobi";
    RunTool("cp", {"-r", samples, QString::fromStdString(dir)});
    // Down onto the window, then wave there; a lost floor plays Kobi's drop.
    d.Write("kobi/onwindow.krnd", "1\r\n!03|-300|fall.kani|wave.krnd\r\n");
    d.Write("kobi/wave.krnd", "1\r\n!04|1|wave.kani|\r\n");
    d.Write("kobi.kact", "actorname=Kobi\r\nactorpath=" + dir +
                             "/\r\niconfile=kobi.ico\r\nactivefile=onwindow.krnd\r\nresponsefile=onwindow.krnd\r\n"
                             "boredfile=onwindow.krnd\r\nsleepfile=onwindow.krnd\r\nfallfile=drop.krnd\r\n[end]\r\n");
    const QString window = windows->Open("A window to stand on", "500x160+390+640");
    ASSERT_FALSE(window.isEmpty());
    install->Start({QString::fromStdString(d / "kobi.kact")});
    const QString kobi = ActorInstall::FindWindow("Kobi", 15000);
    ASSERT_FALSE(kobi.isEmpty()) << Errors();
    const int height = WindowGeometry(kobi).height;
    const Frame f = FrameOf(window);
    ASSERT_TRUE(Within([&] { return WindowGeometry(kobi).y + height == f.top; })) << At(kobi) << "\n" << Errors();
    Wait(1500);
    EXPECT_EQ(WindowGeometry(kobi).y + height, f.top) << "Kobi did not stay on the window";

    const QString shots = qEnvironmentVariable("KOBAL_SHOTS");
    auto shot = [&](const char* name) {
        if (shots.isEmpty()) return;
        QDir().mkpath(shots);
        RunTool("import", {"-window", "root", shots + "/" + name + ".png"});
    };
    shot("kobi-on-a-window");
    windows->Close(window);
    // Caught on its way down, then on the floor.
    bool caught = false;
    EXPECT_TRUE(Within([&] {
        const int y = WindowGeometry(kobi).y;
        if (!caught && y + height > f.top + 40 && y + height < kScreenHeight - 60) {
            shot("kobi-falling");
            caught = true;
        }
        return y + height == kScreenHeight;
    })) << At(kobi);
    shot("kobi-landed");
}

// The window list on an X server of the test's own under openbox, with
// real client windows (xmessage): what it lists, where, in which order, and
// how it follows the windows as they move, go, hide and fill the screen.
#include "actor/qt/window_list.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <cstring>
#include <memory>

#include "actor/qt/client_windows.h"
#include "actor/qt/process_harness.h"
#include "actor/qt/window_manager_ready.h"
#include "actor/qt/x_support.h"
#include "common/qt/private_x.h"

using namespace kobal::actor::qt;
using namespace kobal::actor::qt::testing;
using kobal::qt::testing::PrivateX;

namespace {

constexpr double kTwips = 15;

bool Viewable(const QString& id) {
    return RunTool("xwininfo", {"-id", id}).contains("IsViewable");
}

// Runs the event loop until done() holds, for up to limitMs.
template <typename Done>
bool Settle(Done done, int limitMs = 20000) {
    return Within(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        limitMs);
}

class WindowListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PrivateX::Installed("Xvfb") || !PrivateX::Installed("openbox") || !PrivateX::Installed("xmessage") ||
            !PrivateX::Installed("xdotool") || !PrivateX::Installed("wmctrl"))
            GTEST_SKIP() << "Xvfb, openbox, xmessage, xdotool and wmctrl are needed (scripts/deps installs them)";
        home_ = std::make_unique<PrivateHome>();
        x_ = std::make_unique<PrivateX>(QStringList{"-screen", "0", "1280x1024x24"});
        ASSERT_TRUE(x_->running());
        x_->Helper("openbox", {"--sm-disable"});
        ASSERT_TRUE(WindowManagerReady()) << "openbox did not start";
        list_ = std::make_unique<WindowList>([this] { ++changes_; }, [] { return std::pair{kTwips, kTwips}; }, true);
    }
    void TearDown() override {
        list_.reset();
        clients_.reset();
        x_.reset();
        home_.reset();
    }
    QString Open(const QString& title, int x, int y, const QStringList& more = {}) {
        return clients_->Open(title, QString("+%1+%2").arg(x).arg(y), more);
    }
    const kobal::actor::FloorWindow* Listed(const QString& id) {
        for (const auto& w : list_->Windows())
            if (w.id == id.toULong()) return &w;
        return nullptr;
    }
    // Listed where openbox framed it, title bar included.
    bool ListedAt(const QString& id) {
        const auto* w = Listed(id);
        const Frame f = FrameOf(id);
        return w && w->left == f.left * kTwips && w->top == f.top * kTwips && w->width == f.width * kTwips &&
               w->height == f.height * kTwips;
    }
    std::string Describe() {
        std::string out;
        for (const auto& w : list_->Windows())
            out += std::to_string(w.id) + " at " + std::to_string(w.left / kTwips) + "," +
                   std::to_string(w.top / kTwips) + " " + std::to_string(w.width / kTwips) + "x" +
                   std::to_string(w.height / kTwips) + (w.floor ? "\n" : " (no floor)\n");
        return out;
    }

    std::unique_ptr<PrivateHome> home_;
    std::unique_ptr<PrivateX> x_;
    std::unique_ptr<ClientWindows> clients_ = std::make_unique<ClientWindows>();
    std::unique_ptr<WindowList> list_;
    int changes_ = 0;
};

// A dock of the test's own along the top edge.
class TopDock {
  public:
    TopDock() {
        c_ = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        window_ = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, s->root, 0, 0, 600, 30, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          s->root_visual, 0, nullptr);
        const uint32_t dock = Atom("_NET_WM_WINDOW_TYPE_DOCK");
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, window_, Atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1,
                            &dock);
        xcb_map_window(c_, window_);
        xcb_flush(c_);
    }
    ~TopDock() { xcb_disconnect(c_); }
    uint32_t id() const { return window_; }

  private:
    uint32_t Atom(const char* name) { return kobal::actor::qt::InternAtom(c_, name); }
    xcb_connection_t* c_;
    xcb_window_t window_ = 0;
};

}  // namespace

TEST_F(WindowListTest, ListsOtherProgramsFramedWindowsBottomFirstAndLeavesOutTheRest) {
    const QString lower = Open("Lower", 100, 300);
    const QString upper = Open("Upper", 500, 400);
    const QString actorLike = Open("ActorLike", 300, 600, {"-name", "kobalactor"});
    TopDock dock;
    ASSERT_FALSE(lower.isEmpty() || upper.isEmpty() || actorLike.isEmpty());
    ASSERT_TRUE(Settle([&] { return RunTool("xprop", {"-root", "_NET_CLIENT_LIST"}).count(',') >= 3; }));

    EXPECT_TRUE(list_->Listen(true));
    ASSERT_TRUE(Settle([&] { return ListedAt(lower) && ListedAt(upper); })) << Describe();
    // The title bar is part of what the actor stands on.
    EXPECT_LT(Listed(upper)->top, WindowGeometry(upper).y * kTwips);
    EXPECT_TRUE(Listed(upper)->floor);
    EXPECT_EQ(Listed(actorLike), nullptr) << "an actor's window is listed";
    EXPECT_EQ(list_->Windows().size(), 2u) << "a dock is listed:\n" << Describe();

    // Bottom of the stack first, and a raise turns the order round.
    EXPECT_EQ(list_->Windows().front().id, lower.toULong());
    RunTool("wmctrl", {"-i", "-a", lower});
    EXPECT_TRUE(Settle([&] { return list_->Windows().size() == 2 && list_->Windows().back().id == lower.toULong(); }))
        << Describe();

    // A window opened later joins the list.
    const int before = changes_;
    const QString later = Open("Later", 700, 100);
    EXPECT_TRUE(Settle([&] { return ListedAt(later); })) << Describe();
    EXPECT_GT(changes_, before);
}

TEST_F(WindowListTest, FollowsAWindowThatMovesHidesFillsTheScreenAndCloses) {
    const QString moving = Open("Moving", 200, 300);
    const QString other = Open("Other", 600, 500);
    ASSERT_FALSE(moving.isEmpty() || other.isEmpty());
    list_->Listen(true);
    ASSERT_TRUE(Settle([&] { return ListedAt(moving) && ListedAt(other); })) << Describe();

    // Moved by another program, the frame is followed.
    for (int step = 1; step <= 5; ++step)
        RunTool("xdotool", {"windowmove", moving, QString::number(200 + 60 * step), QString::number(300 - 30 * step)});
    EXPECT_TRUE(Settle([&] { return WindowGeometry(moving).x >= 200 + 60 * 5 && ListedAt(moving); })) << Describe();

    // Fullscreen: it still hides what lies behind it, but carries nobody.
    RunTool("wmctrl", {"-i", "-r", other, "-b", "add,fullscreen"});
    EXPECT_TRUE(Settle([&] {
        const auto* w = Listed(other);
        return w && !w->floor && w->width == 1280 * kTwips && w->height == 1024 * kTwips;
    })) << Describe();
    RunTool("wmctrl", {"-i", "-r", other, "-b", "remove,fullscreen"});
    EXPECT_TRUE(Settle([&] { return Listed(other) && Listed(other)->floor && ListedAt(other); })) << Describe();

    // Minimised, it leaves the list; brought back, it returns.
    RunTool("xdotool", {"windowminimize", moving});
    EXPECT_TRUE(Settle([&] { return !Listed(moving); })) << Describe();
    // On a loaded machine the window manager may take the activation before
    // it has finished minimising: ask again until the window shows.
    EXPECT_TRUE(Settle([&] {
        if (Viewable(moving)) return true;
        RunTool("wmctrl", {"-i", "-a", moving});
        return false;
    }));
    EXPECT_TRUE(Settle([&] { return ListedAt(moving); })) << Describe();

    // Closed, it is gone.
    clients_->Close(moving);
    EXPECT_TRUE(Settle([&] { return !Listed(moving) && Listed(other); })) << Describe();
}

TEST_F(WindowListTest, HearsNothingWhileNotListeningAndCatchesUpWhenItListensAgain) {
    const QString window = Open("Quiet", 200, 300);
    ASSERT_FALSE(window.isEmpty());
    list_->Listen(true);
    ASSERT_TRUE(Settle([&] { return ListedAt(window); })) << Describe();
    const Frame before = FrameOf(window);

    list_->Listen(false);
    EXPECT_FALSE(list_->listening());
    const int changes = changes_;
    RunTool("xdotool", {"windowmove", window, "700", "600"});
    ASSERT_TRUE(Within([&] { return FrameOf(window).left != before.left; }));
    // Given every chance to hear of it, the list keeps where the window was.
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Wait(20);
    }
    EXPECT_EQ(changes_, changes);
    EXPECT_EQ(Listed(window)->left, before.left * kTwips);

    // Listening again reads the list at once.
    EXPECT_TRUE(list_->Listen(true));
    EXPECT_TRUE(ListedAt(window)) << Describe();
    EXPECT_TRUE(list_->Clear());
    EXPECT_TRUE(list_->Windows().empty());
}

// Without X there is nothing to list, and nothing is asked.
TEST(WindowListWithoutX, StaysEmpty) {
    WindowList list([] {}, [] { return std::pair{kTwips, kTwips}; }, false);
    EXPECT_FALSE(list.Listen(true));
    EXPECT_TRUE(list.Windows().empty());
    EXPECT_FALSE(list.Clear());
}

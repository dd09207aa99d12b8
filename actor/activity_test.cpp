#include <gtest/gtest.h>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

// An actor whose lists each play a one-frame animation of their own.
class ActivityStates : public ::testing::Test {
  protected:
    void SetUp() override {
        h.UseActorDir();
        auto& s = h.settings();
        s.iconfile = "icon.ico";
        s.activefile = "active.krnd";
        s.responsefile = "response.krnd";
        s.boredfile = "bored.krnd";
        s.sleepfile = "sleep.krnd";
        s.boredtime = 60;
        s.sleeptime = 300;
        s.hibernatetime = 900;
        h.Actor("icon.ico", "x");
        for (std::string name : {"active", "response", "bored", "sleep"}) {
            h.Actor(name + ".bmp", "x");
            h.Actor(name + ".kani", Lines({"framecount=2", "framepause=1", "timerspeed=40", "actorwidth=10",
                                           "actorheight=10", "[end]", name + ".bmp", name + ".bmp"}));
            h.Actor(name + ".krnd", Lines({"1", "!04|1|" + name + ".kani|"}));
        }
        RuntimeAccess::EnsureWindowLoaded(*h.rt);
    }
    void Seconds(int n) {
        for (int i = 0; i < n; ++i) h.rt->IdleClockTick();
    }
    MenuItem Checked() {
        MenuItem found = MenuItem::Paudioon;
        int count = 0;
        for (MenuItem m : {MenuItem::pActivated, MenuItem::pBored, MenuItem::psleep, MenuItem::phyber})
            if (h.menu.IsChecked(m)) found = m, ++count;
        EXPECT_EQ(count, 1);
        return found;
    }
    ActorHarness h;
};

}  // namespace

TEST_F(ActivityStates, GrowsBoredSleepyAndHibernatesOnTime) {
    EXPECT_TRUE(h.menu.checked.empty());  // no mark before the first transition
    Seconds(1);
    EXPECT_EQ(Checked(), MenuItem::pActivated);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");
    Seconds(58);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");
    Seconds(1);
    EXPECT_EQ(Checked(), MenuItem::pBored);
    EXPECT_EQ(h.rt->activity().statefile(), "bored.krnd");
    Seconds(240);
    EXPECT_EQ(Checked(), MenuItem::psleep);
    EXPECT_EQ(h.rt->activity().statefile(), "sleep.krnd");
    EXPECT_TRUE(h.timer1.enabled);
    Seconds(600);
    EXPECT_EQ(Checked(), MenuItem::phyber);
    EXPECT_EQ(h.rt->activity().idlecount(), 32767);
    EXPECT_FALSE(h.timer1.enabled);
    EXPECT_FALSE(h.timer2.enabled);
    EXPECT_TRUE(h.ddetimer.enabled);  // the link keeps running
}

TEST_F(ActivityStates, LeftPressAnswersAtOnceAndRestartsTheCount) {
    Seconds(299);
    h.rt->MouseDown(1, 100, 100);
    EXPECT_EQ(h.rt->activity().idlecount(), 0);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");
    EXPECT_EQ(h.rt->player().animfile(), "response.kani");
    EXPECT_EQ(Checked(), MenuItem::pBored);  // marks change at the next second
    Seconds(1);
    EXPECT_EQ(Checked(), MenuItem::pActivated);
}

TEST_F(ActivityStates, PressesWakeAHibernatingActorExceptTheMiddleButton) {
    h.rt->MenuChosen(MenuChoice::phyber);
    h.rt->MouseDown(4, 10, 10);
    EXPECT_EQ(h.rt->activity().idlecount(), 32767);
    EXPECT_FALSE(h.timer1.enabled);
    h.rt->MouseMove(4, 40, 40);  // a middle drag moves but does not wake
    EXPECT_EQ(h.rt->activity().idlecount(), 32767);

    h.rt->MouseDown(2, 10, 10);
    EXPECT_EQ(h.rt->activity().idlecount(), 0);
    EXPECT_TRUE(h.timer1.enabled);
    EXPECT_TRUE(h.timer2.enabled);
    EXPECT_EQ(h.timer1.interval, 50);
    EXPECT_NE(h.rt->player().animfile(), "response.kani");  // the right button plays nothing new
}

TEST_F(ActivityStates, OnlyRightOrMiddleAloneDrags) {
    h.position().MoveTo(3000, 3000);
    h.rt->MouseDown(2, 150.4, 150.6);  // the grab point is kept rounded: 150, 151
    for (int buttons : {1, 3, 6, 7, 0}) h.rt->MouseMove(buttons, 500, 500);
    EXPECT_EQ(h.rt->position().x(), 3000);
    h.rt->MouseMove(2, 300.5, 100.3);
    EXPECT_EQ(h.rt->position().x(), 3150);  // 3000 - (150 - 300.5) = 3150.5, to even
    EXPECT_EQ(h.rt->position().y(), 2949);  // 3000 - (151 - 100.3); from 150.6 it would be 2950
    EXPECT_EQ(h.window.left, 3150);
    h.rt->MouseMove(4, 150.7, 151);
    EXPECT_EQ(h.rt->position().x(), 3151);  // 3150 - (150 - 150.7); from 150.4 it would be 3150
}

TEST_F(ActivityStates, ThresholdsOutOfOrderFollowTheStateTableForMarks) {
    h.settings().boredtime = 300;
    h.settings().sleeptime = 60;
    Seconds(60);
    // Still below boredtime: marked Activated, while the list is the sleep list.
    EXPECT_EQ(Checked(), MenuItem::pActivated);
    EXPECT_EQ(h.rt->activity().statefile(), "sleep.krnd");
    Seconds(240);
    EXPECT_EQ(Checked(), MenuItem::psleep);
    EXPECT_EQ(h.rt->activity().statefile(), "bored.krnd");
}

TEST_F(ActivityStates, EqualThresholdsLetTheEarlierRowWin) {
    h.settings().boredtime = 1;
    Seconds(1);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");
    Seconds(5);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");

    ActorHarness other;
    other.UseActorDir();
    other.Actor("icon.ico", "x");
    other.settings().iconfile = "icon.ico";
    other.settings().sleeptime = other.settings().hibernatetime = 20;
    other.settings().boredtime = 10;
    RuntimeAccess::EnsureWindowLoaded(*other.rt);
    for (int i = 0; i < 100; ++i) other.rt->IdleClockTick();
    EXPECT_EQ(other.rt->activity().idlecount(), 21);  // stops one above, never hibernates
    EXPECT_TRUE(other.timer1.enabled);
}

TEST_F(ActivityStates, PriorityMenuSetsTheStateAtOnce) {
    h.rt->MenuChosen(MenuChoice::pBored);
    EXPECT_EQ(h.rt->activity().idlecount(), 60);
    EXPECT_EQ(h.rt->activity().statefile(), "bored.krnd");
    EXPECT_EQ(h.rt->player().animfile(), "bored.kani");
    EXPECT_EQ(h.timer1.interval, 50);
    EXPECT_EQ(Checked(), MenuItem::pBored);

    h.rt->MenuChosen(MenuChoice::psleep);
    EXPECT_EQ(h.rt->activity().idlecount(), 300);
    EXPECT_EQ(h.rt->player().animfile(), "sleep.kani");
    EXPECT_EQ(Checked(), MenuItem::psleep);

    h.rt->MenuChosen(MenuChoice::phyber);
    h.rt->MenuChosen(MenuChoice::phyber);  // again: nothing changes
    EXPECT_EQ(Checked(), MenuItem::phyber);
    EXPECT_FALSE(h.timer1.enabled);

    h.timer1.interval = 80;
    h.rt->MenuChosen(MenuChoice::pActivated);
    EXPECT_EQ(h.rt->activity().idlecount(), 0);
    EXPECT_TRUE(h.timer1.enabled);
    EXPECT_EQ(h.rt->player().animfile(), "active.kani");
    EXPECT_EQ(h.rt->activity().statefile(), "sleep.krnd");  // becomes active at the next second
    EXPECT_EQ(Checked(), MenuItem::pActivated);
    Seconds(1);
    EXPECT_EQ(h.rt->activity().statefile(), "active.krnd");
}

TEST_F(ActivityStates, TrayAndSoundItems) {
    h.rt->TrayDoubleClick();
    EXPECT_EQ(h.window.Take().back(), "front");
    int nestedPopups = -1;
    h.menu.onPopup = [&] {
        h.rt->TrayContextMenu();  // ignored while the menu is open
        nestedPopups = h.menu.popups;
    };
    h.rt->TrayContextMenu();
    EXPECT_EQ(nestedPopups, 1);
    h.rt->TrayContextMenu();  // the menu closed: it opens again
    EXPECT_EQ(h.menu.popups, 2);

    h.rt->MenuChosen(MenuChoice::paudiooff);
    EXPECT_EQ(h.settings().audioon, 0);
    EXPECT_TRUE(h.menu.IsChecked(MenuItem::paudiooff));
    EXPECT_FALSE(h.menu.IsChecked(MenuItem::Paudioon));
    h.rt->MenuChosen(MenuChoice::Paudioon);
    EXPECT_EQ(h.settings().audioon, 1);
    EXPECT_TRUE(h.menu.IsChecked(MenuItem::Paudioon));

    h.rt->MenuChosen(MenuChoice::Helpme);
    ASSERT_EQ(h.desktop.opened.size(), 1u);
    EXPECT_EQ(h.desktop.opened[0], h.installPath() + "/resource/help/index.html");
}

TEST_F(ActivityStates, AboutListsComeFromTheInfoFiles) {
    h.settings().actorname = "Bob";
    AboutLists lists = h.rt->LoadAboutLists();
    EXPECT_TRUE(lists.List1.empty());
    ASSERT_EQ(h.messages.shown.size(), 1u);
    EXPECT_EQ(h.messages.shown[0],
              "kobalactor: Warning: The info.txt file could not be found, please check the appication path is "
              "correct and the program has been installed properly.");
    EXPECT_EQ(lists.List2, (std::vector<std::string>{"Bob: No information Available"}));

    h.dir.Write("resource/info.txt", "Kobaltron\r\n\r\nline three\r\n");
    h.Actor("bob.txt", "Bob walks.\r\n");
    h.settings().infofile = "bob.txt";
    lists = h.rt->LoadAboutLists();
    EXPECT_EQ(lists.List1, (std::vector<std::string>{"Kobaltron", "", "line three"}));
    EXPECT_EQ(lists.List2, (std::vector<std::string>{"Bob walks."}));
}

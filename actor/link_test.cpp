#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "actor/link_frame.h"
#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        h.UseActorDir();
        h.settings().iconfile = "icon.ico";
        h.settings().actorddename = "Bob";
        h.Actor("icon.ico", "x");
        h.Actor("f.bmp", "x");
        h.Actor("dance.kani",
                "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight="
                "10\r\n[end]\r\nf.bmp\r\n");
        h.Actor("idle.kani",
                "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight="
                "10\r\n[end]\r\nf.bmp\r\n");
        h.Actor("dance.krnd", "1\r\n!04|1|dance.kani|\r\n");
        h.Actor("closeactor", "1\r\n!07|1|dance.kani|\r\n");
    }
    // Delivers texts and works off the queue; true when the actor danced.
    bool Receive(const std::string& text) {
        std::string idle = "idle.kani";
        h.player().LoadAnimation(idle);
        h.rt->LinkTextArrived(text);
        h.rt->LinkClockTick();
        return h.rt->player().animfile() == "dance.kani";
    }
    ActorHarness h;
};

}  // namespace

TEST_F(Link, MessagesReachTheirTargetOnly) {
    EXPECT_TRUE(Receive("bob%*dance.krnd"));
    EXPECT_TRUE(Receive("BOB%*dance.krnd"));
    EXPECT_FALSE(Receive("bobby%*dance.krnd"));
    EXPECT_TRUE(Receive("*%*dance.krnd"));
    EXPECT_FALSE(Receive("**%*dance.krnd"));  // "*" must match exactly
    EXPECT_FALSE(Receive("%*dance.krnd"));    // an empty target: nameless actors only
    EXPECT_FALSE(Receive("Ping"));
    EXPECT_FALSE(Receive("bob%dance.krnd"));    // a command must start with "*"
    EXPECT_FALSE(Receive("bob%*"));             // "*" alone does nothing
    EXPECT_FALSE(Receive("bob%*nolist.krnd"));  // a list this actor lacks: dropped

    h.settings().actorddename.clear();
    EXPECT_TRUE(Receive("%*dance.krnd"));
}

TEST_F(Link, SecondPercentBelongsToTheCommand) {
    h.Actor("a%b.krnd", "1\r\n!04|1|dance.kani|\r\n");
    EXPECT_TRUE(Receive("bob%*a%b.krnd"));
}

TEST_F(Link, CloseActorInAnyCaseEndsOnlyWithTheFinalStar) {
    EXPECT_THROW(Receive("*%*CloseActor*"), ProgramEnd);
    EXPECT_FALSE(h.tray.shown);
    // Without the final "*" it names a list called closeactor.
    Receive("bob%*closeactor");
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
    EXPECT_NO_THROW(Receive("bob%*other*"));
}

TEST_F(Link, WholeQueueIsWorkedOffInOneTickThenPing) {
    h.linkMember().JoinActorLink();
    for (const char* t : {"Ping", "bob%*dance.krnd", "x%*dance.krnd", "Ping"}) h.rt->LinkTextArrived(t);
    h.rt->LinkClockTick();
    EXPECT_EQ(h.rt->link().waiting(), 0u);
    EXPECT_EQ(h.rt->player().animfile(), "dance.kani");
    EXPECT_EQ(h.link.itemTexts.back(), "Ping");
}

TEST_F(Link, FirstActorIsTheHubAndRetriesOneTickInTen) {
    h.linkMember().JoinActorLink();
    EXPECT_TRUE(h.rt->link().isHub());
    EXPECT_TRUE(h.link.serving);
    const int opens = h.link.opens;
    h.random.queued = {0.5};  // draws 6: no re-join
    h.rt->LinkClockTick();
    EXPECT_EQ(h.link.opens, opens);
    EXPECT_TRUE(h.link.pokes.empty());  // a hub never pokes
    h.link.hubAvailable = true;         // a second hub appeared
    h.random.queued = {0.05};           // draws 1
    h.rt->LinkClockTick();
    EXPECT_FALSE(h.rt->link().isHub());
    EXPECT_FALSE(h.link.serving);
}

TEST_F(Link, MemberFindsANewHubWhenItsHubIsGone) {
    h.link.hubAvailable = true;
    h.linkMember().JoinActorLink();
    EXPECT_FALSE(h.rt->link().isHub());
    h.linkMember().SendLinkMessage("*%*dance.krnd");
    EXPECT_EQ(h.link.pokes, (std::vector<std::string>{"*%*dance.krnd"}));

    // The hub vanished and nobody else serves: this member becomes the hub.
    h.link.pokeSucceeds = false;
    h.link.hubAvailable = false;
    h.linkMember().SendLinkMessage("Ping");
    EXPECT_TRUE(h.rt->link().isHub());
    EXPECT_EQ(h.link.pokes.size(), 2u);

    // Another member already took over: poke once more there; a second
    // failure drops the text and the actor goes on.
    h.link.hubAvailable = true;
    h.linkMember().JoinActorLink();
    EXPECT_NO_THROW(h.linkMember().SendLinkMessage("bob%*dance.krnd"));
    EXPECT_EQ(h.link.pokes.size(), 4u);
    EXPECT_FALSE(h.rt->link().isHub());
}

TEST_F(Link, AddressFollowsAnActorSwitch) {
    h.settings().actorddename = "ann";
    EXPECT_FALSE(Receive("bob%*dance.krnd"));
    EXPECT_TRUE(Receive("Ann%*dance.krnd"));
}

TEST(LinkFrames, RoundTripSplitAndBadBytes) {
    LinkFrameDecoder d;
    const std::string two = EncodeLinkFrame("Ping") + EncodeLinkFrame("*%*dance.krnd") + EncodeLinkFrame("");
    std::string text;
    // Byte by byte: frames come out whole and in order.
    std::vector<std::string> got;
    for (char c : two) {
        d.Append(std::string_view(&c, 1));
        while (d.Next(text) == LinkFrameDecoder::Result::Frame) got.push_back(text);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"Ping", "*%*dance.krnd", ""}));

    LinkFrameDecoder bad;
    bad.Append("GET / HTTP/1.0\r\n");
    EXPECT_EQ(bad.Next(text), LinkFrameDecoder::Result::Bad);

    LinkFrameDecoder huge;
    std::string header = "KA";
    const uint32_t n = kMaxLinkFrame + 1;
    header += static_cast<char>(n >> 24);
    header += static_cast<char>(n >> 16);
    header += static_cast<char>(n >> 8);
    header += static_cast<char>(n);
    huge.Append(header);
    EXPECT_EQ(huge.Next(text), LinkFrameDecoder::Result::Bad);

    LinkFrameDecoder max;
    max.Append(EncodeLinkFrame(std::string(kMaxLinkFrame, 'x')));
    EXPECT_EQ(max.Next(text), LinkFrameDecoder::Result::Frame);
    EXPECT_EQ(text.size(), kMaxLinkFrame);
}

TEST_F(Link, PathLikeCommandsNameNothingOutsideTheActor) {
    // A list of the install, one level above the actor's own directory.
    const std::string outside = h.dir.Write("actors/outside.krnd", "1\r\n!04|1|a/dance.kani|\r\n");
    h.Actor("sub/inner.krnd", "1\r\n!04|1|dance.kani|\r\n");
    ASSERT_EQ(::symlink(outside.c_str(), (h.actorDir() + "out.krnd").c_str()), 0);
    ASSERT_EQ(::symlink((h.actorDir() + "sub/inner.krnd").c_str(), (h.actorDir() + "in.krnd").c_str()), 0);
    ASSERT_EQ(::symlink(h.dir.path().c_str(), (h.actorDir() + "up").c_str()), 0);

    std::string climb;
    for (int i = 0; i < 12; ++i) climb += "../";
    for (const std::string& command :
         std::vector<std::string>{"*../outside.krnd", "*..\\outside.krnd", "*sub/../../outside.krnd", "*" + outside,
                                  "*\\" + outside, "*C:" + outside, "*out.krnd", "*up/actors/outside.krnd",
                                  "*" + climb + "proc/sys/kernel/pid_max", "*" + climb + "dev/zero", "*sub", "*."}) {
        EXPECT_NO_THROW(EXPECT_FALSE(Receive("bob%" + command)) << command) << command;
    }
    // Inside the directory, a link that stays there is as good as a file.
    EXPECT_TRUE(Receive("bob%*sub/inner.krnd"));
    EXPECT_TRUE(Receive("bob%*sub\\inner.krnd"));
    EXPECT_TRUE(Receive("bob%*in.krnd"));
}

TEST_F(Link, FailingCommandIsDroppedAndTheActorGoesOnAsItWas) {
    h.Actor("walk.kani",
            "framecount=2\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n"
            "[end]\r\nf.bmp\r\n\r\nf.bmp\r\n");
    h.Actor("walk.krnd", "1\r\n!01|50|walk.kani|next.krnd\r\n");
    h.Actor("f.bmp", "x");
    std::string start = "walk.krnd";
    h.player().PlayRandomChoice(start);
    h.rt->AnimationTick();  // initialises the wander
    h.rt->AnimationTick();
    const int16_t step = h.rt->behaviours().record().actionstep;
    ASSERT_GT(step, 0);

    h.Actor("overflow.krnd", "99999\r\ndance.kani\r\n");
    h.Actor("short.krnd", "3\r\ndance.kani\r\n");
    h.Actor("noanim.krnd", "1\r\n!04|1|missing.kani|\r\n");
    h.Actor("badcmd.krnd", "1\r\n!04|1\r\n");
    h.Actor("self.krnd", "1\r\nself.krnd\r\n");
    h.Actor("zero.kani", "framecount=1\r\nframepause=400\r\ntimerspeed=40\r\n[end]\r\nf.bmp\r\n");
    h.Actor("slow.krnd", "1\r\n!04|1|zero.kani|\r\n");
    h.random.queued = {0.99, 0.99, 0.99, 0.99, 0.99, 0.99};
    for (const char* list : {"overflow.krnd", "short.krnd", "noanim.krnd", "badcmd.krnd", "self.krnd", "slow.krnd"}) {
        h.rt->LinkTextArrived(std::string("*%*") + list);
        ASSERT_NO_THROW(h.rt->LinkClockTick()) << list;
        EXPECT_EQ(h.rt->player().animfile(), "walk.kani") << list;
        EXPECT_EQ(h.rt->behaviours().actiontype(), 1) << list;
        EXPECT_EQ(h.rt->behaviours().nextfile(), "next.krnd") << list;
        EXPECT_EQ(h.rt->behaviours().record().actionstep, step) << list;
    }
    // The open animation goes on where it was, frame after frame.
    for (int i = 0; i < 10; ++i) ASSERT_NO_THROW(h.rt->AnimationTick()) << i;
    EXPECT_EQ(h.rt->behaviours().record().actionstep, step - 10);
    EXPECT_EQ(h.window.picture, "f.bmp");
}

TEST_F(Link, FailedCommandPutsBackThePaceSizeAndPlaceOfTheAnimationThatGoesOn) {
    // No movespeed: the wander stands still, so only the command can move it.
    h.Actor("walk.kani",
            "framecount=2\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n"
            "[end]\r\nf.bmp\r\nf.bmp\r\n");
    h.Actor("grow.kani",
            "framecount=1\r\nframepause=1\r\ntimerspeed=10\r\nactorwidth=300\r\nactorheight=300\r\n"
            "[end]\r\nmissing.bmp\r\n");
    h.Actor("grow.krnd", "1\r\ngrow.kani\r\n");
    h.Run("!01|50|walk.kani|");
    h.rt->AnimationTick();
    h.rt->AnimationTick();
    h.position().MoveTo(6000, 6000);

    // The command loads the big, fast animation, then fails on its picture.
    h.rt->LinkTextArrived("*%*grow.krnd");
    ASSERT_NO_THROW(h.rt->LinkClockTick());
    EXPECT_EQ(h.timer1.interval, 10);  // it got as far as the timer
    EXPECT_EQ(h.rt->player().animfile(), "walk.kani");
    EXPECT_EQ(h.rt->player().header().timerspeed, 40);
    EXPECT_EQ(h.rt->player().pace().tickInterval, 40);
    EXPECT_EQ(h.rt->player().widthTwips(), 150);
    EXPECT_EQ(h.rt->position().x(), 6000);
    EXPECT_EQ(h.rt->position().y(), 6000);

    // The next frame puts the walk's pace and size back on the timer and window.
    h.window.Take();
    h.rt->AnimationTick();
    EXPECT_EQ(h.timer1.interval, 40);
    const auto e = h.window.Take();
    EXPECT_NE(std::find(e.begin(), e.end(), "size 150x150"), e.end());
    EXPECT_EQ(h.window.left, 6000);
}

TEST_F(Link, FailedActorSwitchLeavesTheSettingsAndTheStateListAsTheyWere) {
    // The switch reads the global settings before it finds no actor file:
    // everything it read goes again.
    h.Actor("switch.krnd", "1\r\n!00|0|nobody.kact|\r\n");
    h.settings().boredtime = 7;
    h.activity().SetStateList("dance.krnd");
    const SettingStore before = h.rt->settings();
    h.rt->LinkTextArrived("*%*switch.krnd");
    ASSERT_NO_THROW(h.rt->LinkClockTick());
    EXPECT_EQ(h.rt->settings().actorpath, before.actorpath);
    EXPECT_EQ(h.rt->settings().boredtime, 7);  // the global file says 60
    EXPECT_EQ(h.rt->settings().actorddename, "Bob");
    EXPECT_EQ(h.rt->activity().statefile(), "dance.krnd");
    EXPECT_TRUE(Receive("bob%*dance.krnd"));  // still answers to its name
}

TEST_F(Link, StartThatFindsTheLinkBusyTriesAgainEveryTick) {
    h.link.serveRefused = true;
    h.linkMember().JoinActorLink();
    EXPECT_TRUE(h.rt->link().isHub());
    EXPECT_FALSE(h.link.serving);
    h.random.queued = {0.5, 0.5};  // a serving hub would not re-join on these
    const int opens = h.link.opens;
    h.rt->LinkClockTick();
    EXPECT_EQ(h.link.opens, opens + 1);
    h.link.serveRefused = false;
    h.rt->LinkClockTick();
    EXPECT_TRUE(h.link.serving);
    EXPECT_TRUE(h.rt->link().isHub());
    // Serving now: back to one try in ten.
    h.random.queued = {0.5};
    h.rt->LinkClockTick();
    EXPECT_EQ(h.link.opens, opens + 2);
}

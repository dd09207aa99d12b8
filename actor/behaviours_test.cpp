#include <gtest/gtest.h>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

std::string Anim(const std::string& picture, int frames = 2, int width = 100) {
    std::string text = Lines({"framecount=" + std::to_string(frames), "framepause=1", "timerspeed=40", "movespeed=10",
                              "actorwidth=" + std::to_string(width), "actorheight=100", "[end]"});
    for (int i = 1; i <= frames; ++i) text += picture + std::to_string(i) + ".bmp\r\n";
    return text;
}

class Actions : public ::testing::Test {
  protected:
    void SetUp() override {
        h.UseActorDir();
        h.settings().iconfile = "icon.ico";
        h.Actor("icon.ico", "x");
        for (std::string p : {"w", "l", "r", "a", "b", "c", "d", "s"}) {
            h.Actor(p + "1.bmp", "x");
            h.Actor(p + "2.bmp", "x");
            h.Actor(p + "3.bmp", "x");
            h.Actor(p + ".kani", Anim(p));
        }
        h.Actor("three.kani", Anim("s", 3));
        h.Actor("wide.kani", Anim("w", 2, 400));
        h.Actor("next.krnd", Lines({"1", "!07|1|s.kani|"}));
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) h.rt->AnimationTick();
    }
    ActorHarness h;
};

}  // namespace

TEST_F(Actions, InitialisingTickDrawsDirectionsAndShowsNothing) {
    h.player().RunActionCommand("!01|10|w.kani|next.krnd");
    h.position().MoveTo(3000, 3000);
    h.window.Take();
    h.random.queued = {0.2, 0.7};  // +1 then -1
    Tick();
    EXPECT_TRUE(h.window.Take().empty());
    EXPECT_EQ(h.rt->position().x(), 3000);
    EXPECT_EQ(h.rt->behaviours().record().actionstep, 10);
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, 10);   // vertical, first draw
    EXPECT_EQ(h.rt->behaviours().record().actionmove2, -10);  // horizontal, second draw
    EXPECT_TRUE(h.random.queued.empty());
    Tick();
    EXPECT_EQ(h.rt->position().x(), 2990);
    EXPECT_EQ(h.rt->position().y(), 3010);
    EXPECT_EQ(h.window.left, 2990);
    EXPECT_EQ(h.window.picture, "w1.bmp");
    EXPECT_EQ(h.rt->behaviours().record().actionstep, 9);
}

TEST_F(Actions, WanderBouncesOffEachEdgeAndMayStandOneStepBeyond) {
    h.player().RunActionCommand("!01|100|w.kani|");
    h.position().MoveTo(3000, 3000);
    h.random.queued = {0.7, 0.7};  // up and left
    Tick(2);                       // the first frame sizes the window
    h.position().MoveTo(5, 5);
    Tick();
    EXPECT_EQ(h.rt->position().x(), -5);  // one step beyond, not clamped here
    EXPECT_EQ(h.rt->position().y(), -5);
    EXPECT_EQ(h.window.left, -5);
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, 10);
    EXPECT_EQ(h.rt->behaviours().record().actionmove2, 10);
    Tick();
    EXPECT_EQ(h.rt->position().x(), 5);
    // Right and bottom edges.
    const int32_t right = 1920 * 15 - 1500, bottom = 1080 * 15 - 1500;
    h.position().MoveTo(right - 5, bottom - 5);
    Tick();
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, -10);
    EXPECT_EQ(h.rt->behaviours().record().actionmove2, -10);
}

TEST_F(Actions, ActorWiderThanTheScreenKeepsDirectionWhenWanderingButWalkReversesOnce) {
    h.screen.widthPixels = 300;  // narrower than the 400-pixel actor
    h.player().RunActionCommand("!01|100|wide.kani|");
    h.random.queued = {0.2, 0.2};
    Tick();
    h.position().MoveTo(-20, h.rt->position().y());
    Tick();  // beyond the right limit and below 1 at once: two reversals cancel
    EXPECT_EQ(h.rt->behaviours().record().actionmove2, 10);

    h.player().RunActionCommand("!02|100|$wide.kani,wide.kani|");
    h.random.queued = {0.2};
    Tick();
    h.position().MoveTo(-20, h.rt->position().y());
    Tick();
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, -10);
}

TEST_F(Actions, WalkShowsTheNameOfItsDirectionAtThePreviousPosition) {
    h.player().RunActionCommand("!02|100|$l.kani,r.kani|");
    EXPECT_EQ(h.window.picture, "");
    h.random.queued = {0.7};  // left
    Tick();
    EXPECT_EQ(h.rt->behaviours().facingname(2), "l.kani");
    EXPECT_EQ(h.rt->behaviours().facingname(1), "r.kani");
    h.position().MoveTo(15, h.rt->position().y());
    Tick();
    EXPECT_EQ(h.window.picture, "l1.bmp");
    EXPECT_EQ(h.window.left, 15);  // shown before the step
    EXPECT_EQ(h.rt->position().x(), 5);
    Tick();  // beyond the left edge: reversed once
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, 10);
    EXPECT_EQ(h.rt->position().x(), -5);
    Tick();
    EXPECT_EQ(h.window.picture, "r1.bmp");
    EXPECT_EQ(h.rt->position().y(), 0);  // walking never changes the height
}

TEST_F(Actions, WanderFacingPicksByDiagonalAndKeepsEntriesOfEarlierActions) {
    h.player().RunActionCommand("!06|100|$a.kani,b.kani,c.kani,d.kani|");
    h.random.queued = {0.2, 0.2};  // down, right
    Tick();
    h.position().MoveTo(3000, 3000);
    Tick();
    EXPECT_EQ(h.window.picture, "d1.bmp");
    // Two names only: entries 3 and 4 stay from the action before.
    h.player().RunActionCommand("!06|100|$s.kani,w.kani|");
    h.random.queued = {0.7, 0.2};  // up, right
    Tick();
    EXPECT_EQ(h.rt->behaviours().facingname(1), "s.kani");
    EXPECT_EQ(h.rt->behaviours().facingname(2), "w.kani");
    EXPECT_EQ(h.rt->behaviours().facingname(3), "c.kani");
    Tick();
    EXPECT_EQ(h.window.picture, "w1.bmp");
    h.player().RunActionCommand("!06|100|$s.kani,w.kani|");
    h.random.queued = {0.2, 0.7};  // down, left: entry 3, kept from before
    Tick(2);
    EXPECT_EQ(h.window.picture, "c1.bmp");
    // movespeed 0: no diagonal, the open animation continues.
    h.Actor("z.kani", Lines({"framecount=2", "framepause=1", "timerspeed=40", "movespeed=0", "actorwidth=100",
                             "actorheight=100", "[end]", "s1.bmp", "s3.bmp"}));
    h.player().RunActionCommand("!06|100|$z.kani,a.kani,b.kani,c.kani,d.kani|");
    Tick(3);
    EXPECT_EQ(h.window.picture, "s3.bmp");
}

TEST_F(Actions, NulDirectionMovesThePositionButNotTheWindow) {
    h.player().RunActionCommand("!02|100|$l.kani,nul|");
    h.random.queued = {0.2};  // right: the name after the comma
    Tick();
    h.position().MoveTo(3000, h.rt->position().y());
    const int moves = h.window.moves;
    Tick(3);
    EXPECT_EQ(h.rt->position().x(), 3030);
    EXPECT_EQ(h.window.moves, moves);
}

TEST_F(Actions, DescendAndClimbEndAtTheEdgeOrWhenCountedOut) {
    h.player().RunActionCommand("!03|1000|s.kani|next.krnd");
    Tick();
    const int32_t bottom = 1080 * 15 - 1500;
    h.position().MoveTo(h.rt->position().x(), bottom - 15);
    Tick(2);
    EXPECT_EQ(h.rt->position().y(), bottom + 5);  // one step past, then the edge test ends it
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);  // next.krnd played

    h.player().RunActionCommand("!05|2|s.kani|next.krnd");
    Tick();
    h.position().MoveTo(h.rt->position().x(), 3000);
    Tick(2);
    EXPECT_EQ(h.rt->position().y(), 2980);
    EXPECT_EQ(h.rt->behaviours().record().actionstep, 0);
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);

    // Started at the top: climbing ends on its first running tick.
    h.player().RunActionCommand("!05|50|s.kani|next.krnd");
    Tick();
    h.position().MoveTo(h.rt->position().x(), 0);
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
}

TEST_F(Actions, PlayOnceLastsExactlyOnePassWhateverTheCount) {
    for (int count : {1, 500}) {
        h.player().RunActionCommand("!04|" + std::to_string(count) + "|three.kani|next.krnd");
        std::vector<std::string> shown;
        Tick();  // initialise: 30000
        for (int i = 0; i < 4; ++i) {
            h.window.picture.clear();
            Tick();
            shown.push_back(h.window.picture);
        }
        // The reload after the pass ends it without a frame; the next tick moves on.
        EXPECT_EQ(shown, (std::vector<std::string>{"s1.bmp", "s2.bmp", "s3.bmp", ""})) << count;
        EXPECT_EQ(h.rt->behaviours().record().actionstep, 0);
        Tick();
        EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
    }
}

TEST_F(Actions, SpeedupScalesTicksHalvesToEven) {
    struct Case {
        int speedup;
        int count;
        int16_t steps;
    };
    for (Case c : {Case{200, 5, 10}, Case{50, 5, 2}, Case{50, 7, 4}, Case{100, 9, 9}}) {
        h.settings().speedup = c.speedup;
        h.player().RunActionCommand("!03|" + std::to_string(c.count) + "|s.kani|");
        Tick();
        EXPECT_EQ(h.rt->behaviours().record().actionstep, c.steps) << c.speedup << " x " << c.count;
    }
    h.settings().speedup = 200;
    h.player().RunActionCommand("!04|5|s.kani|");
    Tick();
    EXPECT_EQ(h.rt->behaviours().record().actionstep, 30000);
}

TEST_F(Actions, TypeOutsideOneToSixFreezesTheActor) {
    h.player().RunActionCommand("!07|5|s.kani|");
    h.window.Take();
    Tick(20);
    EXPECT_TRUE(h.window.Take().empty());
}

TEST_F(Actions, DraggedActorContinuesFromWhereItWasDropped) {
    h.player().RunActionCommand("!01|100|w.kani|");
    h.random.queued = {0.2, 0.2};
    Tick();
    h.position().MoveTo(3000, 3000);
    Tick();
    h.rt->MouseDown(2, 300, 300);
    h.rt->MouseMove(2, 1300, 1300);  // dragged by 1000 twips
    EXPECT_EQ(h.rt->position().x(), 4010);
    EXPECT_EQ(h.window.left, 4010);
    Tick();
    EXPECT_EQ(h.rt->position().x(), 4020);
}

TEST_F(Actions, EndedActionCallsPlayNextEveryTickUntilANewCommand) {
    h.Actor("anims.krnd", Lines({"1", "s.kani"}));
    h.player().RunActionCommand("!03|0|s.kani|anims.krnd");  // no steps: ends at once
    Tick();
    Tick();
    EXPECT_EQ(h.window.picture, "s1.bmp");
    Tick();
    EXPECT_EQ(h.window.picture, "s2.bmp");  // chosen again: one frame per tick
}

TEST_F(Actions, MalformedDollarListsEndTheActorWithAMessage) {
    h.player().RunActionCommand("!02|5|s.kani|");
    try {
        Tick();
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_NE(std::string(e.what()).find("walk needs two"), std::string::npos);
    }
    h.player().RunActionCommand("!06|5|$a.kani,b.kani,c.kani,d.kani,s.kani,w.kani|");
    EXPECT_THROW(Tick(), RuntimeError);
}

TEST_F(Actions, AnyBehaviourWithMoreThanTenThousandStepsEndsWhenItsAnimationStartsOver) {
    for (int count : {20000, 100}) {
        h.Run("!01|" + std::to_string(count) + "|w.kani|next.krnd");
        h.position().MoveTo(3000, 3000);
        Tick(3);  // initialise, then both frames
        EXPECT_EQ(h.window.picture, "w2.bmp");
        h.window.picture.clear();
        Tick();  // the animation starts over
        if (count > 10000) {
            EXPECT_EQ(h.window.picture, "");  // ended there, without a frame
            EXPECT_EQ(h.rt->behaviours().record().actionstep, 0);
            Tick();
            EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
        } else {
            EXPECT_EQ(h.window.picture, "w1.bmp");
            EXPECT_EQ(h.rt->behaviours().record().actionstep, count - 3);
        }
    }
}

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

class AnimationPlayer : public ::testing::Test {
  protected:
    void SetUp() override {
        h.UseActorDir();
        for (const char* p : {"f1.bmp", "f2.bmp", "f3.bmp", "big.bmp", "icon.ico"}) h.Actor(p, "x");
        h.settings().iconfile = "icon.ico";
    }
    // One call of the frame step with the empty name; the picture shown after it.
    std::string Step() {
        std::string empty;
        h.player().ShowNextFrame(empty);
        return h.window.picture;
    }
    std::vector<std::string> Pictures(int calls) {
        std::vector<std::string> out;
        for (int i = 0; i < calls; ++i) out.push_back(Step());
        return out;
    }
    void Load(const std::string& name) {
        std::string n = name;
        h.player().LoadAnimation(n);
    }
    ActorHarness h;
};

const std::string kThreeFrames =
    Lines({"framecount=3", "framepause=2", "timerspeed=100", "movespeed=30", "actorwidth=100", "actorheight=100",
           "transparentred=255", "transparentblue=255", "[end]", "f1.bmp", "", "  ", "f2.bmp", "f3.bmp"});

}  // namespace

TEST_F(AnimationPlayer, EachFrameStaysForTheThresholdAndTheLastForOneCall) {
    h.Actor("three.kani", kThreeFrames);
    Load("three.kani");
    // Blank lines between frames change neither the timing nor the count.
    EXPECT_EQ(Pictures(11), (std::vector<std::string>{"f1.bmp", "f1.bmp", "f2.bmp", "f2.bmp", "f3.bmp", "f1.bmp",
                                                      "f1.bmp", "f2.bmp", "f2.bmp", "f3.bmp", "f1.bmp"}));
    EXPECT_EQ(h.timer1.interval, 100);
}

TEST_F(AnimationPlayer, PriorityupScalesTheTimerAndTheFramePause) {
    h.Actor("three.kani", kThreeFrames);
    h.settings().priorityup = 200;
    Load("three.kani");
    EXPECT_EQ(Pictures(9), (std::vector<std::string>{"f1.bmp", "f1.bmp", "f1.bmp", "f1.bmp", "f2.bmp", "f2.bmp",
                                                     "f2.bmp", "f2.bmp", "f3.bmp"}));
    EXPECT_EQ(h.timer1.interval, 50);

    // 50 % rounds the threshold to 0 (0.5 goes to even): every call reads a line.
    h.settings().priorityup = 50;
    Load("three.kani");
    EXPECT_EQ(Pictures(4), (std::vector<std::string>{"f1.bmp", "f2.bmp", "f3.bmp", "f1.bmp"}));
    EXPECT_EQ(h.timer1.interval, 200);
}

TEST_F(AnimationPlayer, RepeatedFrameOnlyMovesAndKeyColourComesWithNewKeyedPictures) {
    h.Actor("keys.kani", Lines({"framecount=4", "framepause=1", "timerspeed=40", "actorwidth=10", "actorheight=10",
                                "transparentred=255", "transparentgreen=0", "transparentblue=255", "[end]", "@f1.bmp",
                                "f1.bmp", "f1.bmp", "@f1.bmp"}));
    Load("keys.kani");
    h.window.Take();
    Step();  // opaque: no key colour
    auto e = h.window.Take();
    EXPECT_NE(std::find(e.begin(), e.end(), "picture f1.bmp"), e.end());
    EXPECT_EQ(std::count_if(e.begin(), e.end(), [](auto& s) { return s.rfind("key", 0) == 0; }), 0);
    Step();  // same name without "@": loaded again and keyed
    e = h.window.Take();
    EXPECT_EQ(e, (std::vector<std::string>{"picture f1.bmp", "move 0,0", "key 16711935", "repaint"}));
    Step();  // the same picture: one move, nothing else
    EXPECT_EQ(h.window.Take(), (std::vector<std::string>{"move 0,0"}));
    Step();  // "@" with the same name still counts as new
    e = h.window.Take();
    EXPECT_EQ(e, (std::vector<std::string>{"picture f1.bmp", "move 0,0", "repaint"}));

    h.settings().transparencyoff = 1;
    Step();
    e = h.window.Take();
    EXPECT_EQ(e, (std::vector<std::string>{"picture f1.bmp", "move 0,0", "repaint"}));
}

TEST_F(AnimationPlayer, OpaqueFrameStaysOpaqueForItsWholePause) {
    h.Actor("opaque.kani", Lines({"framecount=2", "framepause=3", "timerspeed=40", "actorwidth=10", "actorheight=10",
                                  "[end]", "@f1.bmp", "f2.bmp"}));
    Load("opaque.kani");
    Step();
    h.window.Take();
    Step();
    Step();
    EXPECT_EQ(h.window.Take(), (std::vector<std::string>{"move 0,0", "move 0,0"}));
}

TEST_F(AnimationPlayer, SoundsPlayOnTheReadingCallOnlyAndOnlyWhileAudioIsOn) {
    h.Actor("snd.kani", Lines({"framecount=2", "framepause=3", "timerspeed=40", "actorwidth=10", "actorheight=10",
                               "[end]", "f1.bmp|boing.wav", "f2.bmp| two words.wav"}));
    Load("snd.kani");
    Pictures(3);
    EXPECT_EQ(h.sound.played, (std::vector<std::string>{"boing.wav"}));
    Step();
    EXPECT_EQ(h.sound.played.back(), " two words.wav");  // blanks inside the line stay
    EXPECT_EQ(h.window.picture, "f2.bmp");
    h.rt->MenuChosen(MenuChoice::paudiooff);
    Pictures(6);
    EXPECT_EQ(h.sound.played.size(), 2u);
    h.settings().audioon = 2;
    Pictures(6);
    EXPECT_EQ(h.sound.played.size(), 2u);
}

TEST_F(AnimationPlayer, NulShowsNothingAndDoesNotMove) {
    h.Actor("three.kani", kThreeFrames);
    Load("three.kani");
    Step();
    h.window.Take();
    std::string nul = "nul";
    h.position().MoveTo(999, h.rt->position().y());
    h.player().ShowNextFrame(nul);
    EXPECT_TRUE(h.window.Take().empty());
    EXPECT_EQ(h.rt->player().pausecount(), 0);
}

TEST_F(AnimationPlayer, ActionCommandInsideAnAnimationStartsTheNewBehaviourAtOnce) {
    h.Actor("other.kani", Lines({"framecount=1", "framepause=1", "timerspeed=40", "actorwidth=10", "actorheight=10",
                                 "[end]", "f3.bmp"}));
    h.Actor("cmd.kani", Lines({"framecount=2", "framepause=1", "timerspeed=40", "actorwidth=10", "actorheight=10",
                               "[end]", "f1.bmp", "!04|7|other.kani|after.krnd"}));
    Load("cmd.kani");
    EXPECT_EQ(Step(), "f1.bmp");
    EXPECT_EQ(Step(), "f3.bmp");
    EXPECT_EQ(h.rt->behaviours().actiontype(), 4);
    EXPECT_EQ(h.rt->behaviours().record().actionstep, -200);
    EXPECT_EQ(h.rt->behaviours().record().actioncount, 7);
    EXPECT_EQ(h.rt->behaviours().nextfile(), "after.krnd");
    EXPECT_EQ(h.rt->player().animfile(), "other.kani");
}

TEST_F(AnimationPlayer, TypeFieldIsReadFromItsLastTwoCharacters) {
    h.Actor("three.kani", kThreeFrames);
    h.player().RunActionCommand("!05|3|three.kani|");
    EXPECT_EQ(h.rt->behaviours().actiontype(), 5);
    EXPECT_EQ(h.rt->behaviours().nextfile(), "");
    // "!5" reads as 0: the actor switch, with the target as actor file.
    h.dir.Write("actors/b.kact", Lines({"actorname=Bee", "actorpath=" + h.actorDir(), "iconfile=icon.ico",
                                        "activefile=b.krnd", "[end]"}));
    h.Actor("b.krnd", Lines({"1", "!04|1|three.kani|"}));
    h.player().RunActionCommand("!5|3|" + h.dir.path() + "/actors/b.kact|ignored.krnd");
    EXPECT_EQ(h.settings().actorname, "Bee");
    EXPECT_EQ(h.rt->behaviours().actiontype(), 4);
    EXPECT_EQ(h.rt->behaviours().nextfile(), "");
}

TEST_F(AnimationPlayer, NegativeCountDrawsFromOneToN) {
    h.Actor("three.kani", kThreeFrames);
    h.random.queued = {0.0, 0.999, 0.5};
    h.player().RunActionCommand("!01|-4|three.kani|");
    EXPECT_EQ(h.rt->behaviours().record().actioncount, 1);
    h.player().RunActionCommand("!01|-4|three.kani|");
    EXPECT_EQ(h.rt->behaviours().record().actioncount, 4);
    h.player().RunActionCommand("!01| -4 |three.kani|");
    EXPECT_EQ(h.rt->behaviours().record().actioncount, 3);
}

TEST_F(AnimationPlayer, NestedListReplacesTheCallersVariable) {
    h.Actor("three.kani", kThreeFrames);
    h.Actor("state.krnd", Lines({"1", "  inner.krnd  "}));
    h.Actor("inner.krnd", Lines({"2", "three.kani", "picture.bmp"}));
    std::string list = "state.krnd";
    h.random.queued = {0.0, 0.0};
    h.player().PlayRandomChoice(list);
    EXPECT_EQ(list, "inner.krnd");
    EXPECT_EQ(h.window.picture, "f1.bmp");

    // An entry with another ending plays nothing.
    h.window.Take();
    h.random.queued = {0.9};
    h.player().PlayRandomChoice(list);
    EXPECT_TRUE(h.window.Take().empty());
}

TEST_F(AnimationPlayer, PickRandomLineCountsOnlyTheFirstNLines) {
    h.Actor("l.krnd", Lines({"2", "one", "two", "three"}));
    h.random.queued = {0.0, 0.99};
    EXPECT_EQ(h.player().PickRandomLine("l.krnd"), "one");
    EXPECT_EQ(h.player().PickRandomLine("l.krnd"), "two");
    h.Actor("zero.krnd", Lines({"0", "only"}));
    EXPECT_EQ(h.player().PickRandomLine("zero.krnd"), "only");
    h.Actor("neg.krnd", Lines({"-3", "only"}));
    h.random.queued = {0.5};
    EXPECT_EQ(h.player().PickRandomLine("neg.krnd"), "");
}

TEST_F(AnimationPlayer, ResizeKeepsTheAlignedEdge) {
    h.Actor("small.kani", Lines({"framecount=1", "framepause=1", "timerspeed=40", "actorwidth=100", "actorheight=100",
                                 "alignx=0", "aligny=1", "[end]", "f1.bmp"}));
    h.Actor("wide.kani", Lines({"framecount=1", "framepause=1", "timerspeed=40", "actorwidth=120", "actorheight=110",
                                "[end]", "big.bmp"}));
    h.Actor("right.kani", Lines({"framecount=1", "framepause=1", "timerspeed=40", "actorwidth=140", "actorheight=110",
                                 "alignx=1", "aligny=2", "[end]", "f1.bmp"}));
    Load("small.kani");
    Step();
    h.position().MoveTo(6000, 6000);
    Load("wide.kani");
    EXPECT_EQ(h.rt->position().x(), 6000 - 150);
    EXPECT_EQ(h.rt->position().y(), 6000 - 150);  // bottom edge stays put
    h.window.Take();
    Step();
    auto e = h.window.Take();
    EXPECT_EQ(e[0], "picture big.bmp");
    EXPECT_EQ(e[1], "size 1800x1650");
    Load("right.kani");
    EXPECT_EQ(h.rt->position().x(), 5850 - 300);
    EXPECT_EQ(h.rt->position().y(), 5850);
}

TEST_F(AnimationPlayer, HeaderIsKeptApartFromTheRunningValuesAndLeftOutKeysCarryOver) {
    h.Actor("three.kani", kThreeFrames);
    h.Actor("bare.kani", Lines({"framecount=1", "[end]", "f2.bmp"}));
    h.settings().priorityup = 200;
    Load("three.kani");
    EXPECT_EQ(h.rt->player().header().timerspeed, 100);
    EXPECT_EQ(h.rt->player().header().actorwidth, 100);
    EXPECT_EQ(h.rt->player().pace().tickInterval, 50);
    EXPECT_EQ(h.rt->player().widthTwips(), 1500);
    // A file without the keys goes on from the values in effect, scaled
    // again, as the classic single field did; its other keys carry over as read.
    Load("bare.kani");
    EXPECT_EQ(h.rt->player().header().timerspeed, 50);
    EXPECT_EQ(h.rt->player().pace().tickInterval, 25);
    EXPECT_EQ(h.rt->player().header().actorwidth, 1500);
    EXPECT_EQ(h.rt->player().widthTwips(), 22500);
    EXPECT_EQ(h.rt->player().header().transparentred, 255);
    EXPECT_EQ(h.rt->player().header().framepause, 2);
    Step();
    EXPECT_EQ(h.timer1.interval, 25);
    EXPECT_EQ(h.window.width, 22500);
}

// Each broken input ends the actor with the run-time error naming the file
// (and line where one is read).
struct BadInput {
    const char* what;
    std::string file;
    std::string content;
    std::string play;  // animation, list or command to run
    ErrorNumber number;
    std::string messagePart;
};

TEST_F(AnimationPlayer, BadInputNamesTheFileAndLine) {
    const std::string header = "framepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n";
    const std::vector<BadInput> cases = {
        {"framecount beyond the frame lines", "short.kani", "framecount=3\r\n" + header + "[end]\r\nf1.bmp\r\n",
         "short.kani", ErrorNumber::InputPastEndOfFile,
         "short.kani, line 1 (framecount 3 is larger than its 1 frame line)"},
        {"header without [end]", "noend.kani", "framecount=1\r\n" + header, "noend.kani",
         ErrorNumber::InputPastEndOfFile, "noend.kani, line 6"},
        {"missing picture", "nopic.kani", "framecount=1\r\n" + header + "[end]\r\nghost.bmp\r\n", "nopic.kani",
         ErrorNumber::FileNotFound, "ghost.bmp"},
        {"missing animation", "", "", "!04|1|absent.kani|", ErrorNumber::FileNotFound, "absent.kani"},
        {"command with two bars", "cmd.kani", "framecount=1\r\n" + header + "[end]\r\n!04|1|f1.kani\r\n", "cmd.kani",
         ErrorNumber::InvalidProcedureCall, "cmd.kani, line 7"},
        {"$ without comma", "dollar.krnd", "1\r\n!01|5|$walk.kani|\r\n", "dollar.krnd",
         ErrorNumber::InvalidProcedureCall, "dollar.krnd, line 2"},
        {"list shorter than its count", "short.krnd", "3\r\na.kani\r\n", "short.krnd", ErrorNumber::InputPastEndOfFile,
         "short.krnd, line 1 (count 3 is larger than its 1 entry)"},
        {"list of a count only", "bare.krnd", "2\r\n", "bare.krnd", ErrorNumber::InputPastEndOfFile,
         "bare.krnd, line 1 (the list has no entries)"},
        {"overflow in a header", "big.kani", "framecount=99999\r\n" + header + "[end]\r\n", "big.kani",
         ErrorNumber::Overflow, "big.kani, line 1"},
        {"framepause times priorityup", "slow.kani", "framecount=1\r\nframepause=400\r\ntimerspeed=40\r\n[end]\r\n",
         "slow.kani", ErrorNumber::Overflow, "slow.kani"},
        {"negative timerspeed", "neg.kani", "framecount=1\r\nframepause=1\r\ntimerspeed=-5\r\n[end]\r\nf1.bmp\r\n",
         "neg.kani", ErrorNumber::InvalidPropertyValue, "neg.kani"},
        {"list naming itself", "self.krnd", "1\r\nself.krnd\r\n", "self.krnd", ErrorNumber::OutOfStackSpace,
         "self.krnd, line 2"},
        {"lists naming each other", "ping.krnd", "2\r\npong.krnd\r\npong.krnd\r\n", "ping.krnd",
         ErrorNumber::OutOfStackSpace, ".krnd, line "},
        {"command loading its own list", "again.krnd", "1\r\n!04|1|again.krnd|\r\n", "again.krnd",
         ErrorNumber::OutOfStackSpace, "again.krnd, line 2"},
        {"animation restarting itself", "loop.kani", "framecount=1\r\n" + header + "[end]\r\n!04|1|loop2.kani|\r\n",
         "loop.kani", ErrorNumber::OutOfStackSpace, ".kani, line 7"},
    };
    h.Actor("loop2.kani", "framecount=1\r\n" + header + "[end]\r\n!04|1|loop.kani|\r\n");
    h.Actor("pong.krnd", "1\r\nping.krnd\r\n");
    for (const auto& c : cases) {
        if (!c.file.empty()) h.Actor(c.file, c.content);
        ActorHarness fresh;
        fresh.UseActorDir();
        fresh.settings().actorpath = h.actorDir();
        fresh.settings().iconfile = "icon.ico";
        fresh.random.queued = {0.99};
        try {
            std::string target = c.play;
            if (target[0] == '!') {
                fresh.player().RunActionCommand(target);
            } else if (target.ends_with(".krnd")) {
                fresh.player().PlayRandomChoice(target);
            } else {
                fresh.player().LoadAnimation(target);
                for (int i = 0; i < 5; ++i) {
                    std::string empty;
                    fresh.player().ShowNextFrame(empty);
                }
            }
            ADD_FAILURE() << c.what << ": no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), c.number) << c.what << ": " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.messagePart), std::string::npos) << c.what << ": " << e.what();
        }
    }
}

TEST_F(AnimationPlayer, ZeroPriorityupOrSpeedupIsADivisionByZero) {
    h.Actor("three.kani", kThreeFrames);
    for (int which = 0; which < 2; ++which) {
        h.settings().priorityup = which == 0 ? 0 : 100;
        h.settings().speedup = which == 0 ? 100 : 0;
        try {
            Load("three.kani");
            FAIL();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::DivisionByZero);
            EXPECT_NE(std::string(e.what()).find("three.kani"), std::string::npos);
        }
    }
}

TEST_F(AnimationPlayer, EmptyListNameIsAnErrorNotACrash) {
    std::string empty;
    try {
        h.player().PlayRandomChoice(empty);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_NE(std::string(e.what()).find("no random-choice list"), std::string::npos);
    }
}

TEST_F(AnimationPlayer, UnchangedListIsNotReadAgainButAChangedOneIs) {
    h.Actor("a.kani",
            "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n["
            "end]\r\nf1.bmp\r\n");
    h.Actor("b.kani",
            "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n["
            "end]\r\nf2.bmp\r\n");
    const std::string path = h.Actor("pick.krnd", "1\r\na.kani\r\n");
    std::string list = "pick.krnd";
    h.player().PlayRandomChoice(list);
    EXPECT_EQ(h.rt->player().animfile(), "a.kani");

    // Same size, same time stamp: taken as unchanged, the kept entries play.
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    h.dir.Write("actors/a/pick.krnd", "1\r\nb.kani\r\n");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    h.player().PlayRandomChoice(list);
    EXPECT_EQ(h.rt->player().animfile(), "a.kani");

    // A new time stamp is a new list.
    const timespec later[2] = {{before.st_atim.tv_sec, 0}, {before.st_mtim.tv_sec + 5, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    h.player().PlayRandomChoice(list);
    EXPECT_EQ(h.rt->player().animfile(), "b.kani");

    // Entries past the count are never needed; a short list fails only
    // when a draw reaches past its end, each time it does.
    h.Actor("short.krnd", "3\r\na.kani\r\n");
    list = "short.krnd";
    h.random.queued = {0.0, 0.99, 0.99};
    h.player().PlayRandomChoice(list);
    EXPECT_EQ(h.rt->player().animfile(), "a.kani");
    for (int i = 0; i < 2; ++i) {
        try {
            h.player().PlayRandomChoice(list);
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::InputPastEndOfFile);
            EXPECT_NE(std::string(e.what()).find("short.krnd, line 1 (count 3 is larger than its 1 entry)"),
                      std::string::npos)
                << e.what();
        }
    }
}

TEST_F(AnimationPlayer, KeptAnimationPlaysUntilTheFileChangesAndAGoneOneFailsAsBefore) {
    const std::string head =
        "framecount=2\r\nframepause=0\r\ntimerspeed=40\r\nactorwidth=10\r\nactorheight=10\r\n[end]\r\n";
    // With a byte-order mark, as some editors write: read past it at every start.
    const std::string path = h.Actor("two.kani", "\xEF\xBB\xBF" + head + "f1.bmp\r\nf2.bmp\r\n");
    Load("two.kani");
    EXPECT_EQ(Pictures(4), (std::vector<std::string>{"f1.bmp", "f2.bmp", "f1.bmp", "f2.bmp"}));

    // Same size and time stamp: the kept copy plays on.
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    h.Actor("two.kani", "\xEF\xBB\xBF" + head + "f3.bmp\r\nf2.bmp\r\n");
    const timespec same[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), same, 0), 0);
    EXPECT_EQ(Pictures(2), (std::vector<std::string>{"f1.bmp", "f2.bmp"}));

    // Edited: the next start reads it, and the frames of the start under way stay those read.
    const timespec later[2] = {{before.st_atim.tv_sec, 0}, {before.st_mtim.tv_sec + 5, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    EXPECT_EQ(Pictures(1), (std::vector<std::string>{"f3.bmp"}));
    h.Actor("two.kani", head + "f2.bmp\r\nf1.bmp\r\n");
    const timespec latest[2] = {{before.st_atim.tv_sec, 0}, {before.st_mtim.tv_sec + 9, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), latest, 0), 0);
    EXPECT_EQ(Pictures(3), (std::vector<std::string>{"f2.bmp", "f2.bmp", "f1.bmp"}));

    // Gone, or a folder in its place: the next start fails as a first one would.
    ASSERT_EQ(::unlink(path.c_str()), 0);
    for (int gone = 0; gone < 2; ++gone) {
        try {
            Step();
            ADD_FAILURE() << "no error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::FileNotFound) << e.what();
            EXPECT_EQ(e.file(), path);
            EXPECT_EQ(e.detail(), gone ? "a directory, not a file" : "") << e.what();
        }
        if (!gone) ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    }
}

TEST_F(AnimationPlayer, PictureNamesAreLookedUpBelowTheActorPathInForce) {
    h.Actor("one.kani", "framecount=1\r\nframepause=0\r\ntimerspeed=40\r\n[end]\r\nf1.bmp\r\n");
    Load("one.kani");
    EXPECT_EQ(Step(), "f1.bmp");
    // Another actor's folder with the same animation but not its picture.
    const std::string other =
        h.dir.Write("actors/b/one.kani", "framecount=1\r\nframepause=0\r\ntimerspeed=40\r\n[end]\r\n@f1.bmp\r\n");
    h.settings().actorpath = other.substr(0, other.size() - std::string("one.kani").size());
    Load("one.kani");
    try {
        Step();
        ADD_FAILURE() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.file(), h.settings().actorpath + "f1.bmp");
    }
}

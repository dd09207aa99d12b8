#include "common/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "common/line_reader.h"
#include "common/runtime_error.h"
#include "test_files.h"

using namespace kobal;

TEST(ParseSettingLine, SectionCodesSelectTheKeyGroups) {
    SettingStore s;
    ParseSettingLine(s, "  FrameCount = 12 ", 0);
    EXPECT_EQ(s.framecount, 12);
    ParseSettingLine(s, "FrameCount = 13", 1);
    ParseSettingLine(s, "FrameCount = 14", 2);
    EXPECT_EQ(s.framecount, 12);

    ParseSettingLine(s, "priorityup=150", 0);
    ParseSettingLine(s, "priorityup=151", 2);
    EXPECT_EQ(s.priorityup, 0);
    ParseSettingLine(s, "priorityup =150", 1);
    EXPECT_EQ(s.priorityup, 150);

    ParseSettingLine(s, "actorname=Bob", 0);
    EXPECT_EQ(s.actorname, "");
    ParseSettingLine(s, "actorname=Bob", 2);
    EXPECT_EQ(s.actorname, "Bob");
    ParseSettingLine(s, "actorname=Ann", 1);
    EXPECT_EQ(s.actorname, "Ann");

    SettingStore before = s;
    for (const char* line : {"framecount=1", "speedup=5", "actorname=x"}) ParseSettingLine(s, line, 3);
    EXPECT_EQ(s.framecount, before.framecount);
    EXPECT_EQ(s.actorname, "Ann");
}

TEST(ParseSettingLine, HideFullscreenIsAPreferenceKey) {
    SettingStore s;
    ParseSettingLine(s, "hidefullscreen= 1 ", 2);  // an actor file under overrideactor 1
    ParseSettingLine(s, "hidefullscreen=1", 0);
    EXPECT_EQ(s.hidefullscreen, 0);
    ParseSettingLine(s, "HideFullscreen = 1 ", 1);
    EXPECT_EQ(s.hidefullscreen, 1);
}

TEST(ParseSettingLine, ValuesKeepCaseAndLaterEquals) {
    SettingStore s;
    ParseSettingLine(s, "actorname = a=b = c ", 1);
    EXPECT_EQ(s.actorname, "a=b = c");
    ParseSettingLine(s, "ACTORPATH=Actors\\Bob\\", 1);
    EXPECT_EQ(s.actorpath, "Actors\\Bob\\");
    ParseSettingLine(s, "actorname=", 1);
    EXPECT_EQ(s.actorname, "");
}

TEST(ParseSettingLine, IgnoresWhatMatchesNothing) {
    SettingStore s;
    s.speedup = 7;
    for (const char* line : {"", "[end]", "; comment", "=5", "\tspeedup=9", "speed up=9", "unknown=1"})
        ParseSettingLine(s, line, 1);
    EXPECT_EQ(s.speedup, 7);
    ParseSettingLine(s, "speedup=", 1);
    EXPECT_EQ(s.speedup, 0);
    s.speedup = 7;
    ParseSettingLine(s, "speedup=fast", 1);
    EXPECT_EQ(s.speedup, 0);
}

TEST(ParseSettingLine, NumbersRoundHalfToEvenAndOverflow) {
    SettingStore s;
    ParseSettingLine(s, "timerspeed=2.5", 0);
    EXPECT_EQ(s.timerspeed, 2);
    ParseSettingLine(s, "timerspeed=3.5", 0);
    EXPECT_EQ(s.timerspeed, 4);
    ParseSettingLine(s, "timerspeed=40abc", 0);
    EXPECT_EQ(s.timerspeed, 40);
    EXPECT_THROW(ParseSettingLine(s, "timerspeed=40000", 0), RuntimeError);
    EXPECT_EQ(s.timerspeed, 40);
}

TEST(ParseSettingLine, OnlyTheActorProgramKeepsItsLinkName) {
    SettingStore actor(SettingStore::Program::Actor);
    SettingStore launcher(SettingStore::Program::Launcher);
    ParseSettingLine(actor, "actorddename=bob", 1);
    ParseSettingLine(launcher, "actorddename=bob", 1);
    EXPECT_EQ(actor.actorddename, "bob");
    EXPECT_EQ(launcher.actorddename, "");
}

TEST(ReadingLoops, ActorLoopAlwaysAppliesTheFirstLine) {
    TempDir dir;
    // The first "[end]" is applied (and changes nothing); reading goes on.
    const auto path = dir.Write("a.kani", "[end]\r\nframecount=3\r\n[END]\r\nframecount=9\r\n");
    SettingStore s;
    ReadSettingsFile(s, path, 0, LoopShape::Actor);
    EXPECT_EQ(s.framecount, 3);

    SettingStore l;
    ReadSettingsFile(l, path, 0, LoopShape::Launcher);
    EXPECT_EQ(l.framecount, 0);
}

TEST(ReadingLoops, EndLineInAnyCaseAndWithBlanksEndsReading) {
    TempDir dir;
    for (const char* end : {"[end]", "[END]", " [end] ", "[End]  "}) {
        const auto path = dir.Write("c.kcfg", std::string("speedup=5\nsleeptime=6\r\n") + end + "\r\nspeedup=99\r\n");
        SettingStore s;
        ReadSettingsFile(s, path, 1, LoopShape::Launcher);
        EXPECT_EQ(s.speedup, 5) << end;
        EXPECT_EQ(s.sleeptime, 6) << end;
        SettingStore a;
        ReadSettingsFile(a, path, 1, LoopShape::Actor);
        EXPECT_EQ(a.speedup, 5) << end;
    }
}

TEST(ReadingLoops, MissingEndLineNamesTheFileAndLine) {
    TempDir dir;
    const auto path = dir.Write("broken.kact", "actorname=Bob\r\niconfile=x.ico\r\n");
    for (LoopShape loop : {LoopShape::Actor, LoopShape::Launcher}) {
        SettingStore s;
        try {
            ReadSettingsFile(s, path, 1, loop);
            FAIL();
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), ErrorNumber::InputPastEndOfFile);
            EXPECT_EQ(e.file(), path);
            EXPECT_EQ(e.line(), 3);
            EXPECT_EQ(e.message(), "Run-time error '62': Input past end of file: " + path + ", line 3");
        }
        EXPECT_EQ(s.iconfile, "x.ico");
    }
}

TEST(ReadingLoops, OverflowNamesTheFileAndLine) {
    TempDir dir;
    const auto path = dir.Write("big.kcfg", "speedup=1\r\nboredtime=99999\r\n[end]\r\n");
    SettingStore s;
    try {
        ReadSettingsFile(s, path, 1, LoopShape::Launcher);
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::Overflow);
        EXPECT_EQ(e.line(), 2);
        EXPECT_NE(e.message().find("big.kcfg, line 2"), std::string::npos);
    }
}

namespace {

// Every field as text: whether a line changed anything at all.
std::string Dump(const SettingStore& s) {
    std::string out;
    for (int16_t v :
         {s.framecount,      s.framepause,       s.timerspeed,      s.movespeed,      s.actorwidth,  s.actorheight,
          s.transparentred,  s.transparentgreen, s.transparentblue, s.alignx,         s.aligny,      s.priorityup,
          s.speedup,         s.audioon,          s.showsplash,      s.boredtime,      s.sleeptime,   s.hibernatetime,
          s.initialpriority, s.transparencyoff,  s.overrideactor,   s.hidefullscreen, s.windowfloors})
        out += std::to_string(v) + ",";
    for (const std::string* v : {&s.version, &s.actorname, &s.actorddename, &s.actorpath, &s.infofile, &s.splashscreen,
                                 &s.iconfile, &s.activefile, &s.responsefile, &s.boredfile, &s.sleepfile, &s.fallfile})
        out += *v + ",";
    return out;
}

}  // namespace

// The checker tells authors which lines a section ignores from the key
// groups: they must agree with what the parser really applies.
TEST(SettingKeys, GroupsAgreeWithWhatTheParserApplies) {
    const char* keys[] = {"framecount",      "framepause",
                          "timerspeed",      "movespeed",
                          "actorwidth",      "actorheight",
                          "transparentred",  "transparentgreen",
                          "transparentblue", "alignx",
                          "aligny",          "priorityup",
                          "speedup",         "audioon",
                          "showsplash",      "boredtime",
                          "sleeptime",       "hibernatetime",
                          "initialpriority", "transparencyoff",
                          "overrideactor",   "hidefullscreen",
                          "version",         "actorname",
                          "actorddename",    "actorpath",
                          "infofile",        "splashscreen",
                          "iconfile",        "activefile",
                          "responsefile",    "boredfile",
                          "sleepfile",       "windowfloors",
                          "fallfile",        "actor",
                          "endframe",        ""};
    int known = 0;
    for (const char* key : keys) {
        const SettingKeyGroup group = SettingKeyGroupOf(key);
        known += group != SettingKeyGroup::None;
        for (int section = 0; section <= 3; ++section) {
            SettingStore fresh;
            SettingStore store;
            ParseSettingLine(store, std::string(key) + "=7", section);
            EXPECT_EQ(Dump(store) != Dump(fresh), SectionTakes(section, group)) << key << " in section " << section;
        }
    }
    EXPECT_EQ(known, 35);
    EXPECT_EQ(SettingKeyGroupOf("framecount"), SettingKeyGroup::Animation);
    EXPECT_EQ(SettingKeyGroupOf("hidefullscreen"), SettingKeyGroup::Preference);
    EXPECT_EQ(SettingKeyGroupOf("actorddename"), SettingKeyGroup::Actor);
    EXPECT_EQ(SettingKeyGroupOf("FrameCount"), SettingKeyGroup::None);  // keys arrive lower-cased
}

TEST(SettingKeys, TheKeyOfALineIsTrimmedAndLowerCased) {
    const std::pair<std::string, std::string> lines[] = {
        {"  FrameCount = 3", "framecount"}, {"no equals sign", ""}, {"=5", ""}, {"a=b=c", "a"}, {"\tkey=1", "\tkey"},
        {" Actor Name =x", "actor name"},   {"[end]", ""},
    };
    for (const auto& [line, key] : lines) EXPECT_EQ(SettingLineKey(line), key) << line;
}

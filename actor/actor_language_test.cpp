#include "actor/actor_language.h"

#include <gtest/gtest.h>

#include <optional>
#include <tuple>

using namespace kobal;
using namespace kobal::actor;

namespace {

// Runs f and returns the run-time error it raised, if any.
template <typename F>
std::optional<RuntimeError> ErrorOf(F f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e;
    }
    return std::nullopt;
}

}  // namespace

TEST(ActionCommand, SplitsAtTheFirstThreeBarsAndTrimsOnlyTheNextField) {
    struct Case {
        std::string line;
        bool splits;
        std::string type, count, target, next;
    };
    const Case cases[] = {
        {"!04|3|walk.kani|after.krnd", true, "!04", "3", "walk.kani", "after.krnd"},
        {"!04| 3 | walk.kani |  after.krnd  ", true, "!04", " 3 ", " walk.kani ", "after.krnd"},
        {"!99|0|*%*wave.krnd|more|bars", true, "!99", "0", "*%*wave.krnd", "more|bars"},
        {"|||", true, "", "", "", ""},
        {"!01|1|$a,b|", true, "!01", "1", "$a,b", ""},
        {"!04|3|walk.kani", false, "", "", "", ""},
        {"!04|3", false, "", "", "", ""},
        {"!04", false, "", "", "", ""},
        {"", false, "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::optional<ActionFields> f = SplitActionCommand(c.line);
        ASSERT_EQ(f.has_value(), c.splits);
        if (!f) continue;
        EXPECT_EQ(f->type, c.type);
        EXPECT_EQ(f->count, c.count);
        EXPECT_EQ(f->target, c.target);
        EXPECT_EQ(f->next, c.next);
    }
}

TEST(ActionCommand, TypeIsTheLastTwoCharactersAndCountA16BitNumber) {
    const std::pair<std::string, int> types[] = {
        {"!05", 5}, {"!5", 0}, {"!99", 99}, {"!", 0}, {"!104", 4}, {"! 5", 5}, {"!x5", 0}, {"!5x", 5}, {"", 0},
    };
    for (const auto& [field, type] : types) EXPECT_EQ(ActionType(field), type) << field;

    const std::pair<std::string, int> counts[] = {
        {"3", 3}, {"-4", -4}, {" 7 ", 7}, {"2.5", 2}, {"3.5", 4}, {"", 0}, {"x", 0}, {"32767", 32767},
    };
    for (const auto& [field, count] : counts) EXPECT_EQ(ActionCount(field), count) << field;
    for (const char* field : {"32768", "-32769", "1e9"}) {
        const auto e = ErrorOf([&] { ActionCount(field); });
        ASSERT_TRUE(e) << field;
        EXPECT_EQ(e->number(), ErrorNumber::Overflow) << field;
    }
}

TEST(ActionCommand, AMissingBarEndsWithThePlayersMessageAtTheLine) {
    EXPECT_EQ(ReadActionCommand("!04|1|a.kani|", "/a/x.kani", 5).target, "a.kani");
    const auto e = ErrorOf([] { ReadActionCommand("!04|1|a.kani", "/a/x.kani", 5); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), ErrorNumber::InvalidProcedureCall);
    EXPECT_EQ(e->file(), "/a/x.kani");
    EXPECT_EQ(e->line(), 5);
    EXPECT_EQ(e->detail(), "an action command needs three \"|\" (type|count|target|next): !04|1|a.kani");
}

TEST(ActionCommand, ASwitchNamesAnActorFileBelowTheInstallDirectoryUnlessAbsolute) {
    const std::pair<std::string, std::string> targets[] = {
        {"b\\actor.kact", "/opt/k/b\\actor.kact"},
        {"/home/ann/b.kact", "/home/ann/b.kact"},
        {"C:\\actors\\b.kact", "C:\\actors\\b.kact"},
        {"", "/opt/k/"},
    };
    for (const auto& [target, file] : targets) EXPECT_EQ(SwitchedActorFile(target, "/opt/k/"), file) << target;
}

TEST(ActionCommand, NameListsSplitAtCommas) {
    EXPECT_TRUE(IsNameListTarget("$a,b"));
    EXPECT_FALSE(IsNameListTarget(" $a,b"));
    EXPECT_FALSE(IsNameListTarget(""));
    EXPECT_EQ(NameListOf("$a.kani,b.kani"), "a.kani,b.kani");
    EXPECT_EQ(NameListOf("a.kani"), "");

    const std::pair<std::string, std::optional<std::string>> firsts[] = {
        {"a,b,c", "a"}, {",b", ""}, {"a,", "a"}, {"a", std::nullopt}, {"", std::nullopt}};
    for (const auto& [names, first] : firsts) {
        const std::optional<std::string_view> got = FirstListedName(names);
        EXPECT_EQ(got ? std::optional<std::string>(std::string(*got)) : std::nullopt, first) << names;
    }

    EXPECT_EQ(SplitNames("a,,b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitNames(""), (std::vector<std::string>{""}));
    EXPECT_EQ(SplitNames("a, b ,"), (std::vector<std::string>{"a", " b ", ""}));
    // Six names are one too many for a wander facing.
    EXPECT_GT(SplitNames("1,2,3,4,5,6").size(), kMaxFacingNames);
    EXPECT_EQ(SplitNames("1,2,3,4,5").size(), kMaxFacingNames);

    // A walk's right name is everything after the first ",".
    const std::optional<WalkNames> walk = SplitWalkNames("l.kani,r.kani,x");
    ASSERT_TRUE(walk);
    EXPECT_EQ(walk->left, "l.kani");
    EXPECT_EQ(walk->right, "r.kani,x");
    EXPECT_FALSE(SplitWalkNames("l.kani"));
}

TEST(ActionCommand, DrawsFromOneToNAndANegativeOrZeroNGivesNothingAbove1) {
    struct Case {
        double unit;
        int n;
        int drawn;
    };
    const Case cases[] = {
        {0.0, 4, 1},
        {0.249, 4, 1},
        {0.25, 4, 2},
        {0.999, 4, 4},
        {0.5, 0, 1},
        {0.5, 1, 1},
        // A list counted -4 draws 0 or below (nothing) except at exactly 0.
        {0.3, -4, -1},
        {0.0, -4, 1},
        {0.99, 32767, 32440},
    };
    for (const Case& c : cases) EXPECT_EQ(DrawOneTo(c.unit, c.n), c.drawn) << c.unit << " x " << c.n;
}

TEST(FrameLine, KindsAndPictureParts) {
    EXPECT_EQ(KindOfFrameLine(""), FrameLineKind::Blank);
    EXPECT_EQ(KindOfFrameLine("!04|1|a.kani|"), FrameLineKind::Command);
    EXPECT_EQ(KindOfFrameLine("a.bmp"), FrameLineKind::Picture);
    EXPECT_EQ(KindOfFrameLine("@a.bmp"), FrameLineKind::Picture);

    struct Case {
        std::string line;
        std::string written, picture;
        bool opaque, hasSound;
        std::string sound;
    };
    const Case cases[] = {
        {"a.bmp", "a.bmp", "a.bmp", false, false, ""},
        {"@a.bmp|s.wav", "@a.bmp", "a.bmp", true, true, "s.wav"},
        {"a.bmp|", "a.bmp", "a.bmp", false, true, ""},
        // Blanks around the parts belong to the names.
        {"a.bmp | s.wav", "a.bmp ", "a.bmp ", false, true, " s.wav"},
        {"@ a.bmp", "@ a.bmp", " a.bmp", true, false, ""},
        {"a|b|c", "a", "a", false, true, "b|c"},
        {"|s.wav", "", "", false, true, "s.wav"},
        {"@", "@", "", true, false, ""},
        {"@@a.bmp", "@@a.bmp", "@a.bmp", true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const PictureLine p = SplitPictureLine(c.line);
        EXPECT_EQ(p.written, c.written);
        EXPECT_EQ(p.picture, c.picture);
        EXPECT_EQ(p.opaque, c.opaque);
        EXPECT_EQ(p.hasSound, c.hasSound);
        EXPECT_EQ(p.sound, c.sound);
    }
}

TEST(RandomChoiceList, EntryKindsTestTheEndingExactly) {
    const std::pair<std::string, EntryKind> entries[] = {
        {"!04|1|a.kani|", EntryKind::Command}, {"!", EntryKind::Command},           {"walk.kani", EntryKind::Animation},
        {".kani", EntryKind::Animation},       {"!walk.kani", EntryKind::Command},  {"more.krnd", EntryKind::List},
        {"walk.KANI", EntryKind::Nothing},     {"more.Krnd", EntryKind::Nothing},   {"kani", EntryKind::Nothing},
        {"walk.kani ", EntryKind::Nothing},    {"picture.bmp", EntryKind::Nothing}, {"", EntryKind::Nothing},
    };
    for (const auto& [entry, kind] : entries) EXPECT_EQ(KindOfEntry(entry), kind) << entry;

    EXPECT_TRUE(IsListName("a.krnd"));
    EXPECT_FALSE(IsListName("a.kani"));
    EXPECT_TRUE(IsAnimationName("a.kani"));
    EXPECT_FALSE(IsAnimationName("krnd"));
}

TEST(RandomChoiceList, CountIsTheFirstLineUpToAComma) {
    const std::pair<std::string, int> counts[] = {
        {"3", 3}, {"3,junk", 3}, {" 2 ", 2}, {"2.5", 2}, {"", 0}, {",5", 0}, {"-4", -4}, {"x", 0},
    };
    for (const auto& [line, count] : counts) EXPECT_EQ(ListCount(line), count) << line;
    const auto e = ErrorOf([] { ListCount("1e9,3"); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->number(), ErrorNumber::Overflow);
}

TEST(RandomChoiceList, InitialPriorityNamesTheStartList) {
    const std::pair<int16_t, const char*> starts[] = {
        {0, "activefile"}, {1, "boredfile"}, {2, "sleepfile"}, {3, "sleepfile"}, {4, nullptr}, {-1, nullptr},
    };
    for (const auto& [priority, key] : starts) {
        const char* got = StartListKey(priority);
        EXPECT_EQ(got ? std::string(got) : "-", key ? std::string(key) : "-") << priority;
    }
}

TEST(KeyColor, PartsCountInTheirLowEightBits) {
    struct Case {
        int16_t red, green, blue;
        int32_t key;
        std::string text;
    };
    const Case cases[] = {
        {255, 0, 255, 16711935, "255,0,255"},
        {0, 1, 0, 256, "0,1,0"},
        {0, 0, 1, 65536, "0,0,1"},
        {256, 0, 0, 0, "0,0,0"},
        {-1, 0, 0, 255, "255,0,0"},
        {300, -256, 511, 44 + 65536 * 255, "44,0,255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(KeyColor(c.red, c.green, c.blue), c.key);
        EXPECT_EQ(KeyColorText(c.key), c.text);
        const KeyColorParts parts = PartsOfKeyColor(c.key);
        EXPECT_EQ(KeyColor(parts.red, parts.green, parts.blue), c.key);
        SettingStore header;
        header.transparentred = c.red;
        header.transparentgreen = c.green;
        header.transparentblue = c.blue;
        EXPECT_EQ(KeyColor(header), c.key);
    }
    EXPECT_EQ(KeyColorPart(-1), 255);
    EXPECT_EQ(KeyColorPart(256), 0);
    // The window's "no key yet" value reads as white.
    EXPECT_EQ(KeyColorText(-1), "255,255,255");
}

TEST(AnimationHeader, ScaledValuesRoundHalfToEvenAndOverflow) {
    struct Case {
        int16_t value, scale;
        int interval, step;
    };
    const Case cases[] = {
        {100, 100, 100, 100}, {100, 200, 50, 50},   {100, 50, 200, 200}, {25, 200, 12, 12},
        {35, 200, 18, 18},    {-30, 100, -30, -30}, {7, -100, -7, -7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScaledInterval(c.value, c.scale), c.interval) << c.value << " at " << c.scale;
        EXPECT_EQ(ScaledMoveStep(c.value, c.scale), c.step) << c.value << " at " << c.scale;
    }

    const std::tuple<int16_t, int16_t, int> thresholds[] = {
        {2, 100, 2}, {2, 200, 4}, {2, 50, 0}, {2, 150, 4}, {2, 250, 4}, {3, 350, 12}, {0, 100, 0},
    };
    for (const auto& [pause, priority, threshold] : thresholds)
        EXPECT_EQ(FrameThreshold(pause, priority), threshold) << pause << " at " << priority;
    EXPECT_EQ(FirstPauseCount(2, 100), 200);
    EXPECT_EQ(PixelsToTwips(100, 15), 1500);
    EXPECT_EQ(PixelsToTwips(-3, 15), -45);
    EXPECT_EQ(PixelsToTwips(3, 12.5), 38);  // 37.5 rounds to even

    auto number = [](auto f) {
        const std::optional<RuntimeError> e = ErrorOf(f);
        return e ? static_cast<int>(e->number()) : 0;
    };
    const int overflow = static_cast<int>(ErrorNumber::Overflow);
    EXPECT_EQ(number([] { ScaledInterval(30000, 50); }), overflow);
    EXPECT_EQ(number([] { ScaledMoveStep(-30000, 50); }), overflow);
    EXPECT_EQ(number([] { FirstPauseCount(200, 200); }), overflow);
    EXPECT_EQ(number([] { FrameThreshold(20000, 300); }), overflow);
    EXPECT_EQ(number([] { PixelsToTwips(3000, 15); }), overflow);
}

TEST(AnimationHeader, AZeroScaleIsDivisionByZeroPriorityupFirst) {
    struct Case {
        int16_t priorityup, speedup;
        std::string detail;
    };
    const Case cases[] = {{0, 0, "priorityup is 0"}, {0, 100, "priorityup is 0"}, {100, 0, "speedup is 0"}};
    for (const Case& c : cases) {
        const auto e = ErrorOf([&] { RequireScales(c.priorityup, c.speedup); });
        ASSERT_TRUE(e);
        EXPECT_EQ(e->number(), ErrorNumber::DivisionByZero);
        EXPECT_EQ(e->detail(), c.detail);
    }
    EXPECT_FALSE(ErrorOf([] { RequireScales(100, 100); }));
    EXPECT_EQ(ErrorOf([] { ScaledInterval(100, 0); })->detail(), "priorityup is 0");
    EXPECT_EQ(ErrorOf([] { ScaledMoveStep(100, 0); })->detail(), "speedup is 0");
}

TEST(LinkMessage, SplitsAtTheFirstPercentAndMatchesTheTarget) {
    const std::optional<LinkMessage> m = SplitLinkMessage("Ann%*wave.krnd%x");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->target, "Ann");
    EXPECT_EQ(m->command, "*wave.krnd%x");
    EXPECT_FALSE(SplitLinkMessage("Ann*wave.krnd"));
    EXPECT_EQ(SplitLinkMessage("%")->command, "");

    EXPECT_TRUE(AddressedTo("ANN", "ann"));
    EXPECT_TRUE(AddressedTo("*", "ann"));
    EXPECT_FALSE(AddressedTo("ann ", "ann"));
    EXPECT_FALSE(AddressedTo("**", "ann"));
}

TEST(LinkMessage, CommandKinds) {
    struct Case {
        std::string command;
        LinkCommandKind kind;
        std::string list;
    };
    const Case cases[] = {
        {"", LinkCommandKind::NotACommand, ""},
        {"wave.krnd", LinkCommandKind::NotACommand, ""},
        {" *wave.krnd", LinkCommandKind::NotACommand, ""},
        {"*", LinkCommandKind::NamesNothing, ""},
        {"**", LinkCommandKind::UnknownWord, ""},
        {"*closeactor*", LinkCommandKind::CloseActor, ""},
        {"*CloseActor*", LinkCommandKind::CloseActor, ""},
        {"*close*", LinkCommandKind::UnknownWord, ""},
        {"*closeactor", LinkCommandKind::PlayList, "closeactor"},
        {"*wave.krnd", LinkCommandKind::PlayList, "wave.krnd"},
        {"*a*b", LinkCommandKind::PlayList, "a*b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const LinkCommand got = ReadLinkCommand(c.command);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.list, c.list);
    }
}

TEST(LinkMessage, AListMustStayInTheActorsDirectory) {
    const std::pair<std::string, bool> names[] = {
        {"wave.krnd", true}, {"sub\\wave.krnd", true}, {"sub/wave.krnd", true}, {"..x.krnd", true},
        {"a..b\\c", true},   {"..\\x.krnd", false},    {"a/../b", false},       {"sub\\..", false},
        {"C:x.krnd", false}, {"/etc/x", false},        {"\\x.krnd", false},     {"", false},
        {"..", false},
    };
    for (const auto& [name, stays] : names) EXPECT_EQ(StaysInActorDirectory(name), stays) << name;
}

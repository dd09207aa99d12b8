// kobalcheck --run's previews: a click, link messages, one list, the
// summary and the GIF, on the corpus's good actor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <random>
#include <regex>
#include <sstream>

#include "checker/gif_writer.h"
#include "checker/headless_run.h"
#include "checker/qt_pictures.h"
#include "checker/run_test_support.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Preview {
    int status = -1;
    std::string text;
    std::vector<ShownFrame> shown;
};

Preview PreviewRun(const CorpusInstall& install, int seconds, uint64_t seed,
                   const std::function<void(RunOptions&)>& set) {
    QtPictureInspector pictures;
    RunOptions options = CorpusRun(install, seconds, seed);
    set(options);
    Preview p;
    std::ostringstream out;
    p.status = RunHeadless(options, pictures, out, &p.shown);
    p.text = out.str();
    return p;
}

// An actor whose lists tell apart who chose what: the active list only
// wanders, a click climbs, dance.krnd descends.
void Distinct(CorpusInstall& install) {
    install.dir.Write("a/active.krnd", "1\n!01|40|wave.kani|\n");
    install.dir.Write("a/response.krnd", "1\n!05|3|wave.kani|\n");
    install.dir.Write("a/dance.krnd", "1\n!03|2|left.kani|\n");
}

// The GIF's blocks as a decoder walks them.
struct GifBlocks {
    bool valid = false;
    int width = 0, height = 0;
    std::vector<int> delays;
    int images = 0;
    bool loops = false;
};

GifBlocks Walk(const std::string& gif) {
    GifBlocks b;
    auto u8 = [&](size_t at) { return static_cast<unsigned char>(gif.at(at)); };
    auto u16 = [&](size_t at) { return u8(at) | u8(at + 1) << 8; };
    if (gif.size() < 13 || gif.compare(0, 6, "GIF89a") != 0) return b;
    b.width = u16(6);
    b.height = u16(8);
    size_t at = 13;
    if (u8(10) & 0x80) at += 3u << ((u8(10) & 7) + 1);
    auto skipSubBlocks = [&] {
        while (u8(at) != 0) at += u8(at) + 1;
        ++at;
    };
    for (;;) {
        const int kind = u8(at);
        if (kind == ';') break;
        if (kind == '!') {
            const int label = u8(at + 1);
            if (label == 0xF9) b.delays.push_back(u16(at + 4));
            if (label == 0xFF && gif.compare(at + 3, 11, "NETSCAPE2.0") == 0) b.loops = true;
            at += 2;
            skipSubBlocks();
        } else if (kind == ',') {
            const int packed = u8(at + 9);
            if (u16(at + 5) != b.width || u16(at + 7) != b.height) return b;
            at += 10;
            if (packed & 0x80) at += 3u << ((packed & 7) + 1);
            ++at;  // LZW code size
            skipSubBlocks();
            ++b.images;
        } else {
            return b;
        }
    }
    b.valid = at + 1 == gif.size();
    return b;
}

std::vector<QImage> Decode(const std::string& gif) {
    QByteArray bytes(gif.data(), static_cast<qsizetype>(gif.size()));
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "gif");
    std::vector<QImage> frames;
    for (QImage image; !(image = reader.read()).isNull();)
        frames.push_back(image.convertToFormat(QImage::Format_ARGB32));
    return frames;
}

}  // namespace

TEST(Preview, AClickPlaysTheResponseAndWakesAHibernatingActor) {
    CorpusInstall install;
    Distinct(install);
    install.dir.Write("resource/config.kcfg",
                      "priorityup=100\nspeedup=100\naudioon=1\nshowsplash=0\nboredtime=1000\nsleeptime=2000\n"
                      "hibernatetime=3\ninitialpriority=0\ntransparencyoff=0\noverrideactor=0\n[end]\n");
    const Preview p = PreviewRun(install, 8, 5, [](RunOptions& o) { o.clicks = {1500, 6250}; });
    ASSERT_EQ(p.status, 0) << p.text;
    // In the middle of the 16 x 12 picture; the climb of response.krnd starts.
    const std::vector<std::string> clicks = LinesWith(p.text, "  click  ");
    ASSERT_EQ(clicks.size(), 2u) << p.text;
    EXPECT_EQ(clicks[0].rfind("    1500 ms  click    type=5 ", 0), 0u) << clicks[0];
    EXPECT_THAT(clicks[0], HasSubstr("click=left at 8,6 pixels"));
    // Hibernating at 3 s, the second click wakes the timers and the state.
    EXPECT_THAT(p.text, HasSubstr("state=Hibernate"));
    EXPECT_THAT(clicks[1], HasSubstr("6250 ms"));
    EXPECT_THAT(clicks[1], HasSubstr("Timer1=on"));
    // The menu's check marks follow at the next idle second.
    const std::vector<std::string> awake = LinesWith(p.text, "state=Activated");
    ASSERT_FALSE(awake.empty());
    EXPECT_GT(std::stoi(awake.back()), 6250) << p.text;
    EXPECT_FALSE(LinesWith(p.text, "  Timer1  ").empty());
    EXPECT_GT(std::stoi(LinesWith(p.text, "  Timer1  ").back()), 6250) << "the animation goes on after the wake-up";
}

TEST(Preview, LinkMessagesPlayTheActorsListOrAreDroppedWithTheReason) {
    CorpusInstall install;
    Distinct(install);
    const Preview p = PreviewRun(install, 6, 2, [](RunOptions& o) {
        o.arrivals = {{1200, LinkTextFor("dance.krnd")},
                      {2200, LinkTextFor("nothing.krnd")},
                      {3200, LinkTextFor("bob%*dance.krnd")},
                      {4200, LinkTextFor("ANN%*closeactor*")}};
    });
    EXPECT_EQ(p.status, 0) << p.text;
    EXPECT_THAT(p.text, HasSubstr("1200 ms  message  "));
    EXPECT_THAT(p.text, HasSubstr("link=\"*%*dance.krnd\" arrived"));
    // Worked off at the next link tick: the descend of dance.krnd starts.
    const std::vector<std::string> played = LinesWith(p.text, "link=\"*%*dance.krnd\" plays dance.krnd");
    ASSERT_EQ(played.size(), 1u) << p.text;
    EXPECT_EQ(played[0].rfind("    2000 ms  DDETimer type=3 anim=left.kani", 0), 0u) << played[0];
    EXPECT_THAT(p.text, HasSubstr("link=\"*%*nothing.krnd\" dropped: the actor has no list a/nothing.krnd"));
    EXPECT_THAT(
        p.text,
        HasSubstr("link=\"bob%*dance.krnd\" dropped: it is for \"bob\", and this actor's link name is \"ann\""));
    // Addressed by name in another letter case: the actor ends there.
    EXPECT_THAT(p.text, HasSubstr("link=\"ANN%*closeactor*\" ends the actor"));
    EXPECT_THAT(p.text, HasSubstr("5000 ms  DDETimer the actor ended (status 0)"));
    EXPECT_EQ(LinkTextFor("a.krnd"), "*%*a.krnd");

    // A list that fails on the way is put back by the actor; the timeline says so.
    install.dir.Write("a/broken.krnd", "1\n!04|1|missing.kani|\n");
    const Preview broken = PreviewRun(install, 3, 2, [](RunOptions& o) {
        o.arrivals = {{1200, LinkTextFor("broken.krnd")}};
    });
    EXPECT_EQ(broken.status, 0) << broken.text;
    EXPECT_THAT(broken.text, HasSubstr("2000 ms  DDETimer type=1 anim=wave.kani"));
    EXPECT_THAT(broken.text,
                HasSubstr("link=broken.krnd changed nothing: the entry drawn plays nothing, or it failed"));
}

TEST(Preview, TheFirstListPlaysBeforeAnythingElseOrTheRunSaysWhyNot) {
    CorpusInstall install;
    Distinct(install);
    Preview p = PreviewRun(install, 3, 4, [](RunOptions& o) { o.firstList = "dance.krnd"; });
    ASSERT_EQ(p.status, 0) << p.text;
    const std::vector<std::string> list = LinesWith(p.text, "  list  ");
    ASSERT_EQ(list.size(), 1u) << p.text;
    EXPECT_EQ(list[0].rfind("       0 ms  list     type=3 anim=left.kani", 0), 0u) << list[0];
    // Its first frame is the first one shown.
    const std::vector<std::string> ticks = LinesWith(p.text, "  Timer1  ");
    ASSERT_FALSE(ticks.empty());
    EXPECT_THAT(ticks[0], HasSubstr("type=3 anim=left.kani frame=f1.bmp"));

    p = PreviewRun(install, 3, 4, [](RunOptions& o) { o.firstList = "missing.krnd"; });
    EXPECT_EQ(p.status, 1);
    EXPECT_THAT(p.text, HasSubstr("0 ms  list     error: the list \"missing.krnd\" cannot play: the actor has no "
                                  "list a/missing.krnd"));
    EXPECT_THAT(p.text, Not(HasSubstr("end of run")));
}

TEST(Preview, TheSummaryAccountsForTheWholeRun) {
    CorpusInstall install;
    for (uint64_t seed : {1, 9}) {
        const Preview p = PreviewRun(install, 40, seed, [](RunOptions& o) {
            o.summary = true;
            o.clicks = {7000};
            o.arrivals = {{3000, LinkTextFor("more.krnd")}};
        });
        ASSERT_EQ(p.status, 0) << p.text;
        EXPECT_THAT(p.text, Not(HasSubstr(" frame="))) << "no line per tick";
        EXPECT_THAT(p.text, HasSubstr("# totals over 40000 ms"));
        EXPECT_THAT(p.text, HasSubstr("7000 ms  click    action type=4 (play once) anim=wave.kani from=response.krnd"));
        EXPECT_THAT(p.text, HasSubstr("link=\"*%*more.krnd\" plays more.krnd"));
        EXPECT_THAT(p.text, HasSubstr("  clicks: 1\n"));
        EXPECT_THAT(p.text, HasSubstr("40000 ms  end      end of run"));
        // Actions, animations and states each cover the run once over.
        for (const char* what : {"action", "animation", "state"}) {
            const std::regex total(std::string("^  ") + what + " .*: ([0-9]+) ms, ([0-9]+) times?$");
            long long sum = 0;
            int begun = 0;
            for (const std::string& line : LinesWith(p.text, std::string("  ") + what + " ")) {
                std::smatch m;
                if (!std::regex_match(line, m, total)) continue;
                sum += std::stoll(m[1]);
                begun += std::stoi(m[2]);
            }
            EXPECT_EQ(sum, 40000) << what << "\n" << p.text;
            EXPECT_GT(begun, 0) << what;
        }
        // Each choice shown in the account is counted in the totals.
        int chosen = 0;
        for (const std::string& line : LinesWith(p.text, "  list "))
            chosen += std::stoi(line.substr(line.find("chosen ") + 7));
        EXPECT_EQ(chosen, static_cast<int>(LinesWith(p.text, " from=").size())) << p.text;
    }
}

TEST(Preview, TheGifShowsThePicturesWithTheirTimesAndKeyColour) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "1\n!04|1|wave.kani|\n");
    QtPictureInspector pictures;
    const Preview p = PreviewRun(install, 5, 3, [](RunOptions&) {});
    ASSERT_EQ(p.status, 0) << p.text;
    const GifPreview gif = PreviewGif(p.shown, pictures);
    EXPECT_FALSE(gif.cut);
    EXPECT_EQ(gif.untilMs, 5000);
    const GifBlocks blocks = Walk(gif.bytes);
    ASSERT_TRUE(blocks.valid);
    EXPECT_TRUE(blocks.loops);
    EXPECT_EQ(blocks.width, 16);
    EXPECT_EQ(blocks.height, 12);
    EXPECT_EQ(blocks.images, static_cast<int>(gif.frames));
    ASSERT_EQ(blocks.delays.size(), gif.frames);
    int total = 0;
    for (int d : blocks.delays) total += d;
    EXPECT_EQ(total, 500) << "the delays add up to the run";
    // wave.kani: f1 (keyed), f2 (keyed), @f1 (opaque), each 3 ticks of 50 ms.
    ASSERT_GE(blocks.delays.size(), 4u);
    EXPECT_EQ(blocks.delays[1], 15);

    const std::vector<QImage> frames = Decode(gif.bytes);
    ASSERT_EQ(frames.size(), gif.frames);
    // Before the first frame nothing shows.
    EXPECT_EQ(qAlpha(frames[0].pixel(5, 5)), 0);
    // f1: magenta top row transparent, the rest its colour.
    EXPECT_EQ(qAlpha(frames[1].pixel(3, 0)), 0);
    EXPECT_EQ(frames[1].pixel(3, 5), qRgb(0x30, 0x60, 0xC0));
    EXPECT_EQ(frames[2].pixel(3, 5), qRgb(0xC0, 0x60, 0x30));
    // "@f1": opaque, the key colour shows.
    EXPECT_EQ(frames[3].pixel(3, 0), qRgb(0xFF, 0x00, 0xFF));

    // One seed, one file, byte for byte.
    const Preview again = PreviewRun(install, 5, 3, [](RunOptions&) {});
    EXPECT_EQ(PreviewGif(again.shown, pictures).bytes, gif.bytes);
}

TEST(GifWriter, ManyColoursAndLongImagesDecodeExactly) {
    const int w = 97, h = 61;
    std::mt19937 random(17);
    // 200 colours: one palette for the file; noise fills the code table several times over.
    GifImage few{w, h, {}};
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 200; ++i) colours.push_back(0xFF000000u | (i * 0x010305u & 0xFFFFFF));
    for (int i = 0; i < w * h; ++i) few.argb.push_back(i % 7 == 0 ? 0u : colours[random() % colours.size()]);
    // Thousands of colours: the cube, within half a step of each.
    GifImage many{w, h, {}};
    for (int i = 0; i < w * h; ++i) many.argb.push_back(0xFF000000u | (random() & 0xFFFFFF));

    const std::string one = EncodeGif(w, h, {few}, {{0, 7}});
    const std::vector<QImage> decoded = Decode(one);
    ASSERT_EQ(decoded.size(), 1u);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t want = few.argb[static_cast<size_t>(y) * w + x];
            const QRgb got = decoded[0].pixel(x, y);
            if (want == 0) ASSERT_EQ(qAlpha(got), 0) << x << "," << y;
            else ASSERT_EQ(got, want) << x << "," << y;
        }

    const std::string both = EncodeGif(w, h, {few, many}, {{0, 5}, {1, 5}, {0, 5}});
    const GifBlocks blocks = Walk(both);
    ASSERT_TRUE(blocks.valid);
    EXPECT_EQ(blocks.images, 3);
    const std::vector<QImage> frames = Decode(both);
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < w * h; i += 13) {
        const QRgb got = frames[1].pixel(i % w, i / w);
        const uint32_t want = many.argb[static_cast<size_t>(i)];
        EXPECT_LE(std::abs(qRed(got) - static_cast<int>((want >> 16) & 0xFF)), 26);
        EXPECT_LE(std::abs(qGreen(got) - static_cast<int>((want >> 8) & 0xFF)), 26);
        EXPECT_LE(std::abs(qBlue(got) - static_cast<int>(want & 0xFF)), 26);
    }
    EXPECT_EQ(frames[2].pixel(5, 3), frames[0].pixel(5, 3));
}

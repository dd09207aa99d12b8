// Keyed pictures with an alpha channel, as the checker judges them: the
// transparent pixels are cut as the key colour is, so they count against
// "appears nowhere" and towards "the actor is hidden".
#include <gtest/gtest.h>

#include <QImage>
#include <functional>

#include "checker/actor_checker.h"
#include "checker/qt_pictures.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;

namespace {

constexpr QRgb kKey = qRgb(255, 0, 255);

// A 16x12 PNG of the header's size, each pixel from its column.
void WritePng(const CorpusInstall& install, const std::string& name, const std::function<QRgb(int x)>& pixel) {
    QImage image(16, 12, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixel(x, y, pixel(x));
    ASSERT_TRUE(image.save(QString::fromStdString(install / ("a/" + name)), "PNG"));
}

// The sleep animation shows these frames; its lines start at 13.
// framepause 1: no two-frame timing note among the picture lines looked for.
std::vector<std::string> CheckFrames(CorpusInstall& install, const std::vector<std::string>& frames) {
    std::string kani = "framecount=" + std::to_string(frames.size()) +
                       "\r\nframepause=1\r\ntimerspeed=50\r\nmovespeed=30\r\nactorwidth=16\r\nactorheight=12\r\n"
                       "transparentred=255\r\ntransparentgreen=0\r\ntransparentblue=255\r\nalignx=0\r\naligny=1\r\n"
                       "[end]\r\n";
    for (const auto& frame : frames) kani += frame + "\r\n";
    install.dir.Write("a/sleep.kani", kani);
    QtPictureInspector pictures;
    Report report(install.path());
    ActorChecker checker({install.path()}, pictures, report);
    checker.CheckFile(install / "a/actor.kact");
    return report.Lines();
}

}  // namespace

TEST(CheckerAlpha, TransparentPixelsCountAsCutAndAllCutPicturesAreNamed) {
    CorpusInstall install;
    // An author's usual frame: a figure on a transparent ground, no key colour at all.
    WritePng(install, "soft.png", [](int x) { return x < 4 ? qRgba(0, 0, 0, 0) : qRgba(40, 90, 200, 255); });
    // Alpha below half-way is transparent; at half-way a pixel shows (and
    // the key colour cuts it).
    WritePng(install, "faint.png",
             [](int x) { return x < 4 ? qRgba(255, 0, 255, 128) : qRgba(40, 90, 200, x < 8 ? 127 : 128); });
    WritePng(install, "clear.png", [](int) { return qRgba(10, 20, 30, 0); });
    WritePng(install, "keyclear.png", [](int x) { return x < 8 ? kKey : qRgba(40, 90, 200, 60); });
    // An alpha channel with nothing transparent in it cuts nothing.
    WritePng(install, "opaque.png", [](int x) { return qRgba(40, 90, 200, x < 8 ? 255 : 200); });

    EXPECT_EQ(CheckFrames(install, {"soft.png", "faint.png", "clear.png", "keyclear.png", "opaque.png"}),
              (std::vector<std::string>{
                  "a/sleep.kani:15: warning: picture \"clear.png\" is all transparent: the actor is hidden while "
                  "this frame shows",
                  "a/sleep.kani:16: warning: picture \"keyclear.png\" is all key colour 255,0,255 or transparent: "
                  "the actor is hidden while this frame shows",
                  "a/sleep.kani:17: warning: key colour 255,0,255 appears nowhere in picture \"opaque.png\": the "
                  "whole rectangle shows"}));
}

TEST(CheckerAlpha, AnOpaqueFrameShowsItsWholeRectangleWhateverItsAlpha) {
    CorpusInstall install;
    WritePng(install, "clear.png", [](int) { return qRgba(10, 20, 30, 0); });
    EXPECT_EQ(CheckFrames(install, {"@clear.png", "f2.bmp"}), std::vector<std::string>{});
}

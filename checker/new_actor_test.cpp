// The starter actor of kobalcheck --new: clean for the checker, pictures
// that cannot fringe, frames that cannot limp, and nothing overwritten.
#include "checker/new_actor.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>

#include "checker/actor_checker.h"
#include "checker/qt_pictures.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;

namespace {

std::map<std::string, std::string> FilesOf(const std::string& name) {
    std::map<std::string, std::string> out;
    for (const NewActorFile& f : NewActorFiles(name)) out[f.name] = f.bytes;
    return out;
}

uint32_t Le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    return v;
}

std::string Setting(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

}  // namespace

TEST(NewActor, PassesTheCheckerWithoutAnyFindingWhereverItIsWritten) {
    CorpusInstall install;  // its actors/ holds no "pip"
    TempDir home;
    for (const std::string dir : {"actors", "deep/er/place"}) {
        const std::string folder = WriteNewActor("pip", home / dir);
        EXPECT_EQ(folder, home / dir + "/pip/");
        QtPictureInspector pictures;
        Report report(home.path());
        ActorChecker checker({install.path()}, pictures, report);
        checker.CheckFile(folder + "pip.kact");
        EXPECT_EQ(report.Lines(), std::vector<std::string>{}) << dir;
        EXPECT_EQ(report.errors() + report.warnings(), 0);
    }
}

TEST(NewActor, PicturesAreHardEdgedOnTheExactKeyColour) {
    int pictures = 0;
    for (const auto& [name, bytes] : FilesOf("pip")) {
        if (name.size() < 4 || name.substr(name.size() - 4) != ".bmp") continue;
        ++pictures;
        ASSERT_EQ(bytes.substr(0, 2), "BM") << name;
        ASSERT_EQ(Le(bytes, 28, 2), 24u) << name;
        const int w = static_cast<int>(Le(bytes, 18, 4)), h = static_cast<int>(Le(bytes, 22, 4));
        if (name != "splash.bmp") {
            EXPECT_TRUE(w == 64 && h == 64) << name;
        }
        const size_t row = static_cast<size_t>((w * 3 + 3) & ~3);
        ASSERT_EQ(bytes.size(), 54 + row * static_cast<size_t>(h)) << name;
        int key = 0, near = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t at = 54 + static_cast<size_t>(y) * row + static_cast<size_t>(x) * 3;
                const int b = static_cast<unsigned char>(bytes[at]), g = static_cast<unsigned char>(bytes[at + 1]),
                          r = static_cast<unsigned char>(bytes[at + 2]);
                if (r == 255 && g == 0 && b == 255) ++key;
                // Anything else is far from the key in some part: no blended edge.
                else if (std::max({255 - r, g, 255 - b}) < 100) ++near;
            }
        EXPECT_EQ(near, 0) << name << " has pixels close to the key colour";
        if (name == "splash.bmp") EXPECT_EQ(key, 0) << "the splash is a whole picture";
        else EXPECT_TRUE(key > 0 && key < w * h) << name << ": " << key << " key pixels";
    }
    EXPECT_EQ(pictures, 16);
}

TEST(NewActor, EveryAnimationShowsEachFrameLineForOneTickOverMoreThanTwoLines) {
    const auto files = FilesOf("pip");
    int animations = 0;
    for (const auto& [name, text] : files) {
        if (name.size() < 5 || name.substr(name.size() - 5) != ".kani") continue;
        ++animations;
        EXPECT_EQ(Setting(text, "framepause"), "0") << name;
        EXPECT_EQ(
            Setting(text, "transparentred") + Setting(text, "transparentgreen") + Setting(text, "transparentblue"),
            "2550255")
            << name;
        const std::string frames = text.substr(text.find("[end]\n") + 6);
        std::istringstream in(frames);
        int lines = 0;
        for (std::string line; std::getline(in, line); ++lines) {
            const std::string picture = line.substr(0, line.find('|'));
            EXPECT_TRUE(files.count(picture)) << name << " names " << picture;
            if (line.find('|') != std::string::npos) {
                EXPECT_TRUE(files.count(line.substr(line.find('|') + 1)));
            }
        }
        EXPECT_EQ(Setting(text, "framecount"), std::to_string(lines)) << name;
        EXPECT_GT(lines, 2) << name;
    }
    EXPECT_EQ(animations, 8);
    // The actor starts active, and its folder is found beside its file.
    const std::string kact = files.at("pip.kact");
    EXPECT_EQ(Setting(kact, "initialpriority"), "0");
    EXPECT_EQ(Setting(kact, "actorpath"), "actors\\pip\\");
    EXPECT_EQ(Setting(kact, "actorddename"), "pip");
    // Losing its window drops it with the fall animation, onto its landing.
    EXPECT_EQ(Setting(kact, "fallfile"), "drop.krnd");
    EXPECT_NE(files.at("drop.krnd").find("fall.kani|landed.krnd"), std::string::npos);
}

TEST(NewActor, TheSoundIsAPlayableWave) {
    const std::string wav = FilesOf("pip").at("hello.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(wav.substr(0, 4), "RIFF");
    EXPECT_EQ(Le(wav, 4, 4), wav.size() - 8);
    EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le(wav, 20, 2), 1u);  // PCM
    EXPECT_EQ(wav.substr(36, 4), "data");
    EXPECT_EQ(Le(wav, 40, 4), wav.size() - 44);
}

TEST(NewActor, RefusesNamesThatCannotBeAFolderOrALinkName) {
    for (const std::string& bad : std::vector<std::string>{"", "a/b", "a\\b", ".", "..", "a%b", "a*", "a|b", "a,b",
                                                           "a b", " pip", "a:b", std::string(65, 'x')})
        EXPECT_NE(NewActorNameProblem(bad), "") << "\"" << bad << "\"";
    for (const std::string good : {"pip", "Mo-2_x.y", "zo\xc3\xab"}) EXPECT_EQ(NewActorNameProblem(good), "") << good;
    TempDir dir;
    EXPECT_THROW(WriteNewActor("a/b", dir.path()), NewActorError);
    EXPECT_FALSE(std::filesystem::exists(dir / "a"));
}

TEST(NewActor, NeverWritesOverAnythingAndMakesAMissingFolder) {
    TempDir dir;
    dir.Write("taken/pip/pip.kact", "mine\n");
    try {
        WriteNewActor("pip", dir / "taken");
        ADD_FAILURE() << "an existing folder was used";
    } catch (const NewActorError& e) {
        EXPECT_NE(std::string(e.what()).find(dir / "taken/pip"), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadLines(dir / "taken/pip/pip.kact"), std::vector<std::string>{"mine"});
    EXPECT_FALSE(std::filesystem::exists(dir / "taken/pip/active.krnd"));

    // A link where the folder would go counts as taken, wherever it points.
    std::filesystem::create_directory_symlink(dir / "taken", dir / "linked");
    EXPECT_THROW(WriteNewActor("linked", dir.path()), NewActorError);

    dir.Write("file", "x");
    EXPECT_THROW(WriteNewActor("pip", dir / "file"), NewActorError);

    EXPECT_EQ(WriteNewActor("pip", dir / "new/place"), dir / "new/place/pip/");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "new/place/pip"), {}),
              static_cast<long>(NewActorFiles("pip").size()));
}

TEST(NewActor, AFailedWriteNamesTheFileAndLeavesNothingBehind) {
    // A file size limit makes the first big picture fail as a full disk would.
    TempDir dir;
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        WriteNewActor("pip", dir.path());
    } catch (const NewActorError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_NE(message.find("cannot write " + dir / "pip/"), std::string::npos) << message;
    EXPECT_NE(message.find(".bmp"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(dir / "pip"));
    // Nothing stands in the way of the next try.
    EXPECT_EQ(WriteNewActor("pip", dir.path()), dir / "pip/");
}

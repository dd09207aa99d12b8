// The benchmark's frame counter stands between the logic and the window:
// everything the logic asks reaches the window as asked, and each move
// (one per frame shown) adds one to the count the benchmark reads.
#include "actor/qt/frame_counter.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/test_files.h"

using namespace kobal::actor;
using namespace kobal::actor::qt;

namespace {

class RecordingWindow : public ActorWindowPort {
  public:
    void SetSize(int32_t w, int32_t h) override { Log("size " + std::to_string(w) + " " + std::to_string(h)); }
    void Move(int32_t x, int32_t y) override { Log("move " + std::to_string(x) + " " + std::to_string(y)); }
    void SetPicture(const std::string& path) override { Log("picture " + path); }
    void SetKeyColor(int32_t key) override { Log("key " + std::to_string(key)); }
    void Repaint() override { Log("repaint"); }
    void SetIcon(const std::string& path) override { Log("icon " + path); }
    void SetCaption(const std::string& caption) override { Log("caption " + caption); }
    void Show() override { Log("show"); }
    void Hide() override { Log("hide"); }
    void BringToFront() override { Log("front"); }
    void SetClickThrough(bool on) override { Log(on ? "through on" : "through off"); }

    std::vector<std::string> calls;

  private:
    void Log(const std::string& call) { calls.push_back(call); }
};

// The count as the benchmark reads it: the file's first eight bytes, least
// significant first.
uint64_t CountIn(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 8) return ~0ull;
    uint64_t count = 0;
    for (int i = 7; i >= 0; --i) count = count << 8 | bytes[static_cast<size_t>(i)];
    return count;
}

}  // namespace

TEST(FrameCounter, EveryCallReachesTheWindowAsAsked) {
    kobal::TempDir dir;
    RecordingWindow window;
    FrameCountingWindow counted(window, dir.path());
    ActorWindowPort& port = counted;
    port.SetSize(1500, 900);
    port.SetPicture("walk1.bmp");
    port.SetKeyColor(0xFF00FF);
    port.Move(-30, 4500);
    port.Repaint();
    port.SetIcon("icon.ico");
    port.SetCaption("Ada");
    port.Show();
    port.BringToFront();
    port.SetClickThrough(true);
    port.SetClickThrough(false);
    port.Hide();
    EXPECT_EQ(window.calls, (std::vector<std::string>{"size 1500 900", "picture walk1.bmp", "key 16711935",
                                                      "move -30 4500", "repaint", "icon icon.ico", "caption Ada",
                                                      "show", "front", "through on", "through off", "hide"}));
}

TEST(FrameCounter, CountsEveryMoveInTheFileNamedAfterTheProcess) {
    kobal::TempDir dir;
    RecordingWindow window;
    const std::string file = dir / std::to_string(::getpid());
    {
        FrameCountingWindow counted(window, dir.path());
        ASSERT_TRUE(counted.counting());
        EXPECT_EQ(CountIn(file), 0u);
        // A frame that stays where it was is still a frame shown.
        counted.Move(100, 200);
        counted.Move(100, 200);
        counted.SetPicture("a.bmp");
        counted.Repaint();
        counted.Move(115, 200);
        // Read while the actor runs, as the benchmark does.
        EXPECT_EQ(CountIn(file), 3u);
    }
    EXPECT_EQ(CountIn(file), 3u);
    EXPECT_EQ(window.calls.size(), 5u);
}

TEST(FrameCounter, WithoutAPlaceForTheCountTheWindowIsOnlyPassedThrough) {
    kobal::TempDir dir;
    for (const std::string& place : {std::string(), dir / "missing/folder", dir.Write("a-file", "x")}) {
        RecordingWindow window;
        FrameCountingWindow counted(window, place);
        EXPECT_FALSE(counted.counting()) << place;
        counted.Move(1, 2);
        EXPECT_EQ(window.calls, std::vector<std::string>{"move 1 2"}) << place;
    }
}

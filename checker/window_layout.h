#pragma once
// The other programs' windows a headless run puts on its virtual screen:
// a small text file, one window a line, bottom of the stack first.
//
//   # LEFT TOP WIDTH HEIGHT [fullscreen] [closes AT] [moves AT DX DY]...
//   800 500 400 300 closes 12.5
//   0 700 1920 60 moves 4 0 -100
//
// Pixels; AT is seconds of the run, to the millisecond. "fullscreen" marks
// a window that covers what lies under it but never carries an actor.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kobal::checker {

struct LayoutWindow {
    int left = 0, top = 0, width = 0, height = 0;  // pixels
    bool fullscreen = false;
    std::optional<int64_t> closesMs;
    struct Move {
        int64_t ms = 0;
        int dx = 0, dy = 0;  // pixels
    };
    std::vector<Move> moves;
};

// A layout file that cannot be read or holds a bad line; what() names the
// file (and line) and what is wrong.
class LayoutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr size_t kMaxLayoutWindows = 1000;

// name is how the file is named in messages.
std::vector<LayoutWindow> ReadWindowLayout(const std::string& path, const std::string& name);

}  // namespace kobal::checker

#include "checker/window_layout.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kobal::checker {
namespace {

constexpr int kMaxCoordinate = 100000;      // pixels, either way
constexpr size_t kMaxLineLength = 4096;     // a layout line is short
constexpr int64_t kMaxMs = 7LL * 86400000;  // the longest run

class LineParser {
  public:
    LineParser(const std::string& name, int line, const std::string& text) : name_(name), line_(line) {
        std::istringstream in(text);
        for (std::string word; in >> word;) words_.push_back(word);
    }

    LayoutWindow Parse() {
        LayoutWindow w;
        w.left = Pixels("LEFT", -kMaxCoordinate);
        w.top = Pixels("TOP", -kMaxCoordinate);
        w.width = Pixels("WIDTH", 1);
        w.height = Pixels("HEIGHT", 1);
        while (next_ < words_.size()) {
            const std::string word = words_[next_++];
            if (word == "fullscreen") {
                if (w.fullscreen) Fail("\"fullscreen\" is given twice");
                w.fullscreen = true;
            } else if (word == "closes") {
                if (w.closesMs) Fail("\"closes\" is given twice");
                w.closesMs = Time("closes");
            } else if (word == "moves") {
                LayoutWindow::Move m;
                m.ms = Time("moves");
                m.dx = Pixels("DX after \"moves AT\"", -kMaxCoordinate);
                m.dy = Pixels("DY after \"moves AT DX\"", -kMaxCoordinate);
                w.moves.push_back(m);
            } else {
                Fail("\"" + word + "\" is not \"closes\", \"moves\" or \"fullscreen\"");
            }
        }
        return w;
    }

    [[noreturn]] void Fail(const std::string& what) const {
        throw LayoutError(name_ + ":" + std::to_string(line_) + ": " + what +
                          " (a window is LEFT TOP WIDTH HEIGHT in pixels, then optionally \"fullscreen\", "
                          "\"closes AT\", \"moves AT DX DY\")");
    }

  private:
    const std::string& Word(const std::string& what) {
        if (next_ >= words_.size()) Fail(what + " is missing");
        return words_[next_++];
    }

    int Pixels(const std::string& what, int low) {
        const std::string& text = Word(what);
        int value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || value < low || value > kMaxCoordinate)
            Fail(what + " \"" + text + "\" is not a whole number of pixels from " + std::to_string(low) + " to " +
                 std::to_string(kMaxCoordinate));
        return value;
    }

    // Seconds to the millisecond: "5", "2.5", "0.025".
    int64_t Time(const std::string& after) {
        const std::string what = "AT after \"" + after + "\"";
        const std::string& text = Word(what);
        const size_t dot = text.find('.');
        const std::string whole = text.substr(0, dot);
        std::string fraction = dot == std::string::npos ? "" : text.substr(dot + 1);
        const bool digits = !whole.empty() && whole.size() <= 6 &&
                            whole.find_first_not_of("0123456789") == std::string::npos &&
                            fraction.find_first_not_of("0123456789") == std::string::npos && fraction.size() <= 3 &&
                            (dot == std::string::npos || !fraction.empty());
        if (!digits) Fail(what + " \"" + text + "\" is not a time in seconds such as 5 or 2.5");
        fraction.resize(3, '0');
        const int64_t ms = std::stoll(whole) * 1000 + std::stoll(fraction);
        if (ms > kMaxMs) Fail(what + " \"" + text + "\" is longer than the longest run (7 days)");
        return ms;
    }

    const std::string& name_;
    int line_;
    std::vector<std::string> words_;
    size_t next_ = 0;
};

// One line without its end, at most kMaxLineLength characters kept; false at the end of the file.
bool ReadLine(std::istream& in, std::string& text, bool& tooLong) {
    text.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    for (int c; (c = buffer->sbumpc()) != std::char_traits<char>::eof();) {
        any = true;
        if (c == '\n') return true;
        if (text.size() < kMaxLineLength) text.push_back(static_cast<char>(c));
        else tooLong = true;
    }
    return any;
}

}  // namespace

std::vector<LayoutWindow> ReadWindowLayout(const std::string& path, const std::string& name) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        throw LayoutError("cannot read the window layout " + name + ": it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LayoutError("cannot read the window layout " + name + ": " + std::strerror(errno));
    std::vector<LayoutWindow> windows;
    std::string text;
    bool tooLong = false;
    for (int line = 1; ReadLine(in, text, tooLong); ++line) {
        if (tooLong)
            LineParser(name, line, "")
                .Fail("the line is longer than " + std::to_string(kMaxLineLength) + " characters");
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (const size_t hash = text.find('#'); hash != std::string::npos) text.erase(hash);
        if (text.find_first_not_of(" \t") == std::string::npos) continue;
        if (text.find('\0') != std::string::npos) LineParser(name, line, "").Fail("the line holds a NUL character");
        LineParser parser(name, line, text);
        if (windows.size() == kMaxLayoutWindows)
            parser.Fail("more than " + std::to_string(kMaxLayoutWindows) + " windows");
        windows.push_back(parser.Parse());
    }
    return windows;
}

}  // namespace kobal::checker

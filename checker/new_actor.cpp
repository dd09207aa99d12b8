#include "checker/new_actor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace kobal::checker {
namespace {

struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb&) const = default;
};

// Every colour is far from the key in at least one part, so no pixel can
// pass for the key colour or a shade of it.
constexpr Rgb kKey{255, 0, 255};
constexpr Rgb kBody{70, 170, 90};
constexpr Rgb kBelly{150, 215, 140};
constexpr Rgb kLine{30, 50, 40};
constexpr Rgb kWhite{250, 250, 245};
constexpr Rgb kMouth{150, 40, 60};
constexpr Rgb kSplashSky{200, 225, 250};
constexpr Rgb kSplashGround{110, 90, 60};

constexpr int kSize = 64;

class Canvas {
  public:
    Canvas(int width, int height, Rgb fill) : w_(width), h_(height), px_(static_cast<size_t>(width * height), fill) {}
    int width() const { return w_; }
    int height() const { return h_; }
    Rgb at(int x, int y) const { return px_[static_cast<size_t>(y * w_ + x)]; }
    void Set(int x, int y, Rgb c) {
        if (x >= 0 && x < w_ && y >= 0 && y < h_) px_[static_cast<size_t>(y * w_ + x)] = c;
    }
    void Rect(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) Set(x, y, c);
    }
    // A pixel is in or out: no blending, so edges stay hard.
    void Ellipse(double cx, double cy, double rx, double ry, Rgb c) {
        for (int y = static_cast<int>(cy - ry) - 1; y <= static_cast<int>(cy + ry) + 1; ++y)
            for (int x = static_cast<int>(cx - rx) - 1; x <= static_cast<int>(cx + rx) + 1; ++x)
                if (std::pow((x - cx) / rx, 2) + std::pow((y - cy) / ry, 2) <= 1.0) Set(x, y, c);
    }
    void Line(double x0, double y0, double x1, double y1, double thickness, Rgb c) {
        const int steps = static_cast<int>(std::max(std::abs(x1 - x0), std::abs(y1 - y0)) * 2) + 1;
        for (int i = 0; i <= steps; ++i) {
            const double t = static_cast<double>(i) / steps;
            Ellipse(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, thickness / 2, thickness / 2, c);
        }
    }
    Canvas Mirrored() const {
        Canvas out(w_, h_, kKey);
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x) out.Set(w_ - 1 - x, y, at(x, y));
        return out;
    }

  private:
    int w_, h_;
    std::vector<Rgb> px_;
};

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutInfoHeader(std::string& out, int width, int height, int bits, uint32_t dataSize) {
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bits));
    Put32(out, 0);
    Put32(out, dataSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
}

// 24-bit, rows bottom-up: what every picture loader reads.
std::string Bmp(const Canvas& c) {
    const int rowBytes = (c.width() * 3 + 3) & ~3;
    const uint32_t dataSize = static_cast<uint32_t>(rowBytes * c.height());
    std::string out = "BM";
    Put32(out, 54 + dataSize);
    Put32(out, 0);
    Put32(out, 54);
    PutInfoHeader(out, c.width(), c.height(), 24, dataSize);
    for (int y = c.height() - 1; y >= 0; --y) {
        for (int x = 0; x < c.width(); ++x) {
            const Rgb p = c.at(x, y);
            out += static_cast<char>(p.b);
            out += static_cast<char>(p.g);
            out += static_cast<char>(p.r);
        }
        out.append(static_cast<size_t>(rowBytes - c.width() * 3), '\0');
    }
    return out;
}

// A 32-bit icon whose key-colour pixels are transparent.
std::string Ico(const Canvas& c) {
    std::string image;
    const int maskRow = (c.width() + 31) / 32 * 4;
    PutInfoHeader(image, c.width(), c.height() * 2, 32,
                  static_cast<uint32_t>(c.width() * c.height() * 4 + maskRow * c.height()));
    for (int y = c.height() - 1; y >= 0; --y)
        for (int x = 0; x < c.width(); ++x) {
            const Rgb p = c.at(x, y);
            image += static_cast<char>(p.b);
            image += static_cast<char>(p.g);
            image += static_cast<char>(p.r);
            image += static_cast<char>(p == kKey ? 0 : 255);
        }
    for (int y = c.height() - 1; y >= 0; --y) {
        std::string bits(static_cast<size_t>(maskRow), '\0');
        for (int x = 0; x < c.width(); ++x)
            if (c.at(x, y) == kKey) bits[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
        image += bits;
    }
    std::string out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, 1);
    out += static_cast<char>(c.width() % 256);
    out += static_cast<char>(c.height() % 256);
    out += '\0';
    out += '\0';
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, static_cast<uint32_t>(image.size()));
    Put32(out, 6 + 16);
    return out + image;
}

// A rising two-note chirp, 16-bit mono.
std::string Wav() {
    constexpr int kRate = 22050;
    constexpr int kSamples = kRate * 3 / 10;
    std::string data;
    double phase = 0;
    for (int i = 0; i < kSamples; ++i) {
        const double t = static_cast<double>(i) / kSamples;
        phase += 2 * M_PI * (t < 0.5 ? 660.0 : 880.0) / kRate;
        const double fade = std::min(1.0, i / 200.0) * std::min(1.0, (kSamples - i) / 400.0);
        Put16(data, static_cast<uint16_t>(static_cast<int16_t>(std::sin(phase) * 12000 * fade)));
    }
    std::string out = "RIFF";
    Put32(out, static_cast<uint32_t>(36 + data.size()));
    out += "WAVEfmt ";
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 1);  // mono
    Put32(out, kRate);
    Put32(out, kRate * 2);
    Put16(out, 2);
    Put16(out, 16);
    out += "data";
    Put32(out, static_cast<uint32_t>(data.size()));
    return out + data;
}

struct Pose {
    int look = 0;            // -1 left, 0 ahead, 1 right; 2: seen from behind
    int step = 0;            // 0 feet apart, 1 together
    bool eyesShut = false;   // blink and sleep
    bool mouthOpen = false;  // falling and greeting
    int arms = 0;            // 0 down, 1 both up, 2 left up, 3 right up, 4 waving high, 5 waving low
    bool squashed = false;   // landing
    int zees = 0;            // sleep: how many "z" float above
};

void Arm(Canvas& c, double sx, double sy, double hx, double hy) {
    c.Line(sx, sy, hx, hy, 4, kLine);
    c.Ellipse(hx, hy, 2.5, 2.5, kBody);
}

Canvas Draw(const Pose& p) {
    Canvas c(kSize, kSize, kKey);
    const double cy = p.squashed ? 40 : 35;
    const double rx = p.squashed ? 20 : 16;
    const double ry = p.squashed ? 15 : 19;
    // Arms behind the body, so the shoulders hide under it.
    const bool leftUp = p.arms == 1 || p.arms == 2;
    const bool rightUp = p.arms == 1 || p.arms == 3 || p.arms >= 4;
    Arm(c, 32 - rx + 3, cy, leftUp ? 12 : 10, leftUp ? 9 : cy + 12);
    const double rightHand = p.arms == 4 ? 8 : p.arms == 5 ? 16 : rightUp ? 9 : cy + 12;
    Arm(c, 32 + rx - 3, cy, p.arms >= 4 ? 56 : 54, rightHand);
    // Feet.
    const double feetY = 58;
    const double spread = p.step == 0 ? 9 : 4;
    c.Ellipse(32 - spread, feetY, 5, 3, kLine);
    c.Ellipse(32 + spread, feetY - (p.step == 1 ? 1 : 0), 5, 3, kLine);
    // Body with an outline.
    c.Ellipse(32, cy, rx + 2, ry + 2, kLine);
    c.Ellipse(32, cy, rx, ry, kBody);
    if (p.look == 2) return c;  // from behind: no face
    c.Ellipse(32 + p.look * 3, cy + 7, rx * 0.55, ry * 0.4, kBelly);
    // Eyes.
    for (int side : {-1, 1}) {
        const double ex = 32 + side * 7 + p.look * 3;
        const double ey = cy - 6;
        if (p.eyesShut) {
            c.Rect(static_cast<int>(ex) - 3, static_cast<int>(ey), static_cast<int>(ex) + 3, static_cast<int>(ey) + 1,
                   kLine);
        } else {
            c.Ellipse(ex, ey, 4, 5, kWhite);
            c.Ellipse(ex + p.look * 1.5, ey + 1, 2, 2.5, kLine);
        }
    }
    // Mouth.
    const int mx = 32 + p.look * 3;
    const int my = static_cast<int>(cy) + 5;
    if (p.mouthOpen) c.Ellipse(mx, my + 1, 3.5, 3, kMouth);
    else c.Rect(mx - 3, my, mx + 3, my + 1, kMouth);
    // Sleep: "z" marks drawn as three strokes.
    for (int i = 0; i < p.zees; ++i) {
        const int zx = 46 + i * 7;
        const int zy = 10 - i * 5;
        c.Rect(zx, zy, zx + 5, zy, kLine);
        c.Line(zx + 5, zy, zx, zy + 5, 1.5, kLine);
        c.Rect(zx, zy + 5, zx + 5, zy + 5, kLine);
    }
    return c;
}

// Half size, one of each 2x2 block's own colours (no blending): the details
// (eyes, mouth, outline) win over the body, the body over the key.
Canvas Halved(const Canvas& c) {
    Canvas out(c.width() / 2, c.height() / 2, kKey);
    auto rank = [](Rgb p) { return p == kKey ? 0 : p == kBody || p == kBelly ? 1 : 2; };
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            Rgb best = kKey;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    if (const Rgb p = c.at(2 * x + dx, 2 * y + dy); rank(p) > rank(best)) best = p;
            out.Set(x, y, best);
        }
    return out;
}

// The launcher's splash: the actor on a patch of sky and ground.
Canvas Splash() {
    Canvas c(192, 96, kSplashSky);
    c.Rect(0, 76, 191, 95, kSplashGround);
    const Canvas actor = Draw({.arms = 4});
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (!(actor.at(x, y) == kKey)) c.Set(64 + x, 16 + y, actor.at(x, y));
    c.Rect(0, 0, 191, 1, kLine);
    c.Rect(0, 94, 191, 95, kLine);
    c.Rect(0, 0, 1, 95, kLine);
    c.Rect(190, 0, 191, 95, kLine);
    return c;
}

// One animation: the same header everywhere but for the speeds, and each
// picture written as many times as it stays for ticks. framepause=0 shows
// every frame line for one tick whatever priorityup says, so a cycle has no
// short last frame.
std::string Animation(int timerspeed, int movespeed, const std::vector<std::pair<std::string, int>>& frames) {
    std::string lines;
    int count = 0;
    for (const auto& [line, ticks] : frames)
        for (int i = 0; i < ticks; ++i, ++count) lines += line + "\n";
    return "framecount=" + std::to_string(count) + "\nframepause=0\ntimerspeed=" + std::to_string(timerspeed) +
           "\nmovespeed=" + std::to_string(movespeed) +
           "\nactorwidth=64\nactorheight=64\ntransparentred=255\ntransparentgreen=0\ntransparentblue=255\n"
           "alignx=0\naligny=1\n[end]\n" +
           lines;
}

std::string List(const std::vector<std::string>& entries) {
    std::string out = std::to_string(entries.size()) + "\n";
    for (const std::string& e : entries) out += e + "\n";
    return out;
}

bool Allowed(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_' || c == '.' || c >= 0x80;
}

}  // namespace

std::string NewActorNameProblem(const std::string& name) {
    if (name.empty()) return "the actor's name is empty";
    if (name.find_first_of("/\\") != std::string::npos)
        return "the actor's name \"" + name + "\" holds a path separator: give the folder as DIR";
    if (name == "." || name == "..") return "the actor's name \"" + name + "\" names no new folder";
    if (name.size() > 64) return "the actor's name is longer than 64 characters";
    // It is also the actor's name on the link, where "%", "*", "|" and ","
    // have meanings, and a folder and file name.
    for (unsigned char c : name)
        if (!Allowed(c))
            return "the actor's name \"" + name + "\" holds \"" + std::string(1, static_cast<char>(c)) +
                   "\": use letters, digits, \"-\", \"_\" and \".\"";
    return {};
}

std::vector<NewActorFile> NewActorFiles(const std::string& name) {
    const std::string walk = "!02|-100|$walkleft.kani,walkright.kani|drop.krnd";
    std::vector<NewActorFile> files = {
        {name + ".kact",
         "version=Kobaltron V1.0\nactorname=" + name + "\nactorddename=" + name + "\nactorpath=actors\\" + name +
             "\\\niconfile=icon.ico\nactivefile=active.krnd\nresponsefile=response.krnd\nboredfile=bored.krnd\n"
             "sleepfile=sleep.krnd\nfallfile=drop.krnd\n"
             "infofile=info.txt\nsplashscreen=splash.bmp\ninitialpriority=0\n[end]\n",
         "the actor file: names, folder, icon, the four state lists, the fall list"},
        {"active.krnd",
         List({walk, walk, "!05|-60|climb.kani|drop.krnd", "!04|1|idle.kani|drop.krnd",
               "!03|400|fall.kani|landed.krnd"}),
         "while active: walk, climb, stand, fall"},
        {"bored.krnd",
         List({"!04|1|idle.kani|", "!04|1|idle.kani|", "!02|-40|$walkleft.kani,walkright.kani|drop.krnd"}),
         "while bored: mostly stand"},
        {"sleep.krnd", List({"!04|1|sleep.kani|"}), "while asleep"},
        {"response.krnd", List({"!04|1|hello.kani|drop.krnd"}), "when clicked: wave and say hello"},
        {"drop.krnd", List({"!03|400|fall.kani|landed.krnd"}),
         "after walking or climbing, or when its window goes: fall to the floor"},
        {"landed.krnd", List({"!04|1|land.kani|"}), "after a fall: land"},
        {"walkleft.kani", Animation(50, 30, {{"walkleft1.bmp", 3}, {"walkleft2.bmp", 3}}), "walking left"},
        {"walkright.kani", Animation(50, 30, {{"walkright1.bmp", 3}, {"walkright2.bmp", 3}}), "walking right"},
        {"climb.kani", Animation(50, 20, {{"climb1.bmp", 4}, {"climb2.bmp", 4}}), "climbing up"},
        {"fall.kani", Animation(50, 90, {{"fall1.bmp", 2}, {"fall2.bmp", 2}}), "falling"},
        {"land.kani", Animation(100, 30, {{"land.bmp", 3}, {"idle.bmp", 2}}), "landing"},
        {"idle.kani", Animation(100, 30, {{"idle.bmp", 12}, {"blink.bmp", 2}, {"idle.bmp", 8}, {"blink.bmp", 2}}),
         "standing and blinking"},
        {"hello.kani",
         Animation(
             100, 30,
             {{"wave1.bmp|hello.wav", 1}, {"wave1.bmp", 2}, {"wave2.bmp", 3}, {"wave1.bmp", 3}, {"wave2.bmp", 3}}),
         "the click response, with a sound"},
        {"sleep.kani", Animation(250, 30, {{"sleep1.bmp", 4}, {"sleep2.bmp", 4}}), "sleeping"},
    };
    const Canvas walkRight1 = Draw({.look = 1, .step = 0});
    const Canvas walkRight2 = Draw({.look = 1, .step = 1});
    const std::vector<std::pair<std::string, Canvas>> pictures = {
        {"walkright1.bmp", walkRight1},
        {"walkright2.bmp", walkRight2},
        {"walkleft1.bmp", walkRight1.Mirrored()},
        {"walkleft2.bmp", walkRight2.Mirrored()},
        {"climb1.bmp", Draw({.look = 2, .arms = 2})},
        {"climb2.bmp", Draw({.look = 2, .step = 1, .arms = 3})},
        {"fall1.bmp", Draw({.mouthOpen = true, .arms = 1})},
        {"fall2.bmp", Draw({.step = 1, .mouthOpen = true, .arms = 1})},
        {"land.bmp", Draw({.squashed = true})},
        {"idle.bmp", Draw({})},
        {"blink.bmp", Draw({.eyesShut = true})},
        {"wave1.bmp", Draw({.mouthOpen = true, .arms = 4})},
        {"wave2.bmp", Draw({.mouthOpen = true, .arms = 5})},
        {"sleep1.bmp", Draw({.eyesShut = true, .zees = 1})},
        {"sleep2.bmp", Draw({.step = 1, .eyesShut = true, .zees = 2})},
    };
    for (const auto& [file, canvas] : pictures)
        files.push_back({file, Bmp(canvas), "placeholder pictures, 64x64 on the key colour 255,0,255"});
    files.push_back({"icon.ico", Ico(Halved(Draw({}))), "the window and tray icon"});
    files.push_back({"splash.bmp", Bmp(Splash()), "the launcher's splash picture"});
    files.push_back({"hello.wav", Wav(), "the sound of the click response"});
    files.push_back({"info.txt",
                     name + ", a new actor.\nWalks, climbs, falls, stands, and says hello when clicked.\n"
                            "Made with kobalcheck --new: draw your own pictures over these.\n",
                     "the text of the About window"});
    return files;
}

std::string NewActorReport(const std::string& name, const std::string& folder) {
    std::string out = "kobalcheck: wrote the actor " + name + " in " + folder + "\n";
    // Files that share a description (the pictures) share one entry.
    const std::vector<NewActorFile> files = NewActorFiles(name);
    for (size_t i = 0; i < files.size();) {
        size_t end = i + 1;
        while (end < files.size() && files[end].what == files[i].what) ++end;
        if (end - i == 1) {
            std::string file = files[i].name;
            file.resize(std::max<size_t>(file.size(), 15), ' ');
            out += "  " + file + " " + files[i].what + "\n";
        } else {
            out += "  " + files[i].what + ":\n   ";
            for (size_t column = 3; i < end; ++i) {
                if (column + 1 + files[i].name.size() > 78) {
                    out += "\n   ";
                    column = 3;
                }
                out += " " + files[i].name;
                column += 1 + files[i].name.size();
            }
            out += "\n";
        }
        i = end;
    }
    const std::string actorFile = folder + name + ".kact";
    return out + "Check it:  kobalcheck " + actorFile + "\nStart it:  kobaltron " + actorFile + "\n";
}

std::string WriteNewActor(const std::string& name, const std::string& dir) {
    namespace fs = std::filesystem;
    if (const std::string problem = NewActorNameProblem(name); !problem.empty()) throw NewActorError(problem);
    std::error_code ec;
    const fs::path base = fs::absolute(dir.empty() ? fs::path(".") : fs::path(dir), ec).lexically_normal();
    if (ec) throw NewActorError(dir + ": " + ec.message());
    if (fs::exists(base, ec) && !fs::is_directory(base, ec)) throw NewActorError(base.string() + " is not a folder");
    fs::create_directories(base, ec);
    if (ec) throw NewActorError("cannot make the folder " + base.string() + ": " + ec.message());

    fs::path folder = base / name;
    // mkdir fails on anything already there, even a link: nothing is reused.
    if (::mkdir(folder.c_str(), 0777) != 0) {
        const int err = errno;
        if (err == EEXIST)
            throw NewActorError(folder.string() +
                                " already exists: --new never writes over it; choose another NAME or DIR");
        throw NewActorError("cannot make the folder " + folder.string() + ": " + std::strerror(err));
    }
    std::vector<fs::path> written;
    auto undo = [&] {
        for (const fs::path& p : written) fs::remove(p, ec);
        fs::remove(folder, ec);
    };
    for (const NewActorFile& file : NewActorFiles(name)) {
        const fs::path path = folder / file.name;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int err = errno;
            undo();
            throw NewActorError("cannot write " + path.string() + ": " + std::strerror(err));
        }
        written.push_back(path);
        size_t done = 0;
        while (done < file.bytes.size()) {
            const ssize_t n = ::write(fd, file.bytes.data() + done, file.bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int err = n < 0 ? errno : ENOSPC;
                ::close(fd);
                undo();
                throw NewActorError("cannot write " + path.string() + ": " + std::strerror(err));
            }
            done += static_cast<size_t>(n);
        }
        if (::close(fd) != 0) {
            const int err = errno;
            undo();
            throw NewActorError("cannot write " + path.string() + ": " + std::strerror(err));
        }
    }
    return folder.string() + "/";
}

}  // namespace kobal::checker

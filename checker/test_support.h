#pragma once
// An install directory for checker tests: the corpus's good actor "a" with
// one case's files laid over it, and the pictures drawn here.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_files.h"

namespace kobal::checker::testing {

// A 24-bit BMP whose pixel (x, y), y counted from the top, is at(x, y) (0xRRGGBB).
template <typename Colour>
std::string BmpOf(int width, int height, Colour at) {
    const int rowBytes = (width * 3 + 3) & ~3;
    const uint32_t dataSize = static_cast<uint32_t>(rowBytes * height);
    std::string out;
    auto put16 = [&](uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    auto put32 = [&](uint32_t v) {
        put16(static_cast<uint16_t>(v & 0xFFFF));
        put16(static_cast<uint16_t>(v >> 16));
    };
    out += "BM";
    put32(54 + dataSize);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);
    put16(24);
    put32(0);
    put32(dataSize);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int y = height - 1; y >= 0; --y) {  // rows bottom-up
        for (int x = 0; x < width; ++x) {
            const uint32_t c = at(x, y);
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>((c >> 8) & 0xFF);
            out += static_cast<char>((c >> 16) & 0xFF);
        }
        out.append(static_cast<size_t>(rowBytes - width * 3), '\0');
    }
    return out;
}

// A 24-bit BMP filled with rgb (0xRRGGBB); keyed pictures get a magenta
// (255,0,255) top row, the key colour of the corpus.
inline std::string Bmp(int width, int height, uint32_t rgb, bool keyed) {
    return BmpOf(width, height, [&](int, int y) { return keyed && y == 0 ? 0xFF00FFu : rgb; });
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

inline std::string CorpusDir() {
    return std::string(KOBAL_TEST_DATA) + "/corpus";
}

class CorpusInstall {
  public:
    // The good actor alone, or with the files of corpus/<caseName> laid over it.
    explicit CorpusInstall(const std::string& caseName = {}) {
        namespace fs = std::filesystem;
        const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
        fs::copy(CorpusDir() + "/base", dir.path(), options);
        if (!caseName.empty()) {
            fs::copy(CorpusDir() + "/" + caseName, dir.path(), options);
            fs::remove(dir / "expected.txt");
        }
        dir.Write("resource/kobalactor", "");
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (!entry.is_directory() || entry.path().filename() == "resource") continue;
            const std::string actor = entry.path().filename().string() + "/";
            for (const char* name : {"f1.bmp", "icon.bmp", "splash.bmp"})
                dir.Write(actor + name, Bmp(16, 12, 0x3060C0, true));
            dir.Write(actor + "f2.bmp", Bmp(16, 12, 0xC06030, true));
            dir.Write(actor + "plain.bmp", Bmp(16, 12, 0x3060C0, false));
            dir.Write(actor + "wide.bmp", Bmp(20, 12, 0x3060C0, true));
            dir.Write(actor + "blank.bmp", Bmp(16, 12, 0xFF00FF, false));  // key colour only
            dir.Write(actor + "bad.bmp", "not a picture\n");
            dir.Write(actor + "s.wav", "RIFF");
        }
    }
    std::string path() const { return dir.path(); }
    std::string operator/(const std::string& name) const { return dir / name; }

    TempDir dir;
};

}  // namespace kobal::checker::testing

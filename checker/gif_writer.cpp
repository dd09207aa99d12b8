#include "checker/gif_writer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <tuple>

namespace kobal::checker {
namespace {

constexpr uint32_t kTransparent = 0;

bool Opaque(uint32_t pixel) {
    return (pixel >> 24) != 0;
}

void Put16(std::string& out, int value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

// Bits for a colour table of n entries: 2 to 256 entries, a power of two.
int TableBits(size_t n) {
    int bits = 1;
    while ((size_t{1} << bits) < n) ++bits;
    return bits;
}

// Index 0 is the transparent one; colours follow.
struct Palette {
    std::vector<uint32_t> colors{kTransparent};
    std::map<uint32_t, uint8_t> index;
    bool cube = false;

    uint8_t Of(uint32_t pixel) const {
        if (!Opaque(pixel)) return 0;
        const uint32_t rgb = pixel & 0xFFFFFF;
        if (!cube) return index.at(rgb);
        auto level = [](uint32_t c) { return (c + 25) / 51; };  // 0..5
        return static_cast<uint8_t>(1 + level(rgb >> 16) * 36 + level((rgb >> 8) & 0xFF) * 6 + level(rgb & 0xFF));
    }
    void Write(std::string& out) const {
        const size_t entries = size_t{1} << TableBits(colors.size());
        for (size_t i = 0; i < entries; ++i) {
            const uint32_t c = i < colors.size() ? colors[i] : 0;
            out += static_cast<char>((c >> 16) & 0xFF);
            out += static_cast<char>((c >> 8) & 0xFF);
            out += static_cast<char>(c & 0xFF);
        }
    }
};

// Gathers colours until there are more than 255.
struct ColourSet {
    std::set<uint32_t> seen;
    bool tooMany = false;
    void Add(const GifImage& image) {
        for (uint32_t pixel : image.argb) {
            if (tooMany) return;
            if (Opaque(pixel) && seen.insert(pixel & 0xFFFFFF).second && seen.size() > 255) tooMany = true;
        }
    }
    std::optional<Palette> Exact() const {
        if (tooMany) return std::nullopt;
        Palette p;
        for (uint32_t rgb : seen) {
            p.index[rgb] = static_cast<uint8_t>(p.colors.size());
            p.colors.push_back(rgb);
        }
        return p;
    }
};

Palette CubePalette() {
    Palette p;
    p.cube = true;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.colors.push_back(static_cast<uint32_t>(r * 51) << 16 | static_cast<uint32_t>(g * 51) << 8 |
                                   static_cast<uint32_t>(b * 51));
    return p;
}

// Variable-length LZW codes, least significant bit first, in sub-blocks.
class CodeWriter {
  public:
    void Put(int code, int size) {
        bits_ |= static_cast<uint32_t>(code) << count_;
        count_ += size;
        while (count_ >= 8) {
            bytes_ += static_cast<char>(bits_ & 0xFF);
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    std::string Blocks() {
        if (count_ > 0) bytes_ += static_cast<char>(bits_ & 0xFF);
        bits_ = 0;
        count_ = 0;
        std::string out;
        for (size_t at = 0; at < bytes_.size(); at += 255) {
            const size_t n = std::min<size_t>(255, bytes_.size() - at);
            out += static_cast<char>(n);
            out.append(bytes_, at, n);
        }
        out += '\0';
        return out;
    }

  private:
    uint32_t bits_ = 0;
    int count_ = 0;
    std::string bytes_;
};

std::string Lzw(const std::vector<uint8_t>& indices, int minCodeSize) {
    const int clear = 1 << minCodeSize;
    const int alphabet = clear;
    // next[code * alphabet + index]: the code for that string plus one more index; 0 for none.
    std::vector<uint16_t> next(static_cast<size_t>(4096) * alphabet, 0);
    CodeWriter out;
    int codeSize = minCodeSize + 1;
    int maxCode = clear + 1;
    out.Put(clear, codeSize);
    int current = -1;
    for (uint8_t index : indices) {
        if (current < 0) {
            current = index;
            continue;
        }
        uint16_t& known = next[static_cast<size_t>(current) * alphabet + index];
        if (known != 0) {
            current = known;
            continue;
        }
        out.Put(current, codeSize);
        known = static_cast<uint16_t>(++maxCode);
        if (maxCode >= (1 << codeSize)) ++codeSize;
        if (maxCode == 4095) {
            // The table is full: start again, as a decoder does on the clear code.
            out.Put(clear, codeSize);
            std::fill(next.begin(), next.end(), 0);
            codeSize = minCodeSize + 1;
            maxCode = clear + 1;
        }
        current = index;
    }
    if (current >= 0) out.Put(current, codeSize);
    out.Put(clear + 1, codeSize);
    std::string data(1, static_cast<char>(minCodeSize));
    return data + out.Blocks();
}

}  // namespace

std::string EncodeGif(int width, int height, const std::function<GifImage(size_t)>& imageAt,
                      const std::vector<GifFrame>& frames) {
    std::set<size_t> used;
    for (const GifFrame& f : frames) used.insert(f.image);
    ColourSet all;
    for (size_t i : used)
        if (!all.tooMany) all.Add(imageAt(i));
    const std::optional<Palette> global = all.Exact();

    std::string out = "GIF89a";
    Put16(out, width);
    Put16(out, height);
    if (global) {
        const int bits = TableBits(global->colors.size());
        out += static_cast<char>(0x80 | 0x70 | (bits - 1));
    } else {
        out += static_cast<char>(0x70);
    }
    out += '\0';  // background: the transparent index
    out += '\0';
    if (global) global->Write(out);
    // Loop for ever.
    out +=
        "\x21\xFF\x0B"
        "NETSCAPE2.0"
        "\x03\x01";
    Put16(out, 0);
    out += '\0';

    // The same picture encodes to the same bytes: once each.
    std::map<size_t, std::string> encoded;
    for (const GifFrame& f : frames) {
        out += "\x21\xF9\x04";
        out += static_cast<char>((2 << 2) | 1);  // restore to the background; index 0 transparent
        Put16(out, f.delay);
        out += '\0';
        out += '\0';
        auto it = encoded.find(f.image);
        if (it == encoded.end()) {
            const GifImage image = imageAt(f.image);
            std::string block = ",";
            Put16(block, 0);
            Put16(block, 0);
            Put16(block, width);
            Put16(block, height);
            Palette local;
            const Palette* palette = global ? &*global : nullptr;
            if (!palette) {
                ColourSet own;
                own.Add(image);
                const std::optional<Palette> exact = own.Exact();
                local = exact ? *exact : CubePalette();
                palette = &local;
                block += static_cast<char>(0x80 | (TableBits(local.colors.size()) - 1));
                local.Write(block);
            } else {
                block += '\0';
            }
            std::vector<uint8_t> indices(image.argb.size());
            for (size_t i = 0; i < indices.size(); ++i) indices[i] = palette->Of(image.argb[i]);
            block += Lzw(indices, std::max(2, TableBits(palette->colors.size())));
            it = encoded.emplace(f.image, std::move(block)).first;
        }
        out += it->second;
    }
    out += ';';
    return out;
}

std::string EncodeGif(int width, int height, const std::vector<GifImage>& images, const std::vector<GifFrame>& frames) {
    return EncodeGif(
        width, height, [&](size_t i) { return images.at(i); }, frames);
}

GifPreview PreviewGif(const std::vector<ShownFrame>& shown, PictureInspector& pictures) {
    GifPreview result;
    int width = 1, height = 1;
    for (const ShownFrame& f : shown) {
        width = std::max(width, std::min(f.width, kMaxGifSide));
        height = std::max(height, std::min(f.height, kMaxGifSide));
    }
    result.width = width;
    result.height = height;

    std::map<std::string, PicturePixels> loaded;
    std::map<std::tuple<std::string, int, int, int32_t>, size_t> known;
    // Each image is drawn when the encoder asks for it, so only the pictures stay in memory.
    std::vector<ShownFrame> recipes;
    auto draw = [&](size_t index) {
        const ShownFrame& f = recipes.at(index);
        GifImage image{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, kTransparent)};
        if (!f.picture.empty()) {
            auto at = loaded.find(f.picture);
            if (at == loaded.end()) at = loaded.emplace(f.picture, pictures.Pixels(f.picture)).first;
            const PicturePixels& p = at->second;
            const int w = std::min(f.width, width), h = std::min(f.height, height);
            const uint32_t keyRgb =
                f.key < 0 ? 0xFFFFFFFFu
                          : static_cast<uint32_t>((f.key & 0xFF) << 16 | (f.key & 0xFF00) | ((f.key >> 16) & 0xFF));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    uint32_t& out = image.argb[static_cast<size_t>(y) * width + x];
                    // Without a key colour the whole window shows, black where the picture ends.
                    if (x >= p.width || y >= p.height) {
                        if (f.key < 0) out = 0xFF000000u;
                        continue;
                    }
                    const uint32_t pixel = p.argb[static_cast<size_t>(y) * p.width + x];
                    // As the windows do: alpha below half is cut in a keyed frame; an opaque
                    // ("@") frame shows its whole rectangle, black where the picture is clear.
                    const bool shown = (pixel >> 24) >= 128;
                    if (f.key < 0) {
                        out = shown ? pixel | 0xFF000000u : 0xFF000000u;
                        continue;
                    }
                    if (!shown || (pixel & 0xFFFFFF) == keyRgb) continue;
                    out = pixel | 0xFF000000u;
                }
        }
        return image;
    };
    auto imageOf = [&](const ShownFrame& f) {
        const auto key = std::make_tuple(f.picture, f.width, f.height, f.key);
        if (auto it = known.find(key); it != known.end()) return it->second;
        recipes.push_back(f);
        known.emplace(key, recipes.size() - 1);
        return recipes.size() - 1;
    };

    std::vector<GifFrame> frames;
    // Delays in whole hundredths, rounded on the running total so they add up
    // to the run's length.
    auto hundredths = [](int64_t ms) { return (ms + 5) / 10; };
    for (size_t i = 0; i + 1 < shown.size(); ++i) {
        int64_t delay = hundredths(shown[i + 1].ms) - hundredths(shown[i].ms);
        // Shown for less than a hundredth: the next picture takes its place.
        if (delay == 0 && !(frames.empty() && i + 2 == shown.size())) continue;
        const size_t image = imageOf(shown[i]);
        do {
            if (frames.size() == kMaxGifFrames) {
                result.cut = true;
                break;
            }
            const int part = static_cast<int>(std::min<int64_t>(delay, 65535));
            frames.push_back({image, part});
            delay -= part;
            result.untilMs = shown[i + 1].ms - delay * 10;
        } while (delay > 0);
        if (result.cut) break;
    }
    if (!result.cut && !shown.empty()) result.untilMs = shown.back().ms;
    result.frames = frames.size();
    result.bytes = EncodeGif(width, height, draw, frames);
    return result;
}

}  // namespace kobal::checker

#pragma once
// An animated GIF of what an actor's window showed during a headless run,
// written by a small encoder of our own: one palette for the whole file
// when the pictures use 255 colours or fewer together, else one per frame
// (its own colours, or a 6x6x6 cube when it has more).
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "checker/headless_run.h"
#include "checker/pictures.h"

namespace kobal::checker {

// 0xAARRGGBB, rows from the top; an alpha of 0 is transparent, any other opaque.
struct GifImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;
};

struct GifFrame {
    size_t image = 0;  // index into the images
    int delay = 0;     // hundredths of a second
};

// Every image must have the canvas's size. Loops for ever.
std::string EncodeGif(int width, int height, const std::vector<GifImage>& images, const std::vector<GifFrame>& frames);
// The same with each image made when it is needed (at most twice), for
// previews of many large pictures.
std::string EncodeGif(int width, int height, const std::function<GifImage(size_t)>& imageAt,
                      const std::vector<GifFrame>& frames);

// Longer runs are cut here: a GIF of thousands of frames helps nobody.
inline constexpr size_t kMaxGifFrames = 1000;
// Larger windows are cut to this many pixels across and down.
inline constexpr int kMaxGifSide = 1024;

struct GifPreview {
    std::string bytes;
    size_t frames = 0;
    int64_t untilMs = 0;  // the virtual time the frames reach
    bool cut = false;     // more frames than kMaxGifFrames
    int width = 0, height = 0;
};

// The window's pictures as shown, drawn at the canvas's top-left corner (the
// actor's position on the screen is left out); key-colour pixels of a keyed
// picture, and fully transparent ones, are transparent.
GifPreview PreviewGif(const std::vector<ShownFrame>& shown, PictureInspector& pictures);

}  // namespace kobal::checker

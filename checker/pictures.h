#pragma once
// What the checker needs to know about a picture file. The logic declares
// the port; the program answers it with Qt's image readers.
#include <cstdint>
#include <string>
#include <vector>

namespace kobal::checker {

struct PictureFacts {
    bool valid = false;  // the actor program could load it
    int width = 0;       // pixels
    int height = 0;
    // Some pixel is transparent by its alpha: keyed, it is cut like the key colour.
    bool transparent = false;
};

// A picture's pixels, rows from the top: 0xAARRGGBB, alpha 0 fully transparent.
struct PicturePixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb;  // empty when the picture cannot be read
};

class PictureInspector {
  public:
    virtual ~PictureInspector() = default;
    virtual PictureFacts Inspect(const std::string& nativePath) = 0;
    // True when some pixel that is not transparent has exactly this colour
    // (red + 256 green + 65536 blue).
    virtual bool HasColor(const std::string& nativePath, int32_t color) = 0;
    // True when every pixel has this colour or is transparent: keyed, the
    // picture shows nothing.
    virtual bool OnlyColor(const std::string& nativePath, int32_t color) = 0;
    // How many pixels are not this colour but come within tolerance of it
    // in each of red, green and blue, next to (one of the eight around) a
    // pixel of exactly this colour: the ring an anti-aliased edge leaves.
    virtual int FringePixels(const std::string& nativePath, int32_t color, int tolerance) = 0;
    // Read afresh each time: only the preview needs them, once per picture.
    virtual PicturePixels Pixels(const std::string& nativePath) = 0;
};

}  // namespace kobal::checker

#pragma once
// Pictures with an alpha channel, read the same way by every shaped window
// and by the checker. An X shape is all or nothing, so a pixel either
// shows, opaque in its own colour, or is transparent like the key colour;
// the line between them is half-way.
#include <QRgb>

namespace kobal::qt {

inline constexpr int kShownAlpha = 128;

// Shows when keyed: not transparent by its alpha (the key colour aside).
inline bool ShownByAlpha(QRgb pixel) {
    return qAlpha(pixel) >= kShownAlpha;
}

}  // namespace kobal::qt

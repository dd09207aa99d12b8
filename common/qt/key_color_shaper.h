#pragma once
// The transparent-window component: setting KeyColor shapes a frameless
// window after the pixels of its current picture that do not have exactly
// that colour. Regions are cached per picture and colour, and a shape equal
// to the one in force is not sent to the X server again.
//
// A window that changes its picture while it is on the screen narrows its
// shape first (NarrowFor), to what both pictures keep visible, then draws
// the new picture and sets the new shape: at no moment does a key-coloured
// pixel of either picture lie inside the shape. Without a compositor a
// window manager's frame around the window is reshaped only later, and
// keeps whatever the window last drew there.
//
// A picture with an alpha channel is shaped by it as well: its transparent
// pixels (picture_alpha.h) are cut like the key colour. Without a key
// colour (an opaque picture) the whole window shows, alpha or not.
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <cstdint>
#include <string>

class QWidget;

namespace kobal::qt {

class KeyColorShaper {
  public:
    explicit KeyColorShaper(QWidget* window) : window_(window) {}

    // The picture now drawn at the window's top-left corner.
    void SetPicture(const QPixmap& picture) { picture_ = picture; }
    // KeyColor: red + 256 x green + 65536 x blue.
    void SetKeyColor(int32_t keyColor);
    // An opaque picture: the whole window shows.
    void ClearShape();
    // Before the window draws a new keyed picture: the shape becomes what
    // the shape in force and the new picture's both keep visible.
    void NarrowFor(const QPixmap& next, int32_t keyColor);
    // No picture yet: nothing of the window shows.
    void HideAll();
    // Sends the shape in force to the window's native window again, for a
    // window whose shape was set before the native window existed.
    void Reapply();
    // Each change is flushed to the X server at once unless the caller
    // sends it together with its own requests.
    void SetFlushEachChange(bool on) { flushEach_ = on; }

    // The region that a picture keeps visible for a key colour (cached).
    // The key colour's pixels are cut, and transparent ones when the picture has alpha.
    QRegion VisibleRegion(const QPixmap& picture, int32_t keyColor);
    int cachedRegions() const { return static_cast<int>(cache_.size()); }

  private:
    void Apply(const QRegion& region);
    QWidget* window_;
    QPixmap picture_;
    QHash<QPair<qint64, int32_t>, QRegion> cache_;
    // What two pictures keep visible together, by both pictures and colours.
    QHash<QPair<QPair<qint64, int32_t>, QPair<qint64, int32_t>>, QRegion> meets_;
    // The shape in force: a picture's, none (whole window) or hidden.
    static constexpr qint64 kHidden = -2, kNarrowed = -3;
    qint64 shapedPicture_ = -1;
    int32_t shapedColor_ = -1;
    bool shaped_ = false;
    QRegion current_;
    bool flushEach_ = true;
};

// A picture as a shaped window draws it: each pixel opaque in its own colour
// or fully transparent, by the half-way rule (a soft edge would otherwise
// be blended with whatever lies behind it in the window, black). A picture
// left with no transparent pixel loses its alpha channel, so that it is
// shaped and drawn exactly as one that never had any; a picture without
// alpha is returned as it is.
QPixmap SolidOrClear(const QImage& picture);
// ReadPicture, then SolidOrClear: for the pictures a key colour shapes.
QPixmap LoadShapedPicture(const std::string& path);

}  // namespace kobal::qt

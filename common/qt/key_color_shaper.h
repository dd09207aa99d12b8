#pragma once
// The transparent-window component: setting KeyColor shapes a frameless
// window after the pixels of its current picture that do not have exactly
// that colour. Regions are cached per picture and colour, and a shape equal
// to the one in force is not sent to the X server again.
#include <QHash>
#include <QPixmap>
#include <QRegion>
#include <cstdint>

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

    // The region that a picture keeps visible for a key colour (cached).
    QRegion VisibleRegion(const QPixmap& picture, int32_t keyColor);
    int cachedRegions() const { return static_cast<int>(cache_.size()); }

private:
    QWidget* window_;
    QPixmap picture_;
    QHash<QPair<qint64, int32_t>, QRegion> cache_;
    qint64 shapedPicture_ = -1;
    int32_t shapedColor_ = -1;
    bool shaped_ = false;
};

}  // namespace kobal::qt

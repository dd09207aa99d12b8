#include "common/qt/key_color_shaper.h"

#include <QBitmap>
#include <QImage>
#include <QWidget>
#include <QWindow>

#include "common/qt/picture_alpha.h"
#include "common/qt/qt_support.h"

namespace kobal::qt {
namespace {

// A region Qt would read as "no mask" hides the window when it is this one
// pixel far outside it.
const QRegion& Nothing() {
    static const QRegion nothing(-1, -1, 1, 1);
    return nothing;
}

// The pixels that show: neither of the key colour nor transparent.
QBitmap ShownMask(const QPixmap& picture, QRgb key) {
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    QImage mask(image.size(), QImage::Format_MonoLSB);
    // Black is what a region built from a bitmap keeps.
    mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mask.fill(0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* bits = mask.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            if (ShownByAlpha(row[x]) && (row[x] & 0xFFFFFF) != (key & 0xFFFFFF)) bits[x >> 3] |= uchar(1u << (x & 7));
    }
    return QBitmap::fromImage(mask);
}

}  // namespace

QRegion KeyColorShaper::VisibleRegion(const QPixmap& picture, int32_t keyColor) {
    const auto key = qMakePair(picture.cacheKey(), keyColor);
    if (auto it = cache_.constFind(key); it != cache_.constEnd()) return *it;

    const QColor color(keyColor & 0xFF, (keyColor >> 8) & 0xFF, (keyColor >> 16) & 0xFF);
    // Matching pixels become 0 in the mask; the region keeps the others.
    const QBitmap mask = picture.hasAlphaChannel() ? ShownMask(picture, color.rgb())
                                                   : picture.createMaskFromColor(color, Qt::MaskInColor);
    QRegion region(mask);
    // An all-key picture must still hide the window.
    if (region.isEmpty()) region = Nothing();
    cache_.insert(key, region);
    return region;
}

void KeyColorShaper::Apply(const QRegion& region) {
    window_->setMask(region);
    current_ = region;
    shaped_ = true;
    if (flushEach_) FlushToServer();
}

void KeyColorShaper::SetKeyColor(int32_t keyColor) {
    if (picture_.isNull()) return;
    if (shaped_ && shapedPicture_ == picture_.cacheKey() && shapedColor_ == keyColor) return;
    Apply(VisibleRegion(picture_, keyColor));
    shapedPicture_ = picture_.cacheKey();
    shapedColor_ = keyColor;
}

void KeyColorShaper::ClearShape() {
    if (!shaped_) return;
    window_->clearMask();
    if (flushEach_) FlushToServer();
    shaped_ = false;
    shapedPicture_ = -1;
    current_ = QRegion();
}

void KeyColorShaper::NarrowFor(const QPixmap& next, int32_t keyColor) {
    if (next.isNull() || (shaped_ && shapedPicture_ == kHidden)) return;  // nothing shows that could narrow
    if (shaped_ && shapedPicture_ == next.cacheKey() && shapedColor_ == keyColor) return;
    const QRegion nextRegion = VisibleRegion(next, keyColor);
    if (!shaped_) {
        // The whole window shows: the new picture's shape is narrower.
        Apply(nextRegion);
        shapedPicture_ = next.cacheKey();
        shapedColor_ = keyColor;
        return;
    }
    if (shapedPicture_ == kNarrowed) {
        Apply(current_.intersected(nextRegion).isEmpty() ? Nothing() : current_.intersected(nextRegion));
        return;
    }
    const auto key = qMakePair(qMakePair(shapedPicture_, shapedColor_), qMakePair(next.cacheKey(), keyColor));
    auto it = meets_.constFind(key);
    if (it == meets_.constEnd()) {
        // Pictures follow each other in a few fixed orders: the pairs are few.
        if (meets_.size() > 4096) meets_.clear();
        const QRegion meet = current_.intersected(nextRegion);
        it = meets_.insert(key, meet.isEmpty() ? Nothing() : meet);
    }
    if (*it == current_) return;
    if (*it == nextRegion) {
        Apply(nextRegion);
        shapedPicture_ = next.cacheKey();
        shapedColor_ = keyColor;
        return;
    }
    Apply(*it);
    shapedPicture_ = kNarrowed;
}

void KeyColorShaper::HideAll() {
    if (shaped_ && shapedPicture_ == kHidden) return;
    Apply(Nothing());
    shapedPicture_ = kHidden;
}

void KeyColorShaper::Reapply() {
    if (!shaped_ || !window_->windowHandle()) return;
    window_->windowHandle()->setMask(current_);
    if (flushEach_) FlushToServer();
}

QPixmap SolidOrClear(const QImage& picture) {
    if (!picture.hasAlphaChannel()) return QPixmap::fromImage(picture);
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    bool clear = false;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (ShownByAlpha(row[x])) {
                row[x] |= 0xFF000000u;
            } else {
                row[x] = 0;
                clear = true;
            }
        }
    }
    return QPixmap::fromImage(
        image.convertToFormat(clear ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32));
}

QPixmap LoadShapedPicture(const std::string& path) {
    return SolidOrClear(ReadPicture(path));
}

}  // namespace kobal::qt

#include "common/qt/key_color_shaper.h"

#include <QBitmap>
#include <QImage>
#include <QWidget>

#include "common/qt/qt_support.h"

namespace kobal::qt {

QRegion KeyColorShaper::VisibleRegion(const QPixmap& picture, int32_t keyColor) {
    const auto key = qMakePair(picture.cacheKey(), keyColor);
    if (auto it = cache_.constFind(key); it != cache_.constEnd()) return *it;

    const QColor color(keyColor & 0xFF, (keyColor >> 8) & 0xFF, (keyColor >> 16) & 0xFF);
    // Matching pixels become 0 in the mask; the region keeps the others.
    const QBitmap mask = picture.createMaskFromColor(color, Qt::MaskInColor);
    QRegion region(mask);
    if (region.isEmpty()) {
        // An all-key picture must still hide the window: a region Qt would
        // read as "no mask" is replaced by one pixel far outside it.
        region = QRegion(-1, -1, 1, 1);
    }
    cache_.insert(key, region);
    return region;
}

void KeyColorShaper::SetKeyColor(int32_t keyColor) {
    if (picture_.isNull()) return;
    if (shaped_ && shapedPicture_ == picture_.cacheKey() && shapedColor_ == keyColor) return;
    window_->setMask(VisibleRegion(picture_, keyColor));
    FlushToServer();
    shaped_ = true;
    shapedPicture_ = picture_.cacheKey();
    shapedColor_ = keyColor;
}

void KeyColorShaper::ClearShape() {
    if (!shaped_) return;
    window_->clearMask();
    FlushToServer();
    shaped_ = false;
    shapedPicture_ = -1;
}

}  // namespace kobal::qt

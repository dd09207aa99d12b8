#include "checker/qt_pictures.h"

#include <QImageReader>

#include "actor/actor_language.h"
#include "common/qt/picture_alpha.h"

namespace kobal::checker {
namespace {

// The system's colours are red in the low byte; Qt's RGB32 has it in the third.
QRgb ToQRgb(int32_t color) {
    const actor::KeyColorParts p = actor::PartsOfKeyColor(color);
    return qRgb(p.red, p.green, p.blue) & 0xFFFFFF;
}

}  // namespace

QtPictureInspector::Entry& QtPictureInspector::Load(const std::string& nativePath) {
    auto it = cache_.find(nativePath);
    if (it != cache_.end()) return it->second;
    Entry entry;
    QImageReader reader(QString::fromStdString(nativePath));
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (!image.isNull()) {
        entry.facts = {true, image.width(), image.height()};
        // Unpremultiplied: a pixel that shows is seen in its own colour.
        entry.image = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < entry.image.height() && image.hasAlphaChannel() && !entry.facts.transparent; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(entry.image.constScanLine(y));
            for (int x = 0; x < entry.image.width(); ++x)
                if (!kobal::qt::ShownByAlpha(row[x])) {
                    entry.facts.transparent = true;
                    break;
                }
        }
    }
    return cache_.emplace(nativePath, std::move(entry)).first->second;
}

PictureFacts QtPictureInspector::Inspect(const std::string& nativePath) {
    return Load(nativePath).facts;
}

bool QtPictureInspector::HasColor(const std::string& nativePath, int32_t color) {
    Entry& entry = Load(nativePath);
    if (!entry.facts.valid) return false;
    if (auto it = entry.colors.find(color); it != entry.colors.end()) return it->second;
    const QRgb wanted = ToQRgb(color);
    bool found = false;
    for (int y = 0; y < entry.image.height() && !found; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(entry.image.constScanLine(y));
        for (int x = 0; x < entry.image.width(); ++x) {
            if ((row[x] & 0xFFFFFF) == wanted && kobal::qt::ShownByAlpha(row[x])) {
                found = true;
                break;
            }
        }
    }
    entry.colors[color] = found;
    return found;
}

bool QtPictureInspector::OnlyColor(const std::string& nativePath, int32_t color) {
    Entry& entry = Load(nativePath);
    if (!entry.facts.valid) return false;
    const QRgb wanted = ToQRgb(color);
    for (int y = 0; y < entry.image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(entry.image.constScanLine(y));
        for (int x = 0; x < entry.image.width(); ++x)
            if ((row[x] & 0xFFFFFF) != wanted && kobal::qt::ShownByAlpha(row[x])) return false;
    }
    return true;
}

}  // namespace kobal::checker

#include "checker/qt_pictures.h"

#include <QImageReader>
#include <cstdlib>

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

int QtPictureInspector::FringePixels(const std::string& nativePath, int32_t color, int tolerance) {
    const Entry& entry = Load(nativePath);
    if (!entry.facts.valid) return 0;
    const QRgb key = ToQRgb(color);
    const QImage& image = entry.image;
    const int width = image.width();
    const int height = image.height();
    auto isKey = [&](int x, int y) {
        const QRgb c = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        return kobal::qt::ShownByAlpha(c) && (c & 0xFFFFFF) == key;
    };
    auto near = [&](QRgb c) {
        return std::abs(qRed(c) - qRed(key)) <= tolerance && std::abs(qGreen(c) - qGreen(key)) <= tolerance &&
               std::abs(qBlue(c) - qBlue(key)) <= tolerance;
    };
    int count = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            // A transparent pixel is cut whatever its colour: it makes no fringe.
            if (!kobal::qt::ShownByAlpha(row[x])) continue;
            const QRgb c = row[x] & 0xFFFFFF;
            if (c == key || !near(c)) continue;
            bool touches = false;
            for (int dy = -1; dy <= 1 && !touches; ++dy)
                for (int dx = -1; dx <= 1 && !touches; ++dx) {
                    const int nx = x + dx;
                    const int ny = y + dy;
                    touches = nx >= 0 && ny >= 0 && nx < width && ny < height && isKey(nx, ny);
                }
            if (touches) ++count;
        }
    }
    return count;
}

PicturePixels QtPictureInspector::Pixels(const std::string& nativePath) {
    QImageReader reader(QString::fromStdString(nativePath));
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
    PicturePixels p;
    if (image.isNull()) return p;
    p.width = image.width();
    p.height = image.height();
    p.argb.reserve(static_cast<size_t>(p.width) * p.height);
    for (int y = 0; y < p.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        p.argb.insert(p.argb.end(), row, row + p.width);
    }
    return p;
}

}  // namespace kobal::checker

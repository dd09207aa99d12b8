#pragma once
// Pictures read as the actor program reads them: Qt's image readers, the
// format decided from the content, transparent pixels by the actor's own
// alpha rule. Each file is read once.
#include <QImage>
#include <map>
#include <string>

#include "checker/pictures.h"

namespace kobal::checker {

class QtPictureInspector : public PictureInspector {
  public:
    PictureFacts Inspect(const std::string& nativePath) override;
    bool HasColor(const std::string& nativePath, int32_t color) override;
    bool OnlyColor(const std::string& nativePath, int32_t color) override;
    int FringePixels(const std::string& nativePath, int32_t color, int tolerance) override;
    PicturePixels Pixels(const std::string& nativePath) override;

  private:
    struct Entry {
        PictureFacts facts;
        QImage image;  // ARGB32, for the colour search
        std::map<int32_t, bool> colors;
    };
    Entry& Load(const std::string& nativePath);
    std::map<std::string, Entry> cache_;
};

}  // namespace kobal::checker

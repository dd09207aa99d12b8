#pragma once
// Positions in twips, as the windows are designed, placed in pixels.
#include <QRect>
#include <QWidget>

#include "common/qt/qt_support.h"

namespace kobal::config::qt {

inline int PixelsX(int twips) {
    return qRound(twips / kobal::qt::TwipsPerPixelX());
}
inline int PixelsY(int twips) {
    return qRound(twips / kobal::qt::TwipsPerPixelY());
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(PixelsX(left), PixelsY(top), PixelsX(width), PixelsY(height));
}

inline void PlaceTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(TwipsRect(left, top, width, height));
}

// Centres a top-level window on the primary screen.
void CentreOnScreen(QWidget* w);

}  // namespace kobal::config::qt

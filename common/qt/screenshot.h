#pragma once
// For tests: saves what the X server shows of a window as NAME.png in the
// folder KOBAL_SHOT_DIR names, when it names one.
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

namespace kobal::qt::testing {

inline void SaveScreenshot(const QWidget& window, const QString& name) {
    const char* dir = std::getenv("KOBAL_SHOT_DIR");
    if (!dir || !*dir || !window.screen()) return;
    QCoreApplication::processEvents();
    const QRect frame = window.frameGeometry();
    window.screen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

}  // namespace kobal::qt::testing

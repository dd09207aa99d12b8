#pragma once
// Asks the X server about a window through xwininfo, so that tests check
// what the server really holds rather than what Qt believes.
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace kobal::qt::testing {

// 1 when the X server holds a bounding shape for the window, 0 when not.
inline int HasBoundingShape(unsigned long windowId, QString* output = nullptr) {
    QProcess p;
    p.start("xwininfo", {"-shape", "-id", QString::number(windowId)});
    p.waitForFinished(5000);
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    if (output) *output = out;
    // "Window shape extents:  20x10+10+10" when shaped,
    // "No window shape defined" otherwise.
    return out.contains("Window shape extents:") ? 1 : 0;
}

}  // namespace kobal::qt::testing

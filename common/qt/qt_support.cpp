#include "common/qt/qt_support.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>

#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::qt {

bool DialogsSuppressed() {
    const char* v = std::getenv("KOBALTRON_NO_DIALOGS");
    return v && *v && std::string(v) != "0";
}

static void ToStderr(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s\n", MessageLine(title, text).c_str());
    std::fflush(stderr);
}

static int Ask(const std::string& text, const std::string& title, QMessageBox::StandardButtons buttons,
               QMessageBox::StandardButton yes) {
    ToStderr(title, text);
    if (DialogsSuppressed() || !qobject_cast<QApplication*>(QCoreApplication::instance())) return yes;
    QMessageBox box(QMessageBox::NoIcon, Q(title), Q(text), buttons);
    return box.exec();
}

void QtMessageBoxes::ShowMessage(const std::string& text, const std::string& title) {
    Ask(text, title, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::AskOkCancel(const std::string& text, const std::string& title) {
    return Ask(text, title, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok) == QMessageBox::Ok;
}

bool QtMessageBoxes::AskYesNo(const std::string& text, const std::string& title) {
    return Ask(text, title, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<std::string> QtInstallPathStore::ReadApplicationPath() {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "kobaltron", "Kobaltron");
    const QVariant v = s.value("Path/Application");
    if (!v.isValid()) return std::nullopt;
    return S(v.toString());
}

void QtInstallPathStore::WriteApplicationPath(const std::string& path) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, "kobaltron", "Kobaltron");
    s.setValue("Path/Application", Q(path));
    s.sync();
    if (s.status() != QSettings::NoError) throw RuntimeError(ErrorNumber::PathFileAccessError, S(s.fileName()));
}

void ClearInstallPath() {
    QString file;
    bool empty = false;
    {
        QSettings s(QSettings::IniFormat, QSettings::UserScope, "kobaltron", "Kobaltron");
        s.remove("Path/Application");
        s.sync();
        if (s.status() != QSettings::NoError) throw RuntimeError(ErrorNumber::PathFileAccessError, S(s.fileName()));
        file = s.fileName();
        empty = s.allKeys().isEmpty();
    }
    if (empty) QFile::remove(file);
}

std::string InstallDirectory() {
    QtInstallPathStore store;
    const std::string programDir = S(QCoreApplication::applicationDirPath());
    return InstallDirFrom(ReadInstallPath(store, DefaultInstallPath(programDir)));
}

// The format a picture file's first bytes announce, among those every
// picture is read in; empty for anything else.
static QByteArray AnnouncedFormat(const QByteArray& head) {
    if (head.startsWith("BM")) return "bmp";
    if (head.startsWith("\x89PNG")) return "png";
    if (head.startsWith("GIF8")) return "gif";
    if (head.startsWith("\xFF\xD8\xFF")) return "jpeg";
    if (head.startsWith(QByteArray("\0\0\1\0", 4))) return "ico";
    return {};
}

QImage ReadPicture(const std::string& path) {
    const std::string native = ResolvePath(path);
    if (!FileExists(native)) throw RuntimeError(ErrorNumber::FileNotFound, native);
    // Told the format, Qt loads no image plugin, or only that format's;
    // left to guess, it loads every plugin to ask each (a process's memory).
    {
        QFile file(Q(native));
        if (file.open(QIODevice::ReadOnly)) {
            if (const QByteArray format = AnnouncedFormat(file.peek(4)); !format.isEmpty()) {
                QImageReader reader(&file, format);
                reader.setAutoDetectImageFormat(false);
                if (QImage image = reader.read(); !image.isNull()) return image;
            }
        }
    }
    // Anything else, and a file its first bytes misname, as before.
    QImageReader reader(Q(native));
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) throw RuntimeError(ErrorNumber::InvalidPicture, native, 0, S(reader.errorString()));
    return image;
}

QPixmap LoadPicture(const std::string& path) {
    return QPixmap::fromImage(ReadPicture(path));
}

void FlushToServer() {
    auto* app = qGuiApp;
    if (!app) return;
    if (auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>())
        if (xcb_connection_t* c = x11->connection()) xcb_flush(c);
}

static QScreen* Primary() {
    return QGuiApplication::primaryScreen();
}

double TwipsPerPixelX() {
    QScreen* s = Primary();
    const double dpi = s ? s->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

double TwipsPerPixelY() {
    QScreen* s = Primary();
    const double dpi = s ? s->logicalDotsPerInchY() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

[[noreturn]] void ReportAndExit(const std::string& programName, const std::exception& error) {
    QtMessageBoxes boxes;
    boxes.ShowMessage(error.what(), programName);
    std::_Exit(1);
}

int RunGuarded(const std::string& programName, const std::function<int()>& body) {
    try {
        return body();
    } catch (const ProgramEnd& end) {
        return end.status;
    } catch (const std::exception& e) {
        QtMessageBoxes boxes;
        boxes.ShowMessage(e.what(), programName);
        return 1;
    }
}

}  // namespace kobal::qt

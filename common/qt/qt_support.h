#pragma once
// Qt adapters every program shares: message boxes, the install path store,
// picture loading, twips, and the top-level error report.
#include <QImage>
#include <QPixmap>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "common/install_path.h"
#include "common/message_box.h"

class QScreen;

namespace kobal::qt {

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
    return s.toStdString();
}

// Message boxes with no icon; every text also goes to stderr as
// "title: text". With KOBALTRON_NO_DIALOGS=1 (unattended runs) nothing is
// shown and questions are answered OK / Yes.
class QtMessageBoxes : public MessageBoxPort {
  public:
    void ShowMessage(const std::string& text, const std::string& title) override;
    bool AskOkCancel(const std::string& text, const std::string& title) override;
    bool AskYesNo(const std::string& text, const std::string& title) override;
};
bool DialogsSuppressed();

// The install path setting in an INI file under $XDG_CONFIG_HOME/kobaltron.
class QtInstallPathStore : public InstallPathStore {
  public:
    std::optional<std::string> ReadApplicationPath() override;
    void WriteApplicationPath(const std::string& path) override;
};

// Removes the install path setting (uninstalling), and its file when nothing else is in it.
void ClearInstallPath();

// installdir for this program: the setting, or the default of DESIGN's table.
std::string InstallDirectory();

// Loads BMP, GIF, JPEG, ICO or PNG, as written or without regard to letter
// case. Raises File not found, or Invalid picture for an unreadable file.
QPixmap LoadPicture(const std::string& path);
// The same, as the file holds it (before a pixmap premultiplies its alpha).
QImage ReadPicture(const std::string& path);

// Twips per pixel from the primary screen's logical DPI (15 at 96 DPI).
double TwipsPerPixelX();
double TwipsPerPixelY();

// Sends buffered X requests now: Qt holds a shape change back until the
// next paint, so the server (and tests asking it) would see it late.
void FlushToServer();

// Runs a program's body: a RuntimeError becomes a message box titled with
// the program's name, a stderr line and exit status 1; ProgramEnd its status.
int RunGuarded(const std::string& programName, const std::function<int()>& body);
// The same report, for errors caught inside event handlers; then exits.
[[noreturn]] void ReportAndExit(const std::string& programName, const std::exception& error);

}  // namespace kobal::qt

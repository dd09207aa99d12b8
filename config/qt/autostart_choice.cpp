#include "config/qt/autostart_choice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "common/qt/qt_support.h"

namespace kobal::config::qt {

QString LoginCheckBox::AskForFile(QWidget* window) {
    const QString file = QFileDialog::getOpenFileName(
        window, "Start these actors when I log in", QDir::homePath(),
        "Actors and playlists (*.kact *.kac *.kpls *.kpl *.KACT *.KAC *.KPLS *.KPL);;All files (*)", nullptr,
        QFileDialog::DontUseNativeDialog);
    return file.isEmpty() ? file : QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

LoginCheckBox::LoginCheckBox(QWidget* holder, LoginChoice& choice, Chooser choose)
    : QCheckBox(holder), choice_(choice), choose_(std::move(choose)) {
    setObjectName("autostart");
    setText("Start these actors when I log in");
    Show();
}

void LoginCheckBox::Show() {
    setCheckState(choice_.checked ? Qt::Checked : Qt::Unchecked);
    setToolTip(choice_.checked ? kobal::qt::Q(choice_.file) : QString());
}

void LoginCheckBox::nextCheckState() {
    if (choice_.checked) {
        choice_.checked = false;
    } else if (const QString file = choose_(window()); !file.isEmpty()) {
        choice_ = {true, kobal::qt::S(file)};
    }
    Show();
}

AutostartEntry::AutostartEntry(shell::EntryFiles& files, MessageBoxPort& boxes, std::string configHome)
    : files_(files), boxes_(boxes), configHome_(std::move(configHome)) {}

shell::Autostart AutostartEntry::With(const std::string& installdir) {
    return shell::Autostart(files_, boxes_, configHome_, installdir);
}

std::optional<std::string> AutostartEntry::Current() {
    return With("").Current();
}
bool AutostartEntry::Choose(const std::string& file, const std::string& installdir) {
    return With(installdir).Choose(file);
}
bool AutostartEntry::Remove() {
    return With("").Remove();
}

}  // namespace kobal::config::qt

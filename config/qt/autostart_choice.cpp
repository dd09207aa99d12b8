#include "config/qt/autostart_choice.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>

#include "config/qt/twips.h"

namespace kobal::config::qt {

static QWidget* AdvancedGroup(QWidget* form) {
    for (auto* group : form->findChildren<QGroupBox*>())
        if (group->title() == "Advanced Configuration") return group;
    return form;
}

AutostartChoice::AutostartChoice(QWidget* form, shell::Autostart& autostart)
    : QCheckBox(AdvancedGroup(form)), autostart_(autostart) {
    setObjectName("autostart");
    setText("Start these actors when I log in");
    PlaceTwips(this, 120, 2460, 3495, 255);
    Refresh();
}

void AutostartChoice::Refresh() {
    const auto file = autostart_.Current();
    setCheckState(file ? Qt::Checked : Qt::Unchecked);
    setToolTip(file ? kobal::qt::Q(*file) : QString());
}

void AutostartChoice::nextCheckState() {
    if (isChecked()) {
        autostart_.Remove();
    } else {
        const QString file = QFileDialog::getOpenFileName(
            window(), "Start these actors when I log in", QDir::homePath(),
            "Actors and playlists (*.kact *.kac *.kpls *.kpl *.KACT *.KAC *.KPLS *.KPL);;All files "
            "(*)",
            nullptr, QFileDialog::DontUseNativeDialog);
        if (!file.isEmpty())
            autostart_.Choose(kobal::qt::S(QDir::cleanPath(QFileInfo(file).absoluteFilePath())));
    }
    Refresh();
}

}  // namespace kobal::config::qt

// kobalconfig: one shell-integration command from the command line, or the
// configuration window.
#include <QApplication>
#include <QStringList>
#include <cstdlib>

#include "common/install_path.h"
#include "common/qt/qt_support.h"
#include "common/settings.h"
#include "config/config_window.h"
#include "config/qt/kobalconfigf.h"
#include "config/qt/shell_port.h"
#include "config/qt/wizardbox.h"
#include "config/shell/desktop_shell.h"
#include "config/start.h"

using namespace kobal;
using namespace kobal::config;
namespace cq = kobal::config::qt;

int main(int argc, char** argv) {
    // The windows centre themselves, which only X places as asked.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    return kobal::qt::RunGuarded(kProgramTitle, [&] {
        // The whole command line: the arguments joined by single blanks.
        QStringList args = QCoreApplication::arguments();
        args.removeFirst();
        const std::string commandLine = kobal::qt::S(args.join(' '));

        kobal::qt::QtMessageBoxes boxes;
        kobal::qt::QtInstallPathStore paths;
        const std::string defaultPath =
            DefaultInstallPath(kobal::qt::S(QCoreApplication::applicationDirPath()));
        SettingStore settings(SettingStore::Program::Config);
        shell::DesktopShell desktop(boxes, paths, defaultPath, settings, kProgramTitle);
        cq::ShellPort shell(desktop.module());

        if (StartConfigTool(commandLine, paths, boxes, shell) == StartResult::Ended) return 0;

        cq::QtInputBox input;
        cq::WizardDialog wizard;
        ConfigWindow window({paths, boxes, shell, input, wizard}, defaultPath);
        window.Form_Load();
        cq::ConfigForm form(window);
        form.Show();
        return app.exec();
    });
}

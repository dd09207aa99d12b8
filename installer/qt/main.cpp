// install: copies the product from the install medium into the install
// directory and registers it, after the user presses "Install".
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <iostream>
#include <optional>

#include "common/command_line.h"
#include "common/qt/display_check.h"
#include "common/qt/fit_text.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "common/runtime_error.h"
#include "common/settings.h"
#include "config/shell/desktop_shell.h"
#include "installer/install_form.h"
#include "installer/qt/install_window.h"

int main(int argc, char** argv) {
    using namespace kobal;
    const ProgramHelp help{"install",
                           "",
                           "Installs Kobaltron from the install medium in the current directory\n"
                           "(Install/Files.dat, Install/Commands.dat) into the install directory\n"
                           "shown in its window, when \"Install\" is pressed.",
                           {}};
    const StandardOptions options = ReadStandardOptions(ArgumentsOf(argc, argv), help, std::cout);
    if (options.exitStatus) return *options.exitStatus;
    qt::PrepareProcess();
    std::optional<qt::DisplayGuard> display(std::in_place, help.name, argc, argv);
    QApplication app(argc, argv);
    display.reset();
    qt::WatchTerminationOnEventLoop();
    QApplication::setWindowIcon(qt::ProductIcon());
    qt::QtMessageBoxes boxes;
    qt::QtInstallPathStore installPath;
    SettingStore settings(SettingStore::Program::Installer);
    const std::string defaultPath = DefaultInstallPath(qt::S(QCoreApplication::applicationDirPath()));

    return qt::RunGuarded("Install", [&] {
        shell::DesktopShell shell(boxes, installPath, defaultPath, settings, "Install");
        installer::qt::InstallWindow window;
        shell::FileManifestLog manifest;
        installer::InstallForm form({window, boxes, installPath, defaultPath, shell.integration(), &manifest});
        form.Form_Load(qt::S(QDir::currentPath()));

        QObject::connect(window.installButton(), &QPushButton::clicked, [&] {
            // Nothing may leave an event handler: each ending is decided here.
            try {
                switch (form.Install_Click()) {
                    case installer::ClickResult::Done: QApplication::exit(0); break;
                    case installer::ClickResult::Refused: QApplication::exit(1); break;
                    case installer::ClickResult::KeepOpen: break;
                }
            } catch (const ProgramEnd& end) {
                QApplication::exit(end.status);
            } catch (const std::exception& error) {
                qt::ReportAndExit("Install", error);
            }
        });
        window.show();
        return app.exec();
    });
}

// kobalconfig: one shell-integration command from the command line, or the
// configuration window.
#include <QApplication>
#include <QStringList>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "common/command_line.h"
#include "common/install_path.h"
#include "common/qt/display_check.h"
#include "common/qt/fit_text.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "common/settings.h"
#include "config/config_window.h"
#include "config/qt/autostart_choice.h"
#include "config/qt/config_form.h"
#include "config/qt/wizardbox.h"
#include "config/shell/desktop_shell.h"
#include "config/shell/uninstall.h"
#include "config/start.h"

using namespace kobal;
using namespace kobal::config;
namespace cq = kobal::config::qt;

namespace {

const kobal::ProgramHelp kHelp{"kobalconfig",
                               "INSTALL | !DIR | FILE",
                               "Edits Kobaltron's settings and ties it into the desktop.\n"
                               "  INSTALL  writes the application menu entries and the file associations\n"
                               "  !DIR     stores DIR as the install directory\n"
                               "  FILE     adds an actor file or a playlist to the application menu\n"
                               "With nothing on the command line it opens the configuration window.",
                               {"  --uninstall  removes what Kobaltron wrote for this user: menu entries, file\n"
                                "               associations, login choice and settings; and what Kobaltron's\n"
                                "               installer put in place, where it keeps its record"}};

}  // namespace

int main(int argc, char** argv) {
    const StandardOptions options = ReadStandardOptions(ArgumentsOf(argc, argv), kHelp, std::cout);
    if (options.exitStatus) return *options.exitStatus;
    const bool uninstall = !options.separated && !options.args.empty() && options.args[0] == "--uninstall";
    kobal::qt::PrepareProcess();
    // The windows centre themselves, which only X places as asked.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    // After "--" Qt sees no argument: the text is the tool's, whatever it looks like.
    int qtArgc = options.separated ? 1 : argc;
    std::optional<kobal::qt::DisplayGuard> display(std::in_place, kHelp.name, qtArgc, argv);
    QApplication app(qtArgc, argv);
    display.reset();
    // A logout ends the tool as it is, nothing saved, even with a box up.
    kobal::qt::WatchTerminationOnEventLoop();
    QApplication::setWindowIcon(kobal::qt::ProductIcon());
    return kobal::qt::RunGuarded(kProgramTitle, [&] {
        // The whole command line: the arguments joined by single blanks.
        std::string commandLine = JoinArguments(options.args);
        if (!options.separated) {
            QStringList args = QCoreApplication::arguments();
            args.removeFirst();
            commandLine = kobal::qt::S(args.join(' '));
        }

        kobal::qt::QtMessageBoxes boxes;
        kobal::qt::QtInstallPathStore paths;
        const std::string defaultPath = DefaultInstallPath(kobal::qt::S(QCoreApplication::applicationDirPath()));
        SettingStore settings(SettingStore::Program::Config);
        shell::DesktopShell desktop(boxes, paths, defaultPath, settings, kProgramTitle);
        ShellIntegration& shell = desktop.integration();

        if (uninstall) {
            shell::FileRegistry registry(shell::DefaultRegistryFile());
            shell::PosixCommandRunner runner;
            shell::PosixEntryFiles entryFiles;
            shell::Autostart autostart(entryFiles, boxes, shell::XdgConfigHome(),
                                       InstallDirFrom(ReadInstallPath(paths, defaultPath)));
            shell::UninstallContext context{boxes,
                                            paths,
                                            [] { kobal::qt::ClearInstallPath(); },
                                            defaultPath,
                                            registry,
                                            shell::XdgDataHome(),
                                            shell::XdgConfigHome(),
                                            runner,
                                            autostart};
            return shell::Uninstall(context);
        }

        if (StartConfigTool(commandLine, paths, boxes, shell) == StartResult::Ended) return 0;

        cq::QtInputBox input;
        cq::WizardDialog wizard;
        shell::PosixEntryFiles entryFiles;
        cq::AutostartEntry login(entryFiles, boxes, shell::XdgConfigHome());
        ConfigWindow window({paths, boxes, shell, input, wizard, &login}, defaultPath,
                            kobal::UserPlacesFromEnvironment());
        window.Form_Load();
        cq::ConfigForm form(window);
        form.Show();
        return app.exec();
    });
}

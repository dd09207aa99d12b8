#include "common/qt/display_check.h"

#include <QString>
#include <QtGlobal>
#include <xcb/xcb.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace kobal::qt {

namespace {

// Qt's own options are read only ahead of a "--".
const char* OptionValue(int argc, char** argv, const char* option) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) return nullptr;
        if (std::strcmp(argv[i], option) == 0) return argv[i + 1];
    }
    return nullptr;
}

std::string g_programName;
QtMessageHandler g_previous = nullptr;

void FatalWithoutAbort(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
        if (g_previous) g_previous(type, context, message);
        else std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
        return;
    }
    std::fprintf(stderr, "%s: cannot start: %s\n", g_programName.c_str(), message.toLocal8Bit().constData());
    std::fflush(stderr);
    ::_exit(kNoDisplayStatus);
}

}  // namespace

std::string SelectedPlatform(int argc, char** argv, const char* environmentValue) {
    std::string name;
    if (const char* option = OptionValue(argc, argv, "-platform")) name = option;
    else if (environmentValue && *environmentValue) name = environmentValue;
    else name = "xcb";
    name = name.substr(0, name.find(';'));
    return name.substr(0, name.find(':'));
}

std::optional<std::string> DisplayProblem(int argc, char** argv) {
    if (SelectedPlatform(argc, argv, std::getenv("QT_QPA_PLATFORM")) != "xcb") return std::nullopt;
    const char* option = OptionValue(argc, argv, "-display");
    const char* env = std::getenv("DISPLAY");
    const std::string display = option ? option : env ? env : "";
    if (display.empty())
        return std::string("no display to show windows on: DISPLAY is not set "
                           "(start it from a desktop session, or set DISPLAY to a running X server)");
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    const int error = xcb_connection_has_error(c);
    xcb_disconnect(c);
    if (error)
        return "cannot connect to the display \"" + display + "\": no X server answers there, or it refuses this user";
    return std::nullopt;
}

DisplayGuard::DisplayGuard(const std::string& programName, int argc, char** argv) {
    if (const auto problem = DisplayProblem(argc, argv)) {
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), problem->c_str());
        std::fflush(stderr);
        std::exit(kNoDisplayStatus);
    }
    g_programName = programName;
    g_previous = qInstallMessageHandler(FatalWithoutAbort);
}

DisplayGuard::~DisplayGuard() { qInstallMessageHandler(g_previous); }

}  // namespace kobal::qt

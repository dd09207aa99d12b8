#include "common/qt/display_check.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

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

namespace {

// A local display ":N" whose socket is there has a server that may be resetting.
bool ServerSocketExists(const std::string& display) {
    if (display.empty() || display[0] != ':') return true;  // remote: worth a second try as well
    const std::string number = display.substr(1, display.find('.') - 1);
    return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

xcb_connection_t* Connect(const std::string& display) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
        if (!xcb_connection_has_error(c)) return c;
        xcb_disconnect(c);
        if (!ServerSocketExists(display) || std::chrono::steady_clock::now() > deadline) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

DisplayGuard::DisplayGuard(const std::string& programName, int argc, char** argv, bool exitOnProblem) {
    if (SelectedPlatform(argc, argv, std::getenv("QT_QPA_PLATFORM")) == "xcb") {
        const char* option = OptionValue(argc, argv, "-display");
        const char* env = std::getenv("DISPLAY");
        const std::string display = option ? option : env ? env : "";
        if (display.empty())
            problem_ =
                "no display to show windows on: DISPLAY is not set "
                "(start it from a desktop session, or set DISPLAY to a running X server)";
        else if (!(connection_ = Connect(display)))
            problem_ =
                "cannot connect to the display \"" + display + "\": no X server answers there, or it refuses this user";
    }
    if (problem_ && exitOnProblem) {
        std::fprintf(stderr, "%s: %s\n", programName.c_str(), problem_->c_str());
        std::fflush(stderr);
        std::exit(kNoDisplayStatus);
    }
    g_programName = programName;
    g_previous = qInstallMessageHandler(FatalWithoutAbort);
}

DisplayGuard::~DisplayGuard() {
    qInstallMessageHandler(g_previous);
    if (connection_) xcb_disconnect(static_cast<xcb_connection_t*>(connection_));
}

}  // namespace kobal::qt

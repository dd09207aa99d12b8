#include "common/qt/process_setup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kobal::qt {

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<bool> g_watched{false};
volatile std::sig_atomic_t g_pendingSignal = 0;
std::function<void(int)> g_handler;

void EndNow(int signal) {
    // Only what is safe in a signal handler: buffered output is lost, the
    // kernel closes sockets and windows.
    ::_exit(TerminatedStatus(signal));
}

void OnAlarm(int) {
    EndNow(g_pendingSignal ? static_cast<int>(g_pendingSignal) : SIGTERM);
}

void OnTerminate(int signal) {
    if (!g_watched.load() || g_pendingSignal) EndNow(signal);
    const int savedErrno = errno;  // the interrupted code may be about to read it
    g_pendingSignal = signal;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] auto n = ::write(g_pipe[1], &byte, 1);
    // The event loop may be stuck in a wait that never returns to it.
    ::alarm(1);
    errno = savedErrno;
}

void Handle(int signal) {
    std::fflush(nullptr);
    if (g_handler) g_handler(signal);
    // A handler that returns has nothing more to do either.
    std::fflush(nullptr);
    ::_exit(TerminatedStatus(signal));
}

}  // namespace

void PrepareProcess() {
    AvoidBusAutolaunch();
    InstallTerminationHandlers();
}

void AvoidBusAutolaunch() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        struct stat st {};
        const std::string bus = std::string(runtime) + "/bus";
        // libdbus itself connects there when the address is unset.
        if (::stat(bus.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return;
    }
    ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoBusAddress, 1);
}

void InstallTerminationHandlers() {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    action.sa_handler = OnAlarm;
    ::sigaction(SIGALRM, &action, nullptr);
}

void WatchTerminationOnEventLoop() {
    if (g_watched.load() || g_pipe[0] < 0 || !QCoreApplication::instance()) return;
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        // Drained, or the notifier would fire again and again.
        int signal = 0;
        while (::read(g_pipe[0], &byte, 1) == 1) signal = static_cast<unsigned char>(byte);
        if (signal) Handle(signal);
    });
    g_watched.store(true);
}

TerminationHandler::TerminationHandler(std::function<void(int)> handler) : previous_(std::move(g_handler)) {
    g_handler = std::move(handler);
}

TerminationHandler::~TerminationHandler() {
    g_handler = std::move(previous_);
}

ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    ::setenv(name, value, 1);
}

ScopedEnvironment::~ScopedEnvironment() {
    if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

}  // namespace kobal::qt

#pragma once
// What every program sets up in main before Qt starts: no session bus
// daemon of its own, and SIGTERM and SIGHUP that end it promptly whatever it
// is doing (a message box, a wait, a read) and with a clean exit status.
#include <functional>
#include <optional>
#include <string>

namespace kobal::qt {

// The exit status of a program ended by a signal it handled.
inline int TerminatedStatus(int signal) {
    return 128 + signal;
}

// AvoidBusAutolaunch, then InstallTerminationHandlers.
void PrepareProcess();

// Where the desktop has no session bus (no DBUS_SESSION_BUS_ADDRESS and no
// $XDG_RUNTIME_DIR/bus), Qt's tray and D-Bus code would have libdbus start
// one with dbus-launch, a daemon that outlives the program: the address is
// pointed at a socket that does not exist instead, so they find no bus.
void AvoidBusAutolaunch();
// The address set when there is no bus (tests compare with it).
inline constexpr const char* kNoBusAddress = "unix:path=/nonexistent/kobaltron-no-session-bus";

// SIGTERM and SIGHUP: until the event loop watches for them they end the
// program at once; after WatchTerminationOnEventLoop they are handled there
// (inside a modal box's loop too), and if that loop does not answer within
// about a second the program ends anyway. Status TerminatedStatus(signal).
void InstallTerminationHandlers();
// Needs the Qt application. The notifier belongs to it.
void WatchTerminationOnEventLoop();

// While one lives, a request runs its handler on the event loop instead of
// ending the program at once. Nested: the latest wins, the earlier is back
// when it goes.
class TerminationHandler {
  public:
    explicit TerminationHandler(std::function<void(int signal)> handler);
    ~TerminationHandler();
    TerminationHandler(const TerminationHandler&) = delete;
    TerminationHandler& operator=(const TerminationHandler&) = delete;

  private:
    std::function<void(int)> previous_;
};

// Sets one environment variable while it lives and then puts back what was
// there (or nothing): Qt reads some only while the application starts, and
// the programs this one starts later (a browser for help) get the user's own.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

}  // namespace kobal::qt

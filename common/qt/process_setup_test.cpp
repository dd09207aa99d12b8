// Signals and the bus address, each in a child process of its own: the
// handlers are process-wide and end the process they run in.
#include "common/qt/process_setup.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "common/test_files.h"

using namespace kobal::qt;

namespace {

// Runs body in a child; once it has written its "ready" byte the child gets
// signal. Returns the raw wait status (or -1 when it never ended), and what
// the child wrote after "ready" in said.
int SignalChild(int signal, const std::function<void(int out)>& body, std::string* said = nullptr) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        body(pipeFds[1]);
        ::_exit(99);  // the signal should have ended it first
    }
    ::close(pipeFds[1]);
    char c = 0;
    if (::read(pipeFds[0], &c, 1) != 1) return -1;
    ::kill(pid, signal);
    int status = -1;
    for (int i = 0; i < 400 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    char buffer[64];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        if (said) said->append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    return status;
}

void Ready(int out) {
    [[maybe_unused]] auto n = ::write(out, "r", 1);
}

}  // namespace

TEST(Termination, WithoutAnEventLoopTheSignalEndsTheProgramWithItsStatus) {
    const int status = SignalChild(SIGTERM, [](int out) {
        InstallTerminationHandlers();
        Ready(out);
        for (;;) ::pause();
    });
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal, or never ended: " << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
}

TEST(Termination, TheEventLoopRunsTheProgramsHandler) {
    std::string said;
    const int status = SignalChild(
        SIGHUP,
        [](int out) {
            InstallTerminationHandlers();
            int argc = 1;
            char name[] = "t";
            char* argv[] = {name, nullptr};
            QCoreApplication app(argc, argv);
            WatchTerminationOnEventLoop();
            TerminationHandler handler([out](int signal) {
                const std::string text = "handled " + std::to_string(signal);
                [[maybe_unused]] auto n = ::write(out, text.data(), text.size());
            });
            Ready(out);
            QCoreApplication::exec();
        },
        &said);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGHUP);
    EXPECT_EQ(said, "handled " + std::to_string(SIGHUP));
}

// A program stuck where its event loop cannot run (a wait that never
// returns) still ends, a moment later.
TEST(Termination, AStuckEventLoopDoesNotKeepTheProgram) {
    const int status = SignalChild(SIGTERM, [](int out) {
        InstallTerminationHandlers();
        int argc = 1;
        char name[] = "t";
        char* argv[] = {name, nullptr};
        QCoreApplication app(argc, argv);
        WatchTerminationOnEventLoop();
        Ready(out);
        for (;;) ::pause();
    });
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
}

TEST(BusAddress, OnlyADesktopWithoutABusGetsTheAddressOfNone) {
    kobal::TempDir dir;
    ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    AvoidBusAutolaunch();
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), kNoBusAddress);

    // The session's own bus socket is what libdbus would use: left to it.
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string bus = dir / "bus";
    bus.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    AvoidBusAutolaunch();
    EXPECT_EQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
    ::close(fd);

    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1/bus", 1);
    AvoidBusAutolaunch();
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "unix:path=/run/user/1/bus");
}

TEST(ScopedEnvironment, PutsBackTheValueOrItsAbsence) {
    ::setenv("KOBAL_SCOPED_TEST", "the user's", 1);
    {
        ScopedEnvironment over("KOBAL_SCOPED_TEST", "ours");
        EXPECT_STREQ(std::getenv("KOBAL_SCOPED_TEST"), "ours");
    }
    EXPECT_STREQ(std::getenv("KOBAL_SCOPED_TEST"), "the user's");

    // An empty value is a value: it comes back empty, not unset.
    ::setenv("KOBAL_SCOPED_TEST", "", 1);
    { ScopedEnvironment over("KOBAL_SCOPED_TEST", "ours"); }
    ASSERT_NE(std::getenv("KOBAL_SCOPED_TEST"), nullptr);
    EXPECT_STREQ(std::getenv("KOBAL_SCOPED_TEST"), "");

    ::unsetenv("KOBAL_SCOPED_TEST");
    {
        ScopedEnvironment over("KOBAL_SCOPED_TEST", "ours");
        EXPECT_STREQ(std::getenv("KOBAL_SCOPED_TEST"), "ours");
    }
    EXPECT_EQ(std::getenv("KOBAL_SCOPED_TEST"), nullptr);
}

// main() for test executables that need a QApplication (and so a display:
// they run under xvfb-run, or with QT_QPA_PLATFORM=offscreen where no X
// request is checked).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Without a display (test discovery, a plain terminal) the tests that ask
    // the X server skip themselves; the others run offscreen.
    const char* display = std::getenv("DISPLAY");
    if ((!display || !*display) && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The desktop's session bus must not count: a tray there changes how the
    // actors a test starts behave. A test that wants a bus starts its own.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kobal-test-no-bus", 1);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

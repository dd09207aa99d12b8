// main() for test executables that need a QApplication (and so a display:
// they run under xvfb-run, or with QT_QPA_PLATFORM=offscreen where no X
// request is checked).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

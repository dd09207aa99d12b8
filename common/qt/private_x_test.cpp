// The private X server the process tests start: it serves the screen asked
// for, names itself in DISPLAY only while it lives, and takes its helpers
// and itself along when it goes. Runs without a Qt application object, as
// the parity test does.
#include "common/qt/private_x.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <cerrno>

using kobal::qt::testing::PrivateX;

namespace {

QString Output(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(20000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

bool Gone(qint64 pid) {
    return pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

class PrivateXTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!PrivateX::Installed("Xvfb") || !PrivateX::Installed("xdpyinfo"))
            GTEST_SKIP() << "Xvfb and xdpyinfo are needed";
    }
};

TEST_F(PrivateXTest, ServesTheScreenAskedForAndPutsTheEnvironmentBack) {
    qputenv("DISPLAY", ":4242");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qint64 server = 0;
    {
        PrivateX x({"-screen", "0", "1234x567x24"});
        ASSERT_TRUE(x.running());
        server = x.serverPid();
        EXPECT_TRUE(x.display().startsWith(':'));
        EXPECT_NE(x.display(), ":4242");
        EXPECT_EQ(qgetenv("DISPLAY"), x.display().toLatin1());
        EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
        EXPECT_TRUE(Output("xdpyinfo", {}).contains("1234x567 pixels"));
    }
    EXPECT_EQ(qgetenv("DISPLAY"), ":4242");
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "offscreen");
    EXPECT_TRUE(Gone(server));

    // Variables that were not set stay unset.
    qunsetenv("DISPLAY");
    qunsetenv("QT_QPA_PLATFORM");
    {
        PrivateX x({"-screen", "0", "640x480x24"});
        ASSERT_TRUE(x.running());
    }
    EXPECT_FALSE(qEnvironmentVariableIsSet("DISPLAY"));
    EXPECT_FALSE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
}

TEST_F(PrivateXTest, HelpersEndWithTheServer) {
    qint64 helper = 0;
    {
        PrivateX x({"-screen", "0", "640x480x24"});
        ASSERT_TRUE(x.running());
        QProcess& p = x.Helper("sleep", {"600"});
        ASSERT_EQ(p.state(), QProcess::Running);
        helper = p.processId();
    }
    EXPECT_TRUE(Gone(helper));
}

TEST_F(PrivateXTest, TwoServersAtOnceGetDisplaysOfTheirOwn) {
    PrivateX a({"-screen", "0", "640x480x24"});
    PrivateX b({"-screen", "0", "800x600x24"});
    ASSERT_TRUE(a.running());
    ASSERT_TRUE(b.running());
    EXPECT_NE(a.display(), b.display());
    EXPECT_TRUE(Output("xdpyinfo", {"-display", a.display()}).contains("640x480 pixels"));
}

TEST(PrivateXInstalled, TellsWhatThePathHolds) {
    EXPECT_TRUE(PrivateX::Installed("sh"));
    EXPECT_FALSE(PrivateX::Installed("kobal-no-such-program"));
}

TEST(PrivateXFailure, AServerThatCannotStartLeavesTheEnvironmentAlone) {
    // An argument Xvfb refuses: it ends without naming a display.
    if (!PrivateX::Installed("Xvfb")) GTEST_SKIP() << "Xvfb is needed";
    qputenv("DISPLAY", ":4243");
    {
        PrivateX x({"-no-such-option"});
        EXPECT_FALSE(x.running());
        EXPECT_TRUE(x.display().isEmpty());
        EXPECT_EQ(qgetenv("DISPLAY"), ":4243");
    }
    EXPECT_EQ(qgetenv("DISPLAY"), ":4243");
}

}  // namespace

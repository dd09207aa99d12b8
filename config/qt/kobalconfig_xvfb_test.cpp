// The kobalconfig program itself on an X server: the "!" command and the
// window opened by an empty command line, driven with xdotool.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>
#include <fstream>
#include <sstream>

#include "common/test_files.h"

using kobal::TempDir;

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const QString kProgram = QString(KOBAL_STAGE_DIR) + "/resource/kobalconfig";

struct KobalconfigProgram : ::testing::Test {
    TempDir home;
    QProcess program;

    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb")
            GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home / "config"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(home / "data"));
        env.insert("KOBALTRON_NO_DIALOGS", "1");
        env.insert("QT_QPA_PLATFORM", "xcb");
        program.setProcessEnvironment(env);
    }
    void TearDown() override {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    QString StoredInstallPath() {
        QSettings s(QString::fromStdString(home / "config/kobaltron/Kobaltron.ini"),
                    QSettings::IniFormat);
        return s.value("Path/Application").toString();
    }

    // The window's id and size once the X server shows it.
    struct Window {
        QString id;
        int width = 0, height = 0;
    };
    Window WaitForWindow(const QString& title) {
        if (!program.waitForStarted(5000)) return {};
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && program.state() == QProcess::Running) {
            QProcess probe;
            probe.start("xwininfo", {"-name", title});
            probe.waitForFinished(5000);
            const QString out = QString::fromLocal8Bit(probe.readAllStandardOutput());
            const auto id = QRegularExpression("Window id: (0x[0-9a-f]+)").match(out);
            const auto w = QRegularExpression("Width: (\\d+)").match(out);
            const auto h = QRegularExpression("Height: (\\d+)").match(out);
            if (id.hasMatch() && w.hasMatch() && out.contains("IsViewable"))
                return {id.captured(1), w.captured(1).toInt(), h.captured(1).toInt()};
            QThread::msleep(100);
        }
        return {};
    }

    // Clicks the middle of a button placed at left, top, width, height twips.
    void Click(const Window& w, int left, int top, int width, int height) {
        const double twipsPerPixel = 7560.0 / w.width;
        const int x = static_cast<int>((left + width / 2.0) / twipsPerPixel);
        const int y = static_cast<int>((top + height / 2.0) / twipsPerPixel);
        QProcess::execute("xdotool", {"mousemove", "--window", w.id, QString::number(x),
                                      QString::number(y), "click", "1"});
    }

    // Runs a command line to its end; the text written to stderr.
    QString RunToEnd(const QStringList& args, int* status = nullptr) {
        program.start(kProgram, args);
        const int code = Finish();
        if (status) *status = code;
        return QString::fromLocal8Bit(program.readAllStandardError());
    }

    int Finish() {
        EXPECT_TRUE(program.waitForFinished(15000)) << "still running";
        return program.exitCode();
    }
};

}  // namespace

TEST_F(KobalconfigProgram, BangStoresTheInstallPathAndSaysSo) {
    program.start(kProgram, {"!/some/dir"});
    ASSERT_TRUE(program.waitForStarted(5000));
    EXPECT_EQ(Finish(), 0);
    EXPECT_EQ(StoredInstallPath(), "/some/dir");
    EXPECT_TRUE(QString::fromLocal8Bit(program.readAllStandardError())
                    .contains("Kobalconfig: Registry key added"));
}

TEST_F(KobalconfigProgram, ShellCommandsReachTheShellIntegration) {
    home.Write("product/resource/kobalactor", "");
    RunToEnd({"!" + QString::fromStdString(home / "product")});

    const QString install = RunToEnd({"INSTALL"});
    EXPECT_TRUE(install.contains(
        QRegularExpression("shortcuts have been added!.*\\n.*Associations have been made!")))
        << install.toStdString();
    EXPECT_TRUE(QFile::exists(
        QString::fromStdString(home / "data/applications/Kobaltron/Congigure Kobaltron.url")));

    int status = 0;
    EXPECT_TRUE(RunToEnd({"install"}, &status).contains("Kobalconfig: File not found"));
    EXPECT_NE(status, 0);

    const std::string actor =
        home.Write("bob.kact", "actorname=Bob\r\nactorpath=bob\\\r\niconfile=bob.ico\r\n[end]\r\n");
    EXPECT_TRUE(RunToEnd({"\"" + QString::fromStdString(actor) + "\""})
                    .contains("Bob has been added to the start menu!"));
}

TEST_F(KobalconfigProgram, EmptyCommandLineOpensTheWindowWhichSavesOnOk) {
    home.Write("product/resource/kobalactor", "");
    const std::string settings =
        home.Write("product/resource/config.kcfg", "priorityup=150\r\n[end]\r\n");
    program.start(kProgram, {"!" + QString::fromStdString(home / "product")});
    ASSERT_TRUE(program.waitForFinished(15000));

    // "Cancel" (answered OK when unattended) ends without saving.
    program.start(kProgram, {});
    Window w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty()) << program.readAllStandardError().toStdString();
    EXPECT_EQ(w.width * 3420, w.height * 7560);
    Click(w, 960, 3000, 855, 375);
    EXPECT_EQ(Finish(), 0);
    EXPECT_TRUE(
        QString::fromLocal8Bit(program.readAllStandardError()).contains("?: Exit without saving?"));
    EXPECT_EQ(ReadBytes(settings), "priorityup=150\r\n[end]\r\n");

    // The window restored the file; "OK" writes it whole.
    program.start(kProgram, {});
    w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty());
    Click(w, 0, 3000, 855, 375);
    EXPECT_EQ(Finish(), 0);
    EXPECT_EQ(ReadBytes(settings),
              "priorityup =150\r\nspeedup=0\r\naudioon= 0 \r\nshowsplash= 0 \r\nboredtime=0\r\n"
              "sleeptime=0\r\nhibernatetime=0\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
              "overrideactor= 0 \r\nhidefullscreen= 0 \r\n[end]\r\n");
}

TEST_F(KobalconfigProgram, TheLoginChoiceWritesAndRemovesTheAutostartEntry) {
    home.Write("product/resource/kobalactor", "");
    home.Write("product/resource/kobaltron", "");
    home.Write("product/resource/config.kcfg", "[end]\r\n");
    const std::string playlist = home.Write("my actors/list.kpls", "bob.kact\r\n");
    RunToEnd({"!" + QString::fromStdString(home / "product")});
    const QString entry = QString::fromStdString(home / "config/autostart/kobaltron-actors.desktop");

    program.start(kProgram, {});
    const Window w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty()) << program.readAllStandardError().toStdString();
    // The check box sits in the advanced group (3840 twips from the left).
    Click(w, 3840 + 120, 2460, 1500, 255);
    const Window dialog = WaitForWindow("Start these actors when I log in");
    ASSERT_FALSE(dialog.id.isEmpty());
    QProcess::execute("xdotool", {"windowfocus", "--sync", dialog.id});
    QProcess::execute("xdotool", {"type", "--delay", "20", QString::fromStdString(playlist)});
    QProcess::execute("xdotool", {"key", "Return"});

    QDeadlineTimer deadline(15000);
    while (!QFile::exists(entry) && !deadline.hasExpired()) QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(entry));
    const std::string text = ReadBytes(entry.toStdString());
    EXPECT_NE(text.find("Exec=" + home / "product/resource/kobaltron" + " \"" + playlist + "\"\n"),
              std::string::npos)
        << text;
    QProcess validate;
    validate.start("desktop-file-validate", {entry});
    ASSERT_TRUE(validate.waitForFinished(15000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    EXPECT_EQ(validate.readAllStandardOutput().trimmed().toStdString(), "");

    // Unchecking takes the entry away again.
    Click(w, 3840 + 120, 2460, 1500, 255);
    deadline.setRemainingTime(15000);
    while (QFile::exists(entry) && !deadline.hasExpired()) QThread::msleep(100);
    EXPECT_FALSE(QFile::exists(entry));
    Click(w, 960, 3000, 855, 375);
    EXPECT_EQ(Finish(), 0);
}

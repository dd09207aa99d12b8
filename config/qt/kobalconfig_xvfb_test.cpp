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
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", QString::fromStdString(home.path()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(home / "config"));
        env.insert("XDG_DATA_HOME", QString::fromStdString(home / "data"));
        // Nothing installed system-wide (file types, menus, a session bus) counts.
        env.insert("XDG_DATA_DIRS", QString::fromStdString(home / "system/data"));
        env.insert("XDG_CONFIG_DIRS", QString::fromStdString(home / "system/config"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromStdString("unix:path=" + home / "no-bus"));
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
        QSettings s(QString::fromStdString(home / "config/kobaltron/Kobaltron.ini"), QSettings::IniFormat);
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

    // True once no window of that name is shown.
    bool WaitGone(const QString& title) {
        QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired()) {
            QProcess probe;
            probe.start("xwininfo", {"-name", title});
            probe.waitForFinished(5000);
            if (!QString::fromLocal8Bit(probe.readAllStandardOutput()).contains("IsViewable")) return true;
            QThread::msleep(100);
        }
        return false;
    }

    // Types keys into the window (Return presses "OK", Escape "Cancel").
    void Keys(const Window& w, const QStringList& keys) {
        QProcess::execute("xdotool", {"windowfocus", "--sync", w.id});
        QProcess::execute("xdotool", QStringList{"key", "--delay", "30"} + keys);
    }

    // From the first text box to the login choice.
    static QStringList TabsToLoginChoice() { return QStringList(13, "Tab"); }

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
    EXPECT_TRUE(QString::fromLocal8Bit(program.readAllStandardError()).contains("Kobalconfig: Registry key added"));
}

TEST_F(KobalconfigProgram, ShellCommandsReachTheShellIntegration) {
    home.Write("product/resource/kobalactor", "");
    RunToEnd({"!" + QString::fromStdString(home / "product")});

    const QString install = RunToEnd({"INSTALL"});
    EXPECT_TRUE(install.contains(QRegularExpression("shortcuts have been added!.*\\n.*Associations have been made!")))
        << install.toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(home / "data/applications/Kobaltron/Congigure Kobaltron.url")));

    int status = 0;
    EXPECT_TRUE(RunToEnd({"install"}, &status).contains("Kobalconfig: File not found"));
    EXPECT_NE(status, 0);

    const std::string actor =
        home.Write("bob.kact", "actorname=Bob\r\nactorpath=bob\\\r\niconfile=bob.ico\r\n[end]\r\n");
    EXPECT_TRUE(
        RunToEnd({"\"" + QString::fromStdString(actor) + "\""}).contains("Bob has been added to the start menu!"));
}

TEST_F(KobalconfigProgram, EmptyCommandLineOpensTheWindowWhichSavesOnOk) {
    home.Write("product/resource/kobalactor", "");
    const std::string settings = home.Write("product/resource/config.kcfg", "priorityup=150\r\n[end]\r\n");
    program.start(kProgram, {"!" + QString::fromStdString(home / "product")});
    ASSERT_TRUE(program.waitForFinished(15000));

    // "Cancel" (answered OK when unattended) ends without saving.
    program.start(kProgram, {});
    Window w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty()) << program.readAllStandardError().toStdString();
    // The designed 7560 x 3660 twips are the least.
    EXPECT_GE(w.width, 504);
    EXPECT_GE(w.height, 244);
    // The product icon, for the task bar and the window list.
    QProcess icon;
    icon.start("xprop", {"-id", w.id, "_NET_WM_ICON"});
    ASSERT_TRUE(icon.waitForFinished(15000));
    EXPECT_TRUE(QString::fromLocal8Bit(icon.readAllStandardOutput()).contains("Icon (32 x 32)"));
    Keys(w, {"Escape"});
    EXPECT_EQ(Finish(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(program.readAllStandardError()).contains("?: Exit without saving?"));
    EXPECT_EQ(ReadBytes(settings), "priorityup=150\r\n[end]\r\n");

    // The window restored the file; "OK" writes it whole.
    program.start(kProgram, {});
    w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty());
    Keys(w, {"Return"});
    EXPECT_EQ(Finish(), 0);
    EXPECT_EQ(ReadBytes(settings),
              "priorityup =150\r\nspeedup=0\r\naudioon= 0 \r\nshowsplash= 0 \r\nboredtime=0\r\n"
              "sleeptime=0\r\nhibernatetime=0\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
              "overrideactor= 0 \r\nhidefullscreen= 0 \r\nwindowfloors= 0 \r\n[end]\r\n");
}

TEST_F(KobalconfigProgram, TheLoginChoiceIsReachedByTabAndSavedByOk) {
    home.Write("product/resource/kobalactor", "");
    home.Write("product/resource/kobaltron", "");
    home.Write("product/resource/config.kcfg", "[end]\r\n");
    const std::string playlist = home.Write("my actors/list.kpls", "bob.kact\r\n");
    RunToEnd({"!" + QString::fromStdString(home / "product")});
    const QString entry = QString::fromStdString(home / "config/autostart/kobaltron-actors.desktop");

    program.start(kProgram, {});
    Window w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty()) << program.readAllStandardError().toStdString();
    Keys(w, TabsToLoginChoice() << "space");
    const Window dialog = WaitForWindow("Start these actors when I log in");
    ASSERT_FALSE(dialog.id.isEmpty());
    QProcess::execute("xdotool", {"windowfocus", "--sync", dialog.id});
    QProcess::execute("xdotool", {"type", "--delay", "20", QString::fromStdString(playlist)});
    QProcess::execute("xdotool", {"key", "Return"});
    // The choice waits for "OK".
    ASSERT_TRUE(WaitGone("Start these actors when I log in"));
    EXPECT_FALSE(QFile::exists(entry));
    Keys(w, {"Return"});
    EXPECT_EQ(Finish(), 0);
    ASSERT_TRUE(QFile::exists(entry)) << program.readAllStandardError().toStdString();
    const std::string text = ReadBytes(entry.toStdString());
    EXPECT_NE(text.find("Exec=" + home / "product/resource/kobaltron" + " \"" + playlist + "\"\n"), std::string::npos)
        << text;
    QProcess validate;
    validate.start("desktop-file-validate", {entry});
    ASSERT_TRUE(validate.waitForFinished(15000));
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();
    EXPECT_EQ(validate.readAllStandardOutput().trimmed().toStdString(), "");

    // Unticked, then Escape ("Exit without saving?" answered OK): the entry stays.
    program.start(kProgram, {});
    w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty());
    Keys(w, TabsToLoginChoice() << "space"
                                << "Escape");
    EXPECT_EQ(Finish(), 0);
    EXPECT_TRUE(QFile::exists(entry));

    // Unticked, then Return: "OK" takes the entry away.
    program.start(kProgram, {});
    w = WaitForWindow("Kobaltron Configuration");
    ASSERT_FALSE(w.id.isEmpty());
    Keys(w, TabsToLoginChoice() << "space"
                                << "Return");
    EXPECT_EQ(Finish(), 0);
    EXPECT_FALSE(QFile::exists(entry));
}

// The real actor program on a real X server (run under xvfb-run): window
// size, place and shape, mouse handling, the menu without a tray, and the
// way bad input ends the program.
#include <QColor>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include "common/qt/x11_probe.h"
#include "common/test_files.h"

using kobal::TempDir;

namespace {

const QString kActor = QStringLiteral(KOBAL_STAGE_DIR "/resource/kobalactor");

QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
};

Geometry WindowGeometry(const QString& id) {
    const QString info = RunTool("xwininfo", {"-id", id});
    Geometry g;
    auto number = [&](const char* label) {
        const auto m = QRegularExpression(QString(label) + ":\\s+(-?\\d+)").match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    g.x = number("Absolute upper-left X");
    g.y = number("Absolute upper-left Y");
    g.width = number("Width");
    g.height = number("Height");
    return g;
}

QColor PixelAt(int x, int y) {
    const QString file = QDir::tempPath() + "/kobal-pixel.png";
    RunTool("import", {"-window", "root", "-crop", QString("1x1+%1+%2").arg(x).arg(y), file});
    return QImage(file).pixelColor(0, 0);
}

void Wait(int ms) { QThread::msleep(ms); }

// A picture of 40x30: key magenta around a block of the given colour.
void WritePicture(const std::string& path, QColor block) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter(&image).fillRect(10, 5, 20, 20, block);
    image.save(QString::fromStdString(path), "BMP");
}

// An install directory with its settings and a test actor whose state list
// keeps it standing (play once, again and again) unless told to wander.
class ActorProcess : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActor)) GTEST_SKIP() << "kobalactor is not built";
        dir.Write("install/resource/kobalactor", "");
        dir.Write("install/resource/config.kcfg",
                  "priorityup =100\r\nspeedup=100\r\naudioon= 0 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
                  "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
                  "overrideactor= 0 \r\n[end]\r\n");
        dir.Write("config/kobaltron/Kobaltron.ini", "[Path]\nApplication=" + dir.path() + "/install\n");
        WritePicture(dir / "actor/red.bmp", Qt::red);
        WritePicture(dir / "actor/blue.bmp", Qt::blue);
        WritePicture(dir / "actor/icon.bmp", Qt::red);
        const std::string header = "timerspeed=40\r\nmovespeed=30\r\nactorwidth=40\r\nactorheight=30\r\n"
                                   "transparentred=255\r\ntransparentgreen=0\r\ntransparentblue=255\r\n[end]\r\n";
        dir.Write("actor/stand.kani", "framecount=1\r\nframepause=2\r\n" + header + "red.bmp\r\n");
        // The last frame of a pass shows for one tick only: the answer holds its
        // first frame.
        dir.Write("actor/answer.kani", "framecount=2\r\nframepause=40\r\n" + header + "blue.bmp\r\nblue.bmp\r\n");
        dir.Write("actor/stand.krnd", "1\r\n!04|1|stand.kani|\r\n");
        dir.Write("actor/wander.krnd", "1\r\n!01|1000|stand.kani|\r\n");
        dir.Write("actor/answer.krnd", "1\r\n!04|1|answer.kani|\r\n");
    }
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    std::string WriteActor(const std::string& name, const std::string& activefile) {
        return dir.Write(name, "actorname=TestActor\r\nactorpath=" + dir.path() + "/actor/\r\niconfile=icon.bmp\r\n"
                               "activefile=" + activefile + "\r\nresponsefile=answer.krnd\r\nboredfile=stand.krnd\r\n"
                               "sleepfile=stand.krnd\r\n[end]\r\n");
    }
    void Start(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir / "config"));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir / "run"));
        env.insert("KOBALTRON_NO_DIALOGS", "1");
        QDir().mkpath(QString::fromStdString(dir / "run"));
        QFile::setPermissions(QString::fromStdString(dir / "run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        process.setProcessEnvironment(env);
        process.start(kActor, args);
        ASSERT_TRUE(process.waitForStarted(5000));
    }
    // The actor's X window, once it is mapped.
    QString FindWindow() {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 8000) {
            const QString id = RunTool("xdotool", {"search", "--onlyvisible", "--name", "^TestActor$"});
            if (!id.isEmpty()) return id.split('\n').first();
            Wait(100);
        }
        return {};
    }
    int Finish(QString* err) {
        if (!process.waitForFinished(10000)) return -999;
        if (err) *err = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1000;
    }

    TempDir dir;
    QProcess process;
};

}  // namespace

TEST_F(ActorProcess, WindowTakesTheAnimationsSizeIsCentredShapedAndMoves) {
    Start({QString::fromStdString(WriteActor("wander.kact", "wander.krnd"))});
    const QString id = FindWindow();
    ASSERT_FALSE(id.isEmpty());
    Wait(300);
    const Geometry first = WindowGeometry(id);
    EXPECT_EQ(first.width, 40);
    EXPECT_EQ(first.height, 30);
    // Near the centre of the 1920x1080 screen after its first frames.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LT(std::abs(first.x + 20 - screen.width() / 2), 80);
    EXPECT_LT(std::abs(first.y + 15 - screen.height() / 2), 80);
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(id.toULong()), 1);
    QString shape;
    kobal::qt::testing::HasBoundingShape(id.toULong(), &shape);
    EXPECT_TRUE(shape.contains("extents:  20x20+10+5")) << shape.toStdString();
    Wait(700);
    const Geometry later = WindowGeometry(id);
    EXPECT_TRUE(later.x != first.x && later.y != first.y) << "the wandering actor did not move";
}

TEST_F(ActorProcess, RightDragMovesLeftClickAnswersAndRightClickMenuRemoves) {
    Start({QString::fromStdString(WriteActor("stand.kact", "stand.krnd"))});
    const QString id = FindWindow();
    ASSERT_FALSE(id.isEmpty());
    Wait(400);
    const Geometry before = WindowGeometry(id);
    const int cx = before.x + 20, cy = before.y + 15;
    EXPECT_EQ(PixelAt(cx, cy), QColor(Qt::red));

    RunTool("xdotool", {"mousemove", QString::number(cx), QString::number(cy), "mousedown", "3"});
    for (int step = 1; step <= 10; ++step) {
        RunTool("xdotool", {"mousemove", QString::number(cx + step * 12), QString::number(cy + step * 7)});
        Wait(20);
    }
    RunTool("xdotool", {"mouseup", "3"});
    Wait(300);
    const Geometry after = WindowGeometry(id);
    EXPECT_NEAR(after.x - before.x, 120, 2);
    EXPECT_NEAR(after.y - before.y, 70, 2);

    RunTool("xdotool", {"mousemove", QString::number(after.x + 20), QString::number(after.y + 15), "click", "1"});
    Wait(400);
    EXPECT_EQ(PixelAt(after.x + 20, after.y + 15), QColor(Qt::blue)) << "no response after a left click";

    // No tray here: a right click without motion opens the actor's menu;
    // "Remove" is its last item.
    RunTool("xdotool", {"click", "3"});
    Wait(500);
    RunTool("xdotool", {"key", "Up", "Return"});
    QString err;
    EXPECT_EQ(Finish(&err), 0) << err.toStdString();
}

TEST_F(ActorProcess, StartedByHandItRefusesWithItsMessage) {
    Start({});
    QString err;
    EXPECT_NE(Finish(&err), 0);
    EXPECT_TRUE(err.contains("!: This program is used by Kobaltron, Do not run it manually!")) << err.toStdString();
}

TEST_F(ActorProcess, BrokenActorEndsWithTheErrorNamingTheFile) {
    dir.Write("actor/ghost.kani", "framecount=1\r\nframepause=1\r\ntimerspeed=40\r\nactorwidth=40\r\nactorheight=30\r\n[end]\r\nghost.bmp\r\n");
    dir.Write("actor/ghost.krnd", "1\r\n!04|1|ghost.kani|\r\n");
    Start({QString::fromStdString(WriteActor("ghost.kact", "ghost.krnd"))});
    QString err;
    EXPECT_EQ(Finish(&err), 1);
    EXPECT_TRUE(err.contains("kobalactor: Run-time error '53': File not found: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("ghost.bmp")) << err.toStdString();

    dir.Write("actor/cut.kani", "framecount=1\r\nframepause=1\r\n");
    dir.Write("actor/cut.krnd", "1\r\n!04|1|cut.kani|\r\n");
    process.close();
    Start({QString::fromStdString(WriteActor("cut.kact", "cut.krnd"))});
    EXPECT_EQ(Finish(&err), 1);
    EXPECT_TRUE(err.contains("Input past end of file: ")) << err.toStdString();
    EXPECT_TRUE(err.contains("cut.kani, line 3")) << err.toStdString();
}

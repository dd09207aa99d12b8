#pragma once
// Runs the real kobalactor in a private install directory (its own
// settings, runtime directory and test actor) on the current X server.
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <memory>
#include <vector>

#include "common/test_files.h"

namespace kobal::actor::qt::testing {

inline const QString kActorProgram = QStringLiteral(KOBAL_STAGE_DIR "/resource/kobalactor");

inline QString RunTool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

inline void Wait(int ms) {
    QThread::msleep(ms);
}

// Waits for done() to come true, for up to limitMs: a loaded machine takes
// its time. True when it did.
template <typename Done>
bool Within(Done done, int limitMs = 30000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > limitMs) return false;
        Wait(50);
    }
    return true;
}

struct Geometry {
    int x = -1, y = -1, width = 0, height = 0;
};

inline Geometry WindowGeometry(const QString& id) {
    const QString info = RunTool("xwininfo", {"-id", id});
    auto number = [&](const char* label) {
        const auto m = QRegularExpression(QString(label) + ":\\s+(-?\\d+)").match(info);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"), number("Height")};
}

inline QColor PixelAt(int x, int y) {
    // A file of this test process's own: display tests run side by side,
    // and one's screen read must not be overwritten by another's.
    const QString file = QDir::tempPath() + QString("/kobal-pixel-%1.png").arg(QCoreApplication::applicationPid());
    QFile::remove(file);
    RunTool("import", {"-window", "root", "-crop", QString("1x1+%1+%2").arg(x).arg(y), file});
    const QColor colour = QImage(file).pixelColor(0, 0);
    QFile::remove(file);
    return colour;
}

// A picture of 40x30: key magenta around a block of the given colour.
inline void WritePicture(const std::string& path, QColor block) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath());
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(QColor(255, 0, 255));
    QPainter(&image).fillRect(10, 5, 20, 20, block);
    image.save(QString::fromStdString(path), "BMP");
}

class ActorInstall {
  public:
    ActorInstall() {
        dir.Write("install/resource/kobalactor", "");
        dir.Write("install/resource/config.kcfg",
                  "priorityup =100\r\nspeedup=100\r\naudioon= 0 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
                  "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
                  "overrideactor= 0 \r\n[end]\r\n");
        dir.Write("config/kobaltron/Kobaltron.ini", "[Path]\nApplication=" + dir.path() + "/install\n");
        for (auto [name, colour] :
             {std::pair{"red", QColor(Qt::red)}, {"blue", QColor(Qt::blue)}, {"icon", QColor(Qt::red)}})
            WritePicture(dir / ("actor/" + std::string(name) + ".bmp"), colour);
        const std::string header =
            "timerspeed=40\r\nmovespeed=30\r\nactorwidth=40\r\nactorheight=30\r\n"
            "transparentred=255\r\ntransparentgreen=0\r\ntransparentblue=255\r\n[end]\r\n";
        dir.Write("actor/stand.kani", "framecount=1\r\nframepause=2\r\n" + header + "red.bmp\r\n");
        // The last frame of a pass shows for one tick only: the answer holds its first frame.
        dir.Write("actor/answer.kani", "framecount=2\r\nframepause=40\r\n" + header + "blue.bmp\r\nblue.bmp\r\n");
        dir.Write("actor/stand.krnd", "1\r\n!04|1|stand.kani|\r\n");
        dir.Write("actor/wander.krnd", "1\r\n!01|1000|stand.kani|\r\n");
        dir.Write("actor/answer.krnd", "1\r\n!04|1|answer.kani|\r\n");
        QDir().mkpath(QString::fromStdString(dir / "run"));
        QFile::setPermissions(QString::fromStdString(dir / "run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    // Quick movers, 20 pixels a tick: left.kani and right.kani for walk.krnd,
    // fall.kani for fall.krnd, which comes down onto the floor below and
    // stands there. stand.kani stays as slow as the default. Returns their
    // header, for more animations as quick.
    std::string WriteQuickMovers() {
        const std::string header =
            "timerspeed=40\r\nmovespeed=300\r\nactorwidth=40\r\nactorheight=30\r\n"
            "transparentred=255\r\ntransparentgreen=0\r\ntransparentblue=255\r\n[end]\r\n";
        dir.Write("actor/left.kani", "framecount=1\r\nframepause=1\r\n" + header + "red.bmp\r\n");
        dir.Write("actor/right.kani", "framecount=1\r\nframepause=1\r\n" + header + "blue.bmp\r\n");
        dir.Write("actor/fall.kani", "framecount=1\r\nframepause=1\r\n" + header + "red.bmp\r\n");
        dir.Write("actor/walk.krnd", "1\r\n!02|5000|$left.kani,right.kani|\r\n");
        dir.Write("actor/fall.krnd", "1\r\n!03|5000|fall.kani|stand.krnd\r\n");
        return header;
    }
    // An actor named name playing list in every state; its window, or empty.
    QString StartActor(const std::string& name, const std::string& list) {
        Start({QString::fromStdString(WriteActor(name + ".kact", list, name))});
        return FindWindow(QString::fromStdString(name), 15000);
    }
    // What the actors said, for a failure.
    std::string Errors() {
        std::string out;
        for (auto& p : processes)
            out += QString::fromLocal8Bit(p->readAllStandardError()).toStdString() +
                   (p->state() == QProcess::NotRunning ? " (ended)\n" : " (running)\n");
        return out;
    }
    ~ActorInstall() {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }
    std::string WriteActor(const std::string& name, const std::string& activefile,
                           const std::string& actorname = "TestActor", const std::string& ddename = "",
                           const std::string& responsefile = "answer.krnd") {
        return dir.Write(
            name, "actorname=" + actorname + "\r\nactorddename=" + ddename + "\r\nactorpath=" + dir.path() +
                      "/actor/\r\niconfile=icon.bmp\r\nactivefile=" + activefile + "\r\nresponsefile=" + responsefile +
                      "\r\nboredfile=stand.krnd\r\nsleepfile=stand.krnd\r\n[end]\r\n");
    }
    QProcess& Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(dir / "config"));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir / "run"));
        env.insert("KOBALTRON_NO_DIALOGS", "1");
        env.insert(extraEnv);
        p->setProcessEnvironment(env);
        p->start(kActorProgram, args);
        p->waitForStarted(5000);
        processes.push_back(std::move(p));
        return *processes.back();
    }
    // The actor's X window once it is mapped, by its caption.
    static QString FindWindow(const QString& caption, int timeoutMs = 8000) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            const QString id = RunTool("xdotool", {"search", "--onlyvisible", "--name", "^" + caption + "$"});
            if (!id.isEmpty()) return id.split('\n').first();
            Wait(100);
        }
        return {};
    }
    // Exit status, -1000 for a death by signal, -999 when still running.
    static int Finish(QProcess& p, QString* err = nullptr, int timeoutMs = 10000) {
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(timeoutMs)) return -999;
        if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1000;
    }
    // Raised first: actors start in the same place, one above the other.
    static void ClickCentre(const QString& windowId, int button) {
        RunTool("xdotool", {"windowraise", windowId});
        Wait(100);
        const Geometry g = WindowGeometry(windowId);
        RunTool("xdotool", {"mousemove", QString::number(g.x + g.width / 2), QString::number(g.y + g.height / 2),
                            "click", QString::number(button)});
    }

    TempDir dir;
    std::vector<std::unique_ptr<QProcess>> processes;
    QProcessEnvironment extraEnv;  // for the actors started next
};

}  // namespace kobal::actor::qt::testing

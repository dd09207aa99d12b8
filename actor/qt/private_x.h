#pragma once
// An X server of the test's own (Xvfb), for layouts, resources and window
// managers that must not touch the display other tests share. While it
// runs, DISPLAY names it, so every program the test starts uses it.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <cstdlib>
#include <memory>
#include <vector>

namespace kobal::actor::qt::testing {

class PrivateX {
  public:
    // Xvfb's own arguments after the display, e.g. {"-screen", "0", "3200x1080x24"}.
    explicit PrivateX(const QStringList& serverArgs) {
        oldDisplay_ = qgetenv("DISPLAY");
        hadDisplay_ = qEnvironmentVariableIsSet("DISPLAY");
        QStringList args{"-displayfd", "1", "-nolisten", "tcp", "-noreset"};
        server_.setProgram("Xvfb");
        server_.setArguments(args + serverArgs);
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start();
        if (!server_.waitForStarted(5000)) return;
        QByteArray number;
        for (int i = 0; i < 100 && !number.endsWith('\n'); ++i) {
            server_.waitForReadyRead(100);
            number += server_.readAllStandardOutput();
        }
        number = number.trimmed();
        if (number.isEmpty()) return;
        display_ = ":" + QString::fromLatin1(number);
        qputenv("DISPLAY", display_.toLatin1());
        // A test run without a display is offscreen itself; its programs are not.
        oldPlatform_ = qgetenv("QT_QPA_PLATFORM");
        qunsetenv("QT_QPA_PLATFORM");
    }
    ~PrivateX() {
        for (auto& p : helpers_) Stop(*p);
        Stop(server_);
        if (hadDisplay_) qputenv("DISPLAY", oldDisplay_);
        else qunsetenv("DISPLAY");
        if (!oldPlatform_.isEmpty()) qputenv("QT_QPA_PLATFORM", oldPlatform_);
    }
    PrivateX(const PrivateX&) = delete;
    PrivateX& operator=(const PrivateX&) = delete;

    bool running() const { return !display_.isEmpty(); }
    const QString& display() const { return display_; }

    // A program that lives as long as the server (a window manager, a tray).
    QProcess& Helper(const QString& program, const QStringList& args) {
        helpers_.push_back(std::make_unique<QProcess>());
        QProcess& p = *helpers_.back();
        p.setProgram(program);
        p.setArguments(args);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start();
        p.waitForStarted(5000);
        return p;
    }

    static bool Installed(const QString& program) {
        QProcess p;
        p.start("sh", {"-c", "command -v " + program});
        p.waitForFinished(3000);
        return p.exitCode() == 0;
    }

  private:
    static void Stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
    QProcess server_;
    std::vector<std::unique_ptr<QProcess>> helpers_;
    QString display_;
    QByteArray oldDisplay_, oldPlatform_;
    bool hadDisplay_ = false;
};

}  // namespace kobal::actor::qt::testing

#pragma once
// An X server of the test's own (Xvfb), for screens, layouts, window managers
// and trays that must not touch the display other tests share. While it runs,
// DISPLAY names it, so every program the test starts uses it. Needs no Qt
// application object: the waits below do not go through an event loop.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace kobal::qt::testing {

class PrivateX {
  public:
    // Xvfb's own arguments after the display, e.g. {"-screen", "0", "3200x1080x24"}.
    explicit PrivateX(const QStringList& serverArgs) {
        hadDisplay_ = qEnvironmentVariableIsSet("DISPLAY");
        oldDisplay_ = qgetenv("DISPLAY");
        hadPlatform_ = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
        oldPlatform_ = qgetenv("QT_QPA_PLATFORM");
        server_.setProgram("Xvfb");
        server_.setArguments(QStringList{"-displayfd", "1", "-nolisten", "tcp", "-noreset"} + serverArgs);
        server_.setStandardErrorFile(QProcess::nullDevice());
        server_.start();
        if (!server_.waitForStarted(kStartMs)) return;
        // The server names its display once it listens; a loaded machine takes a while.
        QDeadlineTimer deadline(kStartMs);
        QByteArray number;
        while (!number.contains('\n') && !deadline.hasExpired() && server_.state() == QProcess::Running) {
            server_.waitForReadyRead(200);
            number += server_.readAllStandardOutput();
        }
        const qsizetype end = number.indexOf('\n');
        if (end <= 0) return;
        display_ = ":" + QString::fromLatin1(number.left(end).trimmed());
        qputenv("DISPLAY", display_.toLatin1());
        // A test run without a display is offscreen itself; its programs are not.
        qunsetenv("QT_QPA_PLATFORM");
    }
    ~PrivateX() {
        for (auto& p : helpers_) Stop(*p);
        Stop(server_);
        Restore("DISPLAY", hadDisplay_, oldDisplay_);
        Restore("QT_QPA_PLATFORM", hadPlatform_, oldPlatform_);
    }
    PrivateX(const PrivateX&) = delete;
    PrivateX& operator=(const PrivateX&) = delete;

    bool running() const { return !display_.isEmpty(); }
    // ":N", or empty when the server did not come up.
    const QString& display() const { return display_; }
    qint64 serverPid() const { return server_.processId(); }

    // A program that lives as long as the server (a window manager, a tray).
    QProcess& Helper(const QString& program, const QStringList& args) {
        helpers_.push_back(std::make_unique<QProcess>());
        QProcess& p = *helpers_.back();
        p.setProgram(program);
        p.setArguments(args);
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start();
        p.waitForStarted(kStartMs);
        return p;
    }

    static bool Installed(const QString& program) {
        QProcess p;
        p.start("sh", {"-c", "command -v " + program});
        return p.waitForFinished(kStartMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

  private:
    static constexpr int kStartMs = 20000;

    static void Stop(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        p.terminate();
        if (!p.waitForFinished(3000)) {
            p.kill();
            p.waitForFinished(2000);
        }
    }
    static void Restore(const char* name, bool wasSet, const QByteArray& value) {
        if (wasSet) qputenv(name, value);
        else qunsetenv(name);
    }

    QProcess server_;
    std::vector<std::unique_ptr<QProcess>> helpers_;
    QString display_;
    QByteArray oldDisplay_, oldPlatform_;
    bool hadDisplay_ = false, hadPlatform_ = false;
};

}  // namespace kobal::qt::testing

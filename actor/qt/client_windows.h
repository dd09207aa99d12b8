#pragma once
// Other programs' windows for the window-floor tests: xmessage windows under
// the test's own openbox, their frames as openbox draws them, and a private
// home so that neither reads anything of the user's.
#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "actor/qt/process_harness.h"
#include "common/test_files.h"

namespace kobal::actor::qt::testing {

// HOME and the user's XDG places in a directory of the test's own while it
// lives; the system's (openbox's own configuration and theme) stay.
class PrivateHome {
  public:
    PrivateHome() {
        auto set = [this](const char* name, const QByteArray& value) {
            saved_.emplace_back(name, qgetenv(name));
            qputenv(name, value);
        };
        set("HOME", QByteArray::fromStdString(dir_.path()));
        set("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_ / "config"));
        set("XDG_DATA_HOME", QByteArray::fromStdString(dir_ / "data"));
        set("XDG_CACHE_HOME", QByteArray::fromStdString(dir_ / "cache"));
        set("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir_.path()));
        set("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    }
    ~PrivateHome() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull()) qunsetenv(name);
            else qputenv(name, value);
        }
    }
    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

  private:
    kobal::TempDir dir_;
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

// A window's frame in pixels, title bar included: the client's place
// widened by the extents the window manager publishes.
struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    int right() const { return left + width; }
};

inline Frame FrameOf(const QString& id) {
    const Geometry g = WindowGeometry(id);
    const auto m = QRegularExpression(R"(= (\d+), (\d+), (\d+), (\d+))")
                       .match(RunTool("xprop", {"-id", id, "_NET_FRAME_EXTENTS"}));
    if (!m.hasMatch()) return {g.x, g.y, g.width, g.height};
    const int l = m.captured(1).toInt(), r = m.captured(2).toInt(), t = m.captured(3).toInt(),
              b = m.captured(4).toInt();
    return {g.x - l, g.y - t, g.width + l + r, g.height + t + b};
}

class ClientWindows {
  public:
    ~ClientWindows() {
        for (auto& p : processes_) Close(*p);
    }
    // An xmessage window with that title; geometry as X takes it
    // ("+X+Y", "WxH+X+Y"). Its client window's id once framed, or empty.
    QString Open(const QString& title, const QString& geometry, const QStringList& more = {}) {
        processes_.push_back(std::make_unique<QProcess>());
        processes_.back()->start("xmessage", more + QStringList{"-title", title, "-geometry", geometry, title});
        QString id;
        Within([&] {
            id = RunTool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}).section('\n', 0, 0);
            return !id.isEmpty() && FrameOf(id).top != WindowGeometry(id).y;
        });
        ids_.push_back(id);
        return id;
    }
    // Ends the program that showed the window.
    void Close(const QString& id) {
        for (size_t i = 0; i < ids_.size(); ++i)
            if (ids_[i] == id) Close(*processes_[i]);
    }

  private:
    static void Close(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        p.kill();
        p.waitForFinished(3000);
    }
    std::vector<std::unique_ptr<QProcess>> processes_;
    std::vector<QString> ids_;
};

}  // namespace kobal::actor::qt::testing

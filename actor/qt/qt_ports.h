#pragma once
// Thin Qt implementations of the actor's ports.
#include <QAction>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

class QScreen;
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "actor/ports.h"
#include "actor/qt/work_area.h"

namespace kobal::actor::qt {

// An interval of 0 keeps the timer from ticking, as the classic control did.
class QtTimer : public TimerPort {
  public:
    explicit QtTimer(std::function<void()> tick);
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }

  private:
    void Apply();
    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
};

// The monitors in twips, each only what panels and docks leave free of it,
// kept from Qt's screens and the window manager's work areas and refreshed
// when either changes, so that the behaviours' steps ask nothing.
class QtScreen : public ScreenPort {
  public:
    QtScreen();
    ~QtScreen() override;
    double Width() override;
    double Height() override;
    double TwipsPerPixelX() override;
    double TwipsPerPixelY() override;
    int MonitorCount() override { return static_cast<int>(monitors_.size()); }
    ScreenRect Monitor(int i) override { return monitors_[static_cast<size_t>(i)]; }
    // Twips per pixel of the X server, across and down.
    std::pair<double, double> TwipsPerDevicePixel() { return {TwipsPerPixelX() / scale_, TwipsPerPixelY() / scale_}; }

    // After the monitors have changed.
    std::function<void()> onChanged;
    // Reads the docks' room again after a time of not hearing of it.
    void CatchUp() {
        if (workAreas_ && workAreas_->Read()) Changed(false);
    }

  private:
    void Refresh();
    void Watch(QScreen* screen);
    // monitors: the monitors changed, so the docks' struts are read again
    // (a change the window manager reports comes with them read).
    void Changed(bool monitors);
    std::vector<ScreenRect> monitors_;
    double scale_ = 0;                          // that of start-up
    std::unique_ptr<WorkAreaWatch> workAreas_;  // on X only
    QObject watcher_;                           // owns the connections
};

// The tray icon and the popup menu `taskpopup`.
class TrayAndMenu : public TrayPort, public MenuPort {
  public:
    struct Handlers {
        std::function<void()> pActivated, pBored, psleep, phyber, Paudioon, paudiooff, pclickthrough, Helpme, about,
            Remove;
        std::function<void()> doubleClick, contextMenu;
    };
    explicit TrayAndMenu(Handlers handlers);
    ~TrayAndMenu() override;

    void Add(const std::string& iconPath, const std::string& tip) override;
    void Remove() override;
    void SetChecked(MenuItem item, bool checked) override;
    void Popup() override;

    bool trayAvailable() const;

  private:
    void MakeMenu();
    // Made on the first popup: an actor that is never asked for its menu
    // does not carry the menu's widgets. The check marks are kept here.
    std::unique_ptr<QMenu> taskpopup_;
    std::map<MenuItem, QAction*> items_;
    std::map<MenuItem, bool> checked_;
    bool frontOnMenu_ = false;
    std::unique_ptr<QSystemTrayIcon> icon_;
    Handlers handlers_;
};

// One player, made on the first sound so that a silent actor never pays
// for the audio stack: it lives in the module kobalactor_sound beside the
// program, loaded then. A new sound cuts off the one playing; without the
// module the actor stays silent.
class QtSound : public SoundPort {
  public:
    ~QtSound() override;
    void Play(const std::string& path) override;

  private:
    std::unique_ptr<SoundPort> player_;
    bool loaded_ = false;
};

class QtDesktop : public DesktopPort {
  public:
    void OpenDocument(const std::string& path) override;
};

}  // namespace kobal::actor::qt

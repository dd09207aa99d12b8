#include "actor/qt/qt_ports.h"

#include <dlfcn.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QUrl>
#include <cstdio>

#include "actor/qt/desktop_map.h"
#include "common/paths.h"
#include "common/qt/qt_support.h"

namespace kobal::actor::qt {

using kobal::qt::Q;

QtTimer::QtTimer(std::function<void()> tick) {
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
}

void QtTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    Apply();
}

void QtTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Apply();
}

void QtTimer::Apply() {
    if (!enabled_ || interval_ <= 0) {
        timer_.stop();
        return;
    }
    if (timer_.isActive() && timer_.interval() == interval_) return;
    timer_.start(interval_);
}

QtScreen::QtScreen() {
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        workAreas_ = std::make_unique<WorkAreaWatch>([this] { Changed(false); });
    Refresh();
    for (QScreen* s : QGuiApplication::screens()) Watch(s);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, &watcher_, [this](QScreen* s) {
        Watch(s);
        Changed(true);
    });
    // Qt still lists the screen being removed: look again once it has gone.
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &watcher_,
                     [this](QScreen*) { QTimer::singleShot(0, &watcher_, [this] { Changed(true); }); });
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &watcher_, [this] { Changed(true); });
}

QtScreen::~QtScreen() = default;

void QtScreen::Watch(QScreen* screen) {
    QObject::connect(screen, &QScreen::geometryChanged, &watcher_, [this] { Changed(true); });
}

void QtScreen::Changed(bool monitors) {
    if (monitors && workAreas_) workAreas_->Read();
    Refresh();
    if (onChanged) onChanged();
}

void QtScreen::Refresh() {
    DesktopMap map = DesktopMap::Current();
    if (scale_ == 0) scale_ = map.scale();
    map.KeepScale(scale_);
    std::vector<QRect> device;
    for (const ScreenShape& s : map.screens()) device.push_back(s.Device());
    if (workAreas_) device = workAreas_->Apply(device);
    const double tx = TwipsPerPixelX() / scale_, ty = TwipsPerPixelY() / scale_;
    monitors_.clear();
    for (const QRect& r : device) monitors_.push_back({r.x() * tx, r.y() * ty, r.width() * tx, r.height() * ty});
}

double QtScreen::Width() {
    return monitors_.front().width;
}
double QtScreen::Height() {
    return monitors_.front().height;
}
double QtScreen::TwipsPerPixelX() {
    return kobal::qt::TwipsPerPixelX();
}
double QtScreen::TwipsPerPixelY() {
    return kobal::qt::TwipsPerPixelY();
}

TrayAndMenu::TrayAndMenu(Handlers handlers) : handlers_(std::move(handlers)) {}

void TrayAndMenu::MakeMenu() {
    taskpopup_ = std::make_unique<QMenu>("popup");
    auto item = [](QMenu* menu, const char* caption, const std::function<void()>& handler) {
        QAction* a = menu->addAction(caption);
        QObject::connect(a, &QAction::triggered, [handler] {
            if (handler) handler();
        });
        return a;
    };
    QMenu* processpri = taskpopup_->addMenu("Priority");
    items_[MenuItem::pActivated] = item(processpri, "1:Activated", handlers_.pActivated);
    items_[MenuItem::pBored] = item(processpri, "2:Bored", handlers_.pBored);
    items_[MenuItem::psleep] = item(processpri, "3:Sleep", handlers_.psleep);
    items_[MenuItem::phyber] = item(processpri, "4:Hibernate", handlers_.phyber);
    QMenu* paudio = taskpopup_->addMenu("Audio");
    items_[MenuItem::Paudioon] = item(paudio, "On", handlers_.Paudioon);
    items_[MenuItem::paudiooff] = item(paudio, "Off", handlers_.paudiooff);
    items_[MenuItem::pclickthrough] = item(taskpopup_.get(), "Click through", handlers_.pclickthrough);
    for (auto& [id, action] : items_) {
        action->setCheckable(true);
        action->setChecked(checked_[id]);
    }
    item(taskpopup_.get(), "Help", handlers_.Helpme);
    item(taskpopup_.get(), "About", handlers_.about);
    item(taskpopup_.get(), "Remove", handlers_.Remove);
}

TrayAndMenu::~TrayAndMenu() = default;

bool TrayAndMenu::trayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// Qt's own test for putting the icon on D-Bus rather than in an XEmbed tray.
static bool StatusNotifierHostPresent() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!bus.interface()->isServiceRegistered(watcher)) return false;
    QDBusInterface props(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return props.property("IsStatusNotifierHostRegistered").toBool();
}

void TrayAndMenu::Add(const std::string& iconPath, const std::string& tip) {
    if (!trayAvailable()) return;
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon(kobal::qt::LoadPicture(iconPath)));
    // The tip holds at most 63 characters and its terminating zero.
    icon_->setToolTip(Q(tip.substr(0, 63)));
    // A StatusNotifierItem host draws the menu itself from the one we
    // export over D-Bus (a Wayland panel could not show ours), and it knows
    // no double-click: its activation (a left click) brings the actor to the
    // front, and so does opening the menu, as a right click on the icon does.
    const bool sni = StatusNotifierHostPresent();
    if (sni) {
        if (!taskpopup_) MakeMenu();
        if (!frontOnMenu_)
            QObject::connect(taskpopup_.get(), &QMenu::aboutToShow, [this] {
                if (handlers_.doubleClick) handlers_.doubleClick();
            });
        frontOnMenu_ = true;
        icon_->setContextMenu(taskpopup_.get());
    }
    QObject::connect(icon_.get(), &QSystemTrayIcon::activated, [this, sni](QSystemTrayIcon::ActivationReason why) {
        const bool front = why == QSystemTrayIcon::DoubleClick || (sni && why == QSystemTrayIcon::Trigger);
        if (front && handlers_.doubleClick) handlers_.doubleClick();
        if (why == QSystemTrayIcon::Context && handlers_.contextMenu) handlers_.contextMenu();
    });
    icon_->show();
}

void TrayAndMenu::Remove() {
    if (icon_) icon_->hide();
    icon_.reset();
}

void TrayAndMenu::SetChecked(MenuItem item, bool checked) {
    checked_[item] = checked;
    if (auto it = items_.find(item); it != items_.end()) it->second->setChecked(checked);
}

void TrayAndMenu::Popup() {
    if (!taskpopup_) MakeMenu();
    // Clicks through the actor never reach its own menu again: only the
    // tray's menu leads back, so without a tray the mode is not offered.
    items_[MenuItem::pclickthrough]->setEnabled(trayAvailable() || checked_[MenuItem::pclickthrough]);
    taskpopup_->exec(QCursor::pos());
}

QtSound::~QtSound() = default;

void QtSound::Play(const std::string& path) {
    // The player reads a sound whole on a thread of its own: a FIFO would
    // hold that thread and /dev/zero fill memory. Like a missing sound, silence.
    if (!FileExists(path)) return;
    if (!loaded_) {
        loaded_ = true;
        const QString module = QCoreApplication::applicationDirPath() + "/kobalactor_sound.so";
        using Create = SoundPort* (*)();
        if (void* handle = ::dlopen(QFile::encodeName(module).constData(), RTLD_NOW | RTLD_LOCAL)) {
            if (auto create = reinterpret_cast<Create>(::dlsym(handle, "KobalCreateSoundPlayer")))
                player_.reset(create());
        } else {
            std::fprintf(stderr, "kobalactor: no sound: %s\n", ::dlerror());
        }
    }
    if (player_) player_->Play(path);
}

void QtDesktop::OpenDocument(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(Q(path)));
}

}  // namespace kobal::actor::qt

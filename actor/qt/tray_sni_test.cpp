// The tray icon with a StatusNotifierItem host, as KDE Plasma and GNOME's
// AppIndicator extension are: a private D-Bus daemon, a watcher that says a
// host is there, and this test as the host, which reads the icon, the menu
// the actor exports, opens that menu and makes choices in it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>

#include "actor/qt/process_harness.h"

using namespace kobal::actor::qt::testing;

namespace {

class Watcher : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

  public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList items() const { return items_; }
    // Where the item lives: the name it gave, on the connection it called from.
    QString itemService, itemPath;

  public slots:
    void RegisterStatusNotifierItem(const QString& item) {
        itemService = item.startsWith('/') ? message().service() : item;
        itemPath = item.startsWith('/') ? item : QStringLiteral("/StatusNotifierItem");
        items_ << itemService;
        emit StatusNotifierItemRegistered(itemService);
    }
    void RegisterStatusNotifierHost(const QString&) {}

  signals:
    void StatusNotifierItemRegistered(const QString& item);
    void StatusNotifierHostRegistered();

  private:
    QStringList items_;
};

struct MenuNode {
    int id = 0;
    QVariantMap properties;
    std::vector<MenuNode> children;
    QString label() const { return properties.value("label").toString().remove('_').remove('&'); }
    int toggle() const { return properties.value("toggle-state", -1).toInt(); }
    const MenuNode* Find(const QString& caption) const {
        if (label() == caption) return this;
        for (const auto& c : children)
            if (const MenuNode* n = c.Find(caption)) return n;
        return nullptr;
    }
};

// (ia{sv}av): id, properties, children each in a variant.
MenuNode ReadNode(const QDBusArgument& arg) {
    MenuNode node;
    arg.beginStructure();
    arg >> node.id >> node.properties;
    arg.beginArray();
    while (!arg.atEnd()) {
        QDBusVariant child;
        arg >> child;
        node.children.push_back(ReadNode(child.variant().value<QDBusArgument>()));
    }
    arg.endArray();
    arg.endStructure();
    return node;
}

void Pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        Wait(10);
    }
}

class SniTray : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        if (RunTool("sh", {"-c", "command -v dbus-daemon"}).isEmpty())
            GTEST_SKIP() << "dbus-daemon is not installed (scripts/deps installs it)";
        install = std::make_unique<ActorInstall>();
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(daemon.waitForStarted(5000));
        QElapsedTimer t;
        t.start();
        while (address.isEmpty() && t.elapsed() < 10000) {
            daemon.waitForReadyRead(200);
            address = QString::fromLatin1(daemon.readLine()).trimmed();
        }
        ASSERT_FALSE(address.isEmpty()) << "dbus-daemon gave no address";
        bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "kobal-sni-test"));
        ASSERT_TRUE(bus->isConnected());
        ASSERT_TRUE(bus->registerObject("/StatusNotifierWatcher", &watcher,
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                            QDBusConnection::ExportAllSignals));
        ASSERT_TRUE(bus->registerService("org.kde.StatusNotifierWatcher"));
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLatin1());
    }
    void TearDown() override {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        install.reset();
        if (bus) QDBusConnection::disconnectFromBus("kobal-sni-test");
        if (daemon.state() != QProcess::NotRunning) {
            daemon.terminate();
            if (!daemon.waitForFinished(3000)) daemon.kill();
        }
    }
    QDBusMessage Call(const QString& path, const QString& interface, const QString& method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(watcher.itemService, path, interface, method);
        m.setArguments(args);
        return bus->call(m, QDBus::Block, 5000);
    }
    QVariant ItemProperty(const QString& name) {
        const QDBusMessage r =
            Call(watcher.itemPath, "org.freedesktop.DBus.Properties", "Get", {"org.kde.StatusNotifierItem", name});
        return r.arguments().isEmpty() ? QVariant() : r.arguments().first().value<QDBusVariant>().variant();
    }
    MenuNode Layout(const QString& menuPath) {
        const QDBusMessage r = Call(menuPath, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().size() < 2) return {};
        return ReadNode(r.arguments().at(1).value<QDBusArgument>());
    }
    void Click(const QString& menuPath, int id) {
        Call(menuPath, "com.canonical.dbusmenu", "Event",
             {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    }

    std::unique_ptr<ActorInstall> install;
    QProcess daemon;
    QString address;
    std::unique_ptr<QDBusConnection> bus;
    Watcher watcher;
};

// What a host draws from the exported layout.
void AddItems(QMenu* menu, const MenuNode& node) {
    for (const auto& c : node.children) {
        if (!c.children.empty()) {
            AddItems(menu->addMenu(c.label()), c);
            continue;
        }
        QAction* a = menu->addAction(c.label());
        if (c.toggle() >= 0) {
            a->setCheckable(true);
            a->setChecked(c.toggle() == 1);
        }
    }
}

}  // namespace

TEST_F(SniTray, IconRegistersAndItsExportedMenuOpensAndChoosesWithoutAnXEmbedTray) {
    QProcess& actor = install->Start({QString::fromStdString(install->WriteActor("stand.kact", "stand.krnd"))});
    QElapsedTimer t;
    t.start();
    while (watcher.itemService.isEmpty() && t.elapsed() < 15000) Pump(50);
    ASSERT_FALSE(watcher.itemService.isEmpty()) << "the actor registered no StatusNotifierItem";

    // The icon: the actor's tip and picture.
    const QDBusArgument tip = ItemProperty("ToolTip").value<QDBusArgument>();
    QString iconName, title, text;
    tip.beginStructure();
    tip >> iconName;
    tip.beginArray();
    while (!tip.atEnd()) {
        int w, h;
        QByteArray pixels;
        tip.beginStructure();
        tip >> w >> h >> pixels;
        tip.endStructure();
    }
    tip.endArray();
    tip >> title >> text;
    tip.endStructure();
    EXPECT_EQ(title, "TestActor");
    const QDBusArgument pixmaps = ItemProperty("IconPixmap").value<QDBusArgument>();
    int largest = 0;
    pixmaps.beginArray();
    while (!pixmaps.atEnd()) {
        int w, h;
        QByteArray pixels;
        pixmaps.beginStructure();
        pixmaps >> w >> h >> pixels;
        pixmaps.endStructure();
        if (pixels.size() == w * h * 4) largest = std::max(largest, w);
    }
    pixmaps.endArray();
    EXPECT_GT(largest, 0) << "no icon picture";

    // The menu, as the host reads it: the actor's items with their check marks.
    const QString menuPath = ItemProperty("Menu").value<QDBusObjectPath>().path();
    ASSERT_EQ(menuPath, "/MenuBar");
    MenuNode root = Layout(menuPath);
    std::vector<QString> top;
    for (const auto& c : root.children) top.push_back(c.label());
    EXPECT_EQ(top, (std::vector<QString>{"Priority", "Audio", "Click through", "Help", "About", "Remove"}));
    ASSERT_NE(root.Find("4:Hibernate"), nullptr);
    ASSERT_NE(root.Find("On"), nullptr);
    EXPECT_EQ(root.Find("On")->toggle(), 0);
    EXPECT_EQ(root.Find("Off")->toggle(), 1) << "audioon 0 checks Off";

    // Opening it brings the actor to the front, as a right click on an
    // XEmbed icon does: above a window that covered it.
    const QString actorId = QString("0x%1").arg(ActorInstall::FindWindow("TestActor").toULong(), 0, 16);
    QWidget cover(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    cover.setGeometry(0, 0, 50, 50);
    cover.show();
    Pump(300);
    const QString coverId = QString("0x%1").arg(cover.winId(), 0, 16);
    // xwininfo lists the top-most window first.
    auto above = [&] {
        const QString tree = RunTool("xwininfo", {"-root", "-children"});
        return tree.indexOf(actorId + " ") < tree.indexOf(coverId + " ");
    };
    ASSERT_FALSE(above()) << "the cover window is not on top to begin with";
    const QDBusMessage opened = Call(menuPath, "com.canonical.dbusmenu", "AboutToShow", {0});
    EXPECT_EQ(opened.type(), QDBusMessage::ReplyMessage) << opened.errorMessage().toStdString();
    t.restart();
    while (!above() && t.elapsed() < 5000) Pump(100);
    EXPECT_TRUE(above()) << "opening the menu did not bring the actor to the front";
    cover.hide();

    // A choice: "On" moves the check mark.
    {
        QMenu drawn;
        AddItems(&drawn, root);
        drawn.popup(QPoint(1500, 40));
        Pump(300);
        // With its "Audio" submenu open, to show the exported check marks.
        for (QAction* a : drawn.actions())
            if (a->menu() && a->text() == "Audio") {
                drawn.setActiveAction(a);
                a->menu()->popup(drawn.mapToGlobal(drawn.actionGeometry(a).topRight()));
            }
        Pump(400);
        const QString dir = qEnvironmentVariable("KOBAL_SHOT_DIR");
        if (!dir.isEmpty())
            RunTool("import", {"-window", "root", "-crop", "500x300+1400+0", dir + "/menu-from-sni-tray.png"});
        EXPECT_TRUE(drawn.isVisible());
        drawn.close();
    }
    Click(menuPath, root.Find("On")->id);
    t.restart();
    while (t.elapsed() < 5000 && (root = Layout(menuPath), root.Find("On")->toggle() != 1)) Pump(100);
    EXPECT_EQ(root.Find("On")->toggle(), 1);
    EXPECT_EQ(root.Find("Off")->toggle(), 0);

    // "Remove" ends the actor.
    Click(menuPath, root.Find("Remove")->id);
    t.restart();
    while (actor.state() != QProcess::NotRunning && t.elapsed() < 10000) Pump(50);
    QString err;
    EXPECT_EQ(ActorInstall::Finish(actor, &err), 0) << err.toStdString();
}

#include "tray_sni_test.moc"

// The popup menu is made on its first popup: the check marks set before
// must show in it, and later changes must reach it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "actor/qt/qt_ports.h"

using namespace kobal::actor;
using namespace kobal::actor::qt;

namespace {

// What the open popup shows: "caption=checked" for the checkable items.
std::map<QString, bool> OpenMenuChecks() {
    std::map<QString, bool> checks;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return checks;
    for (QAction* a : menu->actions())
        if (QMenu* sub = a->menu())
            for (QAction* s : sub->actions())
                if (s->isCheckable()) checks[s->text()] = s->isChecked();
    return checks;
}

std::map<QString, bool> PopupAndRead(TrayAndMenu& menu) {
    std::map<QString, bool> seen;
    QTimer::singleShot(200, [&] {
        seen = OpenMenuChecks();
        if (QWidget* w = QApplication::activePopupWidget()) w->close();
    });
    menu.Popup();
    return seen;
}

}  // namespace

TEST(TrayMenu, ChecksSetBeforeAndAfterTheFirstPopupShow) {
    int removed = 0;
    TrayAndMenu::Handlers h;
    h.Remove = [&] { ++removed; };
    TrayAndMenu menu(h);
    menu.SetChecked(MenuItem::psleep, true);
    menu.SetChecked(MenuItem::paudiooff, true);

    auto seen = PopupAndRead(menu);
    EXPECT_EQ(seen, (std::map<QString, bool>{{"1:Activated", false},
                                             {"2:Bored", false},
                                             {"3:Sleep", true},
                                             {"4:Hibernate", false},
                                             {"On", false},
                                             {"Off", true}}));

    menu.SetChecked(MenuItem::psleep, false);
    menu.SetChecked(MenuItem::phyber, true);
    seen = PopupAndRead(menu);
    EXPECT_FALSE(seen["3:Sleep"]);
    EXPECT_TRUE(seen["4:Hibernate"]);
    EXPECT_EQ(removed, 0);
}

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

TEST(TrayMenu, AMarkChosenAgainStaysMarked) {
    // Qt unchecks a checked item when it is chosen; the actor marks it again.
    TrayAndMenu* shown = nullptr;
    TrayAndMenu::Handlers h;
    h.pActivated = [&] { shown->SetChecked(MenuItem::pActivated, true); };
    TrayAndMenu menu(h);
    shown = &menu;
    menu.SetChecked(MenuItem::pActivated, true);
    bool found = false, after = false;
    QTimer::singleShot(200, [&] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        for (QAction* a : popup ? popup->actions() : QList<QAction*>())
            if (QMenu* sub = a->menu())
                for (QAction* s : sub->actions())
                    if (s->text() == "1:Activated") {
                        found = true;
                        s->trigger();
                        after = s->isChecked();
                    }
        if (popup) popup->close();
    });
    menu.Popup();
    ASSERT_TRUE(found);
    EXPECT_TRUE(after);
    EXPECT_TRUE(PopupAndRead(menu)["1:Activated"]);
}

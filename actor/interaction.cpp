// The mouse on the actor window, the tray icon and the menu's sound and
// click-through items.
#include "actor/interaction.h"

#include "common/numbers.h"

namespace kobal::actor {

Interaction::Interaction(SettingStore& settings, Position& position, Activity& activity, Player& player,
                         ActorWindowPort& window, MenuPort& menu)
    : settings_(settings), position_(position), activity_(activity), player_(player), window_(window), menu_(menu) {}

void Interaction::MouseDown(int button, double x, double y) {
    if (button == 2) {
        dragy_ = RoundToInt32(y);
        dragx_ = RoundToInt32(x);
        activity_.WakeUp();
        activity_.SetStateList(settings_.activefile);
    } else if (button == 4) {
        dragy_ = RoundToInt32(y);
        dragx_ = RoundToInt32(x);
    } else if (button == 1) {
        activity_.WakeUp();
        player_.PlayRandomChoice(settings_.responsefile);
        activity_.SetStateList(settings_.activefile);
    }
}

void Interaction::MouseMove(int buttons, double x, double y) {
    // The tray reports its own events, so moves carry no tray messages here.
    if (buttons != 2 && buttons != 4) return;
    position_.DragBy(dragx_ - x, dragy_ - y);
    window_.Move(position_.x(), position_.y());
}

void Interaction::TrayDoubleClick() {
    if (traybusy_) return;
    traybusy_ = true;
    window_.BringToFront();
    traybusy_ = false;
}

void Interaction::TrayContextMenu() {
    if (traybusy_) return;
    traybusy_ = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{traybusy_};
    window_.BringToFront();
    menu_.Popup();
}

void Interaction::Paudioon_Click() {
    settings_.audioon = 1;
    menu_.SetChecked(MenuItem::Paudioon, true);
    menu_.SetChecked(MenuItem::paudiooff, false);
}

void Interaction::paudiooff_Click() {
    settings_.audioon = 0;
    menu_.SetChecked(MenuItem::Paudioon, false);
    menu_.SetChecked(MenuItem::paudiooff, true);
}

void Interaction::ShowAudioChecks() {
    if (settings_.audioon == 0) paudiooff_Click();
    else if (settings_.audioon == 1) Paudioon_Click();
}

void Interaction::pclickthrough_Click() {
    clickthrough_ = !clickthrough_;
    window_.SetClickThrough(clickthrough_);
    menu_.SetChecked(MenuItem::pclickthrough, clickthrough_);
}

void Interaction::FullscreenChanged(bool active) {
    if (active && settings_.hidefullscreen == 1 && !hiddenforfullscreen_) {
        hiddenforfullscreen_ = true;
        window_.Hide();
    } else if (!active && hiddenforfullscreen_) {
        // Shown again even when the setting went off meanwhile (an actor switch).
        hiddenforfullscreen_ = false;
        window_.Show();
    }
}

}  // namespace kobal::actor

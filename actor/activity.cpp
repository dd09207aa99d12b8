// Activity states: the idle clock, the check marks of the Priority menu and
// hibernation.
#include "actor/activity.h"

#include "common/numbers.h"

namespace kobal::actor {

Activity::Activity(SettingStore& settings, Player& player, TimerPort& tick, TimerPort& idleClock, MenuPort& menu)
    : settings_(settings), player_(player), tick_(tick), idleClock_(idleClock), menu_(menu) {}

void Activity::IdleClockTick() {
    if (idlecount_ <= settings_.hibernatetime) idlecount_ = Add16(idlecount_, 1);
    CheckActivity();
}

void Activity::CheckActivity() {
    if (idlecount_ == 1) {
        statefile_ = settings_.activefile;
        ShowActivityChecks();
    } else if (idlecount_ == settings_.boredtime) {
        ShowActivityChecks();
        statefile_ = settings_.boredfile;
    } else if (idlecount_ == settings_.sleeptime) {
        ShowActivityChecks();
        statefile_ = settings_.sleepfile;
    } else if (idlecount_ == settings_.hibernatetime) {
        SetHibernation(1);
        ShowActivityChecks();
    }
}

void Activity::ShowActivityChecks() {
    MenuItem checked;
    if (idlecount_ < settings_.boredtime) checked = MenuItem::pActivated;
    else if (idlecount_ == kHibernating) checked = MenuItem::phyber;
    else if (idlecount_ < settings_.sleeptime) checked = MenuItem::pBored;
    else checked = MenuItem::psleep;
    for (MenuItem item : {MenuItem::pActivated, MenuItem::pBored, MenuItem::psleep, MenuItem::phyber})
        menu_.SetChecked(item, item == checked);
}

void Activity::SetHibernation(int mode) {
    if (mode == 0) {
        tick_.SetInterval(50);
        tick_.SetEnabled(true);
        idleClock_.SetEnabled(true);
    } else if (mode == 1) {
        idlecount_ = kHibernating;
        tick_.SetEnabled(false);
        idleClock_.SetEnabled(false);
    }
}

void Activity::WakeUp() {
    if (idlecount_ == kHibernating) SetHibernation(0);
    idlecount_ = 0;
}

void Activity::pActivated_Click() {
    WakeUp();
    CheckActivity();
    player_.PlayRandomChoice(settings_.activefile);
    ShowActivityChecks();
}

void Activity::pBored_Click() {
    if (idlecount_ == kHibernating) SetHibernation(0);
    idlecount_ = settings_.boredtime;
    CheckActivity();
    tick_.SetInterval(50);
    player_.PlayRandomChoice(settings_.boredfile);
    ShowActivityChecks();
}

void Activity::psleep_Click() {
    if (idlecount_ == kHibernating) SetHibernation(0);
    tick_.SetInterval(50);
    idlecount_ = settings_.sleeptime;
    CheckActivity();
    player_.PlayRandomChoice(settings_.sleepfile);
    ShowActivityChecks();
}

void Activity::phyber_Click() {
    SetHibernation(1);
    ShowActivityChecks();
}

void Activity::StartIn(int16_t initialpriority) {
    switch (initialpriority) {
        case 0:
            idlecount_ = 0;
            statefile_ = settings_.activefile;
            break;
        case 1:
            idlecount_ = settings_.boredtime;
            statefile_ = settings_.boredfile;
            break;
        case 2:
            idlecount_ = settings_.sleeptime;
            statefile_ = settings_.sleepfile;
            break;
        case 3:
            idlecount_ = RoundToInt16(settings_.hibernatetime - 1.0);
            statefile_ = settings_.sleepfile;
            break;
        default: break;
    }
}

void Activity::PlayStateList() {
    player_.PlayRandomChoice(statefile_);
}

}  // namespace kobal::actor

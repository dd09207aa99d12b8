// Activity states: the idle clock, the check marks of the Priority menu and
// hibernation.
#include "actor/actor_runtime.h"
#include "common/numbers.h"

namespace kobal::actor {

static constexpr int16_t kHibernating = 32767;

void ActorRuntime::Timer2_Timer() {
    if (idlecount <= settings.hibernatetime) idlecount = Add16(idlecount, 1);
    CheckActivity();
}

void ActorRuntime::CheckActivity() {
    if (idlecount == 1) {
        statefile = settings.activefile;
        ShowActivityChecks();
    } else if (idlecount == settings.boredtime) {
        ShowActivityChecks();
        statefile = settings.boredfile;
    } else if (idlecount == settings.sleeptime) {
        ShowActivityChecks();
        statefile = settings.sleepfile;
    } else if (idlecount == settings.hibernatetime) {
        SetHibernation(1);
        ShowActivityChecks();
    }
}

void ActorRuntime::ShowActivityChecks() {
    MenuItem checked;
    if (idlecount < settings.boredtime) checked = MenuItem::pActivated;
    else if (idlecount == kHibernating) checked = MenuItem::phyber;
    else if (idlecount < settings.sleeptime) checked = MenuItem::pBored;
    else checked = MenuItem::psleep;
    for (MenuItem item : {MenuItem::pActivated, MenuItem::pBored, MenuItem::psleep, MenuItem::phyber})
        ports_.menu->SetChecked(item, item == checked);
}

void ActorRuntime::SetHibernation(int mode) {
    if (mode == 0) {
        ports_.timer1->SetInterval(50);
        ports_.timer1->SetEnabled(true);
        ports_.timer2->SetEnabled(true);
    } else if (mode == 1) {
        idlecount = kHibernating;
        ports_.timer1->SetEnabled(false);
        ports_.timer2->SetEnabled(false);
    }
}

void ActorRuntime::pActivated_Click() {
    if (idlecount == kHibernating) SetHibernation(0);
    idlecount = 0;
    CheckActivity();
    PlayRandomChoice(settings.activefile);
    ShowActivityChecks();
}

void ActorRuntime::pBored_Click() {
    if (idlecount == kHibernating) SetHibernation(0);
    idlecount = settings.boredtime;
    CheckActivity();
    ports_.timer1->SetInterval(50);
    PlayRandomChoice(settings.boredfile);
    ShowActivityChecks();
}

void ActorRuntime::psleep_Click() {
    if (idlecount == kHibernating) SetHibernation(0);
    ports_.timer1->SetInterval(50);
    idlecount = settings.sleeptime;
    CheckActivity();
    PlayRandomChoice(settings.sleepfile);
    ShowActivityChecks();
}

void ActorRuntime::phyber_Click() {
    SetHibernation(1);
    ShowActivityChecks();
}

}  // namespace kobal::actor

#pragma once
// Activity states: the idle clock, the check marks of the Priority menu and
// hibernation. The state list (statefile) is what plays when no behaviour
// names what comes next.
#include <cstdint>
#include <string>

#include "actor/player.h"
#include "actor/ports.h"
#include "common/settings.h"

namespace kobal::actor {

// The idle count of a hibernating actor.
inline constexpr int16_t kHibernating = 32767;

class Activity {
  public:
    // tick is the animation timer (woken at 50 ms), idleClock the one that
    // counts idle seconds.
    Activity(SettingStore& settings, Player& player, TimerPort& tick, TimerPort& idleClock, MenuPort& menu);

    // One idle second (classic Timer2_Timer).
    void IdleClockTick();
    void CheckActivity();
    void ShowActivityChecks();
    // 0 wakes the timers, 1 hibernates.
    void SetHibernation(int mode);
    // The Priority menu.
    void pActivated_Click();
    void pBored_Click();
    void psleep_Click();
    void phyber_Click();

    // The user touched the actor: awake and active again.
    void WakeUp();
    // The state an actor starts in (initialpriority 0 active to 3 nearly hibernating).
    void StartIn(int16_t initialpriority);
    void SetStateList(const std::string& list) { statefile_ = list; }
    // Plays the state list, which may replace it.
    void PlayStateList();
    // An actor switch keeps how long the actor has been idle.
    void KeepIdleCount(int16_t idlecount) { idlecount_ = idlecount; }

    int16_t idlecount() const { return idlecount_; }
    bool hibernating() const { return idlecount_ == kHibernating; }
    const std::string& statefile() const { return statefile_; }

    struct Saved {
        int16_t idlecount;
        std::string statefile;
    };
    Saved Save() const { return {idlecount_, statefile_}; }
    void Restore(Saved saved) {
        idlecount_ = saved.idlecount;
        statefile_ = std::move(saved.statefile);
    }

  private:
    SettingStore& settings_;
    Player& player_;
    TimerPort& tick_;
    TimerPort& idleClock_;
    MenuPort& menu_;
    int16_t idlecount_ = 0;
    std::string statefile_;
};

}  // namespace kobal::actor

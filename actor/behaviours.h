#pragma once
// The behaviours an action command starts: wander (1), walk (2), descend
// (3), play once (4), climb (5) and wander facing (6), each a small unit
// with its start (the initialising tick) and its step (every tick after).
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "actor/player.h"
#include "actor/position.h"
#include "actor/window_floors.h"
#include "common/random.h"
#include "common/settings.h"

namespace kobal::actor {

// The record of the behaviour in progress.
struct ActionRecord {
    int16_t actionstep = 0;   // ticks left; below -100: not yet initialised
    int32_t actionmove1 = 0;  // twips per tick (vertical for 1 and 6, horizontal for 2)
    int32_t actionmove2 = 0;  // horizontal step of types 1 and 6
    int16_t actioncount = 0;
};

// What plays when a behaviour has run out.
class BehaviourHost {
  public:
    virtual ~BehaviourHost() = default;
    virtual void PlayNext() = 0;
};

class Behaviours {
  public:
    Behaviours(const SettingStore& settings, Position& position, Player& player, RandomSource& random,
               BehaviourHost& host, WindowFloors& floors);

    // An action command chose a behaviour; args only for a "$" target (a
    // plain target leaves the last "$" list in place, as it always has).
    void Start(int16_t type, int16_t count, const std::optional<std::string>& args, const std::string& next);
    // One animation tick (classic Timer1_Timer).
    void Tick();
    // The animation starts over: a behaviour with more than 10000 steps
    // left (play once, from its start) ends here. True when it did.
    bool AnimationStartsOver();
    // Plays the list named after the command, which may replace it.
    void PlayNextList();
    // The windows changed: an actor standing on one rides it, or falls when
    // it no longer carries it.
    void FollowFloor();

    int16_t actiontype() const { return actiontype_; }
    const ActionRecord& record() const { return action_; }
    const std::string& nextfile() const { return nextfile_; }
    const std::string& actionargs() const { return actionargs_; }
    // Entries 1 to 5: the names a walk or wander facing picks from.
    const std::string& facingname(size_t i) const { return facingnames_[i]; }

    struct Saved {
        int16_t actiontype;
        ActionRecord action;
        std::string nextfile, actionargs;
        std::array<std::string, 6> facingnames;
    };
    Saved Save() const { return {actiontype_, action_, nextfile_, actionargs_, facingnames_}; }
    void Restore(Saved saved);

    // What one behaviour unit sees of the actor.
    struct Stage;

  private:
    // The floor under the actor is lost: it plays fallfile, or descends
    // with what it was playing onto the next floor below.
    void Fall(FloorLoss loss);

    const SettingStore& settings_;
    Position& position_;
    Player& player_;
    RandomSource& random_;
    BehaviourHost& host_;
    WindowFloors& floors_;

    int16_t actiontype_ = 0;
    ActionRecord action_;
    std::string nextfile_;
    std::string actionargs_;
    std::array<std::string, 6> facingnames_;  // entries 1 to 5 are used
};

}  // namespace kobal::actor

// The behaviour engine: one step of the current action per Timer1 tick.
#include <cmath>

#include "actor/actor_runtime.h"
#include "actor/desktop.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::actor {

int16_t ActorRuntime::PickDirection() {
    const int k = static_cast<int>(std::floor(2 * ports_.random->Next())) + 1;
    return k == 1 ? 1 : -1;
}

Room ActorRuntime::CurrentRoom() {
    return RoomAround(*ports_.screen, actorx, actory, settings.actorwidth, settings.actorheight);
}

int32_t ActorRuntime::AddPosition(int32_t position, int32_t step) {
    return RoundToInt32(static_cast<double>(position) + step);
}

void ActorRuntime::Timer1_Timer() {
    // Until a first action command has run there is no action to step: a
    // start whose choice was a plain animation (or played nothing) chooses
    // again on the next tick, as after an ended action, rather than stand
    // frozen where its one frame put it. Commands 0 and 99 never set the
    // type, so 0 means that no behaviour has started yet.
    if (actiontype == 0) {
        PlayNext();
        return;
    }
    if (actiontype < 1 || actiontype > 6) return;

    if (action.actionstep < -100) {
        // The initialising tick: nothing is drawn and nothing moves.
        if (actiontype == 4) {
            action.actionstep = 30000;
            return;
        }
        action.actionstep = RoundToInt16(settings.speedup / 100.0 * action.actioncount);
        if (actiontype == 1 || actiontype == 6) {
            action.actionmove1 = PickDirection() * settings.movespeed;
            action.actionmove2 = PickDirection() * settings.movespeed;
        }
        if (actiontype == 2) {
            action.actionmove1 = PickDirection() * settings.movespeed;
            const size_t comma = actionargs.find(',');
            if (comma == std::string::npos)
                throw RuntimeError(
                    ErrorNumber::InvalidProcedureCall, NativePath(settings.actorpath + animfile), 0,
                    "a walk needs two animation names in a \"$\" list, left before the \",\": " + actionargs);
            facingnames[1] = actionargs.substr(comma + 1);
            facingnames[2] = actionargs.substr(0, comma);
        }
        if (actiontype == 6) {
            facingnames[1].clear();
            size_t k = 1;
            for (char c : actionargs) {
                if (c != ',') {
                    facingnames[k].push_back(c);
                    continue;
                }
                if (++k > 5)
                    throw RuntimeError(ErrorNumber::SubscriptOutOfRange, NativePath(settings.actorpath + animfile), 0,
                                       "a wander-facing \"$\" list holds at most five names: " + actionargs);
                facingnames[k].clear();
            }
        }
        return;
    }

    switch (actiontype) {
        case 1: StepWander(); break;
        case 2: StepWalk(); break;
        case 3: StepDescend(); break;
        case 4: StepPlayOnce(); break;
        case 5: StepClimb(); break;
        case 6: StepWanderFacing(); break;
        default: break;
    }
}

// Wander and wander facing: both axes move, and each edge test reverses its
// step separately, so an actor wider than the screen keeps its direction.
void ActorRuntime::MoveAndBounce() {
    actory = AddPosition(actory, action.actionmove1);
    actorx = AddPosition(actorx, action.actionmove2);
    const Room room = CurrentRoom();
    const float bottom = static_cast<float>(room.bottom - settings.actorheight);
    const float right = static_cast<float>(room.right - settings.actorwidth);
    if (actory > bottom) action.actionmove1 = -action.actionmove1;
    if (actory < room.top + 1) action.actionmove1 = -action.actionmove1;
    if (actorx > right) action.actionmove2 = -action.actionmove2;
    if (actorx < room.left + 1) action.actionmove2 = -action.actionmove2;
    action.actionstep = Add16(action.actionstep, -1);
}

void ActorRuntime::StepWander() {
    if (action.actionstep < 1) {
        PlayNext();
        return;
    }
    MoveAndBounce();
    std::string empty;
    ShowNextFrame(empty);
}

void ActorRuntime::StepWanderFacing() {
    if (action.actionstep < 1) {
        PlayNext();
        return;
    }
    MoveAndBounce();

    const int32_t h = action.actionmove2;
    const int32_t v = action.actionmove1;
    size_t entry = 0;
    if (h < 0 && v < 0) entry = 1;
    else if (h > 0 && v < 0) entry = 2;
    else if (h < 0 && v > 0) entry = 3;
    else if (h > 0 && v > 0) entry = 4;
    if (entry == 0) {
        std::string empty;
        ShowNextFrame(empty);
    } else {
        ShowNextFrame(facingnames[entry]);
    }
}

void ActorRuntime::StepWalk() {
    if (action.actionstep < 1) {
        PlayNext();
        return;
    }
    ShowNextFrame(action.actionmove1 <= 0 ? facingnames[2] : facingnames[1]);
    actorx = AddPosition(actorx, action.actionmove1);
    const Room room = CurrentRoom();
    const float right = static_cast<float>(room.right - settings.actorwidth);
    if (actorx > right || actorx < room.left + 1) action.actionmove1 = -action.actionmove1;
    action.actionstep = Add16(action.actionstep, -1);
}

void ActorRuntime::StepDescend() {
    const float bottom = static_cast<float>(CurrentRoom().bottom - settings.actorheight);
    if (!(bottom > actory) || action.actionstep == 0) {
        PlayNext();
        return;
    }
    std::string empty;
    ShowNextFrame(empty);
    actory = AddPosition(actory, settings.movespeed);
    action.actionstep = Add16(action.actionstep, -1);
}

void ActorRuntime::StepPlayOnce() {
    if (action.actionstep > 0) {
        action.actionstep = Add16(action.actionstep, -1);
        std::string empty;
        ShowNextFrame(empty);
    } else {
        PlayNext();
    }
}

void ActorRuntime::StepClimb() {
    if (action.actionstep != 0 && actory > CurrentRoom().top) {
        std::string empty;
        ShowNextFrame(empty);
        actory = AddPosition(actory, -settings.movespeed);
        action.actionstep = Add16(action.actionstep, -1);
    } else {
        PlayNext();
    }
}

}  // namespace kobal::actor

// Action command lines: the fields, the type and count, what the action
// plays and the list it goes on with.
#include <algorithm>
#include <cstdlib>
#include <optional>

#include "actor/actor_language.h"
#include "checker/actor_checker.h"
#include "checker/link_message_check.h"
#include "common/numbers.h"
#include "common/runtime_error.h"

namespace kobal::checker {
namespace {

// A wander facing shows its first four names, one per diagonal.
constexpr size_t kDiagonals = 4;

// The digits an author wrote after "!" against the two the player reads.
bool TypeReadsAsWritten(std::string_view typefield, int16_t type) {
    double meant = 0;
    try {
        meant = LeadingNumber(typefield.substr(typefield.empty() ? 0 : 1));
    } catch (const RuntimeError&) {
    }
    return meant == type;
}

}  // namespace

ActorChecker::CommandFacts ActorChecker::CheckCommand(const std::string& line, const Where& at, ActorContext& ctx) {
    const std::optional<actor::ActionFields> fields = actor::SplitActionCommand(line);
    if (!fields) {
        const auto bars = std::count(line.begin(), line.end(), '|');
        report_.Error(at, "action command " + Quoted(line) + " has " + std::to_string(bars) +
                              " \"|\", it needs three (type|count|target|next)");
        return {};
    }
    const int16_t type = actor::ActionType(fields->type);
    if (!TypeReadsAsWritten(fields->type, type)) {
        report_.Error(at, "type field " + Quoted(fields->type) + " reads as type " + std::to_string(type) +
                              ": the type is its last two characters, so write two digits");
        return {};
    }
    int16_t count;
    try {
        count = actor::ActionCount(fields->count);
    } catch (const RuntimeError&) {
        report_.Error(at, "count " + Quoted(fields->count) + " is out of range (-32768 to 32767): Overflow");
        return {};
    }

    const std::string target(fields->target);
    if (type == actor::kSwitchActor) {
        if (target.empty()) {
            report_.Error(at, "an actor switch without an actor file: the actor ends with File not found");
            return {};
        }
        CheckActorFile(actor::SwitchedActorFile(target, installdir_), at, target);
        return {type, target, {}};
    }
    if (type == actor::kSendLinkMessage) {
        CheckLinkMessage(target, at, report_);
        NoteSentMessage(target, at, ctx);
        return {type, target, {}};
    }
    ActionCheck action{type, count, at, {at, std::string(fields->next), {}, {}, {}}, {}};
    CheckAction(action, fields->target, fields->next, ctx);
    return {type, target, action.firstList};
}

void ActorChecker::CheckAction(ActionCheck& action, std::string_view target, std::string_view next, ActorContext& ctx) {
    const Where& at = action.at;
    const int16_t type = action.type;
    if (!actor::IsBehaviourType(type))
        report_.Error(at, "type " + std::to_string(type) +
                              " is not an action (00 to 06, 99): the actor stands still on its "
                              "last frame until it "
                              "is clicked");
    if (type != actor::kPlayOnce && actor::IsBehaviourType(type)) CheckBehaviourCount(action, ctx);

    if (target.empty()) {
        report_.Warning(at, "no target: the command restarts the animation that is open");
    } else if (!actor::IsNameListTarget(target)) {
        if (type == actor::kWalk || type == actor::kWanderFacing)
            report_.Warning(at, "type " + std::to_string(type) +
                                    " without a \"$\" list takes its names from the \"$\" command that ran last");
        const std::string name(target);
        WarnEmptyPlayOnce(action, name, Plays(action, name, false, ctx));
    } else {
        CheckNameList(action, target, ctx);
    }

    if (!next.empty()) CheckNextList(action, std::string(next), ctx);
}

void ActorChecker::CheckBehaviourCount(const ActionCheck& action, const ActorContext& ctx) {
    const int16_t count = action.count;
    if (count == 0) report_.Warning(action.at, "count 0: the action ends at once");
    const double ticks = ctx.store.speedup / 100.0 * std::abs(static_cast<int>(count));
    try {
        RoundToInt16(ticks);
    } catch (const RuntimeError&) {
        report_.Error(action.at, "count " + std::to_string(count) + " at speedup " + std::to_string(ctx.store.speedup) +
                                     " is more than 32767 ticks: Overflow");
    }
}

void ActorChecker::CheckNameList(ActionCheck& action, std::string_view target, ActorContext& ctx) {
    const Where& at = action.at;
    const std::string_view args = actor::NameListOf(target);
    if (!actor::FirstListedName(args)) {
        report_.Error(at, "\"$\" target " + Quoted(target) + " needs at least two names separated by \",\"");
        return;
    }
    const std::vector<std::string> names = actor::SplitNames(args);
    if (names[0].empty()) report_.Warning(at, "no first name: the command restarts the animation that is open");
    else if (names[0] == actor::kShowNothing)
        report_.Error(at,
                      "the first name of a \"$\" list is loaded as the action starts, so \"nul\" "
                      "there "
                      "ends the actor with File not found; \"nul\" belongs in the other places");
    else WarnEmptyPlayOnce(action, names[0], Plays(action, names[0], false, ctx));

    if (action.type == actor::kWalk) {
        const std::string right(actor::SplitWalkNames(args)->right);
        if (names.size() > 2)
            report_.Error(at, "a walk takes two names, left before the \",\": the right one would be " + Quoted(right));
        else Plays(action, right, true, ctx);
    } else if (action.type == actor::kWanderFacing) {
        CheckFacingNames(action, target, names, ctx);
    }
}

void ActorChecker::CheckFacingNames(ActionCheck& action, std::string_view target, const std::vector<std::string>& names,
                                    ActorContext& ctx) {
    const Where& at = action.at;
    if (names.size() > actor::kMaxFacingNames) {
        report_.Error(at, "a wander facing takes at most five names, " + Quoted(target) + " has " +
                              std::to_string(names.size()) + " (Subscript out of range)");
        return;
    }
    for (size_t i = 1; i < names.size() && i < kDiagonals; ++i) Plays(action, names[i], true, ctx);
    if (names.size() == actor::kMaxFacingNames)
        report_.Warning(at, "the fifth name " + Quoted(names[4]) + " is never shown");
    if (names.size() < kDiagonals)
        report_.Warning(at, "only " + std::to_string(names.size()) +
                                " names: the other diagonals show what an earlier "
                                "wander facing left");
}

void ActorChecker::CheckNextList(ActionCheck& action, const std::string& next, ActorContext& ctx) {
    if (actor::IsAnimationName(next)) {
        report_.Warning(action.at,
                        "next " + Quoted(next) + " names an animation, but it is read as a random-choice list");
        files_.Locate(ctx.actorpath + next, action.at, "next list", next, Severity::Error);
        return;
    }
    action.use.list = CheckList(next, action.at, ctx, "next list");
    if (!action.use.list.empty()) graph_.AddNextUse(std::move(action.use));
}

std::string ActorChecker::Plays(ActionCheck& action, const std::string& name, bool viaShow, ActorContext& ctx) {
    if (actor::IsListName(name)) {
        const std::string list = CheckList(name, action.at, ctx);
        if (!list.empty()) action.use.targetLists.push_back(list);
        // Loading a list as the action starts picks from it at once.
        if (!viaShow) action.firstList = list;
        return {};
    }
    const std::string anim = CheckAnimationName(name, action.at, ctx, viaShow);
    if (!anim.empty()) action.use.animations.push_back(anim);
    return anim;
}

// A play-once lasts until its animation restarts; one with no frame to
// show restarts at once, so nothing of it is ever seen.
void ActorChecker::WarnEmptyPlayOnce(const ActionCheck& action, const std::string& name, const std::string& anim) {
    if (action.type != actor::kPlayOnce || anim.empty()) return;
    const ActionGraph::AnimationLeads* leads = graph_.FindAnimation(anim);
    if (leads && leads->noFrames)
        report_.Warning(action.at, "a play-once of " + Quoted(name) +
                                       ", whose framecount is below 1, shows none of its frames: the action ends "
                                       "on its "
                                       "first tick and the window keeps the picture before (none at start)");
}

}  // namespace kobal::checker

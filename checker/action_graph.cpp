#include "checker/action_graph.h"

#include "actor/actor_language.h"
#include "common/paths.h"

namespace kobal::checker {

const ActionGraph::AnimationLeads* ActionGraph::FindAnimation(const std::string& native) const {
    const auto it = animations_.find(native);
    return it == animations_.end() ? nullptr : &it->second;
}

bool ActionGraph::ReachesAction(const std::string& list, std::set<std::string>& seen) const {
    if (!seen.insert(list).second) return false;
    const auto it = lists_.find(list);
    if (it == lists_.end() || it->second.action) return true;
    for (const std::string& anim : it->second.animations) {
        const AnimationLeads* a = FindAnimation(anim);
        if (!a || a->action) return true;
    }
    for (const auto& nested : it->second.lists)
        if (ReachesAction(nested.first, seen)) return true;
    return false;
}

void ActionGraph::ForEachReachableList(std::vector<std::string> lists,
                                       const std::function<void(const ListLeads&)>& visit) const {
    std::set<std::string> seen;
    while (!lists.empty()) {
        const std::string list = lists.back();
        lists.pop_back();
        if (!seen.insert(list).second) continue;
        const auto it = lists_.find(list);
        if (it == lists_.end()) continue;
        visit(it->second);
        for (const auto& nested : it->second.lists) lists.push_back(nested.first);
    }
}

void ActionGraph::RequireList(const Switch& sw, const std::string& list) {
    const auto dir = actorDirectories_.find(ResolvePath(actor::SwitchedActorFile(sw.target, installdir_)));
    if (dir == actorDirectories_.end()) return;  // reported where the actor is checked
    const std::string written = NativePath(dir->second + list);
    if (FileExists(written)) return;
    report_.Error(sw.at, "the switch keeps the next list " + Quoted(list) + ", which actor " + Quoted(sw.target) +
                             " then plays from its own directory: " + report_.Display(written) +
                             " not found (File not found)");
}

void ActionGraph::JudgeStartList(const std::string& list, const char* key) {
    ForEachReachableList({list}, [&](const ListLeads& leads) {
        for (const PlainName& plain : leads.plain)
            report_.Warning(plain.at, "animation " + Quoted(plain.name) + " can be the first choice at start (" + key +
                                          "): it shows one frame in the top-left corner and starts no action; "
                                          "write it as a command such as " +
                                          Quoted("!04|1|" + plain.name + "|"));
    });
}

void ActionGraph::JudgeEndlessLists() {
    // A choice ends in a list that stops, or in one that leads on to such a
    // list; whatever is left only ever picks the next list of a circle.
    std::set<std::string> ends;
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [native, leads] : lists_) {
            if (ends.count(native)) continue;
            bool end = leads.stops;
            for (const auto& onward : leads.onward) end = end || ends.count(onward.first) > 0;
            if (end) changed = ends.insert(native).second || changed;
        }
    }
    for (auto& [native, leads] : lists_) {
        if (ends.count(native) || leads.onward.empty()) continue;
        report_.Error(leads.onward.front().second,
                      "every entry of this list leads to another random-choice list, and none of "
                      "them ever plays an "
                      "animation or starts an action: picking from it ends the actor with Out of "
                      "stack space");
        leads.stops = true;  // said once
    }
}

void ActionGraph::JudgeStateUses() {
    for (const StateUse& use : stateUses_) {
        std::set<std::string> seen;
        if (!ReachesAction(use.list, seen))
            report_.Warning(use.at, use.key + " " + Quoted(use.name) +
                                        " leads to no action: in that state the actor stands where it is, showing "
                                        "one frame per tick, until it is clicked");
    }
    stateUses_.clear();
}

void ActionGraph::JudgeNextUse(const NextUse& use) {
    std::set<std::string> seen;
    if (!ReachesAction(use.list, seen))
        report_.Warning(use.at, "next list " + Quoted(use.name) +
                                    " leads to no action: once this action ends the actor stays in it, "
                                    "showing one frame per tick, until it is clicked");

    // A switch picked from the next list (or a list it names) keeps that
    // list in the variable; a switch inside what the action plays keeps
    // the next list itself.
    std::vector<std::pair<std::string, std::string>> pending{{use.list, use.name}};
    std::set<std::string> visited;
    while (!pending.empty()) {
        const auto [list, name] = pending.back();
        pending.pop_back();
        if (!visited.insert(list).second) continue;
        const auto it = lists_.find(list);
        if (it == lists_.end()) continue;
        for (const Switch& sw : it->second.switches) RequireList(sw, name);
        for (const auto& nested : it->second.lists) pending.push_back(nested);
    }
    ForEachReachableList(use.targetLists, [&](const ListLeads& leads) {
        for (const Switch& sw : leads.switches) RequireList(sw, use.name);
    });
    for (const std::string& anim : use.animations)
        if (const AnimationLeads* a = FindAnimation(anim))
            for (const Switch& sw : a->switches) RequireList(sw, use.name);
}

void ActionGraph::Judge() {
    JudgeEndlessLists();
    JudgeStateUses();
    for (const NextUse& use : nextUses_) JudgeNextUse(use);
    nextUses_.clear();
}

}  // namespace kobal::checker

#pragma once
// What the actor's lists and animations lead to, judged once every file of
// every actor is known: a list whose choices only ever name further lists
// ends the actor; a state or next list from which no action can be reached
// keeps the actor standing; an actor switch keeps the next list's name,
// which the other actor then looks for in its own directory.
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "checker/report.h"

namespace kobal::checker {

class ActionGraph {
  public:
    struct Switch {
        std::string target;  // the actor file as written
        Where at;
    };
    struct PlainName {
        std::string name;
        Where at;
    };
    struct ListLeads {
        bool action = false;                                     // an entry starts an action (types other than 99)
        std::vector<PlainName> plain;                            // entries that name an animation, not a command
        std::vector<std::pair<std::string, std::string>> lists;  // native, name as written
        std::vector<std::string> animations;                     // native
        std::vector<Switch> switches;
        // A choice from the list ends here (anything but another list), or
        // goes on into these lists (named at that line).
        bool stops = false;
        std::vector<std::pair<std::string, Where>> onward;
    };
    struct AnimationLeads {
        bool action = true;     // a frame line starts an action
        bool noFrames = false;  // framecount below 1: a play-once ends before a frame
        std::vector<Switch> switches;
    };
    // An action command's next list, and what the action plays meanwhile.
    struct NextUse {
        Where at;
        std::string name, list;                            // the next field, its native path
        std::vector<std::string> animations, targetLists;  // natives the action plays
    };
    // A state list the actor lives on while idle.
    struct StateUse {
        Where at;
        std::string key, name, list;
    };

    ActionGraph(std::string installdir, Report& report) : installdir_(std::move(installdir)), report_(report) {}

    // Created on first use; references stay valid as others are added.
    ListLeads& List(const std::string& native) { return lists_[native]; }
    AnimationLeads& Animation(const std::string& native) { return animations_[native]; }
    const AnimationLeads* FindAnimation(const std::string& native) const;
    void AddNextUse(NextUse use) { nextUses_.push_back(std::move(use)); }
    void AddStateUse(StateUse use) { stateUses_.push_back(std::move(use)); }
    void SetActorDirectory(const std::string& actorFile, const std::string& actorpath) {
        actorDirectories_[actorFile] = actorpath;
    }

    // Plain animation names that the first choice at start can reach.
    void JudgeStartList(const std::string& list, const char* key);
    // Everything gathered so far; the uses are then forgotten.
    void Judge();

  private:
    // Lists whose choices only ever lead to further lists: the actor ends.
    void JudgeEndlessLists();
    void JudgeStateUses();
    void JudgeNextUse(const NextUse& use);
    bool ReachesAction(const std::string& list, std::set<std::string>& seen) const;
    // Each list reachable from these through the lists they name, once.
    void ForEachReachableList(std::vector<std::string> lists, const std::function<void(const ListLeads&)>& visit) const;
    void RequireList(const Switch& sw, const std::string& list);

    std::string installdir_;
    Report& report_;
    std::map<std::string, ListLeads> lists_;
    std::map<std::string, AnimationLeads> animations_;
    std::vector<NextUse> nextUses_;
    std::vector<StateUse> stateUses_;
    std::map<std::string, std::string> actorDirectories_;  // actor file native -> completed actorpath
};

}  // namespace kobal::checker

#pragma once
// The actor author's checker: reads an actor file (or every actor of a
// playlist) with the actor program's parser and resolution rules, follows
// everything reachable from it, and reports each mistake with its file and
// line before the actor ever runs.
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "checker/pictures.h"
#include "checker/report.h"
#include "common/settings.h"
#include "common/user_places.h"

namespace kobal::checker {

struct CheckOptions {
    // The install path setting (or its default), without the trailing "\".
    std::string installPath;
    // The user's own settings file and actor folder, read as the programs do.
    UserPlaces user = {};
};

class ActorChecker {
  public:
    ActorChecker(CheckOptions options, PictureInspector& pictures, Report& report);

    // An actor file, or else a playlist, told apart by the ending as the
    // launcher does. path is absolute (the caller completes a relative name).
    void CheckFile(const std::string& path);

  private:
    // name: the actor file as the referring line writes it (default: path).
    void CheckActorFile(const std::string& path, const Where& namedAt, const std::string& name = {});
    void CheckPlaylist(const std::string& path, const Where& namedAt);

    enum class FileKind { Config, Actor, Animation };

    // What one actor's files are checked against: its settings after the
    // global file and the actor file, and where each key was given.
    struct ActorContext {
        SettingStore store{SettingStore::Program::Actor};
        std::string actorFile;   // native
        std::string configFile;  // native
        int section = 1;
        int endLine = 0;
        std::map<std::string, int> actorLines;
        std::map<std::string, int> configLines;
        std::string actorpath;  // completed with installdir, system text
    };

    struct SettingsRead {
        bool ended = false;
        int endLine = 0;  // the "[end]" line, else the last line read
        std::map<std::string, int> keyLines;
    };

    struct Located {
        bool found = false;
        std::string native;
    };

    void CheckOneActor(const std::string& path, const std::string& name, const Where& namedAt);
    void CheckActorSettings(ActorContext& ctx);
    void CheckActorFiles(ActorContext& ctx);
    // Returns the list's native path, empty when it was not found.
    std::string CheckList(const std::string& name, const Where& at, ActorContext& ctx,
                          const std::string& what = "list");
    struct CommandFacts {
        int type = -1;  // -1: malformed
        std::string target;
        std::string firstList;  // native: the list the action loads first, if it names one
    };
    CommandFacts CheckCommand(const std::string& line, const Where& at, ActorContext& ctx);
    void CheckLinkMessage(const std::string& text, const Where& at);
    // viaShow: the name goes to the frame step (where "nul" and an empty
    // name show nothing new) rather than straight to the loader.
    // Returns the native path of an animation file it names, else empty.
    std::string CheckAnimationName(const std::string& name, const Where& at, ActorContext& ctx, bool viaShow);
    // Returns the animation's native path, empty when it was not found.
    std::string CheckAnimationFile(const std::string& name, const Where& at, ActorContext& ctx);
    void CheckPictureFile(const std::string& what, const std::string& name, const Where& at, const ActorContext& ctx,
                          Severity missing, const std::string& consequence);

    SettingsRead ReadChecked(SettingStore& store, class LineReader& reader, int section, FileKind kind);
    void ApplyChecked(SettingStore& store, const LineReader& reader, const std::string& line, int section,
                      FileKind kind, SettingsRead& read);
    Where PreferenceWhere(const ActorContext& ctx, const std::string& key) const;

    Located Locate(const std::string& systemPath, const Where& namedAt, const std::string& what,
                   const std::string& name, Severity missing, const std::string& consequence = {});
    void WarnLetterCase(const std::string& written, const std::string& resolved, const Where& at);
    void ReportRuntimeError(const std::exception& error, const Where& fallback);

    CheckOptions options_;
    std::string installdir_;
    PictureInspector& pictures_;
    Report& report_;

    struct PendingActor {
        std::string path;
        std::string name;
        Where namedAt;
    };
    std::deque<PendingActor> pendingActors_;
    bool draining_ = false;
    // Files followed one inside another: a chain beyond reason is cut short
    // rather than exhausting the stack.
    int depth_ = 0;
    bool TooDeep(const Where& at);
    std::set<std::string> actorsSeen_, listsSeen_, animationsSeen_, caseSeen_, pictureNotes_;

    // What the next list of an action leads to, judged once every file is
    // known: a next list from which no action can be reached keeps the
    // actor in it, and an actor switch keeps the next list's name, which
    // the other actor then looks for in its own directory.
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
    struct NextUse {
        Where at;
        std::string name, list;                            // the next field, its native path
        std::vector<std::string> animations, targetLists;  // natives the action plays
    };
    void JudgeNextLists();
    // Lists whose choices only ever lead to further lists: the actor ends.
    void JudgeEndlessLists();
    // Plain animation names that the first choice at start can reach.
    void JudgeStartList(const std::string& list, const char* key);
    bool ReachesAction(const std::string& list, std::set<std::string>& seen) const;
    // Each list reachable from these through the lists they name, once.
    void ForEachReachableList(std::vector<std::string> lists, const std::function<void(const ListLeads&)>& visit) const;
    void RequireList(const Switch& sw, const std::string& list);
    std::map<std::string, ListLeads> listLeads_;
    std::map<std::string, AnimationLeads> animationLeads_;
    std::vector<NextUse> nextUses_;
    // State lists the actor lives on while idle: one that reaches no action
    // keeps it standing in place, one frame per tick.
    struct StateUse {
        Where at;
        std::string key, name, list;
    };
    std::vector<StateUse> stateUses_;
    std::map<std::string, std::string> actorDirectories_;  // actor file native -> completed actorpath
};

}  // namespace kobal::checker

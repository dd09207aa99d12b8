#pragma once
// The actor author's checker: reads an actor file (or every actor of a
// playlist) with the actor program's parser and resolution rules, follows
// everything reachable from it, and reports each mistake with its file and
// line before the actor ever runs.
//
// The checks live beside what they check: actor files and playlists in
// actor_checker.cpp, random-choice lists in list_check.cpp, action commands
// in command_check.cpp, animation files and their frames in
// animation_check.cpp; what it all leads to is judged by ActionGraph.
#include <deque>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "checker/action_graph.h"
#include "checker/animation_header_check.h"
#include "checker/file_locator.h"
#include "checker/pictures.h"
#include "checker/report.h"
#include "checker/setting_lines.h"
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
    void CheckFile(const std::string& path) { CheckFiles({path}); }
    // Files checked together: besides each file's own findings, the link
    // messages each actor sends are judged against the others.
    void CheckFiles(const std::vector<std::string>& paths);

  private:
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
        // The actor file's line of a key, else its "[end]" line.
        Where LineOf(const char* key) const;
    };

    // -- actor files and playlists (actor_checker.cpp)
    // name: the actor file as the referring line writes it (default: path).
    // together: named on the command line or by a playlist, so it runs
    // beside the others (an actor switched to replaces its switcher).
    void CheckActorFile(const std::string& path, const Where& namedAt, const std::string& name = {},
                        bool together = false);
    void CheckPlaylist(const std::string& path, const Where& namedAt);
    void CheckOneActor(const std::string& path, const std::string& name, const Where& namedAt, bool together);
    // Reads the global settings and the actor file into ctx; false when
    // either cannot be read to its end.
    bool ReadActorSettings(const std::string& path, ActorContext& ctx);
    void CheckActorSettings(ActorContext& ctx);
    // On/off preferences that hold something else.
    void CheckSwitchValues(const ActorContext& ctx);
    void CheckActorFiles(ActorContext& ctx);
    void CheckStateLists(ActorContext& ctx);
    // Where the launcher's showsplash of 1 comes from; no file when it
    // shows no splash for this actor.
    Where LauncherSplashOn(const ActorContext& ctx) const;
    void CheckSplashPicture(const ActorContext& ctx);
    void CheckPictureFile(const std::string& what, const std::string& name, const Where& at, const ActorContext& ctx,
                          Severity missing, const std::string& consequence);
    Where PreferenceWhere(const ActorContext& ctx, const std::string& key) const;

    // -- random-choice lists (list_check.cpp)
    // Returns the list's native path, empty when it was not found.
    std::string CheckList(const std::string& name, const Where& at, ActorContext& ctx,
                          const std::string& what = "list");
    // The count on line 1 against the entries; how many entries a draw can
    // reach, or -1 when no entry is ever picked.
    int CheckListCount(const std::vector<std::string>& lines, const Where& first);
    void CheckListEntry(const std::string& entry, const Where& here, ActorContext& ctx, ActionGraph::ListLeads& leads);

    // -- action commands (command_check.cpp)
    struct CommandFacts {
        int type = -1;  // -1: malformed
        std::string target;
        std::string firstList;  // native: the list the action loads first, if it names one
    };
    CommandFacts CheckCommand(const std::string& line, const Where& at, ActorContext& ctx);
    // A command of a type other than 0 and 99, as far as its fields are read.
    struct ActionCheck {
        int16_t type;
        int16_t count;
        Where at;
        ActionGraph::NextUse use;  // what the action plays runs with its next list
        std::string firstList;
    };
    void CheckAction(ActionCheck& action, std::string_view target, std::string_view next, ActorContext& ctx);
    void CheckBehaviourCount(const ActionCheck& action, const ActorContext& ctx);
    void CheckNameList(ActionCheck& action, std::string_view target, ActorContext& ctx);
    void CheckFacingNames(ActionCheck& action, std::string_view target, const std::vector<std::string>& names,
                          ActorContext& ctx);
    void CheckNextList(ActionCheck& action, const std::string& next, ActorContext& ctx);
    // A name the action plays; viaShow as for CheckAnimationName. Returns the
    // animation's native path, empty for a list or a name not found.
    std::string Plays(ActionCheck& action, const std::string& name, bool viaShow, ActorContext& ctx);
    // A play-once of an animation with no frame to show restarts at once.
    void WarnEmptyPlayOnce(const ActionCheck& action, const std::string& name, const std::string& anim);

    // -- animation files and frames (animation_check.cpp)
    // viaShow: the name goes to the frame step (where "nul" and an empty
    // name show nothing new) rather than straight to the loader.
    // Returns the native path of an animation file it names, else empty.
    std::string CheckAnimationName(const std::string& name, const Where& at, ActorContext& ctx, bool viaShow);
    // Returns the animation's native path, empty when it was not found.
    std::string CheckAnimationFile(const std::string& name, const Where& at, ActorContext& ctx);
    // Reads the header and the frame lines; false when the file cannot be
    // read to the header's end (reported).
    bool ReadAnimation(AnimationHeader& header, std::vector<AnimationFrame>& frames);
    void CheckFrames(const AnimationHeader& header, const std::vector<AnimationFrame>& frames, int played,
                     ActorContext& ctx);
    // Both return true when the frame shows a keyed picture that loads.
    bool CheckPictureFrame(const AnimationHeader& header, const Where& here, const std::string& text,
                           const ActorContext& ctx);
    // A cycle of two different pictures whose second shows for one tick.
    void TellUnevenCycle(const AnimationHeader& header, const std::string& first, const std::string& second,
                         const ActorContext& ctx);
    bool CheckFramePicture(const AnimationHeader& header, const Where& here, const std::string& picture,
                           const std::string& native, bool opaque, const ActorContext& ctx);

    // Files followed one inside another: a chain beyond reason is cut short
    // rather than exhausting the stack.
    bool TooDeep(const Where& at);
    // One file deeper for as long as it lives.
    class DepthStep {
      public:
        explicit DepthStep(int& depth) : depth_(depth) { ++depth_; }
        ~DepthStep() { --depth_; }
        DepthStep(const DepthStep&) = delete;
        DepthStep& operator=(const DepthStep&) = delete;

      private:
        int& depth_;
    };

    CheckOptions options_;
    std::string installdir_;
    PictureInspector& pictures_;
    Report& report_;
    FileLocator files_;
    ActionGraph graph_;

    struct PendingActor {
        std::string path;
        std::string name;
        Where namedAt;
        bool together = false;
    };

    // -- link messages between the actors checked together (link_message_check.cpp)
    struct SentMessage {
        Where at;
        std::string text;
        std::string target;
        std::string list;
        std::string sender;  // native actor file
    };
    // What a receiver is known by: its name on the link and its directory
    // (system text, empty when it could not be resolved).
    struct LinkFacts {
        std::string actorddename;
        std::string actorpath;
    };
    void NoteSentMessage(const std::string& text, const Where& at, const ActorContext& ctx);
    void JudgeSentMessages();
    std::vector<SentMessage> sentMessages_;
    std::vector<std::string> together_;  // native actor files, in the order named
    std::map<std::string, LinkFacts> linkFacts_;
    std::deque<PendingActor> pendingActors_;
    bool draining_ = false;
    int depth_ = 0;
    std::set<std::string> actorsSeen_, listsSeen_, animationsSeen_, pictureNotes_;
};

}  // namespace kobal::checker

#pragma once
// The animation player: the animation file kept open and its frame, the
// pictures on show, random-choice lists (kept once read) and action
// command lines. What a command starts elsewhere goes through PlayerHost.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "actor/ports.h"
#include "actor/position.h"
#include "common/line_reader.h"
#include "common/random.h"
#include "common/runtime_error.h"
#include "common/settings.h"

namespace kobal::actor {

// An animation file's header keys as read. A key the file leaves out keeps
// the value in effect before it (for the scaled keys, the scaled one: the
// classic player kept one field for both).
struct AnimationHeader {
    int16_t framecount = 0;
    int16_t framepause = 0;
    int16_t timerspeed = 0;
    int16_t movespeed = 0;
    int16_t actorwidth = 0;  // pixels
    int16_t actorheight = 0;
    int16_t transparentred = 0;
    int16_t transparentgreen = 0;
    int16_t transparentblue = 0;
    int16_t alignx = 0;
    int16_t aligny = 0;
};

// What the running animation uses, computed from its header and the
// preferences when it is loaded.
struct AnimationPace {
    int16_t tickInterval = 0;  // ms: timerspeed over priorityup %
    int16_t moveStep = 0;      // twips per step: movespeed over speedup %
    int16_t widthTwips = 0;
    int16_t heightTwips = 0;
};

// What an action command line reaches outside the player.
class PlayerHost {
  public:
    virtual ~PlayerHost() = default;
    // A behaviour command (types 1 to 6 and any other but 0 and 99); args
    // only when the target was a "$" list.
    virtual void StartBehaviour(int16_t type, int16_t count, const std::optional<std::string>& args,
                                const std::string& next) = 0;
    virtual void SwitchActor(const std::string& actorfile) = 0;
    virtual void SendLinkMessage(const std::string& text) = 0;
    // The animation starts over for the next frame; true: that frame is not
    // shown (the behaviour in progress ends there).
    virtual bool AnimationStartsOver() = 0;
    // The window load step, before the first frame reaches the window.
    virtual void EnsureWindowLoaded() = 0;
};

class Player {
  public:
    Player(const SettingStore& settings, Position& position, ActorWindowPort& window, ScreenPort& screen,
           TimerPort& tick, SoundPort& sound, RandomSource& random, PlayerHost& host);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    void LoadAnimation(std::string& name);
    void ShowNextFrame(std::string& name);
    // Plays an entry of the list; a nested list replaces the caller's name.
    void PlayRandomChoice(std::string& list);
    std::string PickRandomLine(const std::string& list);
    void RunActionCommand(const std::string& line);
    void PlayActorSound(const std::string& name);
    void KeepOnScreen();
    // Native path of a file of the actor: actorpath followed by name.
    std::string ActorFile(const std::string& name) const;

    const std::string& animfile() const { return animfile_; }
    int16_t frameindex() const { return frameindex_; }
    int16_t pausecount() const { return pausecount_; }
    const std::string& lastpicture() const { return lastpicture_; }
    bool frameTransparent() const { return frametransparent_ == 1; }
    const AnimationHeader& header() const { return header_; }
    const AnimationPace& pace() const { return pace_; }
    int16_t widthTwips() const { return pace_.widthTwips; }
    int16_t heightTwips() const { return pace_.heightTwips; }

    // For a link command that may fail: everything it may change here, and
    // the animation files it closes kept until it is over.
    struct Saved;
    Saved Save() const;
    void Restore(Saved& saved);
    void KeepClosedFiles(bool keep);

  private:
    class DepthGuard;
    // Which file and which version of it: a kept copy is used while these stay the same.
    struct FileStamp {
        unsigned long long device = 0, inode = 0;
        long long size = 0, mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const FileStamp&) const = default;
    };
    // A random-choice list as last read, for as long as the file stays the same.
    struct CachedList {
        FileStamp stamp;
        std::string name;  // as opened, for messages
        int16_t count = 0;
        std::vector<std::string> entries;         // entry lines 1.. as far as they could be read
        std::optional<RuntimeError> pastEntries;  // raised on reading one more
    };
    const CachedList* ReadList(const std::string& list);
    // An animation file as last read whole, for as long as it stays the same.
    struct CachedAnimation {
        FileStamp stamp;
        std::string name;                         // as opened (native path)
        std::shared_ptr<const std::string> text;  // past a byte-order mark
    };
    // The animation file opened at its start: from the kept copy while the
    // file is unchanged (one stat), else read afresh with the same errors.
    std::unique_ptr<LineReader> OpenAnimation(const std::string& path);
    // PickRandomLine without a copy: the entry stays in the kept list (or
    // in storage) until the next list is read.
    std::string_view PickEntry(const std::string& list, std::string& storage);
    void ReadHeader();
    void RequireAnimationFile();
    // Reads on to the next frame line (into frameline_); false when an
    // action command came first: it has run, and the frame after it shown.
    bool ReadFrameLine();
    // Reading past the last frame line: the error says which line of the
    // header is wrong and why, as the checker does.
    RuntimeError PastTheLastFrame(const RuntimeError& e) const;
    // Plays the frame line's sound and puts its picture on the window.
    void ShowFrameLine();
    void ApplyPendingInterval();
    void CloseAnimationFile();

    const SettingStore& settings_;
    Position& position_;
    ActorWindowPort& window_;
    ScreenPort& screen_;
    TimerPort& tick_;
    SoundPort& sound_;
    RandomSource& random_;
    PlayerHost& host_;

    std::string animfile_;
    std::string animationPath_;              // as opened, for reading the header again after an error
    std::unique_ptr<LineReader> animation_;  // the animation file kept open (classic channel2)
    AnimationHeader header_;
    AnimationPace pace_;
    int16_t frameindex_ = 0;
    int16_t pausecount_ = 0;
    std::string lastpicture_;
    int16_t frametransparent_ = 0;
    // A new animation's pace and size reach the timer and window with its
    // first frame, not at its load.
    bool intervalPending_ = false;
    bool resizePending_ = false;

    // While a link command runs, animation files it closes are kept here.
    bool keepClosed_ = false;
    std::vector<std::unique_ptr<LineReader>> closed_;
    std::map<std::string, CachedList> lists_;  // by resolved path
    size_t listBytes_ = 0;
    std::map<std::string, CachedAnimation> animations_;  // by native path as written
    size_t animationBytes_ = 0;
    // Picture names as written on a frame line and the file shown for them:
    // a picture once shown is kept by the window, so its name is not looked up again.
    std::map<std::string, std::string, std::less<>> pictureFiles_;
    std::string pictureDir_;  // the actorpath they are below
    // Where the command being run was read from, for messages to authors.
    std::string commandFile_;
    int commandLine_ = 0;
    // Depth of the player's mutual calls: a chain of animations and lists
    // that never shows a frame ends with "Out of stack space", not a crash.
    int depth_ = 0;
    // Reused between frames so that reading a frame line allocates nothing new.
    std::string lineBuffer_;
    std::string frameline_;
};

struct Player::Saved {
    std::string animfile, lastpicture, commandFile;
    AnimationHeader header;
    AnimationPace pace;
    int16_t frameindex, pausecount, frametransparent;
    int commandLine;
    const LineReader* file;
    std::string fileName;
    int fileLine;
};

}  // namespace kobal::actor

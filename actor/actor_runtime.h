#pragma once
// The actor program's logic: one actor per process. Every program-wide
// variable of the classic modules lives here under its own name, and the
// procedures keep their names; the Qt adapter only forwards timer ticks,
// mouse events, menu choices and link texts to them.
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "actor/desktop.h"
#include "actor/ports.h"
#include "common/line_reader.h"
#include "common/message_box.h"
#include "common/random.h"
#include "common/runtime_error.h"
#include "common/settings.h"
#include "common/user_places.h"

namespace kobal::actor {

// The record of the behaviour in progress.
struct ActionRecord {
    int16_t actionstep = 0;   // ticks left; below -100: not yet initialised
    int32_t actionmove1 = 0;  // twips per tick (vertical for 1 and 6, horizontal for 2)
    int32_t actionmove2 = 0;  // horizontal step of types 1 and 6
    int16_t actioncount = 0;
};

struct ActorPorts {
    ActorWindowPort* window = nullptr;
    ScreenPort* screen = nullptr;
    TimerPort* timer1 = nullptr;
    TimerPort* timer2 = nullptr;
    TimerPort* ddetimer = nullptr;
    TrayPort* tray = nullptr;
    MenuPort* menu = nullptr;
    SoundPort* sound = nullptr;
    LinkPort* link = nullptr;
    DesktopPort* desktop = nullptr;
    MessageBoxPort* messages = nullptr;
    RandomSource* random = nullptr;
    Clock* clock = nullptr;
};

// What the About window shows; filled once, when it is first loaded.
struct AboutLists {
    std::vector<std::string> List1;  // software information
    std::vector<std::string> List2;  // actor information
};

class ActorRuntime {
  public:
    static constexpr const char* kProgramName = "kobalactor";

    explicit ActorRuntime(const ActorPorts& ports);
    ~ActorRuntime();

    // ---- start-up and end (form Actor, module Defactor) ----
    // installPath: the install path setting (or its default), without "\".
    void Main(const std::string& commandLine, const std::string& installPath);
    void LoadSettings();
    void EndActor();  // removes the tray icon and ends: throws ProgramEnd{0}
    void SwitchActor(const std::string& actorfile);

    // ---- animation player ----
    void LoadAnimation(std::string& name);
    void ShowNextFrame(std::string& name);
    void KeepOnScreen();
    // The monitors changed: an actor stranded on none comes back.
    void ScreensChanged();
    void PlayActorSound(const std::string& name);
    std::string PickRandomLine(const std::string& list);
    void PlayRandomChoice(std::string& list);
    void PlayNext();
    void RunActionCommand(const std::string& line);

    // ---- behaviour engine (module Actions, Timer1) ----
    void Timer1_Timer();
    int16_t PickDirection();
    void StepWander();
    void StepWalk();
    void StepDescend();
    void StepPlayOnce();
    void StepClimb();
    void StepWanderFacing();

    // ---- activity states (Timer2, Priority menu) ----
    void Timer2_Timer();
    void CheckActivity();
    void ShowActivityChecks();
    void SetHibernation(int mode);
    void pActivated_Click();
    void pBored_Click();
    void psleep_Click();
    void phyber_Click();

    // ---- mouse (twips relative to the window; buttons 1 left, 2 right, 4 middle) ----
    void Form_MouseDown(int button, double x, double y);
    void Form_MouseMove(int buttons, double x, double y);

    // ---- tray, menu and sound ----
    void GoSystemTray();
    void TrayDoubleClick();
    void TrayContextMenu();
    void Paudioon_Click();
    void paudiooff_Click();
    void Helpme_Click();
    // Click-through mode: the pointer reaches what lies below the actor;
    // only the tray menu turns it off again.
    void pclickthrough_Click();
    void Remove_Click();
    // The About window's lists, read on its first load.
    AboutLists LoadAboutLists();

    // The active window became fullscreen, or stopped being: with
    // hidefullscreen 1 the actor stays out of its way until then.
    void FullscreenChanged(bool active);

    // ---- link between actors ----
    void JoinActorLink();
    void SendLinkMessage(const std::string& text);
    void DDEline_Change(const std::string& text);
    void DDETimer_Timer();
    void RunLinkCommand(const std::string& command);
    void Form_QueryUnload();

    // The window load step; runs once, when the window is first used.
    void EnsureWindowLoaded();
    bool windowLoaded() const { return windowLoaded_; }
    // Where the help page lives, for the adapter's "Help" item.
    std::string HelpPagePath() const;
    // Native path of a file of the actor: actorpath followed by name.
    std::string ActorFile(const std::string& name) const;

    // ---- program-wide variables ----
    SettingStore settings{SettingStore::Program::Actor};
    std::string installdir;
    // The user's own settings file and actor folder; empty in tests.
    UserPlaces user;
    int32_t actorx = 0;  // 32-bit: 16-bit twips end at 2184 pixels
    int32_t actory = 0;
    int16_t idlecount = 0;
    std::string statefile;

    std::string animfile;
    int16_t frameindex = 0;
    int16_t pausecount = 0;
    std::string lastpicture;
    int16_t frametransparent = 0;
    int16_t intervalpending = 0;
    int16_t resizepending = 0;
    std::string nextfile;
    int16_t actiontype = 0;
    std::string actionargs;
    ActionRecord action;
    std::array<std::string, 6> facingnames;  // entries 1 to 5 are used

    int32_t dragx = 0;
    int32_t dragy = 0;
    bool traybusy = false;
    bool clickthrough = false;
    bool hiddenforfullscreen = false;

    int16_t linkhub = 0;
    std::deque<std::string> DDEcache;
    std::string DDEline;

  private:
    // What a link command may change; put back when the command fails, so a
    // bad message from another actor leaves this one as it was.
    struct PlayerState;
    PlayerState SavePlayer() const;
    void RestorePlayer(PlayerState& saved);

    // A random-choice list as last read, for as long as the file stays the same.
    struct CachedList {
        unsigned long long device = 0, inode = 0;
        long long size = 0, mtimeSec = 0, mtimeNsec = 0;
        std::string name;  // as opened, for messages
        int16_t count = 0;
        std::vector<std::string> entries;         // entry lines 1.. as far as they could be read
        std::optional<RuntimeError> pastEntries;  // raised on reading one more
    };
    const CachedList* ReadList(const std::string& list);
    // PickRandomLine without a copy: the entry stays in the kept list (or
    // in storage) until the next list is read.
    std::string_view PickEntry(const std::string& list, std::string& storage);

    void RequireChannel2();
    [[noreturn]] void FailCommand(const std::string& detail, const std::string& line);
    int32_t AddPosition(int32_t position, int32_t step);
    Room CurrentRoom();
    void MoveAndBounce();
    void ApplyPendingInterval();

    ActorPorts ports_;
    std::unique_ptr<LineReader> channel2_;  // the animation file kept open
    // While a link command runs, animation files it closes are kept here.
    bool parkChannels_ = false;
    std::vector<std::unique_ptr<LineReader>> parked_;
    std::map<std::string, CachedList> lists_;  // by resolved path
    size_t listBytes_ = 0;
    bool windowLoaded_ = false;
    // Where the command being run was read from, for messages to authors.
    std::string commandFile_;
    int commandLine_ = 0;
    // Depth of the player's mutual calls: a chain of animations and lists
    // that never shows a frame ends with "Out of stack space", not a crash.
    int depth_ = 0;
    // Reused between frames so that reading a frame line allocates nothing new.
    std::string lineBuffer_;
    std::string frameline_;
    friend class DepthGuard;
};

}  // namespace kobal::actor

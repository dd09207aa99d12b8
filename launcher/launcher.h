#pragma once
// The launcher's one pass (formerly module Koballaunch): command line, install
// directory, the actor file or the playlist's splash texts, configuration,
// splash, then one actor process per compatible actor. It talks to the
// outside only through the ports below.
#include <string>
#include <string_view>

#include "common/install_path.h"
#include "common/message_box.h"
#include "common/settings.h"
#include "common/user_places.h"

namespace kobal::launcher {

inline constexpr char kCompatibleVersion[] = "Kobaltron V1.0";
// Appended to installdir, which already ends in "\\": the doubled separator
// is kept, the file system accepts it.
inline constexpr char kConfigFile[] = "\\resource\\config.kcfg";
// The actor program and the launcher's own program file, below installdir.
inline constexpr char kActorProgram[] = "resource\\kobalactor";
inline constexpr char kOwnProgram[] = "resource\\kobaltron";
inline constexpr char kPlaylistPicture[] = "resource\\playlist.jpg";
inline constexpr char kSplashBackground[] = "resource\\splash.gif";

inline constexpr char kUsageText[] = "Usage: Kobaltron:[Actorfile.kact]\rUsage: Kobaltron:[Actorlist.kpls]";
inline constexpr char kNoApplicationText[] = "Cannot find the application, Please run kobalconfig";
// Why an actor is refused while the splash is on and its file names no picture.
inline constexpr char kNoSplashKeyText[] =
    "no splash picture: the splashscreen key is missing or empty while showsplash is 1";

// Exit status of the usage and file-not-found ends (the launcher did not do
// what it was asked, so scripts should see a failure).
inline constexpr int kRefusedStatus = 1;

// Starts a program without waiting, with the actor file as its one argument.
// Raises RuntimeError when the program cannot be started.
class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    virtual void StartProcess(const std::string& program, const std::string& actorfile) = 0;
};

// What the splash window shows; paths are in the system's text form.
struct SplashContent {
    std::string caption;       // msg: "Loading... " + actorname
    std::string background;    // the window's picture
    std::string actorPicture;  // actorpath + splashscreen; empty shows nothing
    bool operator==(const SplashContent&) const = default;
};

// Shows the splash window modally and returns when it has closed itself.
// Raises RuntimeError when a picture cannot be loaded.
class SplashPort {
  public:
    virtual ~SplashPort() = default;
    virtual void ShowSplash(const SplashContent& content) = 0;
};

enum class TargetKind { ActorFile, Playlist, Neither };

// By ending, ignoring letter case: ".kact"/".kac" actor file, ".kpls"/".kpl"
// playlist, anything else neither.
TargetKind ClassifyTarget(std::string_view name);

// Drops one leading and, independently, one trailing double quote.
std::string StripQuotes(std::string_view text);

// The launcher's command line from the program's arguments: the whole text
// after the program name, arguments joined by single blanks.
std::string CommandLineFrom(int argc, const char* const* argv);

struct LauncherPorts {
    MessageBoxPort& boxes;
    InstallPathStore& installPath;
    ProcessStarter& starter;
    SplashPort& splash;
    // The install path used when the setting is missing.
    std::string defaultInstallPath;
    // The user's own settings file and actor folder (none when empty).
    UserPlaces user = {};
};

class ActorLauncher {
  public:
    explicit ActorLauncher(LauncherPorts ports) : ports_(std::move(ports)) {}

    // The start procedure. Ends early by raising ProgramEnd (usage, missing
    // actor file) or RuntimeError (unreadable files, unloadable pictures,
    // a program that cannot be started); actors started before stay.
    void LaunchFromCommandLine(const std::string& commandLine);

    // Reads an actor file into the store and completes actorpath.
    void ReadActorDescription(std::string& name);
    // Tests version, then starts the actor program for targetfile.
    void StartActorProcess();

    SplashContent Splash() const;

    std::string targetfile;
    std::string listfile;
    std::string installdir;
    SettingStore store{SettingStore::Program::Launcher};

  private:
    [[noreturn]] void End();
    // Raises RuntimeError naming the actor file when its splash picture is missing.
    void RequireSplashPicture() const;
    LauncherPorts ports_;
};

}  // namespace kobal::launcher

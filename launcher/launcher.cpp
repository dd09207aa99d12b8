#include "launcher/launcher.h"

#include "common/paths.h"
#include "common/playlist_reader.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::launcher {

TargetKind ClassifyTarget(std::string_view name) {
    if (EndsWithNoCase(name, ".kact") || EndsWithNoCase(name, ".kac")) return TargetKind::ActorFile;
    if (EndsWithNoCase(name, ".kpls") || EndsWithNoCase(name, ".kpl")) return TargetKind::Playlist;
    return TargetKind::Neither;
}

std::string StripQuotes(std::string_view text) {
    if (!text.empty() && text.front() == '"') text.remove_prefix(1);
    if (!text.empty() && text.back() == '"') text.remove_suffix(1);
    return std::string(text);
}

std::string CommandLineFrom(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

void ActorLauncher::End() {
    throw ProgramEnd{kRefusedStatus};
}

void ActorLauncher::LaunchFromCommandLine(const std::string& commandLine) {
    targetfile = StripQuotes(commandLine);
    installdir = InstallDirFrom(ReadInstallPath(ports_.installPath, ports_.defaultInstallPath));
    // A relative name is read where it is found: the working directory, else
    // below the install directory. Tested and read as the same file.
    if (!targetfile.empty()) targetfile = ActorFileFromWorkingDirectory(targetfile, installdir);
    if (targetfile.empty() || !FileExists(targetfile)) {
        ports_.boxes.ShowMessage(kUsageText, "!");
        End();
    }
    if (!FileExists(installdir + kOwnProgram)) ports_.boxes.ShowMessage(kNoApplicationText, "!");

    const TargetKind kind = ClassifyTarget(targetfile);
    if (kind == TargetKind::ActorFile) {
        ReadActorDescription(targetfile);
    } else if (kind == TargetKind::Playlist) {
        store.actorname.clear();
        store.actorpath = installdir;
        store.splashscreen = kPlaylistPicture;
    }

    // The user's own settings, kept beside an install they cannot write, win.
    const std::string& own = ports_.user.settingsFile;
    ReadSettingsFile(store, !own.empty() && FileExists(own) ? own : installdir + kConfigFile, 1, LoopShape::Launcher);

    if (store.showsplash == 1) {
        if (kind == TargetKind::ActorFile) RequireSplashPicture();
        ports_.splash.ShowSplash(Splash());
    }

    if (kind == TargetKind::ActorFile) {
        StartActorProcess();
        return;
    }
    // Anything that is not an actor file by its ending is read as a playlist.
    listfile = targetfile;
    PlaylistReader playlist(listfile);
    while (!playlist.AtEnd()) {
        targetfile = playlist.ReadField();
        // An entry missing from the working directory is looked for beside
        // the playlist, then below the install directory.
        if (const PlaylistEntry entry = FindPlaylistEntry(targetfile, listfile, installdir);
            entry.found && !entry.asStands)
            targetfile = entry.path;
        ReadActorDescription(targetfile);
        StartActorProcess();
    }
}

void ActorLauncher::ReadActorDescription(std::string& name) {
    if (!FileExists(name)) {
        ports_.boxes.ShowMessage("File not found: " + name, "Error");
        End();
    }
    ReadSettingsFile(store, name, 1, LoopShape::Launcher);
    store.actorpath = ResolveActorPath(store.actorpath, installdir, name, store.iconfile, ports_.user);
}

// The picture would fail to load all the same; this names the actor file
// that lacks it, and why, in place of a bare folder name.
void ActorLauncher::RequireSplashPicture() const {
    if (store.splashscreen.empty())
        throw RuntimeError(ErrorNumber::FileNotFound, ResolvePath(targetfile), 0, std::string(kNoSplashKeyText));
    const std::string picture = store.actorpath + store.splashscreen;
    if (!FileExists(picture))
        throw RuntimeError(ErrorNumber::FileNotFound, ResolvePath(picture), 0,
                           "the splash picture, splashscreen=" + store.splashscreen + " in " + ResolvePath(targetfile));
}

void ActorLauncher::StartActorProcess() {
    if (store.version != kCompatibleVersion) {
        ports_.boxes.ShowMessage("Kobaltron is not compatible with this version (" + store.version + ").", "!");
        return;
    }
    ports_.starter.StartProcess(ResolvePath(installdir + kActorProgram), targetfile);
}

SplashContent ActorLauncher::Splash() const {
    return {"Loading... " + store.actorname, installdir + kSplashBackground, store.actorpath + store.splashscreen};
}

}  // namespace kobal::launcher

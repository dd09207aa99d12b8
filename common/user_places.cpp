#include "common/user_places.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "common/paths.h"

namespace kobal {
namespace {

std::string HomeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// actorpath, then the same with its leading folders left off one by one:
// "a\b\" gives "a\b\", "b\" and "".
std::vector<std::string> Tails(const std::string& actorpath) {
    std::vector<std::string> tails{actorpath};
    for (size_t i = 0; i < actorpath.size(); ++i)
        if (actorpath[i] == '\\' || actorpath[i] == '/') tails.push_back(actorpath.substr(i + 1));
    return tails;
}

// The directory part of an actorpath (a name without a trailing separator
// glues onto the file names, so only what comes before the last one counts).
std::string DirectoryPart(const std::string& actorpath) {
    const size_t slash = actorpath.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : actorpath.substr(0, slash + 1);
}

bool HoldsActor(const std::string& candidate, const std::string& iconfile) {
    return FileExists(candidate + iconfile);
}

}  // namespace

// Relative values are ignored, as the base directory rules ask.
std::string XdgDir(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && v[0] == '/') return v;
    return HomeDirectory() + fallback;
}

UserPlaces UserPlacesFromEnvironment() {
    return {XdgDir("XDG_CONFIG_HOME", "/.config") + "/kobaltron/config.kcfg",
            XdgDir("XDG_DATA_HOME", "/.local/share") + "/kobaltron/actors"};
}

std::string GlobalSettingsFile(const std::string& installdir) {
    return installdir + "resource\\config.kcfg";
}

std::string SettingsFileToRead(const std::string& installdir, const UserPlaces& user) {
    if (!user.settingsFile.empty() && FileExists(user.settingsFile)) return user.settingsFile;
    return GlobalSettingsFile(installdir);
}

std::string FromWorkingDirectory(const std::string& name) {
    if (IsAbsolutePath(name)) return name;
    std::string cwd;
    if (char* dir = ::getcwd(nullptr, 0)) {
        cwd = dir;
        std::free(dir);
    }
    return cwd + "/" + NativePath(name);
}

std::string ActorFileFromWorkingDirectory(const std::string& name, const std::string& installdir) {
    if (IsAbsolutePath(name)) return name;
    // The working directory first: the name the user typed and saw there.
    if (FileExists(name)) return FromWorkingDirectory(name);
    return installdir + name;
}

PlaylistEntry FindPlaylistEntry(const std::string& name, const std::string& playlistFile,
                                const std::string& installdir) {
    if (FileExists(name)) return {true, true, ActorFileFromWorkingDirectory(name, installdir)};
    if (name.empty() || IsAbsolutePath(name)) return {false, false, name};
    const std::string beside = ParentDirectory(NativePath(FromWorkingDirectory(playlistFile))) + "/" + name;
    if (FileExists(beside)) return {true, false, beside};
    if (FileExists(installdir + name)) return {true, false, installdir + name};
    return {false, false, name};
}

std::string ResolveActorPath(const std::string& actorpath, const std::string& installdir, const std::string& actorFile,
                             const std::string& iconfile, const UserPlaces& user) {
    if (IsAbsolutePath(actorpath)) return actorpath;
    const std::string usual = installdir + actorpath;
    // Without an icon name there is nothing to know the actor's folder by.
    if (DirectoryExists(DirectoryPart(usual)) || iconfile.empty()) return usual;

    const std::vector<std::string> tails = Tails(actorpath);
    const std::string folder = ParentDirectory(NativePath(FromWorkingDirectory(actorFile)));
    for (const std::string& tail : tails)
        if (const std::string candidate = folder + "/" + tail; HoldsActor(candidate, iconfile)) return candidate;
    // The user's actor folder itself holds actors, not one actor's files.
    if (!user.actorFolder.empty())
        for (const std::string& tail : tails)
            if (!tail.empty())
                if (const std::string candidate = user.actorFolder + "/" + tail; HoldsActor(candidate, iconfile))
                    return candidate;
    return usual;
}

}  // namespace kobal

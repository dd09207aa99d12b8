#pragma once
// A user's own places beside a system-wide install: the settings file kept by
// a user who cannot write the install directory, and the user's actor folder.
// Relative names the install directory does not hold are looked for there and
// beside the file that names them, so actors and playlists run from anywhere.
#include <string>

namespace kobal {

struct UserPlaces {
    std::string settingsFile;  // native path; empty: none
    std::string actorFolder;   // native path; empty: none
};

// An XDG base directory: the variable when it holds an absolute path, else
// the home folder + fallback ("/.config", "/.local/share").
std::string XdgDir(const char* variable, const char* fallback);

// $XDG_CONFIG_HOME/kobaltron/config.kcfg and $XDG_DATA_HOME/kobaltron/actors
// (~/.config and ~/.local/share when unset).
UserPlaces UserPlacesFromEnvironment();

// The global settings file: installdir (ending in "\") + "resource\config.kcfg".
std::string GlobalSettingsFile(const std::string& installdir);

// The settings file every program reads: the user's own when it exists, else
// the global one.
std::string SettingsFileToRead(const std::string& installdir, const UserPlaces& user);

// The native absolute form of a name relative to the working directory.
std::string FromWorkingDirectory(const std::string& name);

// A relative actor file or playlist name, read where it is found: from the
// working directory when that holds it, else below the install directory
// (also when neither does, so that messages name the usual place). An
// absolute one stays. The launcher, the actor and the checker all use it.
std::string ActorFileFromWorkingDirectory(const std::string& name, const std::string& installdir);

// A playlist entry. found: some file answers to it; path: the file read for
// it; asStands: found as written (relative to the working directory), so the
// launcher passes it on unchanged. A relative entry is looked for in the
// working directory, then beside the playlist, then below the install
// directory.
struct PlaylistEntry {
    bool found = false;
    bool asStands = false;
    std::string path;
};
PlaylistEntry FindPlaylistEntry(const std::string& name, const std::string& playlistFile,
                                const std::string& installdir);

// Where the files of an actor are. An absolute actorpath stays. A relative one
// is installdir + actorpath when that folder exists; else the first folder
// that holds the actor's icon file (so none when iconfile is empty) among: the actor file's folder
// + actorpath, then the same with the leading folders of actorpath left off one by one down to the
// actor file's folder itself; then the user's actor folder the same way. When none does, installdir
// + actorpath, so that messages name the usual place.
std::string ResolveActorPath(const std::string& actorpath, const std::string& installdir, const std::string& actorFile,
                             const std::string& iconfile, const UserPlaces& user);

}  // namespace kobal

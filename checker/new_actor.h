#pragma once
// kobalcheck --new: a small working actor to start from. Its pictures are
// drawn here with hard edges on an exact key colour, and every animation
// shows each frame line for one tick, so nothing fringes or limps.
#include <stdexcept>
#include <string>
#include <vector>

namespace kobal::checker {

struct NewActorFile {
    std::string name;   // in the actor's folder
    std::string bytes;  // the whole file
    std::string what;   // one line for the author
};

// Why name cannot name a new actor ("" when it can): it becomes a folder,
// the actor file's name and the actor's name on the link.
std::string NewActorNameProblem(const std::string& name);

// Every file of the actor called name (a name NewActorNameProblem accepts).
std::vector<NewActorFile> NewActorFiles(const std::string& name);

struct NewActorError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Writes the files into dir/name/, creating dir when it is missing. Never
// writes over anything: an existing dir/name is refused, and a failed write
// removes what this call wrote. Returns the folder (absolute, ending in "/").
// Raises NewActorError with a message naming the file.
std::string WriteNewActor(const std::string& name, const std::string& dir);

// What kobalcheck --new says after writing: every file with what it is
// for, and the commands to check and start the actor.
std::string NewActorReport(const std::string& name, const std::string& folder);

}  // namespace kobal::checker

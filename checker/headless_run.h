#pragma once
// A repeatable headless run of an actor: the actor program's own logic with
// recording ports and a virtual clock, printed as a timeline of what changed.
#include <cstdint>
#include <ostream>
#include <string>

#include "checker/pictures.h"
#include "common/user_places.h"

namespace kobal::checker {

struct RunOptions {
    std::string actorFile;    // absolute, as the actor program is given it
    std::string installPath;  // without the trailing "\"
    UserPlaces user;          // the user's own settings file and actor folder
    int seconds = 60;
    // Feeds the random generator and the clock it is reseeded from: the same
    // seed gives the same timeline, byte for byte.
    uint64_t seed = 0;
    int screenWidth = 1920;  // pixels, 15 twips each
    int screenHeight = 1080;
    std::string displayBase;  // paths below it are printed relative to it
};

// Writes the timeline to out; returns 0, or 1 when the actor ended with a
// run-time error (printed with its file and line) or refused to start.
int RunHeadless(const RunOptions& options, PictureInspector& pictures, std::ostream& out);

}  // namespace kobal::checker

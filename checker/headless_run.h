#pragma once
// A repeatable headless run of an actor: the actor program's own logic with
// recording ports and a virtual clock, printed as a timeline of what changed.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "checker/pictures.h"
#include "checker/window_layout.h"
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

    // What an author previews: left clicks in the middle of the actor and
    // texts arriving over the link, at virtual times (ms).
    std::vector<int64_t> clicks;
    struct Arrival {
        int64_t ms = 0;
        std::string text;
    };
    std::vector<Arrival> arrivals;
    // A list of the actor played at time 0, as a link message would play it.
    std::string firstList;
    // A short account of actions, lists and states over time, with totals,
    // in place of a line for every change.
    bool summary = false;
    // Other programs' windows on the screen (--windows), numbered from 1 in
    // their order; without a layout the actor sees no window list at all.
    bool windowLayout = false;
    std::vector<LayoutWindow> windows;
};

// One picture as the window showed it from ms on; an empty picture: nothing
// shows (no picture yet, or the window hidden).
struct ShownFrame {
    int64_t ms = 0;
    std::string picture;  // native path
    int width = 0;        // the window, in pixels
    int height = 0;
    int32_t key = -1;  // the key colour set for this picture, or -1: the whole rectangle shows
    bool operator==(const ShownFrame& o) const {
        return picture == o.picture && width == o.width && height == o.height && key == o.key;
    }
};

// The link text that --message LIST sends: a name alone becomes a list
// command to every actor; a text with "%" goes as it is.
std::string LinkTextFor(const std::string& list);

// Writes the timeline to out; returns 0, or 1 when the actor ended with a
// run-time error (printed with its file and line) or refused to start.
// shown, when given, receives every change of the picture on show, and a
// last entry at the time the run ended.
int RunHeadless(const RunOptions& options, PictureInspector& pictures, std::ostream& out,
                std::vector<ShownFrame>* shown = nullptr);

}  // namespace kobal::checker

#pragma once
// An animation file's header and frame count: what the player computes from
// them when it loads the animation, and what a header leaves to the
// animation before.
#include <cstdint>
#include <string>
#include <vector>

#include "checker/report.h"
#include "checker/setting_lines.h"
#include "common/settings.h"

namespace kobal::checker {

struct AnimationHeader {
    std::string file;  // native
    SettingStore values{SettingStore::Program::Actor};
    SettingsRead read;

    bool Has(const char* key) const { return read.keyLines.count(key) > 0; }
    Where End() const { return {file, read.endLine}; }
    // The key's line, else the "[end]" line.
    Where LineOf(const char* key) const { return Has(key) ? Where{file, read.keyLines.at(key)} : End(); }
    // Any of the three key colour parts.
    bool KeyGiven() const;
};

// A non-empty frame line after the header, trimmed.
struct AnimationFrame {
    int line;
    std::string text;
};

// The header's values at the preferences the actor runs with.
void CheckAnimationHeader(const AnimationHeader& header, int16_t priorityup, int16_t speedup, Report& report);

// How many frame lines one pass shows, after saying what framecount does
// with these frames.
int FramesPlayed(const AnimationHeader& header, const std::vector<AnimationFrame>& frames, Report& report);

}  // namespace kobal::checker

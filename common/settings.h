#pragma once
// The setting store and the one parser of key=value lines that all four
// programs share. Numeric fields are 16-bit; every field starts zero/empty
// and keeps its value until a later line overwrites it.
#include <cstdint>
#include <string>
#include <string_view>

namespace kobal {

class LineReader;

struct SettingStore {
    // Which program owns the store: only the actor program keeps actorddename.
    enum class Program { Actor, Launcher, Config, Installer };
    explicit SettingStore(Program program = Program::Actor) : program(program) {}
    Program program;

    // Animation keys (section code 0)
    int16_t framecount = 0;
    int16_t framepause = 0;
    int16_t timerspeed = 0;
    int16_t movespeed = 0;
    int16_t actorwidth = 0;
    int16_t actorheight = 0;
    int16_t transparentred = 0;
    int16_t transparentgreen = 0;
    int16_t transparentblue = 0;
    int16_t alignx = 0;
    int16_t aligny = 0;

    // Preference keys (section code 1)
    int16_t priorityup = 0;
    int16_t speedup = 0;
    int16_t audioon = 0;
    int16_t showsplash = 0;
    int16_t boredtime = 0;
    int16_t sleeptime = 0;
    int16_t hibernatetime = 0;
    int16_t initialpriority = 0;
    int16_t transparencyoff = 0;
    int16_t overrideactor = 0;
    // 1 = actors hide while a fullscreen window is active; files written
    // before it existed leave it 0.
    int16_t hidefullscreen = 0;
    // 1 = the top edges of other programs' windows are floors; files written
    // before it existed leave it 0.
    int16_t windowfloors = 0;

    // Actor keys (section codes 1 and 2)
    std::string version;
    std::string actorname;
    std::string actorddename;
    std::string actorpath;
    std::string infofile;
    std::string splashscreen;
    std::string iconfile;
    std::string activefile;
    std::string responsefile;
    std::string boredfile;
    std::string sleepfile;
    // The list played when the floor under the actor is lost (optional).
    std::string fallfile;
};

// Applies one key=value line under a section code (0 animation keys,
// 1 preference and actor keys, 2 actor keys only). Raises Overflow for a
// numeric value outside 16 bits.
void ParseSettingLine(SettingStore& store, std::string_view line, int sectioncode);

// What a setting line's key belongs to, and whether a section code takes
// it (0 animation keys, 1 preference and actor keys, 2 actor keys only).
enum class SettingKeyGroup { Animation, Preference, Actor, None };
SettingKeyGroup SettingKeyGroupOf(std::string_view key);
bool SectionTakes(int sectioncode, SettingKeyGroup group);
// The key of a key=value line as the parser matches it: trimmed of blanks
// and lower-cased; empty when the line holds no "=".
std::string SettingLineKey(std::string_view line);

// True for the "[end]" line: trimmed of blanks and lower-cased.
bool IsEndLine(std::string_view line);

// The actor program's loop: the first line is always applied, never taken
// as the end. Errors name the file and line.
void ReadSettingsActorLoop(SettingStore& store, LineReader& reader, int sectioncode);
// The launcher's and configuration tool's loop: a first "[end]" ends at once.
void ReadSettingsLauncherLoop(SettingStore& store, LineReader& reader, int sectioncode);

enum class LoopShape { Actor, Launcher };
// Opens path (case-insensitive fallback), reads it with the loop, closes it.
void ReadSettingsFile(SettingStore& store, const std::string& path, int sectioncode, LoopShape loop);

}  // namespace kobal

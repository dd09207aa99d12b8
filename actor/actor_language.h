#pragma once
// The actor-file language in one place: what an action command, a frame
// line, a random-choice entry and a link message say, the key colour, the
// file endings and the header values the player derives. The player, the
// checker and the headless run read the files with these rules, so the
// checker predicts exactly what the player does.
//
// Pure functions over text and numbers; nothing here opens a file. Errors
// are the player's own run-time errors; a caller that knows the file and
// line adds them (RuntimeError::WithFile).
//
// The setting keys and their section codes are in common/settings.h
// (SettingKeyGroupOf, SectionTakes, SettingLineKey): every program reads
// setting lines, not only the actor.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/runtime_error.h"
#include "common/settings.h"

namespace kobal::actor {

// ------------------------------------------------------------- endings --

inline constexpr std::string_view kAnimationEnding = ".kani";
inline constexpr std::string_view kListEnding = ".krnd";
// The name that shows nothing when handed to the frame step.
inline constexpr std::string_view kShowNothing = "nul";

// Exact test of the last characters, letter case included.
bool HasEnding(std::string_view name, std::string_view ending);
inline bool IsAnimationName(std::string_view name) {
    return HasEnding(name, kAnimationEnding);
}
inline bool IsListName(std::string_view name) {
    return HasEnding(name, kListEnding);
}

// ------------------------------------------------------ action commands --

// type|count|target|next: the first three "|" separate the fields, the next
// field is the rest of the line. Views into the line that was split.
struct ActionFields {
    std::string_view type;
    std::string_view count;
    std::string_view target;
    std::string_view next;  // trimmed of blanks; the others are not
};

// Empty when the line holds fewer than three "|".
std::optional<ActionFields> SplitActionCommand(std::string_view line);

// The type is the last two characters of the type field ("!5" reads as 0).
// Two characters never overflow.
int16_t ActionType(std::string_view typefield);
// A count field outside 16 bits raises Overflow.
int16_t ActionCount(std::string_view countfield);

inline constexpr int16_t kSwitchActor = 0;
inline constexpr int16_t kSendLinkMessage = 99;
// Types that a behaviour steps; other types are recorded and do nothing.
inline bool IsBehaviourType(int16_t type) {
    return type >= 1 && type <= 6;
}
inline constexpr int16_t kPlayOnce = 4;
inline constexpr int16_t kWalk = 2;
inline constexpr int16_t kWanderFacing = 6;

// The actor file a switch (type 0) names: a relative name is below the
// install directory (installdir ends in its separator).
std::string SwitchedActorFile(std::string_view target, const std::string& installdir);

// The player's messages for a malformed command (detail + ": " + line).
inline constexpr std::string_view kNeedsThreeBars = "an action command needs three \"|\" (type|count|target|next)";
inline constexpr std::string_view kNeedsTwoNames = "a \"$\" target needs at least two names separated by \",\"";
RuntimeError ActionCommandError(std::string_view detail, std::string_view line, const std::string& file, int fileLine);

// The player's reading of a command: the fields, or Invalid procedure call
// at file:fileLine when a "|" is missing.
ActionFields ReadActionCommand(std::string_view line, const std::string& file, int fileLine);

// A "$" target lists animation names separated by ",".
inline bool IsNameListTarget(std::string_view target) {
    return !target.empty() && target.front() == '$';
}
// The list after the "$" (the player's actionargs).
std::string_view NameListOf(std::string_view target);
// The name loaded as the action starts: the text before the first ",";
// empty when the list holds no ",".
std::optional<std::string_view> FirstListedName(std::string_view names);
// Every name, split at each ",".
std::vector<std::string> SplitNames(std::string_view names);

// A walk: left before the first ",", right everything after it.
struct WalkNames {
    std::string_view left;
    std::string_view right;
};
std::optional<WalkNames> SplitWalkNames(std::string_view names);
inline constexpr std::string_view kWalkNeedsTwoNames =
    "a walk needs two animation names in a \"$\" list, left before the \",\": ";

// A wander facing takes up to five names; the first four face the diagonals.
inline constexpr size_t kMaxFacingNames = 5;
inline constexpr std::string_view kTooManyFacingNames = "a wander-facing \"$\" list holds at most five names: ";

// A count -N stands for a count drawn from 1 to N; a list of N entries
// picks from 1 to N the same way. unit is the random number in [0, 1).
int16_t DrawOneTo(double unit, int n);

// ---------------------------------------------------------- frame lines --

enum class FrameLineKind { Blank, Command, Picture };
// line: the frame line trimmed of blanks.
FrameLineKind KindOfFrameLine(std::string_view line);

// "@picture|sound": views into the frame line.
struct PictureLine {
    std::string_view written;  // before the first "|", "@" included
    std::string_view picture;  // the file name, without the "@"
    bool opaque = false;       // "@": the key colour is not applied
    bool hasSound = false;
    std::string_view sound;  // after the first "|"
};
PictureLine SplitPictureLine(std::string_view line);

// ---------------------------------------------------- random-choice lists --

enum class EntryKind { Command, Animation, List, Nothing };
// entry: trimmed of blanks.
EntryKind KindOfEntry(std::string_view entry);

// The count on the first line (up to any ","); Overflow outside 16 bits.
int16_t ListCount(std::string_view firstLine);

// The state list an actor starts on by initialpriority: the setting key,
// or nullptr for a value other than 0 to 3.
const char* StartListKey(int16_t initialpriority);

// ----------------------------------------------------------- key colour --

// Each part counts only in its low eight bits.
int KeyColorPart(int16_t value);
// red + 256 x green + 65536 x blue.
int32_t KeyColor(int16_t red, int16_t green, int16_t blue);
int32_t KeyColor(const SettingStore& header);
struct KeyColorParts {
    int red, green, blue;
};
KeyColorParts PartsOfKeyColor(int32_t key);
// "red,green,blue" as an author writes it.
std::string KeyColorText(int32_t key);

// ------------------------------------------------------ animation header --

// The scaled values an animation header gives at load. Overflow outside
// 16 bits; a scale of 0 is Division by zero, with the player's detail.
int16_t ScaledInterval(int16_t timerspeed, int16_t priorityup);
int16_t ScaledMoveStep(int16_t movespeed, int16_t speedup);
// Loading starts the pause count here, so the first frame line is read at once.
int16_t FirstPauseCount(int16_t framepause, int16_t priorityup);
// Calls of the frame step that a frame stays for.
int16_t FrameThreshold(int16_t framepause, int16_t priorityup);
int16_t PixelsToTwips(int16_t pixels, double twipsPerPixel);
// The player's check before scaling: priorityup first, then speedup.
void RequireScales(int16_t priorityup, int16_t speedup);

// ---------------------------------------------------------- link messages --

// target%command: split at the first "%".
struct LinkMessage {
    std::string_view target;
    std::string_view command;
};
std::optional<LinkMessage> SplitLinkMessage(std::string_view text);
// "*" reaches every actor; otherwise the name, letter case ignored.
bool AddressedTo(std::string_view target, std::string_view actorddename);

enum class LinkCommandKind {
    NotACommand,   // empty, or no leading "*"
    NamesNothing,  // "*" alone
    UnknownWord,   // "*word*" other than "*closeactor*"
    CloseActor,    // "*closeactor*", letter case ignored
    PlayList,      // "*list": play a random-choice list of the actor's own
};
struct LinkCommand {
    LinkCommandKind kind = LinkCommandKind::NotACommand;
    std::string_view list;  // for PlayList
};
LinkCommand ReadLinkCommand(std::string_view command);
// A list a link command may name: relative, without a ".." part (the
// actor still checks that the file lies in its directory).
bool StaysInActorDirectory(std::string_view name);

}  // namespace kobal::actor

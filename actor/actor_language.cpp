#include "actor/actor_language.h"

#include <cmath>

#include "common/numbers.h"
#include "common/paths.h"
#include "common/text.h"

namespace kobal::actor {

bool HasEnding(std::string_view name, std::string_view ending) {
    return RightChars(name, ending.size()) == ending;
}

// ------------------------------------------------------ action commands --

std::optional<ActionFields> SplitActionCommand(std::string_view line) {
    const size_t bar1 = line.find('|');
    if (bar1 == std::string_view::npos) return std::nullopt;
    const size_t bar2 = line.find('|', bar1 + 1);
    if (bar2 == std::string_view::npos) return std::nullopt;
    const size_t bar3 = line.find('|', bar2 + 1);
    if (bar3 == std::string_view::npos) return std::nullopt;
    ActionFields fields;
    fields.type = line.substr(0, bar1);
    fields.count = line.substr(bar1 + 1, bar2 - bar1 - 1);
    fields.target = line.substr(bar2 + 1, bar3 - bar2 - 1);
    fields.next = TrimBlanksView(line.substr(bar3 + 1));
    return fields;
}

int16_t ActionType(std::string_view typefield) {
    return NumberSetting(RightChars(typefield, 2));
}

int16_t ActionCount(std::string_view countfield) {
    return NumberSetting(countfield);
}

std::string SwitchedActorFile(std::string_view target, const std::string& installdir) {
    return IsAbsolutePath(target) ? std::string(target) : installdir + std::string(target);
}

RuntimeError ActionCommandError(std::string_view detail, std::string_view line, const std::string& file, int fileLine) {
    return RuntimeError(ErrorNumber::InvalidProcedureCall, file, fileLine,
                        std::string(detail) + ": " + std::string(line));
}

ActionFields ReadActionCommand(std::string_view line, const std::string& file, int fileLine) {
    const std::optional<ActionFields> fields = SplitActionCommand(line);
    if (!fields) throw ActionCommandError(kNeedsThreeBars, line, file, fileLine);
    return *fields;
}

std::string_view NameListOf(std::string_view target) {
    return IsNameListTarget(target) ? target.substr(1) : std::string_view();
}

std::optional<std::string_view> FirstListedName(std::string_view names) {
    const size_t comma = names.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    return names.substr(0, comma);
}

std::vector<std::string> SplitNames(std::string_view names) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = names.find(',', start);
        parts.emplace_back(names.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
        if (at == std::string_view::npos) return parts;
        start = at + 1;
    }
}

std::optional<WalkNames> SplitWalkNames(std::string_view names) {
    const size_t comma = names.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    return WalkNames{names.substr(0, comma), names.substr(comma + 1)};
}

int16_t DrawOneTo(double unit, int n) {
    return RoundToInt16(std::floor(unit * n) + 1);
}

// ---------------------------------------------------------- frame lines --

FrameLineKind KindOfFrameLine(std::string_view line) {
    if (line.empty()) return FrameLineKind::Blank;
    if (line.front() == '!') return FrameLineKind::Command;
    return FrameLineKind::Picture;
}

PictureLine SplitPictureLine(std::string_view line) {
    PictureLine out;
    out.written = line;
    if (const size_t bar = line.find('|'); bar != std::string_view::npos) {
        out.hasSound = true;
        out.sound = line.substr(bar + 1);
        out.written = line.substr(0, bar);
    }
    out.opaque = !out.written.empty() && out.written.front() == '@';
    out.picture = out.opaque ? out.written.substr(1) : out.written;
    return out;
}

// ---------------------------------------------------- random-choice lists --

EntryKind KindOfEntry(std::string_view entry) {
    if (!entry.empty() && entry.front() == '!') return EntryKind::Command;
    if (IsAnimationName(entry)) return EntryKind::Animation;
    if (IsListName(entry)) return EntryKind::List;
    return EntryKind::Nothing;
}

int16_t ListCount(std::string_view firstLine) {
    return NumberSetting(firstLine.substr(0, firstLine.find(',')));
}

const char* StartListKey(int16_t initialpriority) {
    switch (initialpriority) {
        case 0: return "activefile";
        case 1: return "boredfile";
        case 2:
        case 3: return "sleepfile";
        default: return nullptr;
    }
}

// ----------------------------------------------------------- key colour --

int KeyColorPart(int16_t value) {
    return value & 0xFF;
}

int32_t KeyColor(int16_t red, int16_t green, int16_t blue) {
    return KeyColorPart(red) + 256 * KeyColorPart(green) + 65536 * KeyColorPart(blue);
}

int32_t KeyColor(const SettingStore& header) {
    return KeyColor(header.transparentred, header.transparentgreen, header.transparentblue);
}

KeyColorParts PartsOfKeyColor(int32_t key) {
    return {key & 0xFF, (key >> 8) & 0xFF, (key >> 16) & 0xFF};
}

std::string KeyColorText(int32_t key) {
    const KeyColorParts p = PartsOfKeyColor(key);
    return std::to_string(p.red) + "," + std::to_string(p.green) + "," + std::to_string(p.blue);
}

// ------------------------------------------------------ animation header --

void RequireScales(int16_t priorityup, int16_t speedup) {
    if (priorityup == 0) throw RuntimeError(ErrorNumber::DivisionByZero, {}, 0, "priorityup is 0");
    if (speedup == 0) throw RuntimeError(ErrorNumber::DivisionByZero, {}, 0, "speedup is 0");
}

int16_t ScaledInterval(int16_t timerspeed, int16_t priorityup) {
    if (priorityup == 0) RequireScales(priorityup, 1);
    return RoundToInt16(timerspeed / (priorityup / 100.0));
}

int16_t ScaledMoveStep(int16_t movespeed, int16_t speedup) {
    if (speedup == 0) RequireScales(1, speedup);
    return RoundToInt16(movespeed / (speedup / 100.0));
}

int16_t FirstPauseCount(int16_t framepause, int16_t priorityup) {
    return Mul16(framepause, priorityup);
}

int16_t FrameThreshold(int16_t framepause, int16_t priorityup) {
    return Mul16(framepause, RoundToInt16(priorityup / 100.0));
}

int16_t PixelsToTwips(int16_t pixels, double twipsPerPixel) {
    return RoundToInt16(pixels * twipsPerPixel);
}

// ---------------------------------------------------------- link messages --

std::optional<LinkMessage> SplitLinkMessage(std::string_view text) {
    const size_t percent = text.find('%');
    if (percent == std::string_view::npos) return std::nullopt;
    return LinkMessage{text.substr(0, percent), text.substr(percent + 1)};
}

bool AddressedTo(std::string_view target, std::string_view actorddename) {
    return EqualsNoCase(target, actorddename) || target == "*";
}

LinkCommand ReadLinkCommand(std::string_view command) {
    if (command.empty() || command.front() != '*') return {LinkCommandKind::NotACommand, {}};
    std::string_view rest = command.substr(1);
    if (command.back() != '*') return {LinkCommandKind::PlayList, rest};
    // "*" alone: the one star both opens and closes, and names nothing.
    if (rest.empty()) return {LinkCommandKind::NamesNothing, {}};
    rest.remove_suffix(1);
    if (EqualsNoCase(rest, "closeactor")) return {LinkCommandKind::CloseActor, {}};
    return {LinkCommandKind::UnknownWord, {}};
}

bool StaysInActorDirectory(std::string_view name) {
    if (name.empty() || IsAbsolutePath(name) || name.front() == '\\') return false;
    const std::string native = NativePath(name);
    size_t start = 0;
    for (;;) {
        const size_t slash = native.find('/', start);
        const size_t end = slash == std::string::npos ? native.size() : slash;
        if (native.compare(start, end - start, "..") == 0) return false;
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

}  // namespace kobal::actor

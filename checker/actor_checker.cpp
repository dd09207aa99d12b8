#include "checker/actor_checker.h"

#include <sys/stat.h>

#include <cmath>
#include <utility>
#include <vector>

#include "common/line_reader.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/playlist_reader.h"
#include "common/runtime_error.h"
#include "common/text.h"
#include "launcher/launcher.h"

namespace kobal::checker {
namespace {

// The key groups of the setting-line parser, for telling an author why a
// line changed nothing.
constexpr const char* kAnimationKeys[] = {"framecount",      "framepause",  "timerspeed",     "movespeed",
                                          "actorwidth",      "actorheight", "transparentred", "transparentgreen",
                                          "transparentblue", "alignx",      "aligny"};
constexpr const char* kPreferenceKeys[] = {"priorityup",      "speedup",       "audioon",       "showsplash",
                                           "boredtime",       "sleeptime",     "hibernatetime", "initialpriority",
                                           "transparencyoff", "overrideactor", "hidefullscreen"};
constexpr const char* kActorKeys[] = {"version",  "actorname",  "actorddename", "actorpath", "infofile", "splashscreen",
                                      "iconfile", "activefile", "responsefile", "boredfile", "sleepfile"};

enum class KeyGroup { Animation, Preference, Actor, None };

template <size_t N>
bool In(const char* const (&keys)[N], const std::string& key) {
    for (const char* k : keys)
        if (key == k) return true;
    return false;
}

KeyGroup GroupOf(const std::string& key) {
    if (In(kAnimationKeys, key)) return KeyGroup::Animation;
    if (In(kPreferenceKeys, key)) return KeyGroup::Preference;
    if (In(kActorKeys, key)) return KeyGroup::Actor;
    return KeyGroup::None;
}

bool Accepted(KeyGroup group, int section) {
    switch (group) {
        case KeyGroup::Animation: return section == 0;
        case KeyGroup::Preference: return section == 1;
        case KeyGroup::Actor: return section == 1 || section == 2;
        case KeyGroup::None: return false;
    }
    return false;
}

bool HasEnding(std::string_view name, std::string_view ending) {
    return RightChars(name, 5) == ending;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

bool IsRegularFile(const std::string& native) {
    struct stat st {};
    return ::stat(native.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

// Blanks next to "|" or "@" belong to the name; that is the usual reason
// why a name that looks right is not found.
std::string BlankHint(const std::string& name) {
    if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) return " (the blanks belong to the name)";
    return {};
}

std::string ListEndingHint(const std::string& entry) {
    if (EndsWithNoCase(entry, ".kani") || EndsWithNoCase(entry, ".krnd"))
        return ": the ending " + Quoted(LowerCase(RightChars(entry, 5))) + " must be written in lower case";
    return ": an entry is an action command (\"!\"), an animation (\".kani\") or a list "
           "(\".krnd\")";
}

}  // namespace

ActorChecker::ActorChecker(CheckOptions options, PictureInspector& pictures, Report& report)
    : options_(std::move(options)),
      installdir_(InstallDirFrom(options_.installPath)),
      pictures_(pictures),
      report_(report) {}

// ---------------------------------------------------------------- files --

ActorChecker::Located ActorChecker::Locate(const std::string& systemPath, const Where& namedAt, const std::string& what,
                                           const std::string& name, Severity missing, const std::string& consequence) {
    const std::string written = NativePath(systemPath);
    if (ExistsExactly(written) && IsRegularFile(written)) return {true, written};
    const std::string resolved = ResolvePath(systemPath);
    if (IsRegularFile(resolved)) {
        WarnLetterCase(written, resolved, namedAt.file.empty() ? Where{resolved, 0} : namedAt);
        return {true, resolved};
    }
    if (namedAt.file.empty()) report_.Add({written, 0}, missing, what + " not found" + consequence);
    else
        report_.Add(
            namedAt, missing,
            what + " " + Quoted(name) + " not found: " + report_.Display(written) + BlankHint(name) + consequence);
    return {false, written};
}

void ActorChecker::WarnLetterCase(const std::string& written, const std::string& resolved, const Where& at) {
    // Doubled separators are one on the file system: compare the names alone.
    auto names = [](const std::string& path) {
        std::vector<std::string> parts = SplitAt(path, '/');
        std::erase(parts, std::string());
        return parts;
    };
    const std::vector<std::string> a = names(written);
    const std::vector<std::string> b = names(resolved);
    std::string prefix;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        prefix += "/" + b[i];
        if (a[i] == b[i]) continue;
        // One warning per directory or file that differs, however many names lead through it.
        if (!caseSeen_.insert(prefix).second) return;
        report_.Warning(at, Quoted(a[i]) + " matches " + Quoted(b[i]) +
                                " only with another letter case: " + report_.Display(resolved));
        return;
    }
}

void ActorChecker::ReportRuntimeError(const std::exception& error, const Where& fallback) {
    if (const auto* e = dynamic_cast<const RuntimeError*>(&error)) {
        Where at = e->file().empty() ? fallback : Where{e->file(), e->line()};
        std::string message = ErrorText(e->number());
        if (!e->detail().empty()) message += " (" + e->detail() + ")";
        report_.Error(at, message);
        return;
    }
    report_.Error(fallback, error.what());
}

// ------------------------------------------------------------ settings --

void ActorChecker::ApplyChecked(SettingStore& store, const LineReader& reader, const std::string& line, int section,
                                FileKind kind, SettingsRead& read) {
    const Where at{reader.name(), reader.lineNumber()};
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return;
    const std::string key = LowerCase(TrimBlanksView(std::string_view(line).substr(0, eq)));
    if (key.empty()) return;

    const KeyGroup group = GroupOf(key);
    if (Accepted(group, section)) {
        read.keyLines[key] = at.line;
    } else if (group == KeyGroup::None) {
        const std::string hint = key.find('\t') != std::string::npos ? " (a tab is not a blank here)" : std::string();
        report_.Warning(at, "unknown key " + Quoted(key) + hint + ": the line is ignored");
    } else if (kind == FileKind::Animation) {
        report_.Warning(at, Quoted(key) + " is not an animation key: the line is ignored");
    } else if (group == KeyGroup::Animation) {
        report_.Warning(at, Quoted(key) + " belongs in animation files: the line is ignored");
    } else {
        report_.Warning(at, Quoted(key) + " is ignored: config.kcfg sets overrideactor=1");
    }

    try {
        ParseSettingLine(store, line, section);
    } catch (const RuntimeError&) {
        report_.Error(at, Quoted(TrimBlanks(line)) + " is out of range (-32768 to 32767): Overflow");
    }
}

// The actor program's reading loop, going on past a bad value so that every
// line gets its report.
ActorChecker::SettingsRead ActorChecker::ReadChecked(SettingStore& store, LineReader& reader, int section,
                                                     FileKind kind) {
    SettingsRead read;
    std::string line;
    try {
        reader.ReadLine(line);
        if (IsEndLine(line)) {
            report_.Warning({reader.name(), 1}, kind == FileKind::Animation
                                                    ? "a first line \"[end]\" does not end the header: it is read on "
                                                      "to the next \"[end]\""
                                                    : "a first line \"[end]\" is read past by the actor program but "
                                                      "ends the launcher's reading");
        }
        for (;;) {
            ApplyChecked(store, reader, line, section, kind, read);
            reader.ReadLine(line);
            if (IsEndLine(line)) {
                read.ended = true;
                read.endLine = reader.lineNumber();
                return read;
            }
        }
    } catch (const RuntimeError& e) {
        if (e.number() != ErrorNumber::InputPastEndOfFile) throw;
        read.endLine = reader.lineNumber() > 0 ? reader.lineNumber() : 1;
        report_.Error({reader.name(), read.endLine},
                      "no \"[end]\" line: reading runs past the end of the file (Input past end of file)");
        return read;
    }
}

Where ActorChecker::PreferenceWhere(const ActorContext& ctx, const std::string& key) const {
    if (ctx.section == 1)
        if (auto it = ctx.actorLines.find(key); it != ctx.actorLines.end()) return {ctx.actorFile, it->second};
    if (auto it = ctx.configLines.find(key); it != ctx.configLines.end()) return {ctx.configFile, it->second};
    return {ctx.configFile, 0};
}

// -------------------------------------------------------------- actors --

void ActorChecker::CheckFile(const std::string& path) {
    const launcher::TargetKind kind = launcher::ClassifyTarget(path);
    if (kind == launcher::TargetKind::ActorFile) {
        CheckActorFile(path, {});
    } else {
        if (kind == launcher::TargetKind::Neither)
            report_.Warning({NativePath(path), 0},
                            "ends in neither \".kact\" nor \".kpls\": the launcher reads it as a playlist");
        CheckPlaylist(path, {});
    }
    JudgeNextLists();
}

void ActorChecker::CheckActorFile(const std::string& path, const Where& namedAt, const std::string& name) {
    // Actor switches queue the other actor: each actor is checked whole,
    // once, however the actors name each other.
    pendingActors_.push_back({path, name.empty() ? path : name, namedAt});
    if (draining_) return;
    draining_ = true;
    while (!pendingActors_.empty()) {
        PendingActor next = std::move(pendingActors_.front());
        pendingActors_.pop_front();
        CheckOneActor(next.path, next.name, next.namedAt);
    }
    draining_ = false;
}

void ActorChecker::CheckOneActor(const std::string& path, const std::string& name, const Where& namedAt) {
    const Located actor = Locate(path, namedAt, "actor file", name, Severity::Error);
    if (!actor.found || !actorsSeen_.insert(actor.native).second) return;

    ActorContext ctx;
    ctx.actorFile = actor.native;
    try {
        const std::string config = SettingsFileToRead(installdir_, options_.user);
        const Located cfg = Locate(config, {}, "global settings file", "", Severity::Error,
                                   " in the install directory " + report_.Display(NativePath(options_.installPath)) +
                                       " (use --install DIR, or run kobalconfig)");
        if (!cfg.found) return;
        ctx.configFile = cfg.native;
        {
            LineReader reader(config);
            const SettingsRead read = ReadChecked(ctx.store, reader, 1, FileKind::Config);
            if (!read.ended) return;
            ctx.configLines = read.keyLines;
        }
        ctx.section = ctx.store.overrideactor == 1 ? 2 : 1;
        ctx.store.actorpath = path;
        LineReader reader(actor.native);
        const SettingsRead read = ReadChecked(ctx.store, reader, ctx.section, FileKind::Actor);
        if (!read.ended) return;
        ctx.actorLines = read.keyLines;
        ctx.endLine = read.endLine;
    } catch (const std::exception& e) {
        ReportRuntimeError(e, {actor.native, 0});
        return;
    }
    CheckActorSettings(ctx);
    if (ctx.actorpath.empty()) return;
    actorDirectories_[actor.native] = ctx.actorpath;
    CheckActorFiles(ctx);
}

void ActorChecker::CheckActorSettings(ActorContext& ctx) {
    const SettingStore& s = ctx.store;
    const Where end{ctx.actorFile, ctx.endLine};
    auto lineOf = [&](const char* key) {
        auto it = ctx.actorLines.find(key);
        return it == ctx.actorLines.end() ? end : Where{ctx.actorFile, it->second};
    };

    if (s.version != launcher::kCompatibleVersion) {
        if (ctx.actorLines.count("version"))
            report_.Error(lineOf("version"), "version " + Quoted(s.version) + " is not " +
                                                 Quoted(launcher::kCompatibleVersion) +
                                                 ": the launcher refuses this actor");
        else report_.Error(end, "no version line: the launcher refuses this actor");
    }

    if (s.priorityup == 0)
        report_.Error(PreferenceWhere(ctx, "priorityup"),
                      "priorityup is 0: loading an animation ends with Division by zero");
    if (s.speedup == 0)
        report_.Error(PreferenceWhere(ctx, "speedup"), "speedup is 0: loading an animation ends with Division by zero");
    if (s.initialpriority < 0 || s.initialpriority > 3)
        report_.Error(PreferenceWhere(ctx, "initialpriority"),
                      "initialpriority " + std::to_string(s.initialpriority) +
                          " is not 0 to 3: the first action finds no list (File not found)");

    if (!ctx.actorLines.count("actorpath")) {
        report_.Error(end, "no actorpath line: the actor's files are looked for under the actor file's own name");
        return;
    }
    const Where at = lineOf("actorpath");
    std::string actorpath = s.actorpath;
    if (actorpath.empty() || (actorpath.back() != '\\' && actorpath.back() != '/'))
        report_.Warning(at, "actorpath " + Quoted(actorpath) +
                                " does not end in \"\\\": file names are appended to it as they stand");
    actorpath = ResolveActorPath(actorpath, installdir_, ctx.actorFile, s.iconfile, options_.user);

    const size_t slash = actorpath.find_last_of("\\/");
    const std::string directory = actorpath.substr(0, slash == std::string::npos ? 0 : slash + 1);
    const std::string written = NativePath(directory);
    if (!DirectoryExists(directory)) {
        report_.Error(at, "actorpath directory not found: " + report_.Display(written));
        return;
    }
    if (!ExistsExactly(written)) WarnLetterCase(written, ResolvePath(directory), at);
    ctx.actorpath = actorpath;
}

void ActorChecker::CheckPictureFile(const std::string& what, const std::string& name, const Where& at,
                                    const ActorContext& ctx, Severity missing, const std::string& consequence) {
    const Located picture = Locate(ctx.actorpath + name, at, what, name, Severity(missing), consequence);
    if (picture.found && !pictures_.Inspect(picture.native).valid)
        report_.Error(at, what + " " + Quoted(name) + " cannot be loaded as a picture (Invalid picture)");
}

void ActorChecker::CheckActorFiles(ActorContext& ctx) {
    const SettingStore& s = ctx.store;
    const Where end{ctx.actorFile, ctx.endLine};
    auto lineOf = [&](const char* key) {
        auto it = ctx.actorLines.find(key);
        return it == ctx.actorLines.end() ? end : Where{ctx.actorFile, it->second};
    };

    if (s.iconfile.empty())
        report_.Error(lineOf("iconfile"), "no iconfile: the actor ends with File not found when its window loads");
    else CheckPictureFile("icon", s.iconfile, lineOf("iconfile"), ctx, Severity::Error, "");

    const std::string noInfo = "the About window shows " + Quoted(s.actorname + ": No information Available");
    if (s.infofile.empty()) report_.Warning(lineOf("infofile"), "no infofile: " + noInfo);
    else
        Locate(ctx.actorpath + s.infofile, lineOf("infofile"), "info file", s.infofile, Severity::Warning,
               "; " + noInfo);

    if (s.splashscreen.empty())
        report_.Warning(lineOf("splashscreen"),
                        "no splashscreen: with the splash window on, the launcher ends with File not found");
    else CheckPictureFile("splash picture", s.splashscreen, lineOf("splashscreen"), ctx, Severity::Error, "");

    struct StateList {
        const char* key;
        const std::string* name;
        const char* when;
    };
    const StateList lists[] = {{"activefile", &s.activefile, "it is active"},
                               {"responsefile", &s.responsefile, "it is clicked"},
                               {"boredfile", &s.boredfile, "it grows bored"},
                               {"sleepfile", &s.sleepfile, "it falls asleep"}};
    std::map<std::string, std::string> natives;
    for (const StateList& list : lists) {
        if (list.name->empty()) {
            report_.Error(lineOf(list.key),
                          std::string("no ") + list.key + ": the actor ends with File not found when " + list.when);
            continue;
        }
        natives[list.key] = CheckList(*list.name, lineOf(list.key), ctx);
        // A click plays its list over the running action; the other three are lived on.
        if (std::string(list.key) != "responsefile" && !natives[list.key].empty())
            stateUses_.push_back({lineOf(list.key), list.key, *list.name, natives[list.key]});
    }
    // The list whose choice starts the actor, by initialpriority.
    const char* start = nullptr;
    switch (s.initialpriority) {
        case 0: start = "activefile"; break;
        case 1: start = "boredfile"; break;
        case 2:
        case 3: start = "sleepfile"; break;
        default: break;
    }
    if (start && !natives[start].empty()) JudgeStartList(natives[start], start);
}

void ActorChecker::JudgeStartList(const std::string& list, const char* key) {
    ForEachReachableList({list}, [&](const ListLeads& leads) {
        for (const PlainName& plain : leads.plain)
            report_.Warning(plain.at, "animation " + Quoted(plain.name) + " can be the first choice at start (" + key +
                                          "): it shows one frame in the top-left corner and starts no action; "
                                          "write it as a command such as " +
                                          Quoted("!04|1|" + plain.name + "|"));
    });
}

void ActorChecker::CheckPlaylist(const std::string& path, const Where& namedAt) {
    const Located list = Locate(path, namedAt, "playlist", path, Severity::Error);
    if (!list.found) return;
    try {
        PlaylistReader reader(list.native);
        int count = 0;
        while (!reader.AtEnd()) {
            const Where at{list.native, reader.lineNumber()};
            const std::string name = reader.ReadField();
            ++count;
            if (name.empty()) {
                report_.Error(at, "an empty actor file name: the launcher ends with \"File not found: \"");
                continue;
            }
            // The file the launcher hands to the actor program for this entry.
            const PlaylistEntry entry = FindPlaylistEntry(name, list.native, installdir_);
            CheckActorFile(entry.found ? entry.path : IsAbsolutePath(name) ? name : installdir_ + name, at, name);
        }
        if (count == 0) report_.Warning({list.native, 0}, "the playlist names no actor: the launcher starts nothing");
    } catch (const std::exception& e) {
        ReportRuntimeError(e, {list.native, 0});
    }
}

// --------------------------------------------------------------- lists --

namespace {
constexpr int kMaxDepth = 400;

struct DepthStep {
    explicit DepthStep(int& depth) : depth_(depth) { ++depth_; }
    ~DepthStep() { --depth_; }
    DepthStep(const DepthStep&) = delete;
    DepthStep& operator=(const DepthStep&) = delete;
    int& depth_;
};
}  // namespace

bool ActorChecker::TooDeep(const Where& at) {
    if (depth_ < kMaxDepth) return false;
    report_.Warning(at, "more than " + std::to_string(kMaxDepth) +
                            " lists and animations lead one into the next here: the checker "
                            "follows them no further");
    return true;
}

std::string ActorChecker::CheckList(const std::string& name, const Where& at, ActorContext& ctx,
                                    const std::string& what) {
    if (TooDeep(at)) return {};
    const DepthStep step(depth_);
    const Located list = Locate(ctx.actorpath + name, at, what, name, Severity::Error);
    if (!list.found) return {};
    if (!listsSeen_.insert(list.native).second) return list.native;
    ListLeads& leads = listLeads_[list.native];

    std::vector<std::string> lines;
    try {
        LineReader reader(list.native);
        while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    } catch (const std::exception& e) {
        ReportRuntimeError(e, {list.native, 0});
        leads.action = true;  // nothing is known: no further warning
        leads.stops = true;
        return list.native;
    }
    const Where first{list.native, 1};
    // Until its entries are known, a choice is taken to end in this list.
    leads.stops = true;
    if (lines.empty()) {
        report_.Error(first, "an empty list: reading its count ends with Input past end of file");
        return list.native;
    }
    int16_t count;
    try {
        count = NumberSetting(lines[0].substr(0, lines[0].find(',')));
    } catch (const RuntimeError&) {
        report_.Error(first, "count " + Quoted(lines[0]) + " is out of range (-32768 to 32767): Overflow");
        return list.native;
    }
    if (count < 0) {
        report_.Warning(first, "count " + std::to_string(count) + " is negative: the list never plays anything");
        return list.native;
    }
    const int entries = static_cast<int>(lines.size()) - 1;
    const int picked = count == 0 ? 1 : count;
    if (count == 0) report_.Warning(first, "count 0: the first entry is always picked");
    if (entries == 0) report_.Error(first, "the list has no entries: picking one ends with Input past end of file");
    else if (picked > entries)
        report_.Error(first, "count " + std::to_string(picked) + " is larger than its " + std::to_string(entries) +
                                 (entries == 1 ? " entry" : " entries") + ": picking entry " +
                                 std::to_string(entries + 1) + " ends with Input past end of file");
    for (int i = picked + 1; i <= entries; ++i) {
        if (TrimBlanksView(lines[i]).empty()) continue;
        report_.Warning({list.native, i + 1},
                        "entries from this line on are never picked: the count on line 1 is " + std::to_string(picked));
        break;
    }
    // Picking past the last entry ends with an error, reported above.
    leads.stops = picked > entries;
    for (int i = 1; i <= picked && i <= entries; ++i) {
        const std::string entry = TrimBlanks(lines[i]);
        const Where here{list.native, i + 1};
        if (!entry.empty() && entry.front() == '!') {
            const CommandFacts command = CheckCommand(entry, here, ctx);
            if (command.type != 99) leads.action = true;
            if (command.type == 0) leads.switches.push_back({command.target, here});
            if (command.firstList.empty()) leads.stops = true;
            else leads.onward.emplace_back(command.firstList, here);
            continue;
        }
        if (HasEnding(entry, ".krnd")) {
            const std::string nested = CheckList(entry, here, ctx);
            if (!nested.empty()) {
                leads.lists.emplace_back(nested, entry);
                leads.onward.emplace_back(nested, here);
            } else {
                leads.stops = true;  // missing: reported there
            }
            continue;
        }
        leads.stops = true;
        if (HasEnding(entry, ".kani")) {
            const std::string anim = CheckAnimationFile(entry, here, ctx);
            if (!anim.empty()) leads.animations.push_back(anim);
            leads.plain.push_back({entry, here});
        } else if (entry.empty()) {
            report_.Warning(here, "an empty entry plays nothing");
        } else {
            report_.Warning(here, "entry " + Quoted(entry) + " plays nothing" + ListEndingHint(entry));
        }
    }
    return list.native;
}

// ------------------------------------------------------------ commands --

ActorChecker::CommandFacts ActorChecker::CheckCommand(const std::string& line, const Where& at, ActorContext& ctx) {
    const size_t bar1 = line.find('|');
    const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
    const size_t bar3 = bar2 == std::string::npos ? bar2 : line.find('|', bar2 + 1);
    if (bar3 == std::string::npos) {
        const int bars = (bar1 != std::string::npos) + (bar2 != std::string::npos);
        report_.Error(at, "action command " + Quoted(line) + " has " + std::to_string(bars) +
                              " \"|\", it needs three (type|count|target|next)");
        return {};
    }
    const std::string typefield = line.substr(0, bar1);
    const std::string countfield = line.substr(bar1 + 1, bar2 - bar1 - 1);
    const std::string target = line.substr(bar2 + 1, bar3 - bar2 - 1);
    const std::string next = TrimBlanks(line.substr(bar3 + 1));

    const int16_t type = NumberSetting(RightChars(typefield, 2));  // two characters never overflow
    double meant = 0;
    try {
        meant = LeadingNumber(std::string_view(typefield).substr(typefield.empty() ? 0 : 1));
    } catch (const RuntimeError&) {
    }
    if (meant != type) {
        report_.Error(at, "type field " + Quoted(typefield) + " reads as type " + std::to_string(type) +
                              ": the type is its last two characters, so write two digits");
        return {};
    }
    int16_t count;
    try {
        count = NumberSetting(countfield);
    } catch (const RuntimeError&) {
        report_.Error(at, "count " + Quoted(countfield) + " is out of range (-32768 to 32767): Overflow");
        return {};
    }

    if (type == 0) {
        if (target.empty()) {
            report_.Error(at, "an actor switch without an actor file: the actor ends with File not found");
            return {};
        }
        CheckActorFile(IsAbsolutePath(target) ? target : installdir_ + target, at, target);
        return {0, target, {}};
    }
    if (type == 99) {
        CheckLinkMessage(target, at);
        return {99, target, {}};
    }
    NextUse use{at, next, {}, {}, {}};
    std::string firstList;
    // What the action plays runs with this command's next list.
    auto plays = [&](const std::string& name, bool viaShow) {
        if (HasEnding(name, ".krnd")) {
            const std::string list = CheckList(name, at, ctx);
            if (!list.empty()) use.targetLists.push_back(list);
            // Loading a list as the action starts picks from it at once.
            if (!viaShow) firstList = list;
            return std::string();
        }
        const std::string anim = CheckAnimationName(name, at, ctx, viaShow);
        if (!anim.empty()) use.animations.push_back(anim);
        return anim;
    };
    // A play-once lasts until its animation restarts; one with no frame to
    // show restarts at once, so nothing of it is ever seen.
    auto playOnce = [&](const std::string& name, const std::string& anim) {
        if (type != 4 || anim.empty()) return;
        const auto it = animationLeads_.find(anim);
        if (it != animationLeads_.end() && it->second.noFrames)
            report_.Warning(at, "a play-once of " + Quoted(name) +
                                    ", whose framecount is below 1, shows none of its frames: the action ends "
                                    "on its "
                                    "first tick and the window keeps the picture before (none at start)");
    };

    if (type < 1 || type > 6)
        report_.Error(at, "type " + std::to_string(type) +
                              " is not an action (00 to 06, 99): the actor stands still on its "
                              "last frame until it "
                              "is clicked");
    if (type != 4 && type >= 1 && type <= 6) {
        if (count == 0) report_.Warning(at, "count 0: the action ends at once");
        const double ticks = ctx.store.speedup / 100.0 * std::abs(static_cast<int>(count));
        try {
            RoundToInt16(ticks);
        } catch (const RuntimeError&) {
            report_.Error(at, "count " + std::to_string(count) + " at speedup " + std::to_string(ctx.store.speedup) +
                                  " is more than 32767 ticks: Overflow");
        }
    }

    if (target.empty()) {
        report_.Warning(at, "no target: the command restarts the animation that is open");
    } else if (target.front() != '$') {
        if (type == 2 || type == 6)
            report_.Warning(at, "type " + std::to_string(type) +
                                    " without a \"$\" list takes its names from the \"$\" command that ran last");
        playOnce(target, plays(target, false));
    } else {
        const std::string args = target.substr(1);
        if (args.find(',') == std::string::npos) {
            report_.Error(at, "\"$\" target " + Quoted(target) + " needs at least two names separated by \",\"");
        } else {
            const std::vector<std::string> names = SplitAt(args, ',');
            if (names[0].empty()) report_.Warning(at, "no first name: the command restarts the animation that is open");
            else if (names[0] == "nul")
                report_.Error(at,
                              "the first name of a \"$\" list is loaded as the action starts, so \"nul\" "
                              "there "
                              "ends the actor with File not found; \"nul\" belongs in the other places");
            else playOnce(names[0], plays(names[0], false));
            if (type == 2) {
                const std::string right = args.substr(args.find(',') + 1);
                if (names.size() > 2)
                    report_.Error(
                        at, "a walk takes two names, left before the \",\": the right one would be " + Quoted(right));
                else plays(right, true);
            } else if (type == 6) {
                if (names.size() > 5) {
                    report_.Error(at, "a wander facing takes at most five names, " + Quoted(target) + " has " +
                                          std::to_string(names.size()) + " (Subscript out of range)");
                } else {
                    for (size_t i = 1; i < names.size() && i < 4; ++i) plays(names[i], true);
                    if (names.size() == 5)
                        report_.Warning(at, "the fifth name " + Quoted(names[4]) + " is never shown");
                    if (names.size() < 4)
                        report_.Warning(at, "only " + std::to_string(names.size()) +
                                                " names: the other diagonals show what an earlier "
                                                "wander facing left");
                }
            }
        }
    }

    if (!next.empty()) {
        if (HasEnding(next, ".kani")) {
            report_.Warning(at, "next " + Quoted(next) + " names an animation, but it is read as a random-choice list");
            Locate(ctx.actorpath + next, at, "next list", next, Severity::Error);
        } else {
            use.list = CheckList(next, at, ctx, "next list");
            if (!use.list.empty()) nextUses_.push_back(std::move(use));
        }
    }
    return {type, target, firstList};
}

// An actor plays only lists of its own directory when a message names one.
static bool LeavesDirectory(const std::string& name) {
    if (IsAbsolutePath(name) || (!name.empty() && name.front() == '\\')) return true;
    for (const std::string& part : SplitAt(NativePath(name), '/'))
        if (part == "..") return true;
    return false;
}

void ActorChecker::CheckLinkMessage(const std::string& text, const Where& at) {
    const size_t percent = text.find('%');
    if (percent == std::string::npos) {
        report_.Warning(at, "link message " + Quoted(text) + " has no \"%\": every actor drops it");
        return;
    }
    const std::string command = text.substr(percent + 1);
    if (command.empty() || command.front() != '*') {
        report_.Warning(at, "link command " + Quoted(command) + " does not begin with \"*\": every actor ignores it");
    } else if (command == "*") {
        report_.Warning(at, "link command \"*\" names no list: every actor ignores it");
    } else if (command.back() == '*' && !EqualsNoCase(command.substr(1, command.size() - 2), "closeactor")) {
        report_.Warning(at,
                        Quoted(command) + " is not a link command (only \"*closeactor*\" is): every actor ignores it");
    } else if (command.back() != '*' && LeavesDirectory(command.substr(1))) {
        report_.Warning(at, "link command " + Quoted(command) +
                                " names a list outside the actors' own directories: every actor ignores it");
    }
}

// ----------------------------------------------------------- animations --

std::string ActorChecker::CheckAnimationName(const std::string& name, const Where& at, ActorContext& ctx,
                                             bool viaShow) {
    if (viaShow && (name.empty() || name == "nul")) return {};
    if (HasEnding(name, ".krnd")) {
        CheckList(name, at, ctx);
        return {};
    }
    return CheckAnimationFile(name, at, ctx);
}

std::string ActorChecker::CheckAnimationFile(const std::string& name, const Where& at, ActorContext& ctx) {
    if (TooDeep(at)) return {};
    const DepthStep step(depth_);
    const Located anim = Locate(ctx.actorpath + name, at, "animation", name, Severity::Error);
    if (!anim.found) return {};
    if (!animationsSeen_.insert(anim.native).second) return anim.native;
    animationLeads_[anim.native];  // acts as an action until its frames are known

    SettingStore header(SettingStore::Program::Actor);
    SettingsRead read;
    struct Frame {
        int line;
        std::string text;
    };
    std::vector<Frame> frames;
    try {
        LineReader reader(anim.native);
        read = ReadChecked(header, reader, 0, FileKind::Animation);
        if (!read.ended) return anim.native;
        std::string line;
        while (!reader.AtEnd()) {
            reader.ReadLine(line);
            std::string trimmed = TrimBlanks(line);
            if (!trimmed.empty()) frames.push_back({reader.lineNumber(), std::move(trimmed)});
        }
    } catch (const std::exception& e) {
        ReportRuntimeError(e, {anim.native, 0});
        return anim.native;
    }

    const Where end{anim.native, read.endLine};
    auto has = [&](const char* key) { return read.keyLines.count(key) > 0; };
    auto lineOf = [&](const char* key) { return has(key) ? Where{anim.native, read.keyLines.at(key)} : end; };
    const int16_t priorityup = ctx.store.priorityup;
    const int16_t speedup = ctx.store.speedup;

    for (const char* key : {"actorwidth", "actorheight"})
        if (!has(key))
            report_.Warning(end, std::string("no ") + key +
                                     ": the player takes the size left by the animation before, "
                                     "already in twips, and "
                                     "converts it again (0 for the first animation)");
    if (!has("timerspeed") && priorityup != 100)
        report_.Warning(end, "no timerspeed: with priorityup " + std::to_string(priorityup) +
                                 " the interval left by the animation before is scaled again");
    if (!has("movespeed") && speedup != 100)
        report_.Warning(end, "no movespeed: with speedup " + std::to_string(speedup) +
                                 " the step left by the animation before is scaled again");

    auto checkRange = [&](const char* key, double value, const std::string& what) {
        try {
            return static_cast<int>(RoundToInt16(value));
        } catch (const RuntimeError&) {
            report_.Error(lineOf(key), what + " is out of range (-32768 to 32767): Overflow");
            return 0;
        }
    };
    if (priorityup != 0) {
        const int interval = checkRange(
            "timerspeed", header.timerspeed / (priorityup / 100.0),
            "timerspeed " + std::to_string(header.timerspeed) + " at priorityup " + std::to_string(priorityup));
        if (has("timerspeed") && RoundHalfEven(header.timerspeed / (priorityup / 100.0)) == 0)
            report_.Warning(lineOf("timerspeed"), "timerspeed " + std::to_string(header.timerspeed) +
                                                      " at priorityup " + std::to_string(priorityup) +
                                                      " gives 0 ms: the actor's timer stops, and it stands still on "
                                                      "this animation until it is clicked");
        if (interval < 0)
            report_.Error(lineOf("timerspeed"), "timerspeed " + std::to_string(header.timerspeed) + " at priorityup " +
                                                    std::to_string(priorityup) +
                                                    " is negative: the first frame ends with Invalid property value");
        checkRange(
            "framepause", static_cast<double>(header.framepause) * priorityup,
            "framepause " + std::to_string(header.framepause) + " times priorityup " + std::to_string(priorityup));
    }
    if (speedup != 0)
        checkRange("movespeed", header.movespeed / (speedup / 100.0),
                   "movespeed " + std::to_string(header.movespeed) + " at speedup " + std::to_string(speedup));
    for (const auto& [key, value] : {std::pair<const char*, int16_t>{"actorwidth", header.actorwidth},
                                     std::pair<const char*, int16_t>{"actorheight", header.actorheight}})
        if (has(key) && value < 1)
            report_.Warning(lineOf(key), std::string(key) + " " + std::to_string(value) +
                                             ": the window is at most one pixel " +
                                             (std::string(key) == "actorwidth" ? "wide" : "high") +
                                             ", the actor is hidden while this animation plays");
    checkRange("actorwidth", header.actorwidth * 15.0,
               "actorwidth " + std::to_string(header.actorwidth) + " pixels in twips (at 96 dpi)");
    checkRange("actorheight", header.actorheight * 15.0,
               "actorheight " + std::to_string(header.actorheight) + " pixels in twips (at 96 dpi)");
    const std::pair<const char*, int16_t> keyParts[] = {{"transparentred", header.transparentred},
                                                        {"transparentgreen", header.transparentgreen},
                                                        {"transparentblue", header.transparentblue}};
    for (const auto& [part, value] : keyParts)
        if (value < 0 || value > 255)
            report_.Warning(lineOf(part), std::string(part) + " " + std::to_string(value) +
                                              " is outside 0 to 255: only " + std::to_string(value & 0xFF) + " counts");
    const bool keyGiven = has("transparentred") || has("transparentgreen") || has("transparentblue");
    const int32_t key = (header.transparentred & 0xFF) + 256 * (header.transparentgreen & 0xFF) +
                        65536 * (header.transparentblue & 0xFF);
    const std::string keyText = std::to_string(header.transparentred & 0xFF) + "," +
                                std::to_string(header.transparentgreen & 0xFF) + "," +
                                std::to_string(header.transparentblue & 0xFF);

    const int lines = static_cast<int>(frames.size());
    int played = lines;
    if (!has("framecount")) {
        report_.Warning(end, "no framecount: the frame count left by the animation before is used");
    } else if (header.framecount > lines) {
        report_.Error(lineOf("framecount"), "framecount " + std::to_string(header.framecount) + " is larger than its " +
                                                std::to_string(lines) + (lines == 1 ? " frame line" : " frame lines") +
                                                ": reading frame " + std::to_string(lines + 1) +
                                                " ends with Input past end of file");
    } else if (header.framecount < 1) {
        report_.Warning(lineOf("framecount"), "framecount " + std::to_string(header.framecount) +
                                                  ": the first frame line is shown again on every tick");
        played = lines > 0 ? 1 : 0;
    } else {
        played = header.framecount;
        if (played < lines)
            report_.Warning(
                {anim.native, frames[played].line},
                "frame lines from this line on are never shown: framecount is " + std::to_string(header.framecount));
    }

    AnimationLeads& leads = animationLeads_[anim.native];
    leads.action = false;
    leads.noFrames = has("framecount") && header.framecount < 1;
    bool keyedFrames = false;
    for (int i = 0; i < played; ++i) {
        const Frame& frame = frames[i];
        const Where here{anim.native, frame.line};
        if (frame.text.front() == '!') {
            const CommandFacts command = CheckCommand(frame.text, here, ctx);
            if (command.type != 99) leads.action = true;
            if (command.type == 0) leads.switches.push_back({command.target, here});
            continue;
        }
        std::string picture = frame.text;
        const size_t bar = picture.find('|');
        std::string sound;
        if (bar != std::string::npos) {
            sound = picture.substr(bar + 1);
            picture.resize(bar);
        }
        const bool opaque = !picture.empty() && picture.front() == '@';
        if (opaque) picture.erase(0, 1);
        if (picture.empty()) {
            report_.Error(here, "the frame line names no picture");
        } else {
            const Located pic = Locate(ctx.actorpath + picture, here, "picture", picture, Severity::Error);
            if (pic.found) {
                const PictureFacts facts = pictures_.Inspect(pic.native);
                if (!facts.valid) {
                    report_.Error(here,
                                  "picture " + Quoted(picture) + " cannot be loaded as a picture (Invalid picture)");
                } else {
                    // Each picture is judged once per animation (and once per key colour).
                    if (has("actorwidth") && has("actorheight") &&
                        (facts.width != header.actorwidth || facts.height != header.actorheight) &&
                        pictureNotes_.insert(anim.native + "\n" + pic.native).second)
                        report_.Warning(here, "picture " + Quoted(picture) + " is " + std::to_string(facts.width) +
                                                  "x" + std::to_string(facts.height) + " pixels, the header says " +
                                                  std::to_string(header.actorwidth) + "x" +
                                                  std::to_string(header.actorheight));
                    if (!opaque) keyedFrames = true;
                    if (!opaque && keyGiven && !pictures_.HasColor(pic.native, key) &&
                        pictureNotes_.insert(pic.native + "\n" + keyText).second)
                        report_.Warning(here, "key colour " + keyText + " appears nowhere in picture " +
                                                  Quoted(picture) + ": the whole rectangle shows");
                    if (!opaque && keyGiven && ctx.store.transparencyoff == 0 && pictures_.OnlyColor(pic.native, key) &&
                        pictureNotes_.insert(pic.native + "\nonly " + keyText).second)
                        report_.Warning(here, "picture " + Quoted(picture) + " is all key colour " + keyText +
                                                  ": the actor is hidden while this frame shows");
                }
            }
        }
        if (bar != std::string::npos) {
            if (sound.empty()) report_.Warning(here, "no sound named after \"|\": the frame plays nothing");
            else Locate(ctx.actorpath + sound, here, "sound", sound, Severity::Warning, "; the frame plays silently");
        }
    }
    if (keyedFrames && !keyGiven)
        report_.Warning(end,
                        "no transparentred, transparentgreen or transparentblue: keyed frames use the key "
                        "colour left by the animation before");
    return anim.native;
}

// ------------------------------------------------------------ next lists --

bool ActorChecker::ReachesAction(const std::string& list, std::set<std::string>& seen) const {
    if (!seen.insert(list).second) return false;
    const auto it = listLeads_.find(list);
    if (it == listLeads_.end() || it->second.action) return true;
    for (const std::string& anim : it->second.animations) {
        const auto a = animationLeads_.find(anim);
        if (a == animationLeads_.end() || a->second.action) return true;
    }
    for (const auto& nested : it->second.lists)
        if (ReachesAction(nested.first, seen)) return true;
    return false;
}

void ActorChecker::ForEachReachableList(std::vector<std::string> lists,
                                        const std::function<void(const ListLeads&)>& visit) const {
    std::set<std::string> seen;
    while (!lists.empty()) {
        const std::string list = lists.back();
        lists.pop_back();
        if (!seen.insert(list).second) continue;
        const auto it = listLeads_.find(list);
        if (it == listLeads_.end()) continue;
        visit(it->second);
        for (const auto& nested : it->second.lists) lists.push_back(nested.first);
    }
}

void ActorChecker::RequireList(const Switch& sw, const std::string& list) {
    const std::string actorFile = IsAbsolutePath(sw.target) ? sw.target : installdir_ + sw.target;
    const auto dir = actorDirectories_.find(ResolvePath(actorFile));
    if (dir == actorDirectories_.end()) return;  // reported where the actor is checked
    const std::string written = NativePath(dir->second + list);
    if (FileExists(written)) return;
    report_.Error(sw.at, "the switch keeps the next list " + Quoted(list) + ", which actor " + Quoted(sw.target) +
                             " then plays from its own directory: " + report_.Display(written) +
                             " not found (File not found)");
}

void ActorChecker::JudgeEndlessLists() {
    // A choice ends in a list that stops, or in one that leads on to such a
    // list; whatever is left only ever picks the next list of a circle.
    std::set<std::string> ends;
    for (bool changed = true; changed;) {
        changed = false;
        for (const auto& [native, leads] : listLeads_) {
            if (ends.count(native)) continue;
            bool end = leads.stops;
            for (const auto& onward : leads.onward) end = end || ends.count(onward.first) > 0;
            if (end) changed = ends.insert(native).second || changed;
        }
    }
    for (auto& [native, leads] : listLeads_) {
        if (ends.count(native) || leads.onward.empty()) continue;
        report_.Error(leads.onward.front().second,
                      "every entry of this list leads to another random-choice list, and none of "
                      "them ever plays an "
                      "animation or starts an action: picking from it ends the actor with Out of "
                      "stack space");
        leads.stops = true;  // said once
    }
}

void ActorChecker::JudgeNextLists() {
    JudgeEndlessLists();
    for (const StateUse& use : stateUses_) {
        std::set<std::string> seen;
        if (!ReachesAction(use.list, seen))
            report_.Warning(use.at, use.key + " " + Quoted(use.name) +
                                        " leads to no action: in that state the actor stands where it is, showing "
                                        "one frame per tick, until it is clicked");
    }
    stateUses_.clear();
    for (const NextUse& use : nextUses_) {
        std::set<std::string> seen;
        if (!ReachesAction(use.list, seen))
            report_.Warning(use.at, "next list " + Quoted(use.name) +
                                        " leads to no action: once this action ends the actor stays in it, "
                                        "showing one frame per tick, until it is clicked");

        // A switch picked from the next list (or a list it names) keeps that
        // list in the variable; a switch inside what the action plays keeps
        // the next list itself.
        std::vector<std::pair<std::string, std::string>> pending{{use.list, use.name}};
        std::set<std::string> visited;
        while (!pending.empty()) {
            const auto [list, name] = pending.back();
            pending.pop_back();
            if (!visited.insert(list).second) continue;
            const auto it = listLeads_.find(list);
            if (it == listLeads_.end()) continue;
            for (const Switch& sw : it->second.switches) RequireList(sw, name);
            for (const auto& nested : it->second.lists) pending.push_back(nested);
        }
        ForEachReachableList(use.targetLists, [&](const ListLeads& leads) {
            for (const Switch& sw : leads.switches) RequireList(sw, use.name);
        });
        for (const std::string& anim : use.animations)
            if (const auto it = animationLeads_.find(anim); it != animationLeads_.end())
                for (const Switch& sw : it->second.switches) RequireList(sw, use.name);
    }
    nextUses_.clear();
}

}  // namespace kobal::checker

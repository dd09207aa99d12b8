#include "checker/actor_checker.h"

#include <algorithm>

#include "actor/actor_language.h"
#include "common/line_reader.h"
#include "common/paths.h"
#include "common/playlist_reader.h"
#include "common/runtime_error.h"
#include "common/settings.h"
#include "launcher/launcher.h"

namespace kobal::checker {

ActorChecker::ActorChecker(CheckOptions options, PictureInspector& pictures, Report& report)
    : options_(std::move(options)),
      installdir_(InstallDirFrom(options_.installPath)),
      pictures_(pictures),
      report_(report),
      files_(report),
      graph_(installdir_, report) {}

Where ActorChecker::ActorContext::LineOf(const char* key) const {
    const auto it = actorLines.find(key);
    return it == actorLines.end() ? Where{actorFile, endLine} : Where{actorFile, it->second};
}

Where ActorChecker::PreferenceWhere(const ActorContext& ctx, const std::string& key) const {
    if (ctx.section == 1)
        if (auto it = ctx.actorLines.find(key); it != ctx.actorLines.end()) return {ctx.actorFile, it->second};
    if (auto it = ctx.configLines.find(key); it != ctx.configLines.end()) return {ctx.configFile, it->second};
    return {ctx.configFile, 0};
}

void ActorChecker::CheckFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        const launcher::TargetKind kind = launcher::ClassifyTarget(path);
        if (kind == launcher::TargetKind::ActorFile) {
            CheckActorFile(path, {}, {}, true);
        } else {
            if (kind == launcher::TargetKind::Neither)
                report_.Warning({NativePath(path), 0},
                                "ends in neither \".kact\" nor \".kpls\": the launcher reads it as a playlist");
            CheckPlaylist(path, {});
        }
        graph_.Judge();
    }
    JudgeSentMessages();
}

void ActorChecker::CheckActorFile(const std::string& path, const Where& namedAt, const std::string& name,
                                  bool together) {
    // Actor switches queue the other actor: each actor is checked whole,
    // once, however the actors name each other.
    pendingActors_.push_back({path, name.empty() ? path : name, namedAt, together});
    if (draining_) return;
    draining_ = true;
    while (!pendingActors_.empty()) {
        PendingActor next = std::move(pendingActors_.front());
        pendingActors_.pop_front();
        CheckOneActor(next.path, next.name, next.namedAt, next.together);
    }
    draining_ = false;
}

void ActorChecker::CheckOneActor(const std::string& path, const std::string& name, const Where& namedAt,
                                 bool together) {
    const Located actor = files_.Locate(path, namedAt, "actor file", name, Severity::Error);
    if (!actor.found) return;
    // An actor first met through a switch may still be named to run beside the others.
    if (together && std::find(together_.begin(), together_.end(), actor.native) == together_.end())
        together_.push_back(actor.native);
    if (!actorsSeen_.insert(actor.native).second) return;

    ActorContext ctx;
    ctx.actorFile = actor.native;
    if (!ReadActorSettings(path, ctx)) return;
    CheckActorSettings(ctx);
    linkFacts_[actor.native] = {ctx.store.actorddename, ctx.actorpath};
    if (ctx.actorpath.empty()) return;
    graph_.SetActorDirectory(actor.native, ctx.actorpath);
    CheckActorFiles(ctx);
}

bool ActorChecker::ReadActorSettings(const std::string& path, ActorContext& ctx) {
    try {
        const std::string config = SettingsFileToRead(installdir_, options_.user);
        const Located cfg =
            files_.Locate(config, {}, "global settings file", "", Severity::Error,
                          " in the install directory " + report_.Display(NativePath(options_.installPath)) +
                              " (use --install DIR, or run kobalconfig)");
        if (!cfg.found) return false;
        ctx.configFile = cfg.native;
        {
            LineReader reader(config);
            const SettingsRead read = ReadCheckedSettings(ctx.store, reader, 1, SettingsFileKind::Config, report_);
            if (!read.ended) return false;
            ctx.configLines = read.keyLines;
        }
        ctx.section = ctx.store.overrideactor == 1 ? 2 : 1;
        ctx.store.actorpath = path;
        LineReader reader(ctx.actorFile);
        const SettingsRead read = ReadCheckedSettings(ctx.store, reader, ctx.section, SettingsFileKind::Actor, report_);
        if (!read.ended) return false;
        ctx.actorLines = read.keyLines;
        ctx.endLine = read.endLine;
        return true;
    } catch (const std::exception& e) {
        ReportRuntimeError(report_, e, {ctx.actorFile, 0});
        return false;
    }
}

void ActorChecker::CheckActorSettings(ActorContext& ctx) {
    const SettingStore& s = ctx.store;
    const Where end{ctx.actorFile, ctx.endLine};
    if (s.version != launcher::kCompatibleVersion) {
        if (ctx.actorLines.count("version"))
            report_.Error(ctx.LineOf("version"), "version " + Quoted(s.version) + " is not " +
                                                     Quoted(launcher::kCompatibleVersion) +
                                                     ": the launcher refuses this actor");
        else report_.Error(end, "no version line: the launcher refuses this actor");
    }

    if (s.priorityup == 0)
        report_.Error(PreferenceWhere(ctx, "priorityup"),
                      "priorityup is 0: loading an animation ends with Division by zero");
    if (s.speedup == 0)
        report_.Error(PreferenceWhere(ctx, "speedup"), "speedup is 0: loading an animation ends with Division by zero");
    if (!actor::StartListKey(s.initialpriority))
        report_.Error(PreferenceWhere(ctx, "initialpriority"),
                      "initialpriority " + std::to_string(s.initialpriority) +
                          " is not 0 to 3: the first action finds no list (File not found)");
    CheckSwitchValues(ctx);

    if (!ctx.actorLines.count("actorpath")) {
        report_.Error(end, "no actorpath line: the actor's files are looked for under the actor file's own name");
        return;
    }
    const Where at = ctx.LineOf("actorpath");
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
    if (!ExistsExactly(written)) files_.WarnLetterCase(written, ResolvePath(directory), at);
    ctx.actorpath = actorpath;
}

// Switches that are on only at 1: any other value is taken as off, which
// the author who wrote it most likely did not mean.
void ActorChecker::CheckSwitchValues(const ActorContext& ctx) {
    struct Switch {
        const char* key;
        int16_t value;
        const char* off;
    };
    const Switch switches[] = {
        {"hidefullscreen", ctx.store.hidefullscreen, "actors stay while a window is fullscreen"},
        {"windowfloors", ctx.store.windowfloors, "only the monitors' edges are floors"},
    };
    for (const Switch& sw : switches)
        if (sw.value != 0 && sw.value != 1)
            report_.Warning(PreferenceWhere(ctx, sw.key), std::string(sw.key) + " " + std::to_string(sw.value) +
                                                              " is neither 0 nor 1: it is taken as 0, so " + sw.off);
}

// The launcher reads the actor file and then the global settings, both
// with preference keys, so the global showsplash wins over the actor's own;
// it reads no further than a first "[end]".
Where ActorChecker::LauncherSplashOn(const ActorContext& ctx) const {
    SettingStore store(SettingStore::Program::Launcher);
    Where at;
    try {
        for (const std::string* file : {&ctx.actorFile, &ctx.configFile}) {
            LineReader reader(*file);
            std::string line;
            while (!reader.AtEnd()) {
                reader.ReadLine(line);
                if (IsEndLine(line)) break;
                ParseSettingLine(store, line, 1);
                if (SettingLineKey(line) == "showsplash") at = {*file, reader.lineNumber()};
            }
        }
    } catch (const std::exception&) {
        return {};  // reported where the files were read
    }
    return store.showsplash == 1 ? at : Where{};
}

void ActorChecker::CheckSplashPicture(const ActorContext& ctx) {
    const SettingStore& s = ctx.store;
    const Where on = LauncherSplashOn(ctx);
    if (on.file.empty()) {
        if (s.splashscreen.empty())
            report_.Warning(ctx.LineOf("splashscreen"),
                            "no splashscreen: with the splash window on, the launcher ends with File not found");
        else CheckPictureFile("splash picture", s.splashscreen, ctx.LineOf("splashscreen"), ctx, Severity::Error, "");
        return;
    }
    const std::string why = "showsplash is 1 (" + report_.Display(on.file) + ":" + std::to_string(on.line) +
                            "), so the launcher shows the splash window first and refuses this actor";
    if (s.splashscreen.empty()) {
        const Where at = ctx.actorLines.count("splashscreen") ? ctx.LineOf("splashscreen") : Where{ctx.actorFile, 1};
        report_.Error(at, "no splash picture: " + why + " (File not found)");
        return;
    }
    CheckPictureFile("splash picture", s.splashscreen, ctx.LineOf("splashscreen"), ctx, Severity::Error, "; " + why);
}

void ActorChecker::CheckPictureFile(const std::string& what, const std::string& name, const Where& at,
                                    const ActorContext& ctx, Severity missing, const std::string& consequence) {
    const Located picture = files_.Locate(ctx.actorpath + name, at, what, name, missing, consequence);
    if (picture.found && !pictures_.Inspect(picture.native).valid)
        report_.Error(at, what + " " + Quoted(name) + " cannot be loaded as a picture (Invalid picture)" + consequence);
}

void ActorChecker::CheckActorFiles(ActorContext& ctx) {
    const SettingStore& s = ctx.store;
    if (s.iconfile.empty())
        report_.Error(ctx.LineOf("iconfile"), "no iconfile: the actor ends with File not found when its window loads");
    else CheckPictureFile("icon", s.iconfile, ctx.LineOf("iconfile"), ctx, Severity::Error, "");

    const std::string noInfo = "the About window shows " + Quoted(s.actorname + ": No information Available");
    if (s.infofile.empty()) report_.Warning(ctx.LineOf("infofile"), "no infofile: " + noInfo);
    else
        files_.Locate(ctx.actorpath + s.infofile, ctx.LineOf("infofile"), "info file", s.infofile, Severity::Warning,
                      "; " + noInfo);

    CheckSplashPicture(ctx);

    CheckStateLists(ctx);
}

void ActorChecker::CheckStateLists(ActorContext& ctx) {
    const SettingStore& s = ctx.store;
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
        const Where at = ctx.LineOf(list.key);
        if (list.name->empty()) {
            report_.Error(at, std::string("no ") + list.key + ": the actor ends with File not found when " + list.when);
            continue;
        }
        natives[list.key] = CheckList(*list.name, at, ctx);
        // A click plays its list over the running action; the other three are lived on.
        if (std::string(list.key) != "responsefile" && !natives[list.key].empty())
            graph_.AddStateUse({at, list.key, *list.name, natives[list.key]});
    }
    // Played when the window the actor stands on goes; without it the
    // actor falls with what it was playing.
    if (!s.fallfile.empty()) {
        const Where at = ctx.LineOf("fallfile");
        const std::string native = CheckList(s.fallfile, at, ctx);
        if (!native.empty()) graph_.AddStateUse({at, "fallfile", s.fallfile, native});
    }
    // The list whose choice starts the actor.
    const char* start = actor::StartListKey(s.initialpriority);
    if (start && !natives[start].empty()) graph_.JudgeStartList(natives[start], start);
}

void ActorChecker::CheckPlaylist(const std::string& path, const Where& namedAt) {
    const Located list = files_.Locate(path, namedAt, "playlist", path, Severity::Error);
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
            CheckActorFile(entry.found ? entry.path : IsAbsolutePath(name) ? name : installdir_ + name, at, name, true);
        }
        if (count == 0) report_.Warning({list.native, 0}, "the playlist names no actor: the launcher starts nothing");
    } catch (const std::exception& e) {
        ReportRuntimeError(report_, e, {list.native, 0});
    }
}

// Deep enough for any real actor, far below the stack's limit.
static constexpr int kMaxDepth = 400;

bool ActorChecker::TooDeep(const Where& at) {
    if (depth_ < kMaxDepth) return false;
    report_.Warning(at, "more than " + std::to_string(kMaxDepth) +
                            " lists and animations lead one into the next here: the checker "
                            "follows them no further");
    return true;
}

}  // namespace kobal::checker

// The link between actors: a star of one hub and its members. Arrivals are
// queued and worked off once a second; link failures never reach the user.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>

#include "actor/actor_runtime.h"
#include "common/paths.h"
#include "common/text.h"

namespace kobal::actor {

namespace {

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

// A link command comes from any actor of the user: it may only name a file
// of this actor's own directory, never one reached by "..", an absolute
// name or a symbolic link that leads out of it.
bool NamesOwnList(const std::string& actorpath, const std::string& name) {
    if (name.empty() || IsAbsolutePath(name) || name.front() == '\\') return false;
    const std::string native = NativePath(name);
    size_t start = 0;
    while (start <= native.size()) {
        size_t slash = native.find('/', start);
        if (slash == std::string::npos) slash = native.size();
        if (native.compare(start, slash - start, "..") == 0 && slash - start == 2) return false;
        start = slash + 1;
    }
    const std::string dir = RealPath(NativePath(actorpath));
    const std::string file = RealPath(ResolvePath(actorpath + name));
    if (dir.empty() || file.empty()) return false;
    const std::string below = dir == "/" ? dir : dir + "/";
    if (file.compare(0, below.size(), below) != 0) return false;
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

struct ActorRuntime::PlayerState {
    SettingStore settings;
    int32_t actorx, actory;
    std::string statefile, animfile, lastpicture, nextfile, actionargs;
    int16_t idlecount, frameindex, pausecount, frametransparent, actiontype;
    ActionRecord action;
    std::array<std::string, 6> facingnames;
    std::string commandFile;
    int commandLine;
    const LineReader* channel;
    std::string channelName;
    int channelLine;
};

ActorRuntime::PlayerState ActorRuntime::SavePlayer() const {
    return {settings,
            actorx,
            actory,
            statefile,
            animfile,
            lastpicture,
            nextfile,
            actionargs,
            idlecount,
            frameindex,
            pausecount,
            frametransparent,
            actiontype,
            action,
            facingnames,
            commandFile_,
            commandLine_,
            channel2_.get(),
            channel2_ ? channel2_->name() : std::string(),
            channel2_ ? channel2_->lineNumber() : 0};
}

void ActorRuntime::RestorePlayer(PlayerState& s) {
    settings = std::move(s.settings);
    actorx = s.actorx;
    actory = s.actory;
    statefile = std::move(s.statefile);
    animfile = std::move(s.animfile);
    nextfile = std::move(s.nextfile);
    actionargs = std::move(s.actionargs);
    idlecount = s.idlecount;
    frameindex = s.frameindex;
    pausecount = s.pausecount;
    frametransparent = s.frametransparent;
    actiontype = s.actiontype;
    action = s.action;
    facingnames = std::move(s.facingnames);
    commandFile_ = std::move(s.commandFile);
    commandLine_ = s.commandLine;
    // The animation file goes on from where it was: the one kept aside, or
    // opened again and read up to the same line.
    std::unique_ptr<LineReader> original;
    if (!parked_.empty() && parked_.front().get() == s.channel) original = std::move(parked_.front());
    else if (channel2_ && channel2_.get() == s.channel) original = std::move(channel2_);
    parked_.clear();
    channel2_.reset();
    if (original && original->lineNumber() == s.channelLine) {
        channel2_ = std::move(original);
    } else if (s.channel) {
        try {
            auto reopened = std::make_unique<LineReader>(s.channelName);
            for (int i = 0; i < s.channelLine; ++i) reopened->ReadLine();
            channel2_ = std::move(reopened);
        } catch (const RuntimeError&) {
            // Gone meanwhile: the next frame reports it as any missing animation.
        }
    }
    // The window may already show what the command loaded: the next frame
    // puts back the picture, size and pace of the animation that goes on.
    lastpicture.clear();
    intervalpending = 1;
    resizepending = 1;
}

void ActorRuntime::JoinActorLink() {
    if (ports_.link->OpenLink()) {
        ports_.link->Serve(false);
        linkhub = 0;
        return;
    }
    ports_.link->CloseLink();
    ports_.link->Serve(true);
    linkhub = 1;
}

void ActorRuntime::SendLinkMessage(const std::string& text) {
    DDEline = text;
    ports_.link->SetItemText(text);
    if (linkhub != 0) return;
    if (ports_.link->Poke(text)) return;
    JoinActorLink();
    // The hub may have gone again in between: the text is then dropped.
    if (linkhub == 0) ports_.link->Poke(text);
}

void ActorRuntime::DDEline_Change(const std::string& text) {
    DDEline = text;
    DDEcache.push_back(text);
}

void ActorRuntime::DDETimer_Timer() {
    while (!DDEcache.empty()) {
        const std::string text = std::move(DDEcache.front());
        DDEcache.pop_front();
        const size_t percent = text.find('%');
        if (percent == std::string::npos) continue;
        const std::string_view target(text.data(), percent);
        if (EqualsNoCase(target, settings.actorddename) || target == "*") RunLinkCommand(text.substr(percent + 1));
    }
    SendLinkMessage("Ping");
    // A start that found the link busy runs as a hub that serves nobody yet:
    // it tries again on every tick until it serves or joins.
    if (linkhub == 1 && !ports_.link->ServesGroup()) {
        JoinActorLink();
        return;
    }
    if (linkhub == 1) {
        const int r = static_cast<int>(std::floor(ports_.random->Next() * 10 + 1));
        if (r == 1) JoinActorLink();
    }
}

void ActorRuntime::RunLinkCommand(const std::string& command) {
    if (command.empty() || command.front() != '*') return;
    std::string rest = command.substr(1);
    if (command.back() == '*') {
        // "*" alone names nothing; it must not stop the actor.
        if (rest.empty()) return;
        rest.pop_back();
        if (EqualsNoCase(rest, "closeactor")) EndActor();
        return;
    }
    // Another actor's message may name a list this actor does not have, or
    // one it cannot play: an unrecognised command, dropped like the others,
    // and the actor goes on as it was.
    if (!NamesOwnList(settings.actorpath, rest)) return;
    PlayerState saved = SavePlayer();
    parkChannels_ = true;
    try {
        PlayRandomChoice(rest);
    } catch (const RuntimeError&) {
        parkChannels_ = false;
        RestorePlayer(saved);
        return;
    } catch (...) {
        parkChannels_ = false;
        parked_.clear();
        throw;
    }
    parkChannels_ = false;
    parked_.clear();
}

}  // namespace kobal::actor

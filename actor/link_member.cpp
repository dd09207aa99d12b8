// The link between actors: joining, sending, and the commands that arrive.
#include "actor/link_member.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cmath>

#include "actor/actor_language.h"
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
    if (!StaysInActorDirectory(name)) return false;
    const std::string dir = RealPath(NativePath(actorpath));
    const std::string file = RealPath(ResolvePath(actorpath + name));
    if (dir.empty() || file.empty()) return false;
    const std::string below = dir == "/" ? dir : dir + "/";
    if (file.compare(0, below.size(), below) != 0) return false;
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

LinkMember::LinkMember(const SettingStore& settings, LinkPort& link, RandomSource& random, LinkHost& host)
    : settings_(settings), link_(link), random_(random), host_(host) {}

void LinkMember::JoinActorLink() {
    if (link_.OpenLink()) {
        link_.Serve(false);
        hub_ = 0;
        return;
    }
    link_.CloseLink();
    link_.Serve(true);
    hub_ = 1;
}

void LinkMember::SendLinkMessage(const std::string& text) {
    itemText_ = text;
    link_.SetItemText(text);
    if (hub_ != 0) return;
    if (link_.Poke(text)) return;
    JoinActorLink();
    // The hub may have gone again in between: the text is then dropped.
    if (hub_ == 0) link_.Poke(text);
}

void LinkMember::TextArrived(const std::string& text) {
    itemText_ = text;
    arrivals_.push_back(text);
}

void LinkMember::LinkClockTick() {
    while (!arrivals_.empty()) {
        const std::string text = std::move(arrivals_.front());
        arrivals_.pop_front();
        const std::optional<LinkMessage> message = SplitLinkMessage(text);
        if (message && AddressedTo(message->target, settings_.actorddename))
            RunLinkCommand(std::string(message->command));
    }
    SendLinkMessage("Ping");
    // A start that found the link busy runs as a hub that serves nobody yet:
    // it tries again on every tick until it serves or joins.
    if (hub_ == 1 && !link_.ServesGroup()) {
        JoinActorLink();
        return;
    }
    if (hub_ == 1) {
        const int r = static_cast<int>(std::floor(random_.Next() * 10 + 1));
        if (r == 1) JoinActorLink();
    }
}

void LinkMember::RunLinkCommand(const std::string& command) {
    const LinkCommand read = ReadLinkCommand(command);
    if (read.kind == LinkCommandKind::CloseActor) host_.EndActor();
    // Another actor's message may name a list this actor does not have, or
    // one it cannot play: an unrecognised command, dropped like the others
    // ("*" alone among them: it must not stop the actor), and the actor goes
    // on as it was.
    if (read.kind != LinkCommandKind::PlayList || !NamesOwnList(settings_.actorpath, std::string(read.list))) return;
    std::string list(read.list);
    host_.PlayListFromLink(list);
}

}  // namespace kobal::actor

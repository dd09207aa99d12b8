// The link between actors: a star of one hub and its members. Arrivals are
// queued and worked off once a second; link failures never reach the user.
#include <cmath>

#include "actor/actor_runtime.h"
#include "common/paths.h"
#include "common/text.h"

namespace kobal::actor {

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
        if (EqualsNoCase(target, settings.actorddename) || target == "*")
            RunLinkCommand(text.substr(percent + 1));
    }
    SendLinkMessage("Ping");
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
    // Another actor's message may name a list this actor does not have:
    // an unrecognised command, dropped like the others.
    if (!FileExists(settings.actorpath + rest)) return;
    PlayRandomChoice(rest);
}

}  // namespace kobal::actor

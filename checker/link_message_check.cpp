#include "checker/link_message_check.h"

#include <optional>

#include "actor/actor_language.h"
#include "checker/actor_checker.h"
#include "checker/file_locator.h"
#include "common/paths.h"
#include "common/text.h"

namespace kobal::checker {

using actor::LinkCommandKind;

void CheckLinkMessage(const std::string& text, const Where& at, Report& report) {
    const std::optional<actor::LinkMessage> message = actor::SplitLinkMessage(text);
    if (!message) {
        report.Warning(at, "link message " + Quoted(text) + " has no \"%\": every actor drops it");
        return;
    }
    const std::string_view command = message->command;
    const actor::LinkCommand read = actor::ReadLinkCommand(command);
    switch (read.kind) {
        case LinkCommandKind::NotACommand:
            report.Warning(at,
                           "link command " + Quoted(command) + " does not begin with \"*\": every actor ignores it");
            break;
        case LinkCommandKind::NamesNothing:
            report.Warning(at, "link command \"*\" names no list: every actor ignores it");
            break;
        case LinkCommandKind::UnknownWord:
            report.Warning(
                at, Quoted(command) + " is not a link command (only \"*closeactor*\" is): every actor ignores it");
            break;
        case LinkCommandKind::CloseActor: break;
        case LinkCommandKind::PlayList:
            // An actor plays only lists of its own directory when a message names one.
            if (!actor::StaysInActorDirectory(read.list))
                report.Warning(at, "link command " + Quoted(command) +
                                       " names a list outside the actors' own directories: every actor ignores it");
            break;
    }
}

void ActorChecker::NoteSentMessage(const std::string& text, const Where& at, const ActorContext& ctx) {
    const std::optional<actor::LinkMessage> message = actor::SplitLinkMessage(text);
    if (!message) return;
    const actor::LinkCommand read = actor::ReadLinkCommand(message->command);
    // Only a list can be missing on the other side; the rest is judged above.
    if (read.kind != LinkCommandKind::PlayList || !actor::StaysInActorDirectory(read.list)) return;
    sentMessages_.push_back({at, text, std::string(message->target), std::string(read.list), ctx.actorFile});
}

// An actor drops a message naming a list it does not have, without a word;
// among actors checked together the checker can say so for the sender.
void ActorChecker::JudgeSentMessages() {
    if (together_.size() < 2) return;
    for (const SentMessage& sent : sentMessages_) {
        std::string lacking;
        bool reached = false;
        bool known = true;
        for (const std::string& receiver : together_) {
            // The sender never hears its own message.
            if (receiver == sent.sender) continue;
            const auto facts = linkFacts_.find(receiver);
            if (facts == linkFacts_.end()) {
                known = false;  // not read: its own errors say why
                continue;
            }
            if (!actor::AddressedTo(sent.target, facts->second.actorddename)) continue;
            if (facts->second.actorpath.empty()) {
                known = false;
                continue;
            }
            reached = true;
            const std::string list = facts->second.actorpath + sent.list;
            if (IsRegularFile(ResolvePath(list))) {
                known = false;  // someone plays it
                break;
            }
            if (!lacking.empty()) lacking += ", ";
            lacking += report_.Display(receiver);
            if (!facts->second.actorddename.empty()) lacking += " (" + facts->second.actorddename + ")";
            lacking += " has no " + report_.Display(NativePath(list));
        }
        if (!reached || !known) continue;
        report_.Warning(sent.at, "link message " + Quoted(sent.text) +
                                     " names a list that none of the actors it reaches has: " + lacking +
                                     "; they drop the message and nothing plays");
    }
}

}  // namespace kobal::checker

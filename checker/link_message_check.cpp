#include "checker/link_message_check.h"

#include <optional>

#include "actor/actor_language.h"

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

}  // namespace kobal::checker

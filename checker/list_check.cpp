// Random-choice lists: the count, the entries a draw can reach, and what
// each entry names.
#include "actor/actor_language.h"
#include "checker/actor_checker.h"
#include "common/line_reader.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::checker {
namespace {

std::string ListEndingHint(const std::string& entry) {
    if (EndsWithNoCase(entry, actor::kAnimationEnding) || EndsWithNoCase(entry, actor::kListEnding))
        return ": the ending " + Quoted(LowerCase(RightChars(entry, 5))) + " must be written in lower case";
    return ": an entry is an action command (\"!\"), an animation (\".kani\") or a list "
           "(\".krnd\")";
}

}  // namespace

std::string ActorChecker::CheckList(const std::string& name, const Where& at, ActorContext& ctx,
                                    const std::string& what) {
    if (TooDeep(at)) return {};
    const DepthStep step(depth_);
    const Located list = files_.Locate(ctx.actorpath + name, at, what, name, Severity::Error);
    if (!list.found) return {};
    if (!listsSeen_.insert(list.native).second) return list.native;
    ActionGraph::ListLeads& leads = graph_.List(list.native);

    std::vector<std::string> lines;
    try {
        LineReader reader(list.native);
        while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    } catch (const std::exception& e) {
        ReportRuntimeError(report_, e, {list.native, 0});
        leads.action = true;  // nothing is known: no further warning
        leads.stops = true;
        return list.native;
    }
    // Until its entries are known, a choice is taken to end in this list.
    leads.stops = true;
    const int picked = CheckListCount(lines, {list.native, 1});
    if (picked < 0) return list.native;
    const int entries = static_cast<int>(lines.size()) - 1;
    // Picking past the last entry ends with an error, reported with the count.
    leads.stops = picked > entries;
    for (int i = 1; i <= picked && i <= entries; ++i)
        CheckListEntry(TrimBlanks(lines[i]), {list.native, i + 1}, ctx, leads);
    return list.native;
}

int ActorChecker::CheckListCount(const std::vector<std::string>& lines, const Where& first) {
    if (lines.empty()) {
        report_.Error(first, "an empty list: reading its count ends with Input past end of file");
        return -1;
    }
    int16_t count;
    try {
        count = actor::ListCount(lines[0]);
    } catch (const RuntimeError&) {
        report_.Error(first, "count " + Quoted(lines[0]) + " is out of range (-32768 to 32767): Overflow");
        return -1;
    }
    if (count < 0) {
        report_.Warning(first, "count " + std::to_string(count) + " is negative: the list never plays anything");
        return -1;
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
        report_.Warning({first.file, i + 1},
                        "entries from this line on are never picked: the count on line 1 is " + std::to_string(picked));
        break;
    }
    return picked;
}

void ActorChecker::CheckListEntry(const std::string& entry, const Where& here, ActorContext& ctx,
                                  ActionGraph::ListLeads& leads) {
    switch (actor::KindOfEntry(entry)) {
        case actor::EntryKind::Command: {
            const CommandFacts command = CheckCommand(entry, here, ctx);
            if (command.type != actor::kSendLinkMessage) leads.action = true;
            if (command.type == actor::kSwitchActor) leads.switches.push_back({command.target, here});
            if (command.firstList.empty()) leads.stops = true;
            else leads.onward.emplace_back(command.firstList, here);
            return;
        }
        case actor::EntryKind::List: {
            const std::string nested = CheckList(entry, here, ctx);
            if (!nested.empty()) {
                leads.lists.emplace_back(nested, entry);
                leads.onward.emplace_back(nested, here);
            } else {
                leads.stops = true;  // missing: reported there
            }
            return;
        }
        case actor::EntryKind::Animation: {
            leads.stops = true;
            const std::string anim = CheckAnimationFile(entry, here, ctx);
            if (!anim.empty()) leads.animations.push_back(anim);
            leads.plain.push_back({entry, here});
            return;
        }
        case actor::EntryKind::Nothing:
            leads.stops = true;
            if (entry.empty()) report_.Warning(here, "an empty entry plays nothing");
            else report_.Warning(here, "entry " + Quoted(entry) + " plays nothing" + ListEndingHint(entry));
            return;
    }
}

}  // namespace kobal::checker

// Animation files: the header at the actor's preferences, the frames a pass
// shows, their pictures, key colour and sounds.
#include "actor/actor_language.h"
#include "checker/actor_checker.h"
#include "common/line_reader.h"
#include "common/runtime_error.h"
#include "common/text.h"

namespace kobal::checker {
namespace {

// One eighth of a colour channel: the faint outer ring of an anti-aliased
// edge and the noise of lossy compression come this close to the key
// colour, colours drawn on purpose seldom do.
constexpr int kFringeTolerance = 32;

}  // namespace

std::string ActorChecker::CheckAnimationName(const std::string& name, const Where& at, ActorContext& ctx,
                                             bool viaShow) {
    if (viaShow && (name.empty() || name == actor::kShowNothing)) return {};
    if (actor::IsListName(name)) {
        CheckList(name, at, ctx);
        return {};
    }
    return CheckAnimationFile(name, at, ctx);
}

std::string ActorChecker::CheckAnimationFile(const std::string& name, const Where& at, ActorContext& ctx) {
    if (TooDeep(at)) return {};
    const DepthStep step(depth_);
    const Located anim = files_.Locate(ctx.actorpath + name, at, "animation", name, Severity::Error);
    if (!anim.found) return {};
    if (!animationsSeen_.insert(anim.native).second) return anim.native;
    graph_.Animation(anim.native);  // acts as an action until its frames are known

    AnimationHeader header;
    header.file = anim.native;
    std::vector<AnimationFrame> frames;
    if (!ReadAnimation(header, frames)) return anim.native;

    CheckAnimationHeader(header, ctx.store.priorityup, ctx.store.speedup, report_);
    const int played = FramesPlayed(header, frames, report_);
    CheckFrames(header, frames, played, ctx);
    return anim.native;
}

bool ActorChecker::ReadAnimation(AnimationHeader& header, std::vector<AnimationFrame>& frames) {
    try {
        LineReader reader(header.file);
        header.read = ReadCheckedSettings(header.values, reader, 0, SettingsFileKind::Animation, report_);
        if (!header.read.ended) return false;
        std::string line;
        while (!reader.AtEnd()) {
            reader.ReadLine(line);
            std::string trimmed = TrimBlanks(line);
            if (!trimmed.empty()) frames.push_back({reader.lineNumber(), std::move(trimmed)});
        }
        return true;
    } catch (const std::exception& e) {
        ReportRuntimeError(report_, e, {header.file, 0});
        return false;
    }
}

void ActorChecker::CheckFrames(const AnimationHeader& header, const std::vector<AnimationFrame>& frames, int played,
                               ActorContext& ctx) {
    ActionGraph::AnimationLeads& leads = graph_.Animation(header.file);
    leads.action = false;
    leads.noFrames = header.Has("framecount") && header.values.framecount < 1;
    bool keyedFrames = false;
    for (int i = 0; i < played; ++i) {
        const AnimationFrame& frame = frames[i];
        const Where here{header.file, frame.line};
        if (actor::KindOfFrameLine(frame.text) == actor::FrameLineKind::Command) {
            const CommandFacts command = CheckCommand(frame.text, here, ctx);
            if (command.type != actor::kSendLinkMessage) leads.action = true;
            if (command.type == actor::kSwitchActor) leads.switches.push_back({command.target, here});
            continue;
        }
        if (CheckPictureFrame(header, here, frame.text, ctx)) keyedFrames = true;
    }
    if (keyedFrames && !header.KeyGiven())
        report_.Warning(header.End(),
                        "no transparentred, transparentgreen or transparentblue: keyed frames use the key "
                        "colour left by the animation before");
    if (played == 2 && header.Has("framecount") && header.values.framecount == 2)
        TellUnevenCycle(header, frames[0].text, frames[1].text, ctx);
}

// Each frame stays for the threshold's calls of the frame step, but after
// the last one the file restarts and shows its first frame at once: of two
// frames, the second flashes for one tick.
void ActorChecker::TellUnevenCycle(const AnimationHeader& header, const std::string& first, const std::string& second,
                                   const ActorContext& ctx) {
    using actor::FrameLineKind;
    if (!header.Has("framepause") || actor::KindOfFrameLine(first) != FrameLineKind::Picture ||
        actor::KindOfFrameLine(second) != FrameLineKind::Picture)
        return;
    const std::string_view one = actor::SplitPictureLine(first).written;
    const std::string_view two = actor::SplitPictureLine(second).written;
    if (one == two) return;
    const int16_t framepause = header.values.framepause;
    const int16_t priorityup = ctx.store.priorityup;
    int ticks = 0;
    int interval = -1;
    try {
        ticks = actor::FrameThreshold(framepause, priorityup);
        if (header.Has("timerspeed") && priorityup != 0)
            interval = actor::ScaledInterval(header.values.timerspeed, priorityup);
    } catch (const RuntimeError&) {
        return;  // reported with the header
    }
    // At a framepause of 1 the file is as even as its author can make it.
    if (framepause < 2 || ticks < 2) return;
    auto lasting = [&](int n) {
        std::string text = std::to_string(n) + (n == 1 ? " tick" : " ticks");
        if (interval >= 0) text += " (" + std::to_string(n * interval) + " ms)";
        return text;
    };
    report_.Info(header.LineOf("framepause"),
                 "frame 1 " + Quoted(one) + " shows for " + lasting(ticks) + ", frame 2 " + Quoted(two) + " for " +
                     lasting(1) +
                     ": the last frame of a pass lasts one tick, so the cycle limps; to even it out, "
                     "write framepause=1 and each picture line " +
                     std::to_string(framepause) + " times (framecount=" + std::to_string(2 * framepause) + ")");
}

bool ActorChecker::CheckPictureFrame(const AnimationHeader& header, const Where& here, const std::string& text,
                                     const ActorContext& ctx) {
    const actor::PictureLine line = actor::SplitPictureLine(text);
    const std::string picture(line.picture);
    bool keyed = false;
    if (picture.empty()) {
        report_.Error(here, "the frame line names no picture");
    } else {
        const Located pic = files_.Locate(ctx.actorpath + picture, here, "picture", picture, Severity::Error);
        if (pic.found) keyed = CheckFramePicture(header, here, picture, pic.native, line.opaque, ctx);
    }
    if (line.hasSound) {
        const std::string sound(line.sound);
        if (sound.empty()) report_.Warning(here, "no sound named after \"|\": the frame plays nothing");
        else
            files_.Locate(ctx.actorpath + sound, here, "sound", sound, Severity::Warning, "; the frame plays silently");
    }
    return keyed;
}

bool ActorChecker::CheckFramePicture(const AnimationHeader& header, const Where& here, const std::string& picture,
                                     const std::string& native, bool opaque, const ActorContext& ctx) {
    const PictureFacts facts = pictures_.Inspect(native);
    if (!facts.valid) {
        report_.Error(here, "picture " + Quoted(picture) + " cannot be loaded as a picture (Invalid picture)");
        return false;
    }
    const SettingStore& v = header.values;
    // Each picture is judged once per animation (and once per key colour).
    if (header.Has("actorwidth") && header.Has("actorheight") &&
        (facts.width != v.actorwidth || facts.height != v.actorheight) &&
        pictureNotes_.insert(header.file + "\n" + native).second)
        report_.Warning(here, "picture " + Quoted(picture) + " is " + std::to_string(facts.width) + "x" +
                                  std::to_string(facts.height) + " pixels, the header says " +
                                  std::to_string(v.actorwidth) + "x" + std::to_string(v.actorheight));
    if (opaque || !header.KeyGiven()) return !opaque;
    const int32_t key = actor::KeyColor(v);
    const std::string keyText = actor::KeyColorText(key);
    if (!pictures_.HasColor(native, key) && pictureNotes_.insert(native + "\n" + keyText).second)
        report_.Warning(here, "key colour " + keyText + " appears nowhere in picture " + Quoted(picture) +
                                  ": the whole rectangle shows");
    if (ctx.store.transparencyoff == 0 && pictures_.OnlyColor(native, key) &&
        pictureNotes_.insert(native + "\nonly " + keyText).second)
        report_.Warning(here, "picture " + Quoted(picture) + " is all key colour " + keyText +
                                  ": the actor is hidden while this frame shows");
    if (ctx.store.transparencyoff == 0 && pictureNotes_.insert(native + "\nfringe").second) {
        const int fringe = pictures_.FringePixels(native, key, kFringeTolerance);
        if (fringe > 0)
            report_.Warning(here, "picture " + Quoted(picture) + " has " + std::to_string(fringe) +
                                      (fringe == 1 ? " pixel" : " pixels") + " next to key colour " + keyText +
                                      " within " + std::to_string(kFringeTolerance) +
                                      " of it in red, green and blue: only the exact key colour is made "
                                      "transparent, so they show as a coloured fringe around the actor (the "
                                      "trace of anti-aliased or smoothed edges); draw the outline against the "
                                      "key colour with anti-aliasing off, and save as BMP, GIF or PNG, not JPEG");
    }
    return true;
}

}  // namespace kobal::checker

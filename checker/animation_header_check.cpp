#include "checker/animation_header_check.h"

#include <optional>
#include <utility>

#include "actor/actor_language.h"
#include "common/runtime_error.h"

namespace kobal::checker {
namespace {

// The checker judges sizes at 96 dots per inch.
constexpr double kTwipsPerPixel = 15.0;

// A value the player computes at load; out of 16 bits it ends the actor.
template <typename Compute>
std::optional<int16_t> InRange(const AnimationHeader& h, const char* key, const std::string& what, Report& report,
                               Compute compute) {
    try {
        return compute();
    } catch (const RuntimeError&) {
        report.Error(h.LineOf(key), what + " is out of range (-32768 to 32767): Overflow");
        return std::nullopt;
    }
}

void WarnMissingKeys(const AnimationHeader& h, int16_t priorityup, int16_t speedup, Report& report) {
    for (const char* key : {"actorwidth", "actorheight"})
        if (!h.Has(key))
            report.Warning(h.End(), std::string("no ") + key +
                                        ": the player takes the size left by the animation before, "
                                        "already in twips, and "
                                        "converts it again (0 for the first animation)");
    if (!h.Has("timerspeed") && priorityup != 100)
        report.Warning(h.End(), "no timerspeed: with priorityup " + std::to_string(priorityup) +
                                    " the interval left by the animation before is scaled again");
    if (!h.Has("movespeed") && speedup != 100)
        report.Warning(h.End(), "no movespeed: with speedup " + std::to_string(speedup) +
                                    " the step left by the animation before is scaled again");
}

void CheckTiming(const AnimationHeader& h, int16_t priorityup, Report& report) {
    const SettingStore& v = h.values;
    const std::string at =
        "timerspeed " + std::to_string(v.timerspeed) + " at priorityup " + std::to_string(priorityup);
    const std::optional<int16_t> interval =
        InRange(h, "timerspeed", at, report, [&] { return actor::ScaledInterval(v.timerspeed, priorityup); });
    if (h.Has("timerspeed") && interval && *interval == 0)
        report.Warning(h.LineOf("timerspeed"), at + " gives 0 ms: the actor's timer stops, and it stands still on "
                                                    "this animation until it is clicked");
    if (interval && *interval < 0)
        report.Error(h.LineOf("timerspeed"), at + " is negative: the first frame ends with Invalid property value");
    InRange(h, "framepause",
            "framepause " + std::to_string(v.framepause) + " times priorityup " + std::to_string(priorityup), report,
            [&] { return actor::FirstPauseCount(v.framepause, priorityup); });
}

void CheckSize(const AnimationHeader& h, Report& report) {
    const std::pair<const char*, int16_t> sizes[] = {{"actorwidth", h.values.actorwidth},
                                                     {"actorheight", h.values.actorheight}};
    for (const auto& [key, value] : sizes)
        if (h.Has(key) && value < 1)
            report.Warning(h.LineOf(key), std::string(key) + " " + std::to_string(value) +
                                              ": the window is at most one pixel " +
                                              (std::string(key) == "actorwidth" ? "wide" : "high") +
                                              ", the actor is hidden while this animation plays");
    for (const auto& [key, value] : sizes)
        InRange(h, key, std::string(key) + " " + std::to_string(value) + " pixels in twips (at 96 dpi)", report,
                [&] { return actor::PixelsToTwips(value, kTwipsPerPixel); });
}

void CheckKeyParts(const AnimationHeader& h, Report& report) {
    const std::pair<const char*, int16_t> parts[] = {{"transparentred", h.values.transparentred},
                                                     {"transparentgreen", h.values.transparentgreen},
                                                     {"transparentblue", h.values.transparentblue}};
    for (const auto& [part, value] : parts)
        if (value < 0 || value > 255)
            report.Warning(h.LineOf(part), std::string(part) + " " + std::to_string(value) +
                                               " is outside 0 to 255: only " +
                                               std::to_string(actor::KeyColorPart(value)) + " counts");
}

}  // namespace

bool AnimationHeader::KeyGiven() const {
    return Has("transparentred") || Has("transparentgreen") || Has("transparentblue");
}

void CheckAnimationHeader(const AnimationHeader& header, int16_t priorityup, int16_t speedup, Report& report) {
    WarnMissingKeys(header, priorityup, speedup, report);
    if (priorityup != 0) CheckTiming(header, priorityup, report);
    const int16_t movespeed = header.values.movespeed;
    if (speedup != 0)
        InRange(header, "movespeed",
                "movespeed " + std::to_string(movespeed) + " at speedup " + std::to_string(speedup), report,
                [&] { return actor::ScaledMoveStep(movespeed, speedup); });
    CheckSize(header, report);
    CheckKeyParts(header, report);
}

int FramesPlayed(const AnimationHeader& h, const std::vector<AnimationFrame>& frames, Report& report) {
    const int lines = static_cast<int>(frames.size());
    const int16_t framecount = h.values.framecount;
    if (!h.Has("framecount")) {
        report.Warning(h.End(), "no framecount: the frame count left by the animation before is used");
        return lines;
    }
    if (framecount > lines) {
        report.Error(h.LineOf("framecount"), "framecount " + std::to_string(framecount) + " is larger than its " +
                                                 std::to_string(lines) + (lines == 1 ? " frame line" : " frame lines") +
                                                 ": reading frame " + std::to_string(lines + 1) +
                                                 " ends with Input past end of file");
        return lines;
    }
    if (framecount < 1) {
        report.Warning(h.LineOf("framecount"), "framecount " + std::to_string(framecount) +
                                                   ": the first frame line is shown again on every tick");
        return lines > 0 ? 1 : 0;
    }
    if (framecount < lines)
        report.Warning({h.file, frames[framecount].line},
                       "frame lines from this line on are never shown: framecount is " + std::to_string(framecount));
    return framecount;
}

}  // namespace kobal::checker

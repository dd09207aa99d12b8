#include "checker/headless_run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "actor/actor_language.h"
#include "actor/actor_runtime.h"
#include "actor/virtual_time.h"
#include "checker/report.h"
#include "common/paths.h"
#include "common/runtime_error.h"

namespace kobal::checker {
namespace {

using actor::ActorPorts;
using actor::ActorWindowPort;
using actor::DesktopPort;
using actor::FloorWindow;
using actor::LinkPort;
using actor::MenuItem;
using actor::MenuPort;
using actor::ScreenPort;
using actor::SoundPort;
using actor::TimerPort;
using actor::TrayPort;
using actor::WindowsPort;

// The file name the timeline shows: below the actor's directory, else the last part.
std::string ShortName(const std::string& native, const std::string& actorDir) {
    if (!actorDir.empty() && native.size() > actorDir.size() && native.compare(0, actorDir.size(), actorDir) == 0)
        return native.substr(actorDir.size());
    const size_t slash = native.find_last_of('/');
    return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// What one event did that a state comparison cannot see.
struct EventLog {
    std::vector<std::string> extras;
    bool pictureLoaded = false;
    bool fell = false;  // the actor lost its floor
    void Note(std::string text) { extras.push_back(std::move(text)); }
};

class TimelineWindow : public ActorWindowPort {
  public:
    TimelineWindow(PictureInspector& pictures, EventLog& log, int screenWidth, int screenHeight)
        : pictures_(pictures), log_(log), screenWidth_(screenWidth), screenHeight_(screenHeight) {}
    void SetSize(int32_t w, int32_t h) override {
        width = w;
        height = h;
    }
    void Move(int32_t x, int32_t y) override {
        left = x;
        top = y;
        moved_ = true;
    }
    void SetPicture(const std::string& path) override {
        picture = Require(path);
        // As the real window: a new picture shows whole until a key colour comes.
        pictureKey = -1;
        log_.pictureLoaded = true;
    }
    void SetKeyColor(int32_t key) override {
        keyColor = key;
        pictureKey = key;
    }
    void Repaint() override {}
    void SetIcon(const std::string& path) override { icon = Require(path); }
    void SetCaption(const std::string& text) override { caption = text; }
    void Show() override {
        if (!moved_) {
            // Never moved: the real window centres itself in whole pixels.
            const int w = std::max(1, static_cast<int>(std::lround(width / 15.0)));
            const int h = std::max(1, static_cast<int>(std::lround(height / 15.0)));
            left = ((screenWidth_ - 1) / 2 - (w - 1) / 2) * 15;
            top = ((screenHeight_ - 1) / 2 - (h - 1) / 2) * 15;
            moved_ = true;
        }
        visible = true;
    }
    void Hide() override { visible = false; }
    void BringToFront() override {}

    int32_t width = 0, height = 0, left = 0, top = 0, keyColor = -1, pictureKey = -1;
    std::string icon, caption, picture;
    bool visible = false;

  private:
    // As the real window: a missing or unreadable picture ends the actor.
    std::string Require(const std::string& path) {
        const std::string native = ResolvePath(path);
        if (!FileExists(native)) throw RuntimeError(ErrorNumber::FileNotFound, native);
        if (!pictures_.Inspect(native).valid) throw RuntimeError(ErrorNumber::InvalidPicture, native);
        return native;
    }
    PictureInspector& pictures_;
    EventLog& log_;
    int screenWidth_, screenHeight_;
    bool moved_ = false;
};

class FixedScreen : public ScreenPort {
  public:
    FixedScreen(int w, int h) : w_(w), h_(h) {}
    double Width() override { return w_ * 15.0; }
    double Height() override { return h_ * 15.0; }
    double TwipsPerPixelX() override { return 15; }
    double TwipsPerPixelY() override { return 15; }

  private:
    int w_, h_;
};

class TimelineTray : public TrayPort {
  public:
    void Add(const std::string&, const std::string& tip) override { this->tip = tip; }
    void Remove() override { tip = "(removed)"; }
    std::string tip = "(none)";
};

class TimelineMenu : public MenuPort {
  public:
    void SetChecked(MenuItem item, bool checked) override { checks[static_cast<size_t>(item)] = checked; }
    void Popup() override {}
    std::string State() const {
        static const char* const names[] = {"Activated", "Bored", "Sleep", "Hibernate"};
        for (size_t i = 0; i < 4; ++i)
            if (checks[i]) return names[i];
        return "-";
    }
    std::string Audio() const {
        if (checks[static_cast<size_t>(MenuItem::Paudioon)]) return "on";
        if (checks[static_cast<size_t>(MenuItem::paudiooff)]) return "off";
        return "-";
    }
    std::array<bool, 6> checks{};
};

class TimelineSound : public SoundPort {
  public:
    TimelineSound(EventLog& log, std::function<std::string(const std::string&)> name)
        : log_(log), name_(std::move(name)) {}
    void Play(const std::string& path) override {
        log_.Note("sound=" + name_(ResolvePath(path)) + (FileExists(path) ? "" : "(missing)"));
    }

  private:
    EventLog& log_;
    std::function<std::string(const std::string&)> name_;
};

// Alone on the link: every join fails and the actor serves the group.
class LonelyLink : public LinkPort {
  public:
    explicit LonelyLink(EventLog& log) : log_(log) {}
    bool OpenLink() override { return false; }
    void CloseLink() override {}
    void Serve(bool) override {}
    void SetItemText(const std::string& text) override {
        // The once-a-second ping carries nothing.
        if (text != "Ping") log_.Note("send=" + Quoted(text));
    }
    bool Poke(const std::string&) override { return true; }

  private:
    EventLog& log_;
};

// The layout's windows as the window manager would list them; ids are their
// numbers in the layout.
class LayoutWindows : public WindowsPort {
  public:
    explicit LayoutWindows(const std::vector<LayoutWindow>& layout) {
        uint32_t id = 0;
        for (const LayoutWindow& w : layout)
            list_.push_back({++id, w.left * 15.0, w.top * 15.0, w.width * 15.0, w.height * 15.0, !w.fullscreen});
    }
    const std::vector<FloorWindow>& Windows() override { return list_; }
    void Close(uint32_t id) {
        std::erase_if(list_, [id](const FloorWindow& w) { return w.id == id; });
    }
    // False when the window has closed.
    bool Move(uint32_t id, int dx, int dy) {
        for (FloorWindow& w : list_)
            if (w.id == id) {
                w.left += dx * 15.0;
                w.top += dy * 15.0;
                return true;
            }
        return false;
    }

  private:
    std::vector<FloorWindow> list_;
};

class NoDesktop : public DesktopPort {
  public:
    void OpenDocument(const std::string&) override {}
};

class TimelineMessages : public MessageBoxPort {
  public:
    explicit TimelineMessages(EventLog& log) : log_(log) {}
    void ShowMessage(const std::string& text, const std::string& title) override {
        log_.Note("message=" + Quoted(title + ": " + text));
    }
    bool AskOkCancel(const std::string& text, const std::string& title) override {
        ShowMessage(text, title);
        return true;
    }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        ShowMessage(text, title);
        return true;
    }

  private:
    EventLog& log_;
};

// What an action type does, for the summary.
std::string ActionName(int type) {
    static const char* const names[] = {"none", "wander", "walk", "descend", "play once", "climb", "wander facing"};
    if (type >= 0 && type <= 6) return names[type];
    return "no behaviour";
}

std::string Ms(int64_t ms) {
    return std::to_string(ms) + " ms";
}

// --summary: a line when the action, the state or the list changes, when a
// sound plays (repeats counted on one line), a click or a link text comes,
// and the totals at the end.
class Summary {
  public:
    explicit Summary(std::ostream& out) : out_(out) {}

    struct Step {
        int64_t ms;
        const char* source;
        int actiontype;
        std::string anim, list, state;
        bool newAction;          // an action command ran (or the animation changed)
        std::string chosenFrom;  // the list it was chosen from, when known
        std::vector<std::string> notes;
    };

    void Record(const Step& s) {
        if (!started_) {
            started_ = true;
            Enter(actions_, Key(s), s.ms, actionKey_, actionSince_);
            Enter(anims_, s.anim, s.ms, animKey_, animSince_);
            Enter(states_, s.state, s.ms, stateKey_, stateSince_);
            Line(s.ms, s.source,
                 "action " + Key(s) + " anim=" + s.anim + From(s) + " state=" + s.state + " list=" + s.list);
            list_ = s.list;
            Notes(s);
            return;
        }
        if (s.newAction || Key(s) != actionKey_ || s.anim != animKey_) {
            if (s.newAction || Key(s) != actionKey_) Enter(actions_, Key(s), s.ms, actionKey_, actionSince_);
            if (s.newAction || s.anim != animKey_) Enter(anims_, s.anim, s.ms, animKey_, animSince_);
            Line(s.ms, s.source, "action " + Key(s) + " anim=" + s.anim + From(s));
        }
        if (s.state != stateKey_ || s.list != list_) {
            if (s.state != stateKey_) Enter(states_, s.state, s.ms, stateKey_, stateSince_);
            Line(s.ms, s.source, "state=" + s.state + " list=" + s.list);
        }
        list_ = s.list;
        Notes(s);
    }

    // Puts out a sound line still counting repeats.
    void Flush() { FlushSound(); }

    void Finish(int64_t end) {
        FlushSound();
        Leave(actions_, actionKey_, actionSince_, end);
        Leave(anims_, animKey_, animSince_, end);
        Leave(states_, stateKey_, stateSince_, end);
        out_ << "# totals over " << Ms(end) << " (time, and how often it began)\n";
        Totals("action", actions_);
        Totals("animation", anims_);
        Totals("state", states_);
        for (const auto& [name, count] : chosen_) out_ << "  list " << name << ": chosen " << Times(count) << "\n";
        for (const auto& [name, count] : sounds_) out_ << "  sound " << name << ": " << Times(count) << "\n";
        for (const auto& [what, count] : counts_) out_ << "  " << what << ": " << count << "\n";
    }

  private:
    static std::string Times(int n) { return std::to_string(n) + (n == 1 ? " time" : " times"); }
    struct Total {
        int64_t ms = 0;
        int count = 0;
    };
    static std::string Key(const Step& s) {
        return "type=" + std::to_string(s.actiontype) + " (" + ActionName(s.actiontype) + ")";
    }
    std::string From(const Step& s) {
        if (!s.newAction || s.chosenFrom.empty()) return "";
        ++chosen_[s.chosenFrom];
        return " from=" + s.chosenFrom;
    }
    static void Leave(std::map<std::string, Total>& totals, const std::string& key, int64_t since, int64_t now) {
        totals[key].ms += now - since;
    }
    void Enter(std::map<std::string, Total>& totals, const std::string& key, int64_t now, std::string& current,
               int64_t& since) {
        if (!current.empty() || since >= 0) Leave(totals, current, since, now);
        current = key;
        since = now;
        ++totals[key].count;
    }
    void Totals(const char* what, const std::map<std::string, Total>& totals) {
        for (const auto& [key, total] : totals)
            out_ << "  " << what << " " << key << ": " << Ms(total.ms) << ", " << Times(total.count) << "\n";
    }
    void Notes(const Step& s) {
        for (const std::string& note : s.notes) {
            if (note.rfind("sound=", 0) == 0) {
                const std::string name = note.substr(6);
                ++sounds_[name];
                if (name == sound_ && soundCount_ > 0) {
                    ++soundCount_;
                    soundLast_ = s.ms;
                    continue;
                }
                FlushSound();
                sound_ = name;
                soundCount_ = 1;
                soundFirst_ = soundLast_ = s.ms;
                continue;
            }
            if (note.rfind("click=", 0) == 0) ++counts_["clicks"];
            else if (note.rfind("send=", 0) == 0) ++counts_["link texts sent"];
            else if (note.find("\" arrived") != std::string::npos) ++counts_["link texts arrived"];
            else if (note.find("\" dropped") != std::string::npos) ++counts_["link texts dropped"];
            Line(s.ms, s.source, note);
        }
    }
    void FlushSound() {
        if (soundCount_ == 0) return;
        std::string text = "sound=" + sound_;
        if (soundCount_ > 1)
            text += " (" + std::to_string(soundCount_) + " times, to " + std::to_string(soundLast_) + " ms)";
        soundCount_ = 0;
        Write(soundFirst_, "sound", text);
    }
    void Line(int64_t ms, const char* source, const std::string& text) {
        FlushSound();
        Write(ms, source, text);
    }
    void Write(int64_t ms, const char* source, const std::string& text) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%8lld ms  %-8s ", static_cast<long long>(ms), source);
        out_ << buffer << text << "\n";
    }

    std::ostream& out_;
    bool started_ = false;
    std::map<std::string, Total> actions_, anims_, states_;
    std::string actionKey_, animKey_, stateKey_, list_;
    int64_t actionSince_ = -1, animSince_ = -1, stateSince_ = -1;
    std::map<std::string, int> chosen_, sounds_, counts_;
    std::string sound_;
    int soundCount_ = 0;
    int64_t soundFirst_ = 0, soundLast_ = 0;
};

class HeadlessRun {
  public:
    HeadlessRun(const RunOptions& options, PictureInspector& pictures, std::ostream& out,
                std::vector<ShownFrame>* shown)
        : options_(options),
          out_(out),
          shown_(shown),
          summary_(out),
          window_(pictures, log_, options.screenWidth, options.screenHeight),
          screen_(options.screenWidth, options.screenHeight),
          time_(options.seed),
          sound_(log_, [this](const std::string& native) { return ShortName(native, ActorDir()); }),
          link_(log_),
          layout_(options.windows),
          messages_(log_) {
        ActorPorts ports;
        ports.window = &window_;
        ports.screen = &screen_;
        ports.timer1 = &time_.timer1;
        ports.timer2 = &time_.timer2;
        ports.ddetimer = &time_.ddetimer;
        ports.tray = &tray_;
        ports.menu = &menu_;
        ports.sound = &sound_;
        ports.link = &link_;
        ports.desktop = &desktop_;
        if (options.windowLayout) ports.windows = &layout_;
        ports.messages = &messages_;
        ports.random = &time_.random;
        ports.clock = &time_.clock;
        runtime_ = std::make_unique<actor::ActorRuntime>(ports);
        runtime_->SetFloorListener([this](const actor::FloorNote& note) {
            if (note.kind == actor::FloorNote::Kind::Falls) log_.fell = true;
            log_.Note(actor::FloorNoteText(note));
        });
    }

    int Run() {
        Report paths(options_.displayBase);
        out_ << "# kobalcheck --run " << options_.seconds << " --seed " << options_.seed << ": "
             << paths.Display(NativePath(options_.actorFile)) << " (screen " << options_.screenWidth << "x"
             << options_.screenHeight << " pixels; positions and sizes in twips)\n";
        for (size_t i = 0; i < options_.windows.size(); ++i) out_ << "# " << WindowText(i) << "\n";
        last_ = Take();
        runtime_->SetUserPlaces(options_.user);
        if (int status = Event("start", [this] { runtime_->Main(options_.actorFile, options_.installPath); });
            status >= 0)
            return Finish(status);
        if (options_.windowLayout && !runtime_->floors().enabled()) {
            Prefix("windows");
            out_ << "the windows are no floors: the windowfloors preference is not 1\n";
        }
        if (!options_.firstList.empty())
            if (int status = PlayFirstList(); status >= 0) return Finish(status);

        const int64_t limit = static_cast<int64_t>(options_.seconds) * 1000;
        // Clicks and link texts in time order; at one time, in the order given.
        struct Input {
            int64_t ms;
            bool click;
            std::string text;
            // A change of a window of the layout: its number, and its move (none: it closes).
            uint32_t window = 0;
            std::optional<LayoutWindow::Move> move;
        };
        std::vector<Input> inputs;
        for (int64_t ms : options_.clicks) inputs.push_back({ms, true, {}, 0, std::nullopt});
        for (const RunOptions::Arrival& a : options_.arrivals) inputs.push_back({a.ms, false, a.text, 0, std::nullopt});
        for (size_t i = 0; i < options_.windows.size(); ++i) {
            const LayoutWindow& w = options_.windows[i];
            const uint32_t id = static_cast<uint32_t>(i + 1);
            for (const LayoutWindow::Move& m : w.moves) inputs.push_back({m.ms, false, {}, id, m});
            if (w.closesMs) inputs.push_back({*w.closesMs, false, {}, id, std::nullopt});
        }
        std::stable_sort(inputs.begin(), inputs.end(), [](const Input& a, const Input& b) { return a.ms < b.ms; });
        size_t next = 0;

        const char* names[] = {"Timer1", "Timer2", "DDETimer"};
        for (;;) {
            const std::optional<actor::FormTimer> which = time_.NextDue(limit);
            const int64_t tickAt = which ? time_.NextTime().value_or(limit) : INT64_MAX;
            // At one time the ticks come first: a click or a text waits for them as it would on the desktop.
            if (next < inputs.size() && inputs[next].ms <= limit && inputs[next].ms < tickAt) {
                const Input& input = inputs[next++];
                time_.clock.ms = std::max(time_.clock.ms, input.ms);
                const int status = input.window != 0 ? ChangeWindow(input.window, input.move)
                                   : input.click     ? Click()
                                                     : Arrive(input.text);
                if (status >= 0) return Finish(status);
                continue;
            }
            if (!which) break;
            time_.Deliver(*which);
            std::function<void()> tick;
            if (*which == actor::FormTimer::Timer1) tick = [this] { runtime_->AnimationTick(); };
            else if (*which == actor::FormTimer::Timer2) tick = [this] { runtime_->IdleClockTick(); };
            else
                tick = [this] {
                    // The link clock works off what arrived since its last tick.
                    linkPlayed_.clear();
                    for (const std::string& text : queued_) {
                        const std::string verdict = Verdict(text);
                        if (verdict.rfind("plays ", 0) == 0) linkPlayed_ = verdict.substr(6);
                        log_.Note("link=" + Quoted(text) + " " + verdict);
                    }
                    queued_.clear();
                    const std::string before = linkPlayed_.empty() ? std::string() : Fingerprint();
                    runtime_->LinkClockTick();
                    if (!linkPlayed_.empty() && Fingerprint() == before) NoteNothingChanged(linkPlayed_);
                };
            if (int status = Event(names[static_cast<int>(*which)], tick); status >= 0) return Finish(status);
        }
        time_.clock.ms = limit;
        summary_.Flush();
        Prefix("end");
        out_ << "end of run\n";
        return Finish(0);
    }

  private:
    struct State {
        int actiontype = 0;
        std::string anim, frame, list, state, audio, caption, icon, tray;
        int32_t x = 0, y = 0, width = 0, height = 0, key = -1;
        int interval = 0;
        bool timer1 = false, timer2 = false, visible = false;
    };

    std::string ActorDir() const { return NativePath(runtime_->settings().actorpath); }

    // A left click in the middle of the actor, as its window passes it on.
    int Click() {
        return Event("click", [this] {
            if (!window_.visible) return log_.Note("click=none: the window is hidden");
            if (runtime_->interaction().clickThrough()) return log_.Note("click=none: the actor lets clicks through");
            const int px = std::max(1, static_cast<int>(std::lround(window_.width / 15.0))) / 2;
            const int py = std::max(1, static_cast<int>(std::lround(window_.height / 15.0))) / 2;
            log_.Note("click=left at " + std::to_string(px) + "," + std::to_string(py) + " pixels");
            runtime_->MouseDown(1, px * 15.0, py * 15.0);
        });
    }

    // A window of the layout closes or moves, as the window manager would tell the actor.
    int ChangeWindow(uint32_t id, const std::optional<LayoutWindow::Move>& move) {
        return Event("windows", [this, id, &move] {
            const std::string window = "window " + std::to_string(id);
            if (!move) {
                layout_.Close(id);
                log_.Note(window + " closed");
            } else if (layout_.Move(id, move->dx, move->dy)) {
                log_.Note(window + " moved by " + std::to_string(move->dx) + "," + std::to_string(move->dy) +
                          " pixels");
            } else {
                return;  // closed before: nothing to move
            }
            runtime_->WindowsChanged();
        });
    }

    // How the timeline's head shows window i of the layout.
    std::string WindowText(size_t i) const {
        const LayoutWindow& w = options_.windows[i];
        std::string text = "window " + std::to_string(i + 1) + ": " + std::to_string(w.left) + "," +
                           std::to_string(w.top) + " " + std::to_string(w.width) + "x" + std::to_string(w.height) +
                           " pixels";
        if (w.fullscreen) text += ", fullscreen (no floor)";
        for (const LayoutWindow::Move& m : w.moves)
            text += ", moves by " + std::to_string(m.dx) + "," + std::to_string(m.dy) + " at " + Ms(m.ms);
        if (w.closesMs) text += ", closes at " + Ms(*w.closesMs);
        return text;
    }

    // A text from another actor: queued now, worked off at the next link tick.
    int Arrive(const std::string& text) {
        return Event("message", [this, &text] {
            log_.Note("link=" + Quoted(text) + " arrived");
            queued_.push_back(text);
            runtime_->LinkTextArrived(text);
        });
    }

    // The first list is played as a link message makes an actor play one.
    int PlayFirstList() {
        const std::string text = "*%*" + options_.firstList;
        const std::string verdict = Verdict(text);
        if (verdict.rfind("plays ", 0) != 0) {
            Prefix("list");
            out_ << "error: the list \"" << options_.firstList
                 << "\" cannot play: " << verdict.substr(verdict.find(':') + 2) << "\n";
            return 1;
        }
        return Event("list", [this, &text, &verdict] {
            log_.Note("link=" + Quoted(text) + " " + verdict);
            runtime_->LinkTextArrived(text);
            const std::string before = Fingerprint();
            runtime_->LinkClockTick();
            if (Fingerprint() == before) NoteNothingChanged(options_.firstList);
        });
    }

    // What a played list may change; the same before and after: it changed nothing.
    // (The picture shown is left out: a failed list clears it, so that the
    // next frame puts back the picture of the animation that goes on.)
    std::string Fingerprint() const {
        const actor::ActorRuntime& rt = *runtime_;
        const actor::Player& p = rt.player();
        return std::to_string(rt.behaviours().record().actionstep) + "|" +
               std::to_string(rt.behaviours().actiontype()) + "|" + p.animfile() + "|" +
               std::to_string(p.frameindex()) + "|" + std::to_string(p.pausecount()) + "|" +
               rt.behaviours().nextfile() + "|" + rt.activity().statefile() + "|" + std::to_string(rt.position().x()) +
               "," + std::to_string(rt.position().y());
    }

    // The actor puts itself back when a list from the link fails, and says nothing.
    void NoteNothingChanged(const std::string& list) {
        log_.Note("link=" + list +
                  " changed nothing: the entry drawn plays nothing, or it failed and the actor "
                  "went on as it was");
    }

    // What the actor does with a link text, as its link clock decides.
    std::string Verdict(const std::string& text) const {
        const std::optional<actor::LinkMessage> message = actor::SplitLinkMessage(text);
        if (!message) return "dropped: it holds no \"%\"";
        const std::string& name = runtime_->settings().actorddename;
        if (!actor::AddressedTo(message->target, name))
            return "dropped: it is for \"" + std::string(message->target) + "\", and this actor's link name is \"" +
                   name + "\"";
        const actor::LinkCommand command = actor::ReadLinkCommand(message->command);
        switch (command.kind) {
            case actor::LinkCommandKind::NotACommand: return "dropped: the command does not begin with \"*\"";
            case actor::LinkCommandKind::NamesNothing: return "dropped: \"*\" alone names no list";
            case actor::LinkCommandKind::UnknownWord: return "dropped: the only word a link knows is closeactor";
            case actor::LinkCommandKind::CloseActor: return "ends the actor";
            case actor::LinkCommandKind::PlayList: break;
        }
        const std::string list(command.list);
        if (!actor::StaysInActorDirectory(list))
            return "dropped: \"" + list + "\" is not a file of the actor's own folder";
        const std::string native = ResolvePath(runtime_->settings().actorpath + list);
        if (!FileExists(native))
            return "dropped: the actor has no list " + Report(options_.displayBase).Display(native);
        return "plays " + list;
    }

    int Finish(int status) {
        if (options_.summary) summary_.Finish(time_.clock.ms);
        if (shown_) {
            ShownFrame end = shownLast_;
            end.ms = time_.clock.ms;
            shown_->push_back(end);
        }
        return status;
    }

    State Take() const {
        const actor::ActorRuntime& rt = *runtime_;
        State s;
        const actor::Player& player = rt.player();
        s.actiontype = rt.behaviours().actiontype();
        s.anim = player.animfile().empty() ? "-" : player.animfile();
        s.frame = player.lastpicture().empty() ? "-" : (player.frameTransparent() ? "" : "@") + player.lastpicture();
        s.list = rt.activity().statefile();
        s.state = menu_.State();
        s.audio = menu_.Audio();
        s.caption = window_.caption;
        s.icon = window_.icon.empty() ? "-" : ShortName(window_.icon, ActorDir());
        s.tray = tray_.tip;
        s.x = window_.left;
        s.y = window_.top;
        s.width = window_.width;
        s.height = window_.height;
        s.key = window_.keyColor;
        s.interval = time_.timer1.Interval();
        s.timer1 = time_.timer1.running();
        s.timer2 = time_.timer2.running();
        s.visible = window_.visible;
        return s;
    }

    void Prefix(const char* source) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "%8lld ms  %-8s ", static_cast<long long>(time_.clock.ms), source);
        out_ << buffer;
    }

    // The picture on show, for the GIF.
    void RecordShown() {
        ShownFrame now;
        now.ms = time_.clock.ms;
        if (window_.visible && !window_.picture.empty()) {
            now.picture = window_.picture;
            now.width = std::max(1, static_cast<int>(std::lround(window_.width / 15.0)));
            now.height = std::max(1, static_cast<int>(std::lround(window_.height / 15.0)));
            now.key = window_.pictureKey;
        }
        if (!shown_->empty() && now == shownLast_) return;
        if (!shown_->empty() && shown_->back().ms == now.ms) shown_->back() = now;
        else shown_->push_back(now);
        shownLast_ = now;
    }

    // The list a choice made in this event was drawn from, when known.
    std::string ChosenFrom(const char* source, const std::string& nextBefore) const {
        // A fall plays fallfile, or descends with no list chosen from.
        if (log_.fell) return runtime_->settings().fallfile;
        const std::string what = source;
        if (what == "click") return runtime_->settings().responsefile;
        if (what == "list") return options_.firstList;
        if (what == "DDETimer") return linkPlayed_;
        return nextBefore.empty() ? runtime_->activity().statefile() : nextBefore;
    }

    // Runs one handler; prints a line when it changed something. Returns the
    // exit status when the actor ended, else -1.
    int Event(const char* source, const std::function<void()>& handler) {
        log_ = EventLog{};
        int status = -1;
        std::string failure;
        const std::string nextBefore = runtime_->behaviours().nextfile();
        const int stepBefore = runtime_->behaviours().record().actionstep;
        try {
            handler();
        } catch (const ProgramEnd& end) {
            status = end.status;
        } catch (const std::exception& e) {
            failure = e.what();
            status = 1;
        }
        const State now = Take();
        if (shown_) RecordShown();
        std::vector<std::string> changes;
        auto onOff = [](bool on) { return on ? "on" : "off"; };
        if (now.width != last_.width || now.height != last_.height)
            changes.push_back("size=" + std::to_string(now.width) + "x" + std::to_string(now.height));
        if (now.interval != last_.interval) changes.push_back("interval=" + std::to_string(now.interval));
        if (now.timer1 != last_.timer1) changes.push_back(std::string("Timer1=") + onOff(now.timer1));
        if (now.timer2 != last_.timer2) changes.push_back(std::string("Timer2=") + onOff(now.timer2));
        if (now.key != last_.key) changes.push_back("key=" + actor::KeyColorText(now.key));
        if (now.list != last_.list) changes.push_back("list=" + (now.list.empty() ? "-" : now.list));
        if (now.state != last_.state) changes.push_back("state=" + now.state);
        if (now.audio != last_.audio) changes.push_back("audio=" + now.audio);
        if (now.caption != last_.caption) changes.push_back("caption=" + Quoted(now.caption));
        if (now.icon != last_.icon) changes.push_back("icon=" + now.icon);
        if (now.tray != last_.tray) changes.push_back("tray=" + Quoted(now.tray));
        if (now.visible != last_.visible) changes.push_back(now.visible ? "shown" : "hidden");

        if (options_.summary) {
            // A command just run leaves its action waiting for its first tick;
            // another event before that tick finds it waiting still.
            const bool waiting = runtime_->behaviours().record().actionstep == -200;
            const bool commandRan = now.actiontype != 0 && waiting &&
                                    (stepBefore != -200 || now.actiontype != last_.actiontype ||
                                     now.anim != last_.anim || runtime_->behaviours().nextfile() != nextBefore);
            Summary::Step step{time_.clock.ms,
                               source,
                               now.actiontype,
                               now.anim,
                               now.list.empty() ? "-" : now.list,
                               now.state,
                               commandRan,
                               commandRan ? ChosenFrom(source, nextBefore) : std::string(),
                               log_.extras};
            if (now.visible != last_.visible) step.notes.insert(step.notes.begin(), now.visible ? "shown" : "hidden");
            summary_.Record(step);
        } else {
            changes.insert(changes.end(), log_.extras.begin(), log_.extras.end());
            const bool moved = now.x != last_.x || now.y != last_.y;
            const bool core = now.actiontype != last_.actiontype || now.anim != last_.anim ||
                              now.frame != last_.frame || log_.pictureLoaded || moved;
            if (core || !changes.empty() || !failure.empty() || status >= 0) {
                Prefix(source);
                out_ << "type=" << now.actiontype << " anim=" << now.anim << " frame=" << now.frame << " at=" << now.x
                     << "," << now.y;
                for (const std::string& c : changes) out_ << " " << c;
                out_ << "\n";
            }
        }
        last_ = now;
        if (!failure.empty() || status >= 0) summary_.Flush();
        if (!failure.empty()) {
            Prefix(source);
            out_ << "error: " << failure << "\n";
        } else if (status >= 0) {
            Prefix(source);
            out_ << "the actor ended (status " << status << ")\n";
        }
        return status;
    }

    const RunOptions& options_;
    std::ostream& out_;
    std::vector<ShownFrame>* shown_;
    ShownFrame shownLast_;
    Summary summary_;
    EventLog log_;
    TimelineWindow window_;
    FixedScreen screen_;
    actor::VirtualTimers time_;
    TimelineTray tray_;
    TimelineMenu menu_;
    TimelineSound sound_;
    LonelyLink link_;
    NoDesktop desktop_;
    LayoutWindows layout_;
    TimelineMessages messages_;
    std::unique_ptr<actor::ActorRuntime> runtime_;
    State last_;
    // Link texts that arrived and wait for the link clock.
    std::vector<std::string> queued_;
    std::string linkPlayed_;
};

}  // namespace

std::string LinkTextFor(const std::string& list) {
    return list.find('%') == std::string::npos ? "*%*" + list : list;
}

int RunHeadless(const RunOptions& options, PictureInspector& pictures, std::ostream& out,
                std::vector<ShownFrame>* shown) {
    HeadlessRun run(options, pictures, out, shown);
    return run.Run();
}

}  // namespace kobal::checker

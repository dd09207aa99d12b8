#include "checker/headless_run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
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
using actor::LinkPort;
using actor::MenuItem;
using actor::MenuPort;
using actor::ScreenPort;
using actor::SoundPort;
using actor::TimerPort;
using actor::TrayPort;

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
        Require(path);
        log_.pictureLoaded = true;
    }
    void SetKeyColor(int32_t key) override { keyColor = key; }
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

    int32_t width = 0, height = 0, left = 0, top = 0, keyColor = -1;
    std::string icon, caption;
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

class HeadlessRun {
  public:
    HeadlessRun(const RunOptions& options, PictureInspector& pictures, std::ostream& out)
        : options_(options),
          out_(out),
          window_(pictures, log_, options.screenWidth, options.screenHeight),
          screen_(options.screenWidth, options.screenHeight),
          time_(options.seed),
          sound_(log_, [this](const std::string& native) { return ShortName(native, ActorDir()); }),
          link_(log_),
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
        ports.messages = &messages_;
        ports.random = &time_.random;
        ports.clock = &time_.clock;
        runtime_ = std::make_unique<actor::ActorRuntime>(ports);
    }

    int Run() {
        Report paths(options_.displayBase);
        out_ << "# kobalcheck --run " << options_.seconds << " --seed " << options_.seed << ": "
             << paths.Display(NativePath(options_.actorFile)) << " (screen " << options_.screenWidth << "x"
             << options_.screenHeight << " pixels; positions and sizes in twips)\n";
        last_ = Take();
        runtime_->SetUserPlaces(options_.user);
        if (int status = Event("start", [this] { runtime_->Main(options_.actorFile, options_.installPath); });
            status >= 0)
            return status;

        const int64_t limit = static_cast<int64_t>(options_.seconds) * 1000;
        const char* names[] = {"Timer1", "Timer2", "DDETimer"};
        while (const std::optional<actor::FormTimer> which = time_.NextDue(limit)) {
            time_.Deliver(*which);
            std::function<void()> tick;
            if (*which == actor::FormTimer::Timer1) tick = [this] { runtime_->AnimationTick(); };
            else if (*which == actor::FormTimer::Timer2) tick = [this] { runtime_->IdleClockTick(); };
            else tick = [this] { runtime_->LinkClockTick(); };
            if (int status = Event(names[static_cast<int>(*which)], tick); status >= 0) return status;
        }
        time_.clock.ms = limit;
        Prefix("end");
        out_ << "end of run\n";
        return 0;
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

    // Runs one handler; prints a line when it changed something. Returns the
    // exit status when the actor ended, else -1.
    int Event(const char* source, const std::function<void()>& handler) {
        log_ = EventLog{};
        int status = -1;
        std::string failure;
        try {
            handler();
        } catch (const ProgramEnd& end) {
            status = end.status;
        } catch (const std::exception& e) {
            failure = e.what();
            status = 1;
        }
        const State now = Take();
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
        changes.insert(changes.end(), log_.extras.begin(), log_.extras.end());

        const bool moved = now.x != last_.x || now.y != last_.y;
        const bool core = now.actiontype != last_.actiontype || now.anim != last_.anim || now.frame != last_.frame ||
                          log_.pictureLoaded || moved;
        if (core || !changes.empty() || !failure.empty() || status >= 0) {
            Prefix(source);
            out_ << "type=" << now.actiontype << " anim=" << now.anim << " frame=" << now.frame << " at=" << now.x
                 << "," << now.y;
            for (const std::string& c : changes) out_ << " " << c;
            out_ << "\n";
        }
        last_ = now;
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
    EventLog log_;
    TimelineWindow window_;
    FixedScreen screen_;
    actor::VirtualTimers time_;
    TimelineTray tray_;
    TimelineMenu menu_;
    TimelineSound sound_;
    LonelyLink link_;
    NoDesktop desktop_;
    TimelineMessages messages_;
    std::unique_ptr<actor::ActorRuntime> runtime_;
    State last_;
};

}  // namespace

int RunHeadless(const RunOptions& options, PictureInspector& pictures, std::ostream& out) {
    HeadlessRun run(options, pictures, out);
    return run.Run();
}

}  // namespace kobal::checker

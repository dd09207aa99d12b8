#pragma once
// Fake ports and a temporary install directory for driving the actor's
// logic tick by tick.
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "actor/actor_runtime.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

namespace kobal::actor::testing {

// CRLF lines, as actor authors write them.
inline std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

class FakeWindow : public ActorWindowPort {
  public:
    void SetSize(int32_t w, int32_t h) override {
        Log("size " + std::to_string(w) + "x" + std::to_string(h));
        width = w;
        height = h;
    }
    void Move(int32_t x, int32_t y) override {
        Log("move " + std::to_string(x) + "," + std::to_string(y));
        left = x;
        top = y;
        ++moves;
    }
    void SetPicture(const std::string& path) override {
        // As the real window: a missing picture ends the actor.
        if (!FileExists(path)) throw RuntimeError(ErrorNumber::FileNotFound, path);
        const size_t slash = path.find_last_of('/');
        picture = slash == std::string::npos ? path : path.substr(slash + 1);
        Log("picture " + picture);
    }
    void SetKeyColor(int32_t key) override { Log("key " + std::to_string(key)); }
    void Repaint() override { Log("repaint"); }
    void SetIcon(const std::string& path) override {
        if (!FileExists(path)) throw RuntimeError(ErrorNumber::FileNotFound, path);
        icon = path;
        Log("icon");
    }
    void SetCaption(const std::string& c) override {
        caption = c;
        Log("caption " + c);
    }
    void Show() override {
        visible = true;
        Log("show");
    }
    void Hide() override {
        visible = false;
        Log("hide");
    }
    void BringToFront() override { Log("front"); }
    void SetClickThrough(bool on) override {
        clickThrough = on;
        Log(on ? "click through" : "clicks caught");
    }

    void Log(const std::string& s) { events.push_back(s); }
    // The events since the last call, then forgets them.
    std::vector<std::string> Take() {
        auto e = std::move(events);
        events.clear();
        return e;
    }

    std::vector<std::string> events;
    std::string picture, icon, caption;
    int32_t width = 0, height = 0, left = 0, top = 0;
    int moves = 0;
    bool visible = false;
    bool clickThrough = false;
};

class FakeScreen : public ScreenPort {
  public:
    double Width() override { return widthPixels * 15.0; }
    double Height() override { return heightPixels * 15.0; }
    double TwipsPerPixelX() override { return 15; }
    double TwipsPerPixelY() override { return 15; }
    // Without monitors, the one screen of widthPixels x heightPixels.
    int MonitorCount() override { return monitors.empty() ? 1 : static_cast<int>(monitors.size()); }
    ScreenRect Monitor(int i) override {
        if (monitors.empty()) return ScreenPort::Monitor(i);
        return monitors[static_cast<size_t>(i)];
    }
    // A monitor given in pixels, primary first.
    void AddMonitor(int x, int y, int w, int h) { monitors.push_back({x * 15.0, y * 15.0, w * 15.0, h * 15.0}); }
    int widthPixels = 1920, heightPixels = 1080;
    std::vector<ScreenRect> monitors;
};

// Other programs' windows, bottom of the stack first, in pixels as tests
// think of them.
class FakeWindows : public WindowsPort {
  public:
    const std::vector<FloorWindow>& Windows() override { return list; }
    FloorWindow& Add(uint32_t id, int x, int y, int w, int h, bool floor = true) {
        list.push_back({id, x * 15.0, y * 15.0, w * 15.0, h * 15.0, floor});
        return list.back();
    }
    void Remove(uint32_t id) {
        std::erase_if(list, [id](const FloorWindow& w) { return w.id == id; });
    }
    FloorWindow* Find(uint32_t id) {
        for (FloorWindow& w : list)
            if (w.id == id) return &w;
        return nullptr;
    }
    std::vector<FloorWindow> list;
};

class FakeTimer : public TimerPort {
  public:
    void SetInterval(int ms) override { interval = ms; }
    int Interval() const override { return interval; }
    void SetEnabled(bool e) override { enabled = e; }
    bool Enabled() const override { return enabled; }
    int interval = 0;
    bool enabled = false;
};

class FakeTray : public TrayPort {
  public:
    void Add(const std::string& icon, const std::string& tip) override {
        shown = true;
        this->tip = tip;
        this->icon = icon;
        log.push_back("add " + tip);
    }
    void Remove() override {
        shown = false;
        log.push_back("remove");
    }
    bool shown = false;
    std::string tip, icon;
    std::vector<std::string> log;
};

class FakeMenu : public MenuPort {
  public:
    void SetChecked(MenuItem item, bool c) override { checked[item] = c; }
    void Popup() override {
        ++popups;
        if (onPopup) onPopup();
    }
    bool IsChecked(MenuItem item) const {
        auto it = checked.find(item);
        return it != checked.end() && it->second;
    }
    std::map<MenuItem, bool> checked;
    int popups = 0;
    std::function<void()> onPopup;
};

class FakeSound : public SoundPort {
  public:
    void Play(const std::string& path) override {
        const size_t slash = path.find_last_of('/');
        played.push_back(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    std::vector<std::string> played;
};

class FakeDesktop : public DesktopPort {
  public:
    void OpenDocument(const std::string& path) override { opened.push_back(path); }
    std::vector<std::string> opened;
};

// A link with no other actor unless a test says so.
class FakeLink : public LinkPort {
  public:
    bool OpenLink() override {
        ++opens;
        linked = hubAvailable;
        return hubAvailable;
    }
    void CloseLink() override { linked = false; }
    void Serve(bool s) override { serving = s && !serveRefused; }
    bool ServesGroup() const override { return serving; }
    void SetItemText(const std::string& t) override { itemTexts.push_back(t); }
    bool Poke(const std::string& t) override {
        pokes.push_back(t);
        return pokeSucceeds;
    }
    bool hubAvailable = false, pokeSucceeds = true, linked = false, serving = true, serveRefused = false;
    int opens = 0;
    std::vector<std::string> itemTexts, pokes;
};

class FakeMessages : public MessageBoxPort {
  public:
    void ShowMessage(const std::string& text, const std::string& title) override {
        shown.push_back(title + ": " + text);
    }
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::vector<std::string> shown;
};

// Hands out the queued values first, then a seeded generator's.
class ScriptedRandom : public RandomSource {
  public:
    double Next() override {
        if (!queued.empty()) {
            double v = queued.front();
            queued.pop_front();
            return v;
        }
        return rest.Next();
    }
    void Seed(double s) override {
        ++seeds;
        rest.Seed(s);
    }
    std::deque<double> queued;
    ClassicRandom rest;
    int seeds = 0;
};

class FixedClock : public Clock {
  public:
    double SecondsSinceMidnight() override { return seconds; }
    double seconds = 43200;
};

// The owners' own faces, for tests that drive one owner directly (and for
// the fuzz targets). Reaches nothing but what the owners offer anyway.
class RuntimeAccess {
  public:
    static SettingStore& Settings(ActorRuntime& rt) { return rt.settings_; }
    static void SetInstallDir(ActorRuntime& rt, const std::string& dir) { rt.installdir_ = dir; }
    static Player& PlayerOf(ActorRuntime& rt) { return rt.player_; }
    static Position& PositionOf(ActorRuntime& rt) { return rt.position_; }
    static Behaviours& BehavioursOf(ActorRuntime& rt) { return rt.behaviours_; }
    static Activity& ActivityOf(ActorRuntime& rt) { return rt.activity_; }
    static LinkMember& LinkOf(ActorRuntime& rt) { return rt.link_; }
    static void PlayNext(ActorRuntime& rt) { rt.PlayNext(); }
    static void EnsureWindowLoaded(ActorRuntime& rt) { rt.EnsureWindowLoaded(); }
};

// An install directory with the actor program's own file and a config.
// Every port of a harness that holds one fake per port under the port's name.
template <typename Fakes>
ActorPorts PortsOf(Fakes& f) {
    ActorPorts ports;
    ports.window = &f.window;
    ports.screen = &f.screen;
    ports.timer1 = &f.timer1;
    ports.timer2 = &f.timer2;
    ports.ddetimer = &f.ddetimer;
    ports.tray = &f.tray;
    ports.menu = &f.menu;
    ports.sound = &f.sound;
    ports.link = &f.link;
    ports.desktop = &f.desktop;
    if constexpr (requires { f.windows; }) ports.windows = &f.windows;
    ports.messages = &f.messages;
    ports.random = &f.random;
    ports.clock = &f.clock;
    return ports;
}

class ActorHarness {
  public:
    ActorHarness() {
        dir.Write("resource/kobalactor", "");
        WriteConfig(
            "priorityup =100\r\nspeedup=100\r\naudioon= 1 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
            "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
            "overrideactor= 0 \r\n[end]\r\n");
        ports = PortsOf(*this);
        rt = std::make_unique<ActorRuntime>(ports);
        RuntimeAccess::SetInstallDir(*rt, installPath() + "\\");
    }
    void WriteConfig(const std::string& text) { dir.Write("resource/config.kcfg", text); }
    // Writes a file of the actor "a" (below actors/a/).
    std::string Actor(const std::string& name, const std::string& text) { return dir.Write("actors/a/" + name, text); }
    std::string installPath() const { return dir.path(); }
    std::string actorDir() const { return dir.path() + "/actors/a/"; }
    // Points the store at the actor directory without reading an actor file.
    void UseActorDir() {
        settings().actorpath = actorDir();
        settings().priorityup = 100;
        settings().speedup = 100;
        settings().audioon = 1;
    }
    SettingStore& settings() { return RuntimeAccess::Settings(*rt); }
    Player& player() { return RuntimeAccess::PlayerOf(*rt); }
    Position& position() { return RuntimeAccess::PositionOf(*rt); }
    Behaviours& behaviours() { return RuntimeAccess::BehavioursOf(*rt); }
    Activity& activity() { return RuntimeAccess::ActivityOf(*rt); }
    LinkMember& linkMember() { return RuntimeAccess::LinkOf(*rt); }
    // Runs an action command line as an animation or list would.
    void Run(const std::string& command) { player().RunActionCommand(command); }

    TempDir dir;
    FakeWindow window;
    FakeScreen screen;
    FakeTimer timer1, timer2, ddetimer;
    FakeTray tray;
    FakeMenu menu;
    FakeSound sound;
    FakeLink link;
    FakeDesktop desktop;
    FakeWindows windows;
    FakeMessages messages;
    ScriptedRandom random;
    FixedClock clock;
    ActorPorts ports;
    std::unique_ptr<ActorRuntime> rt;
};

}  // namespace kobal::actor::testing

#pragma once
// What the fuzz targets share: inputs written as files in a private
// directory, quiet fakes of the actor's ports, and the rule that bad input
// may only end in the programs' own failures.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "actor/test_support.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

namespace kobal::fuzz {

inline std::string_view Text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The programs end bad input with a run-time error naming the file, or end
// themselves on purpose; anything else escaping (another exception, a
// crash, a sanitizer report) is a finding.
template <typename Body>
void Expected(Body&& body) {
    try {
        body();
    } catch (const RuntimeError&) {
    } catch (const ProgramEnd&) {
    }
}

// Two files from one input: the bytes before the first NUL and those after.
inline std::pair<std::string_view, std::string_view> SplitAtNul(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul == std::string_view::npos) return {text, {}};
    return {text.substr(0, nul), text.substr(nul + 1)};
}

// A small, stable hash of the input, to vary the random source with it.
inline uint32_t Hash(std::string_view text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// The actor window as the player sees it, accepting any picture so that
// the fuzzer gets past the frame lines; nothing is recorded, so that long
// runs do not grow.
class QuietWindow : public actor::ActorWindowPort {
  public:
    void SetSize(int32_t, int32_t) override {}
    void Move(int32_t, int32_t) override {}
    void SetPicture(const std::string&) override {}
    void SetKeyColor(int32_t) override {}
    void Repaint() override {}
    void SetIcon(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void Show() override {}
    void Hide() override {}
    void BringToFront() override {}
};

class QuietSound : public actor::SoundPort {
  public:
    void Play(const std::string&) override {}
};

class QuietTray : public actor::TrayPort {
  public:
    void Add(const std::string&, const std::string&) override {}
    void Remove() override {}
};

class QuietLink : public actor::LinkPort {
  public:
    bool OpenLink() override { return false; }
    void CloseLink() override {}
    void Serve(bool) override {}
    void SetItemText(const std::string&) override {}
    bool Poke(const std::string&) override { return true; }
};

class QuietMessages : public MessageBoxPort {
  public:
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
};

// One install directory for the whole run, with an actor "a" whose files
// the targets write; each input gets a fresh runtime.
class ActorWorld {
  public:
    ActorWorld() {
        dir.Write("resource/kobalactor", "");
        dir.Write("resource/config.kcfg",
                  "priorityup=100\r\nspeedup=100\r\naudioon=1\r\nshowsplash=0\r\nboredtime=3\r\nsleeptime=6\r\n"
                  "hibernatetime=9\r\ninitialpriority=0\r\ntransparencyoff=0\r\noverrideactor=0\r\n[end]\r\n");
        Actor("a.kact",
              actor::testing::Lines({"version=Kobaltron V1.0", "actorname=A", "actorddename=a", "actorpath=actors\\a\\",
                                     "iconfile=a.bmp", "activefile=l.krnd", "responsefile=l.krnd", "boredfile=l.krnd",
                                     "sleepfile=l.krnd", "[end]"}));
        Actor("f.kani",
              actor::testing::Lines({"framecount=2", "framepause=1", "timerspeed=40", "movespeed=30", "actorwidth=8",
                                     "actorheight=8", "transparentred=255", "[end]", "a.bmp", "b.bmp|s.wav"}));
        Actor("l.krnd", actor::testing::Lines({"2", "!04|1|f.kani|", "!01|3|f.kani|l.krnd"}));
        ports = actor::testing::PortsOf(*this);
    }

    std::string Actor(const std::string& name, std::string_view text) {
        return dir.Write("actors/a/" + name, std::string(text));
    }

    // A runtime pointed at the actor's directory, its random source varied
    // with the input.
    std::unique_ptr<actor::ActorRuntime> Runtime(uint32_t seed) {
        clock.seconds = seed % 86400;
        random.queued.clear();
        random.rest.Seed(seed);
        timer1 = {};
        timer2 = {};
        ddetimer = {};
        menu.checked.clear();
        // Windows under the actor's start, one across the screen and one that moves.
        windows.list.clear();
        windows.Add(1, 800, 300, 300, 200);
        windows.Add(2, 0, 700, 1920, 100);
        windows.Add(3, 900, 250, 100, 100, seed % 2 == 0);
        auto rt = std::make_unique<actor::ActorRuntime>(ports);
        actor::testing::RuntimeAccess::SetInstallDir(*rt, dir.path() + "\\");
        SettingStore& settings = actor::testing::RuntimeAccess::Settings(*rt);
        settings.actorpath = dir.path() + "/actors/a/";
        settings.priorityup = 100;
        settings.speedup = 100;
        settings.audioon = 1;
        settings.boredtime = 3;
        settings.sleeptime = 6;
        settings.hibernatetime = 9;
        settings.activefile = settings.responsefile = settings.boredfile = settings.sleepfile = "l.krnd";
        settings.windowfloors = 1;
        if (seed % 3 == 0) settings.fallfile = "l.krnd";
        return rt;
    }

    // Drives the actor's three timers as its window would, while Timer1 runs,
    // with a window that moves about and closes.
    static void Run(actor::ActorRuntime& rt, actor::testing::FakeTimer& timer1, int ticks,
                    actor::testing::FakeWindows* windows = nullptr) {
        for (int i = 0; i < ticks; ++i) {
            if (timer1.enabled || i == 0) rt.AnimationTick();
            if (i % 25 == 24) {
                rt.IdleClockTick();
                rt.LinkClockTick();
            }
            if (windows && i % 10 == 9) {
                if (actor::FloorWindow* w = windows->Find(1)) {
                    w->left += (i % 20 == 9 ? 40 : -25) * 15.0;
                    w->top += (i % 30 == 9 ? -30 : 10) * 15.0;
                }
                if (i == ticks / 2) windows->Remove(1);
                rt.WindowsChanged();
            }
        }
    }

    TempDir dir;
    QuietWindow window;
    actor::testing::FakeScreen screen;
    actor::testing::FakeTimer timer1, timer2, ddetimer;
    QuietTray tray;
    actor::testing::FakeMenu menu;
    QuietSound sound;
    QuietLink link;
    actor::testing::FakeDesktop desktop;
    actor::testing::FakeWindows windows;
    QuietMessages messages;
    actor::testing::ScriptedRandom random;
    actor::testing::FixedClock clock;
    actor::ActorPorts ports;
};

}  // namespace kobal::fuzz

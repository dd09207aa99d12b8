// The actor's logic per tick, with fake ports that do nothing: what one
// timer tick costs before any X request.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

static std::atomic<long> g_allocations{0};
void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Window and sound ports that record nothing, so the logic alone is measured.
class QuietWindow : public FakeWindow {
  public:
    void SetSize(int32_t, int32_t) override {}
    void Move(int32_t, int32_t) override {}
    void SetPicture(const std::string&) override {}
    void SetKeyColor(int32_t) override {}
    void Repaint() override {}
};

struct Bench {
    Bench() {
        h.ports.window = &window;
        h.rt = std::make_unique<ActorRuntime>(h.ports);
        RuntimeAccess::SetInstallDir(*h.rt, h.installPath() + "\\");
        h.UseActorDir();
        h.settings().iconfile = "icon.ico";
        h.Actor("icon.ico", "x");
        std::string header =
            "framepause=300\r\ntimerspeed=40\r\nmovespeed=30\r\nactorwidth=64\r\nactorheight=64\r\n"
            "transparentred=255\r\ntransparentblue=255\r\n[end]\r\n";
        h.Actor("still.kani", "framecount=2\r\n" + header + "walkright_long_name1.bmp\r\nwalkright_long_name2.bmp\r\n");
        std::string fast =
            "framepause=0\r\ntimerspeed=40\r\nmovespeed=30\r\nactorwidth=64\r\nactorheight=64\r\n"
            "transparentred=255\r\ntransparentblue=255\r\n[end]\r\n";
        h.Actor("fast.kani", "framecount=4\r\n" + fast + "a.bmp\r\nb.bmp\r\nc.bmp\r\nd.bmp\r\n");
        h.Actor("again.krnd", "1\r\n!04|1|fast.kani|\r\n");
    }
    // Runs the command with a next list that runs it again, so that the
    // behaviour goes on for as long as the benchmark does.
    void Loop(const std::string& command) {
        h.Actor("loop.krnd", "1\r\n" + command + "loop.krnd\r\n");
        h.Run(command + "loop.krnd");
    }
    // One tick; its allocations count when the frame stayed (the pause
    // count went on), which is the tick measured: the frame reads and the
    // restarts of the loop come every few hundred ticks.
    void SteadyTick() {
        const int16_t pause = h.rt->player().pausecount();
        const long before = g_allocations;
        h.rt->AnimationTick();
        if (h.rt->player().pausecount() != pause + 1) return;
        steadyAllocations += g_allocations - before;
        ++steadyTicks;
    }
    benchmark::Counter AllocationsPerSteadyTick() const {
        return benchmark::Counter(
            steadyTicks == 0 ? 0.0 : static_cast<double>(steadyAllocations) / static_cast<double>(steadyTicks));
    }
    ActorHarness h;
    QuietWindow window;
    long steadyAllocations = 0;
    long steadyTicks = 0;
};

}  // namespace

// A tick whose picture and position do not change: the most common tick.
static void BM_TickSamePicture(benchmark::State& state) {
    Bench b;
    b.Loop("!04|1|still.kani|");
    b.h.rt->AnimationTick();
    b.h.rt->AnimationTick();  // first frame read
    for (auto _ : state) b.SteadyTick();
    state.counters["allocs_per_tick"] = b.AllocationsPerSteadyTick();
}
BENCHMARK(BM_TickSamePicture);

// Every tick reads a new frame line (new keyed picture in the logic).
static void BM_TickNewFrame(benchmark::State& state) {
    Bench b;
    b.Loop("!01|30000|fast.kani|");
    b.h.rt->AnimationTick();
    b.h.position().MoveTo(6000, 6000);
    for (auto _ : state) {
        b.h.rt->AnimationTick();
    }
}
BENCHMARK(BM_TickNewFrame);

// One running tick of each behaviour type.
static void BM_BehaviourTick(benchmark::State& state) {
    Bench b;
    const int type = static_cast<int>(state.range(0));
    const std::string target = type == 2   ? "$still.kani,still.kani"
                               : type == 6 ? "$still.kani,still.kani,still.kani,still.kani"
                                           : "still.kani";
    b.Loop("!0" + std::to_string(type) + "|30000|" + target + "|");
    b.h.rt->AnimationTick();
    for (auto _ : state) {
        b.h.position().MoveTo(6000, 6000);
        b.h.rt->AnimationTick();
    }
}
BENCHMARK(BM_BehaviourTick)->DenseRange(1, 6);

// A wandering tick on three monitors (the room is worked out on every step),
// and the allocations it makes (none).
static void BM_WanderTickThreeMonitors(benchmark::State& state) {
    Bench b;
    b.h.screen.AddMonitor(0, 0, 1920, 1080);
    b.h.screen.AddMonitor(1920, 0, 1280, 1024);
    b.h.screen.AddMonitor(-1280, 56, 1280, 1024);
    b.Loop("!01|30000|still.kani|");
    b.h.rt->AnimationTick();
    for (auto _ : state) {
        b.h.position().MoveTo(6000, 6000);
        b.SteadyTick();
    }
    state.counters["allocs_per_tick"] = b.AllocationsPerSteadyTick();
}
BENCHMARK(BM_WanderTickThreeMonitors);

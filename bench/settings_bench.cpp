#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/settings.h"

using namespace kobal;

static void BM_ParseSettingLine(benchmark::State& state) {
    SettingStore store;
    const std::string lines[] = {"  FrameCount = 12 ", "timerspeed=40", "actorname=Kobold the Brave", "unknown=1",
                                 "no equals here"};
    for (auto _ : state) {
        for (const auto& l : lines) ParseSettingLine(store, l, state.range(0));
        benchmark::DoNotOptimize(store.framecount);
    }
    state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_ParseSettingLine)->Arg(0)->Arg(1);

static void BM_ReadSettingsFile(benchmark::State& state) {
    const std::string path = "/tmp/kobal_bench_config.kcfg";
    {
        std::ofstream out(path, std::ios::binary);
        out << "priorityup =100\r\nspeedup=100\r\naudioon= 1 \r\nshowsplash= 0 \r\nboredtime=60\r\n"
               "sleeptime=300\r\nhibernatetime=900\r\ninitialpriority= 0 \r\ntransparencyoff= 0 \r\n"
               "overrideactor= 0 \r\n[end]\r\n";
    }
    for (auto _ : state) {
        SettingStore store;
        ReadSettingsFile(store, path, 1, LoopShape::Launcher);
        benchmark::DoNotOptimize(store.priorityup);
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ReadSettingsFile);

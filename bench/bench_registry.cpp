// Cost of one instance look-up through the registry: the work every export does first.

#include <benchmark/benchmark.h>

#include "framework/instance_registry.h"

namespace {

void BM_LookupExistingInstance(benchmark::State &state) {
    static bool ready = [] {
        brevor::InitializeLibrary();
        return true;
    }();
    (void)ready;
    const auto ids = static_cast<std::int32_t>(state.range(0));
    TPluginCallRec rec{};
    rec.Tag = BRV_CALL_TAG;
    for (std::int32_t id = 1; id <= ids; ++id) {
        rec.InstanceId = id;
        brevor::TInstanceRef p;
        brevor::GetModuleInstance(&rec, p);
    }
    std::int32_t id = 0;
    for (auto _ : state) {
        rec.InstanceId = 1 + (id++ % ids);
        brevor::TInstanceRef p;
        benchmark::DoNotOptimize(brevor::GetModuleInstance(&rec, p));
    }
}
BENCHMARK(BM_LookupExistingInstance)->Arg(1)->Arg(64)->ThreadRange(1, 4);

}  // namespace

BENCHMARK_MAIN();

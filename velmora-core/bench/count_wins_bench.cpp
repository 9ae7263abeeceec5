// The Monte Carlo loop: the reference loop beside the batched one, per iteration, on the
// parameter pairs of benchmarks/bench_module.py, and the batched loop with every kernel variant
// this processor can run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "isa/cpu_level.hpp"
#include "isa/kernel_table.hpp"
#include "promotion/count_wins.hpp"
#include "promotion/count_wins_batched.hpp"

namespace {

using namespace velmora;

struct Pair {
    const char* name;
    double champion[2];
    double challenger[2];
};

constexpr Pair PAIRS[] = {
    {"beta_11_9_vs_16_6", {11, 9}, {16, 6}},
    {"beta_1_1_vs_1_1", {1, 1}, {1, 1}},
    {"beta_5001_5001_vs_5101_4901", {5001, 5001}, {5101, 4901}},
};

constexpr std::uint32_t SAMPLES = 100000;

template <typename Loop>
void run(benchmark::State& state, const Pair& pair, Loop loop) {
    const BetaSampler champion = *BetaSampler::create(pair.champion[0], pair.champion[1]);
    const BetaSampler challenger = *BetaSampler::create(pair.challenger[0], pair.challenger[1]);
    std::uint64_t seed = 0;
    for (auto _ : state) {
        auto generator = ChaChaRng::from_seed(seed++);
        benchmark::DoNotOptimize(loop(champion, challenger, generator));
    }
    // Items are Monte Carlo iterations: the report shows the time per iteration.
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * SAMPLES);
}

void register_all() {
    for (const Pair& pair : PAIRS) {
        benchmark::RegisterBenchmark(
            (std::string("reference/") + pair.name).c_str(), [&pair](benchmark::State& state) {
                run(state, pair, [](const auto& c, const auto& h, auto& g) {
                    return promotion::count_wins(c, h, SAMPLES, g);
                });
            });
        for (const CpuLevel level : ALL_CPU_LEVELS) {
            if (!cpu_supports(level)) {
                continue;
            }
            const std::string name =
                std::string("batched_") + std::string(to_string(level)) + "/" + pair.name;
            benchmark::RegisterBenchmark(name.c_str(), [&pair, level](benchmark::State& state) {
                run(state, pair, [level](const auto& c, const auto& h, auto& g) {
                    return promotion::count_wins_batched(c, h, SAMPLES, g,
                                                         vector_kernels_for(level));
                });
            });
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// Costs of the random source: generator draws, the refill, the exact ln/exp beside the
// platform's, and one Beta draw for typical shapes.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "generator/chacha_block.hpp"
#include "generator/chacha_rng.hpp"
#include "isa/kernel_table.hpp"
#include "math/exact_math.hpp"
#include "sampler/beta_sampler.hpp"

namespace {

using namespace velmora;

void next_u64(benchmark::State& state) {
    auto rng = ChaChaRng::from_seed(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(rng.next_u64());
    }
}
BENCHMARK(next_u64);

void uniform_open01(benchmark::State& state) {
    auto rng = ChaChaRng::from_seed(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(rng.uniform_open01());
    }
}
BENCHMARK(uniform_open01);

void refill(benchmark::State& state, RefillFn fn) {
    const ChaChaKey key = {1, 2, 3, 4, 5, 6, 7, 8};
    ChaChaBuffer out{};
    std::uint64_t counter = 0;
    for (auto _ : state) {
        fn(key, counter, ChaChaStream{}, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
        counter += 4;
    }
}
BENCHMARK_CAPTURE(refill, scalar, refill_scalar);
BENCHMARK_CAPTURE(refill, active, active_vector_kernels().refill);

// Arguments in the ranges the sampler uses, cycled so nothing can be folded or hoisted.
template <typename Make>
std::array<double, 1024> arguments(Make make) {
    auto rng = ChaChaRng::from_seed(3);
    std::array<double, 1024> values{};
    for (auto& value : values) {
        value = make(rng.uniform_open01());
    }
    return values;
}

// Every function is called through the same kind of pointer, so the comparison is fair.
void unary(benchmark::State& state, double (*fn)(double), const std::array<double, 1024>& values) {
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fn(values[i]));
        i = (i + 1) % values.size();
    }
}

const auto ln_arguments = arguments([](double u) { return u / (1 - u); });
const auto exp_arguments = arguments([](double u) { return 40 * u - 20; });

double platform_log(double x) {
    return std::log(x);
}
double platform_exp(double x) {
    return std::exp(x);
}

BENCHMARK_CAPTURE(unary, ln, velmora::ln, ln_arguments);
BENCHMARK_CAPTURE(unary, std_log, platform_log, ln_arguments);
BENCHMARK_CAPTURE(unary, exp, velmora::exp, exp_arguments);
BENCHMARK_CAPTURE(unary, std_exp, platform_exp, exp_arguments);

void beta_draw(benchmark::State& state, double shape1, double shape2) {
    const auto sampler = BetaSampler::create(shape1, shape2);
    if (!sampler) {
        state.SkipWithError("invalid shapes");
        return;
    }
    auto rng = ChaChaRng::from_seed(11);
    for (auto _ : state) {
        benchmark::DoNotOptimize(sampler->sample(rng));
    }
}
BENCHMARK_CAPTURE(beta_draw, shapes_11_9, 11.0, 9.0);
BENCHMARK_CAPTURE(beta_draw, shapes_1_1, 1.0, 1.0);
BENCHMARK_CAPTURE(beta_draw, shapes_0_5_0_5, 0.5, 0.5);
BENCHMARK_CAPTURE(beta_draw, shapes_5001_5001, 5001.0, 5001.0);

} // namespace

BENCHMARK_MAIN();

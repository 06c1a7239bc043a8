#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "K7Core/SDS/SDSSamplePacking.h"

namespace {

constexpr std::size_t wordCount = 10'000'000;

std::vector<int32_t> words(int bits) {
    std::vector<int32_t> w(wordCount);
    const int64_t span = int64_t{1} << bits;
    for (std::size_t i = 0; i < w.size(); ++i) {
        w[i] = static_cast<int32_t>(static_cast<int64_t>(i * 2654435761u % span) - span / 2);
    }
    return w;
}

void packThenUnpack(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const auto input = words(bits);
    k7::Bytes packed(input.size() * k7::SDSSamplePacking::bytesPerWord(bits));
    std::vector<int32_t> output(input.size());
    for (auto _ : state) {
        k7::SDSSamplePacking::pack(input, bits, packed);
        k7::SDSSamplePacking::unpack(packed, bits, output);
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    if (output != input) state.SkipWithError("round trip changed the words");
    state.counters["words/s"] =
        benchmark::Counter(static_cast<double>(input.size()) * state.iterations(), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(packThenUnpack)->Arg(8)->Arg(16)->Arg(24)->Arg(28)->Unit(benchmark::kMillisecond);

#include <benchmark/benchmark.h>

#include "V7Aruviv/Models/TransferSendAnalyzer.h"

namespace {

// 100,000 messages in about 16 MiB (the import limits), a line feed after every tenth. With
// `manufacturerByte` 0x00 every message is Elektron product data, which takes the most checks.
k7::Bytes makeFile(bool elektron) {
    constexpr std::size_t messages = 100000;
    constexpr std::size_t messageBytes = 167;
    k7::Bytes file;
    file.reserve(messages * (messageBytes + 1));
    for (std::size_t m = 0; m < messages; ++m) {
        const std::size_t start = file.size();
        file.insert(file.end(), {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x10});
        if (!elektron) file[start + 1] = 0x43;
        while (file.size() - start < messageBytes - 1) file.push_back(static_cast<uint8_t>((file.size() + m) & 0x7F));
        file.push_back(0xF7);
        if (m % 10 == 9) file.push_back('\n');
    }
    return file;
}

void analyze(benchmark::State& state, bool elektron) {
    const k7::Bytes file = makeFile(elektron);
    for (auto _ : state) {
        auto analysis = k7::TransferSendAnalyzer::analyze(k7::TransferItem::Kind::sysEx, file, false);
        if (analysis.messageCount != 100000) state.SkipWithError("the file was not analysed whole");
        benchmark::DoNotOptimize(analysis);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}

void BM_TransferSendAnalyzerElektronData(benchmark::State& state) { analyze(state, true); }
void BM_TransferSendAnalyzerGenericSysEx(benchmark::State& state) { analyze(state, false); }
BENCHMARK(BM_TransferSendAnalyzerElektronData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TransferSendAnalyzerGenericSysEx)->Unit(benchmark::kMillisecond);

}  // namespace

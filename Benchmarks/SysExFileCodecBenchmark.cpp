#include <benchmark/benchmark.h>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/SysEx/SysExStreamParser.h"

namespace {

// 16 MiB of 100-byte messages, one line feed between every tenth.
k7::Bytes makeFile() {
    k7::Bytes file;
    file.reserve(16 * 1024 * 1024 + 1024 * 1024);
    std::size_t count = 0;
    while (file.size() < 16 * 1024 * 1024) {
        file.push_back(0xF0);
        for (int i = 0; i < 98; ++i) file.push_back(static_cast<uint8_t>((i * 7 + count) & 0x7F));
        file.push_back(0xF7);
        if (++count % 10 == 0) file.push_back('\n');
    }
    return file;
}

void BM_SysExFileCodecParse(benchmark::State& state) {
    const k7::Bytes file = makeFile();
    for (auto _ : state) {
        auto result = k7::SysExFileCodec::parse(file, k7::SysExFileCodec::defaultMaximumMessageBytes, 1000000);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_SysExFileCodecParse)->Unit(benchmark::kMillisecond);

void BM_SysExStreamParserFeed(benchmark::State& state) {
    const k7::Bytes file = makeFile();
    std::vector<k7::SysExParseEvent> events;
    events.reserve(200000);
    for (auto _ : state) {
        k7::SysExStreamParser parser;
        events.clear();
        // Chunks the size a MIDI driver hands over.
        for (std::size_t i = 0; i < file.size(); i += 4096) {
            parser.feed(k7::ByteView(file).subspan(i, std::min<std::size_t>(4096, file.size() - i)), events);
        }
        benchmark::DoNotOptimize(events.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_SysExStreamParserFeed)->Unit(benchmark::kMillisecond);

}  // namespace

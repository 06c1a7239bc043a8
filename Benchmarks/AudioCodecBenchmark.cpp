// Audio file decoding and encoding throughput, and DigiPRO rendering time.

#include <benchmark/benchmark.h>

#include <cstring>

#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"
#include "K7Core/DigiPRO/DigiPROEncoder.h"

namespace {

using k7::Bytes;

void put(Bytes& out, uint32_t value, int count, bool bigEndian) {
    for (int i = 0; i < count; ++i) {
        const int shift = bigEndian ? 8 * (count - 1 - i) : 8 * i;
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void putText(Bytes& out, const char* text) {
    while (*text) out.push_back(static_cast<uint8_t>(*text++));
}

void fillNoise(uint8_t* data, std::size_t count) {
    uint32_t state = 12345;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 1664525u + 1013904223u;
        data[i] = static_cast<uint8_t>(state >> 24);
    }
}

// A stereo WAV of `dataBytes` bytes of 16-bit PCM noise.
Bytes wav16Stereo(std::size_t dataBytes) {
    Bytes file;
    file.reserve(44 + dataBytes);
    putText(file, "RIFF");
    put(file, static_cast<uint32_t>(36 + dataBytes), 4, false);
    putText(file, "WAVEfmt ");
    put(file, 16, 4, false);          // fmt size
    put(file, 1, 2, false);           // PCM
    put(file, 2, 2, false);           // channels
    put(file, 44100, 4, false);       // rate
    put(file, 44100 * 4, 4, false);   // bytes per second
    put(file, 4, 2, false);           // block align
    put(file, 16, 2, false);          // bits
    putText(file, "data");
    put(file, static_cast<uint32_t>(dataBytes), 4, false);
    const std::size_t start = file.size();
    file.resize(start + dataBytes);
    fillNoise(file.data() + start, dataBytes);
    return file;
}

// A stereo 24-bit AIFF of `dataBytes` bytes of noise.
Bytes aiff24Stereo(std::size_t dataBytes) {
    const std::size_t frames = dataBytes / 6;
    dataBytes = frames * 6;
    Bytes file;
    putText(file, "FORM");
    put(file, static_cast<uint32_t>(4 + 26 + 16 + dataBytes), 4, true);
    putText(file, "AIFFCOMM");
    put(file, 18, 4, true);
    put(file, 2, 2, true);
    put(file, static_cast<uint32_t>(frames), 4, true);
    put(file, 24, 2, true);
    for (uint8_t byte : {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}) file.push_back(byte);  // 44100 Hz
    putText(file, "SSND");
    put(file, static_cast<uint32_t>(8 + dataBytes), 4, true);
    put(file, 0, 4, true);
    put(file, 0, 4, true);
    const std::size_t start = file.size();
    file.resize(start + dataBytes);
    fillNoise(file.data() + start, dataBytes);
    return file;
}

void BM_DecodeWAV16Stereo100MB(benchmark::State& state) {
    static const Bytes file = wav16Stereo(100u * 1024 * 1024);
    for (auto _ : state) {
        auto sample = k7::AudioFileDecoder::decode(file);
        benchmark::DoNotOptimize(sample.channels[1].back());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeWAV16Stereo100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DecodeAIFF24Stereo30MB(benchmark::State& state) {
    static const Bytes file = aiff24Stereo(30u * 1024 * 1024);
    for (auto _ : state) {
        auto sample = k7::AudioFileDecoder::decode(file);
        benchmark::DoNotOptimize(sample.channels[1].back());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}
BENCHMARK(BM_DecodeAIFF24Stereo30MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_EncodeWAV16Stereo100MB(benchmark::State& state) {
    static const k7::AudioSample sample = k7::AudioFileDecoder::decode(wav16Stereo(100u * 1024 * 1024));
    for (auto _ : state) {
        auto file = k7::AudioFileEncoder::wav(sample, k7::AudioFileEncoder::WAVEncoding::integerPCM(16));
        benchmark::DoNotOptimize(file.back());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100 * 1024 * 1024);
}
BENCHMARK(BM_EncodeWAV16Stereo100MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DigiPROEncode(benchmark::State& state) {
    std::vector<int32_t> cycle(static_cast<std::size_t>(state.range(0)));
    uint32_t seed = 1;
    for (auto& value : cycle) value = static_cast<int32_t>(seed = seed * 1664525u + 1013904223u);
    const auto name = k7::SPS1UWFileName::normalizing("NOIS");
    for (auto _ : state) {
        auto message = k7::DigiPROEncoder::encode(cycle, 0, name);
        benchmark::DoNotOptimize(message.back());
    }
}
BENCHMARK(BM_DigiPROEncode)->Arg(600)->Arg(16384)->Unit(benchmark::kMillisecond);

}  // namespace

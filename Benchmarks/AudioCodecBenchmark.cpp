// Audio file decoding and encoding throughput against libsndfile working on the same bytes in
// memory, and DigiPRO rendering time.

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"
#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "PeerRatio.h"

namespace {

using k7::AudioSample;
using k7::Bytes;
using k7::ByteView;

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

// A stereo WAV of `dataBytes` bytes of noise: 16-bit PCM, or 32-bit float within about +-1.1 (so
// that the clamp is exercised).
Bytes wavStereo(std::size_t dataBytes, bool isFloat) {
    const uint32_t bytesPerSample = isFloat ? 4 : 2;
    Bytes file;
    file.reserve(44 + dataBytes);
    putText(file, "RIFF");
    put(file, static_cast<uint32_t>(36 + dataBytes), 4, false);
    putText(file, "WAVEfmt ");
    put(file, 16, 4, false);                             // fmt size
    put(file, isFloat ? 3 : 1, 2, false);                // PCM or IEEE float
    put(file, 2, 2, false);                              // channels
    put(file, 44100, 4, false);                          // rate
    put(file, 44100 * 2 * bytesPerSample, 4, false);     // bytes per second
    put(file, 2 * bytesPerSample, 2, false);             // block align
    put(file, 8 * bytesPerSample, 2, false);             // bits
    putText(file, "data");
    put(file, static_cast<uint32_t>(dataBytes), 4, false);
    const std::size_t start = file.size();
    file.resize(start + dataBytes);
    if (!isFloat) {
        fillNoise(file.data() + start, dataBytes);
        return file;
    }
    uint32_t state = 99;
    for (std::size_t at = start; at + 4 <= file.size(); at += 4) {
        state = state * 1664525u + 1013904223u;
        const float value = (static_cast<float>(state >> 8) / 16777216.0f) * 2.2f - 1.1f;
        std::memcpy(file.data() + at, &value, 4);
    }
    return file;
}

// A stereo 24-bit AIFF of about `dataBytes` bytes of noise.
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

const Bytes& wav16File() {
    static const Bytes file = wavStereo(100u * 1024 * 1024, false);
    return file;
}
const Bytes& wavFloatFile() {
    static const Bytes file = wavStereo(100u * 1024 * 1024, true);
    return file;
}
const Bytes& aiff24File() {
    static const Bytes file = aiff24Stereo(30u * 1024 * 1024);
    return file;
}

// ---- The peer: libsndfile reading from and writing to memory through its virtual I/O.

struct MemoryIO {
    ByteView input;
    Bytes* output = nullptr;
    std::size_t position = 0;

    std::size_t size() const { return output ? output->size() : input.size(); }

    static sf_count_t length(void* self) { return static_cast<sf_count_t>(static_cast<MemoryIO*>(self)->size()); }
    static sf_count_t seek(sf_count_t offset, int whence, void* self) {
        auto* io = static_cast<MemoryIO*>(self);
        const sf_count_t base = whence == SEEK_CUR   ? static_cast<sf_count_t>(io->position)
                                : whence == SEEK_END ? static_cast<sf_count_t>(io->size())
                                                     : 0;
        io->position = static_cast<std::size_t>(std::max<sf_count_t>(0, base + offset));
        return static_cast<sf_count_t>(io->position);
    }
    static sf_count_t read(void* to, sf_count_t count, void* self) {
        auto* io = static_cast<MemoryIO*>(self);
        const std::size_t available = io->position < io->size() ? io->size() - io->position : 0;
        const std::size_t n = std::min(static_cast<std::size_t>(count), available);
        std::memcpy(to, (io->output ? io->output->data() : io->input.data()) + io->position, n);
        io->position += n;
        return static_cast<sf_count_t>(n);
    }
    static sf_count_t write(const void* from, sf_count_t count, void* self) {
        auto* io = static_cast<MemoryIO*>(self);
        const auto* bytes = static_cast<const uint8_t*>(from);
        const std::size_t n = static_cast<std::size_t>(count);
        Bytes& out = *io->output;
        if (io->position == out.size()) {
            out.insert(out.end(), bytes, bytes + n);
        } else {
            if (io->position + n > out.size()) out.resize(io->position + n);
            std::memcpy(out.data() + io->position, bytes, n);
        }
        io->position += n;
        return count;
    }
    static sf_count_t tell(void* self) { return static_cast<sf_count_t>(static_cast<MemoryIO*>(self)->position); }

    static SF_VIRTUAL_IO callbacks() { return SF_VIRTUAL_IO{length, seek, read, write, tell}; }
};

constexpr sf_count_t peerBlockFrames = 4096;

// The peer's conversion of float samples, written out: the same clamp and round-half-even scaling
// to 32-bit full scale as ours (NaN is silence).
int32_t peerFullScale(double value) {
    if (!(value == value)) return 0;
    const double clamped = std::min(std::max(value, -1.0), 1.0);
    const double rounded = (clamped * 2147483648.0 + 6755399441055744.0) - 6755399441055744.0;
    return static_cast<int32_t>(std::min(rounded, 2147483647.0));
}

// Reads the whole file in blocks, appending each block's deinterleaved samples to the channels
// (reserved once, never zero-filled).
template <typename Sample, typename Convert>
AudioSample peerDecode(ByteView file, sf_count_t (*readFrames)(SNDFILE*, Sample*, sf_count_t), Convert convert) {
    MemoryIO io{file};
    SF_VIRTUAL_IO callbacks = MemoryIO::callbacks();
    SF_INFO info{};
    SNDFILE* sound = sf_open_virtual(&callbacks, SFM_READ, &info, &io);
    if (!sound) throw std::runtime_error(sf_strerror(nullptr));
    const auto channels = static_cast<std::size_t>(info.channels);
    AudioSample sample;
    sample.sampleRate = info.samplerate;
    sample.channels.resize(channels);
    for (auto& channel : sample.channels) channel.reserve(static_cast<std::size_t>(info.frames));
    std::vector<Sample> interleaved(static_cast<std::size_t>(peerBlockFrames) * channels);
    int32_t block[peerBlockFrames];
    for (;;) {
        const auto frames = static_cast<std::size_t>(readFrames(sound, interleaved.data(), peerBlockFrames));
        if (frames == 0) break;
        for (std::size_t c = 0; c < channels; ++c) {
            for (std::size_t f = 0; f < frames; ++f) block[f] = convert(interleaved[f * channels + c]);
            sample.channels[c].insert(sample.channels[c].end(), block, block + frames);
        }
    }
    sf_close(sound);
    return sample;
}

AudioSample peerDecodeInteger(ByteView file) {
    return peerDecode<int>(file, sf_readf_int, [](int value) { return static_cast<int32_t>(value); });
}

AudioSample peerDecodeFloat(ByteView file) {
    return peerDecode<float>(file, sf_readf_float, [](float value) { return peerFullScale(value); });
}

// Interleaves the channels block by block into sf_writef_int, which keeps the top bits.
Bytes peerEncode(const AudioSample& sample, int format, std::size_t expectedBytes) {
    Bytes out;
    out.reserve(expectedBytes);
    MemoryIO io{{}, &out};
    SF_VIRTUAL_IO callbacks = MemoryIO::callbacks();
    SF_INFO info{};
    info.samplerate = sample.sampleRate;
    info.channels = static_cast<int>(sample.channelCount());
    info.format = format;
    SNDFILE* sound = sf_open_virtual(&callbacks, SFM_WRITE, &info, &io);
    if (!sound) throw std::runtime_error(sf_strerror(nullptr));
    const std::size_t channels = sample.channelCount();
    const std::size_t frames = sample.frameCount();
    std::vector<int> interleaved(static_cast<std::size_t>(peerBlockFrames) * channels);
    for (std::size_t start = 0; start < frames; start += peerBlockFrames) {
        const std::size_t count = std::min<std::size_t>(peerBlockFrames, frames - start);
        for (std::size_t f = 0; f < count; ++f) {
            for (std::size_t c = 0; c < channels; ++c) interleaved[f * channels + c] = sample.channels[c][start + f];
        }
        sf_writef_int(sound, interleaved.data(), static_cast<sf_count_t>(count));
    }
    sf_close(sound);
    return out;
}

// The sample bytes of a WAV `data` or an AIFF `SSND` chunk (after its offset and block size).
ByteView soundData(ByteView file) {
    const bool bigEndian = std::memcmp(file.data(), "FORM", 4) == 0;
    std::size_t offset = 12;
    while (offset + 8 <= file.size()) {
        const uint8_t* header = file.data() + offset;
        uint32_t size = 0;
        for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(header[4 + i]) << (bigEndian ? 8 * (3 - i) : 8 * i);
        if (std::memcmp(header, "data", 4) == 0) return file.subspan(offset + 8, size);
        if (std::memcmp(header, "SSND", 4) == 0) return file.subspan(offset + 16, size - 8);
        offset += 8 + size + (size & 1);
    }
    return {};
}

// ---- Cases

template <AudioSample (*Ours)(ByteView), AudioSample (*Peer)(ByteView)>
void decodeCase(benchmark::State& state, const Bytes& file, bool ours) {
    static const bool identical = Ours(file).channels == Peer(file).channels;
    if (!identical) {
        state.SkipWithError("the peer decodes other samples");
        return;
    }
    for (auto _ : state) {
        auto sample = ours ? Ours(file) : Peer(file);
        benchmark::DoNotOptimize(sample.channels[1].back());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size()));
}

AudioSample oursDecode(ByteView file) { return k7::AudioFileDecoder::decode(file); }

Bytes oursWAV16(const AudioSample& sample) {
    return k7::AudioFileEncoder::wav(sample, k7::AudioFileEncoder::WAVEncoding::integerPCM(16));
}
Bytes peerWAV16(const AudioSample& sample) {
    return peerEncode(sample, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sample.frameCount() * 4 + 44);
}
Bytes oursAIFF24(const AudioSample& sample) {
    return k7::AudioFileEncoder::aiff(sample, k7::AudioFileEncoder::AIFFEncoding::integerPCM(24));
}
Bytes peerAIFF24(const AudioSample& sample) {
    return peerEncode(sample, SF_FORMAT_AIFF | SF_FORMAT_PCM_24, sample.frameCount() * 6 + 64);
}

template <Bytes (*Ours)(const AudioSample&), Bytes (*Peer)(const AudioSample&)>
void encodeCase(benchmark::State& state, const AudioSample& sample, bool ours) {
    static const bool identical = [&] {
        const Bytes a = Ours(sample);
        const Bytes b = Peer(sample);
        const ByteView x = soundData(a), y = soundData(b);
        return !x.empty() && std::equal(x.begin(), x.end(), y.begin(), y.end());
    }();
    if (!identical) {
        state.SkipWithError("the peer writes other sample bytes");
        return;
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto file = ours ? Ours(sample) : Peer(sample);
        bytes = file.size();
        benchmark::DoNotOptimize(file.back());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

const AudioSample& wav16Sample() {
    static const AudioSample sample = k7::AudioFileDecoder::decode(wav16File());
    return sample;
}
const AudioSample& aiff24Sample() {
    static const AudioSample sample = k7::AudioFileDecoder::decode(aiff24File());
    return sample;
}

void registerCases() {
    struct Decode {
        const char* name;
        const Bytes& (*file)();
        AudioSample (*peer)(ByteView);
    };
    const auto decodeWAV16 = [](benchmark::State& state, bool ours) {
        decodeCase<oursDecode, peerDecodeInteger>(state, wav16File(), ours);
    };
    const auto decodeAIFF24 = [](benchmark::State& state, bool ours) {
        decodeCase<oursDecode, peerDecodeInteger>(state, aiff24File(), ours);
    };
    const auto decodeWAVFloat = [](benchmark::State& state, bool ours) {
        decodeCase<oursDecode, peerDecodeFloat>(state, wavFloatFile(), ours);
    };
    const auto encodeWAV16 = [](benchmark::State& state, bool ours) {
        encodeCase<oursWAV16, peerWAV16>(state, wav16Sample(), ours);
    };
    const auto encodeAIFF24 = [](benchmark::State& state, bool ours) {
        encodeCase<oursAIFF24, peerAIFF24>(state, aiff24Sample(), ours);
    };
    const std::pair<const char*, void (*)(benchmark::State&, bool)> cases[] = {
        {"DecodeWAV16Stereo100MB", decodeWAV16},
        {"DecodeAIFF24Stereo30MB", decodeAIFF24},
        {"DecodeWAVFloat32Stereo100MB", decodeWAVFloat},
        {"EncodeWAV16Stereo100MB", encodeWAV16},
        {"EncodeAIFF24Stereo30MB", encodeAIFF24},
    };
    for (const auto& [name, run] : cases) {
        for (const bool ours : {true, false}) {
            benchmark::RegisterBenchmark((std::string(name) + (ours ? "/ours" : "/peer:libsndfile")).c_str(),
                                         [run = run, ours](benchmark::State& state) { run(state, ours); })
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

const bool registered = (registerCases(), true);

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

K7_BENCHMARK_MAIN_WITH_PEER_RATIOS()

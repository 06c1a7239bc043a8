// Elektron seven-bit decoding against a plain loop over eight-byte groups into a buffer sized up
// front.

#include <benchmark/benchmark.h>

#include "K7Core/ElektronWire/ElektronSevenBit.h"
#include "PeerRatio.h"

namespace {

using k7::Bytes;
using k7::ByteView;

std::optional<Bytes> peerDecode(ByteView encoded) {
    const auto size = k7::ElektronSevenBit::decodedSize(encoded.size());
    if (!size) return std::nullopt;
    Bytes raw(*size);
    uint8_t* out = raw.data();
    for (std::size_t at = 0; at < encoded.size(); at += 8) {
        const std::size_t count = std::min<std::size_t>(8, encoded.size() - at) - 1;
        const uint8_t highBits = encoded[at];
        if (highBits & 0x80) return std::nullopt;
        for (std::size_t k = 0; k < count; ++k) {
            const uint8_t low = encoded[at + 1 + k];
            if (low & 0x80) return std::nullopt;
            out[k] = static_cast<uint8_t>(low | ((highBits << (k + 1)) & 0x80));
        }
        out += count;
    }
    return raw;
}

// Encoded noise of about `bytes` bytes, ending in a short group.
Bytes encodedNoise(std::size_t bytes) {
    Bytes raw(bytes / 8 * 7 + 3);
    uint32_t state = 5;
    for (auto& byte : raw) byte = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
    return k7::ElektronSevenBit::encode(raw);
}

void decode(benchmark::State& state, bool ours) {
    const Bytes encoded = encodedNoise(static_cast<std::size_t>(state.range(0)));
    if (k7::ElektronSevenBit::decode(encoded) != peerDecode(encoded)) {
        return state.SkipWithError("the peer decodes other bytes");
    }
    for (auto _ : state) {
        auto raw = ours ? k7::ElektronSevenBit::decode(encoded) : peerDecode(encoded);
        benchmark::DoNotOptimize(raw->data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(encoded.size()));
}

void registerCases() {
    for (const bool ours : {true, false}) {
        benchmark::RegisterBenchmark(ours ? "ElektronSevenBitDecode/ours" : "ElektronSevenBitDecode/peer:group-loop",
                                     [ours](benchmark::State& state) { decode(state, ours); })
            ->Arg(16384)       // a pattern dump's body
            ->Arg(1 << 20);
    }
}

const bool registered = (registerCases(), true);

}  // namespace

K7_BENCHMARK_MAIN_WITH_PEER_RATIOS()

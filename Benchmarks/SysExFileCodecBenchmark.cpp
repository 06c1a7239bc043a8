// Framing SysEx: stored files split whole and live input framed chunk by chunk, each against a
// minimal memchr-based peer that gives the same output for well-formed input.

#include <benchmark/benchmark.h>

#include <cstring>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/SysEx/SysExStreamParser.h"
#include "PeerRatio.h"

namespace {

using k7::Bytes;
using k7::ByteView;

// 16 MiB of 100-byte messages, one line feed between every tenth.
const Bytes& file() {
    static const Bytes bytes = [] {
        Bytes out;
        out.reserve(16 * 1024 * 1024 + 1024 * 1024);
        std::size_t count = 0;
        while (out.size() < 16 * 1024 * 1024) {
            out.push_back(0xF0);
            for (int i = 0; i < 98; ++i) out.push_back(static_cast<uint8_t>((i * 7 + count) & 0x7F));
            out.push_back(0xF7);
            if (++count % 10 == 0) out.push_back('\n');
        }
        return out;
    }();
    return bytes;
}

// Chunks the size a MIDI driver hands over.
constexpr std::size_t chunkBytes = 4096;

// ---- Peers: find each start, then its end, with memchr; nothing in between is looked at.

k7::SysExFileCodec::ParseResult peerSplit(ByteView input) {
    k7::SysExFileCodec::ParseResult result;
    const uint8_t* data = input.data();
    const std::size_t size = input.size();
    std::size_t i = 0;
    while (i < size) {
        if (k7::SysExFileCodec::isContainerSeparator(data[i])) {
            ++result.containerSeparatorByteCount;
            ++i;
            continue;
        }
        if (data[i] != k7::sysExStart) throw std::runtime_error("stray byte");
        const auto* end = static_cast<const uint8_t*>(std::memchr(data + i + 1, k7::sysExEnd, size - i - 1));
        if (!end) throw std::runtime_error("unterminated message");
        result.messages.emplace_back(data + i, end + 1);
        result.wireByteCount += static_cast<std::size_t>(end + 1 - (data + i));
        i = static_cast<std::size_t>(end + 1 - data);
    }
    return result;
}

// Keeps the open message across chunks; a message inside one chunk is copied out directly.
class PeerFramer {
public:
    void feed(ByteView chunk, std::vector<k7::SysExParseEvent>& events) {
        const uint8_t* at = chunk.data();
        const uint8_t* const end = at + chunk.size();
        while (at < end) {
            if (!inside_) {
                at = find(at, end, k7::sysExStart);
                if (!at) return;
                inside_ = true;
            }
            const uint8_t* stop = find(at, end, k7::sysExEnd);
            if (!stop) {
                open_.insert(open_.end(), at, end);
                return;
            }
            if (open_.empty()) {
                events.emplace_back(std::in_place_type<k7::sysex_parse_event::Message>,
                                    k7::sysex_parse_event::Message{Bytes(at, stop + 1)});
            } else {
                open_.insert(open_.end(), at, stop + 1);
                events.emplace_back(std::in_place_type<k7::sysex_parse_event::Message>,
                                    k7::sysex_parse_event::Message{Bytes(open_.begin(), open_.end())});
                open_.clear();
            }
            inside_ = false;
            at = stop + 1;
        }
    }

private:
    static const uint8_t* find(const uint8_t* from, const uint8_t* end, uint8_t byte) {
        return static_cast<const uint8_t*>(std::memchr(from, byte, static_cast<std::size_t>(end - from)));
    }

    bool inside_ = false;
    Bytes open_;
};

// ---- Cases

void parseFile(benchmark::State& state, bool ours) {
    static const bool identical =
        k7::SysExFileCodec::parse(file(), k7::SysExFileCodec::defaultMaximumMessageBytes, 1000000) == peerSplit(file());
    if (!identical) return state.SkipWithError("the peer splits the file differently");
    for (auto _ : state) {
        auto result = ours ? k7::SysExFileCodec::parse(file(), k7::SysExFileCodec::defaultMaximumMessageBytes, 1000000)
                           : peerSplit(file());
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file().size()));
}

template <typename Framer>
void frameInChunks(Framer& framer, std::vector<k7::SysExParseEvent>& events) {
    const Bytes& input = file();
    for (std::size_t i = 0; i < input.size(); i += chunkBytes) {
        framer.feed(ByteView(input).subspan(i, std::min(chunkBytes, input.size() - i)), events);
    }
}

void frameStream(benchmark::State& state, bool ours) {
    static const bool identical = [] {
        std::vector<k7::SysExParseEvent> a, b;
        k7::SysExStreamParser parser;
        PeerFramer peer;
        frameInChunks(parser, a);
        frameInChunks(peer, b);
        return a == b;
    }();
    if (!identical) return state.SkipWithError("the peer frames the stream differently");
    std::vector<k7::SysExParseEvent> events;
    events.reserve(200000);
    for (auto _ : state) {
        events.clear();
        if (ours) {
            k7::SysExStreamParser parser;
            frameInChunks(parser, events);
        } else {
            PeerFramer peer;
            frameInChunks(peer, events);
        }
        benchmark::DoNotOptimize(events.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file().size()));
}

void registerCases() {
    for (const bool ours : {true, false}) {
        benchmark::RegisterBenchmark(ours ? "SysExFileCodecParse/ours" : "SysExFileCodecParse/peer:memchr-splitter",
                                     [ours](benchmark::State& state) { parseFile(state, ours); })
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(ours ? "SysExStreamParserFeed/ours" : "SysExStreamParserFeed/peer:memchr-framer",
                                     [ours](benchmark::State& state) { frameStream(state, ours); })
            ->Unit(benchmark::kMillisecond);
    }
}

const bool registered = (registerCases(), true);

}  // namespace

K7_BENCHMARK_MAIN_WITH_PEER_RATIOS()

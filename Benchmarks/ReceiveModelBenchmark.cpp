// A receive through the whole model: 16 MiB of Machinedrum and Monomachine records arriving as
// the sequencer delivers them (256-byte pieces, with clock bytes between), framed by the receive
// path, routed by the model, fed to the SDS session and the DigiPRO assembler, and finalized into
// one item. It must lose nothing and keep up with ten times the fastest Turbo rate (62500 B/s).
#include <benchmark/benchmark.h>

#include <chrono>

#include "../Tests/K7CoreTests/Elektron/ElektronBackupRecordBuilder.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "ModelStudio.h"

namespace {

using namespace std::chrono_literals;
using Builder = k7::testing::ElektronBackupRecordBuilder;

constexpr std::size_t streamBytes = std::size_t{16} << 20;
constexpr std::size_t pieceBytes = 256;
constexpr double fastestTurboBytesPerSecond = 62500;
constexpr int32_t inputID = 1;

// Records of both instruments in backup order, over and over, until the stream is full.
std::vector<k7::Bytes> records() {
    const auto machinedrum = Builder::backup(k7::ElektronBackupProfile::machinedrum);
    const auto monomachine = Builder::backup(k7::ElektronBackupProfile::monomachineStock);
    std::vector<k7::Bytes> messages;
    std::size_t total = 0;
    for (std::size_t round = 0; total < streamBytes; ++round) {
        for (const auto& message : round % 2 == 0 ? machinedrum : monomachine) {
            messages.push_back(message);
            total += message.size();
        }
    }
    return messages;
}

// The wire: every record with a MIDI clock byte after each 97 bytes, cut into sequencer pieces.
std::vector<k7::Bytes> pieces(const k7::Bytes& stream) {
    k7::Bytes wire;
    wire.reserve(stream.size() + stream.size() / 97 + 1);
    for (std::size_t i = 0; i < stream.size(); ++i) {
        wire.push_back(stream[i]);
        if (i % 97 == 96) wire.push_back(0xF8);
    }
    std::vector<k7::Bytes> chunks;
    for (std::size_t at = 0; at < wire.size(); at += pieceBytes) {
        chunks.emplace_back(wire.begin() + static_cast<std::ptrdiff_t>(at),
                            wire.begin() + static_cast<std::ptrdiff_t>(std::min(wire.size(), at + pieceBytes)));
    }
    return chunks;
}

void BM_ReceiveElektronRecordsThroughTheModel(benchmark::State& state) {
    const auto messages = records();
    const k7::Bytes expected = k7::SysExFileCodec::join(messages);
    const auto chunks = pieces(expected);
    double seconds = 0;
    bool lossless = true;

    for (auto _ : state) {
        state.PauseTiming();
        k7::benchmarks::ModelStudio studio(inputID);
        auto& model = *studio.model;
        auto& scheduler = studio.scheduler;
        auto& transport = studio.transport;
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        model.toggleReceiving();
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            transport->inject(chunks[i]);
            if (i % 64 == 63) scheduler->runUntilIdle();
        }
        scheduler->runUntilIdle();
        model.toggleReceiving();
        // The drain waits for half a second of quiet input, in virtual time.
        while (model.isReceiving() && scheduler->advanceToNextDeadline()) {
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        lossless = lossless && !model.isReceiving() && model.items().size() == 1 &&
                   model.items()[0].data == expected;
    }
    if (!lossless) state.SkipWithError("received bytes were lost or altered");
    const double rate = static_cast<double>(expected.size()) * static_cast<double>(state.iterations()) / seconds;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * expected.size()));
    state.counters["streamBytes"] = static_cast<double>(expected.size());
    state.counters["timesFastestTurbo"] = rate / fastestTurboBytesPerSecond;
    state.counters["keepsUpTenTimes"] = rate >= 10 * fastestTurboBytesPerSecond ? 1 : 0;
}

}  // namespace

BENCHMARK(BM_ReceiveElektronRecordsThroughTheModel)->Unit(benchmark::kMillisecond)->Iterations(3);

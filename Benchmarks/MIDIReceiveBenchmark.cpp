// Throughput of the receive path: a producer thread writes SysEx in 256-byte pieces (as the
// sequencer delivers them) into the ingress ring; the worker and the receive queue frame them.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/Transport/MIDIReceivePath.h"

namespace {

constexpr std::size_t messageBytes = 1024;
constexpr std::size_t pieceBytes = 256;
constexpr std::size_t burstBytes = std::size_t{1} << 19;

k7::Bytes makeStream(std::size_t messages) {
    k7::Bytes stream;
    for (std::size_t m = 0; m < messages; ++m) {
        stream.push_back(0xF0);
        for (std::size_t i = 0; i < messageBytes - 2; ++i) stream.push_back(static_cast<uint8_t>((m + i) & 0x7F));
        stream.push_back(0xF7);
    }
    return stream;
}

// bytesPerSecond 0 writes in bursts of half the ring, each as fast as the producer can, waiting
// for a burst to be framed before the next (so the figure is the path's own throughput);
// otherwise the producer is paced to that rate without waiting.
void receive(benchmark::State& state, double bytesPerSecond) {
    const std::size_t messages = static_cast<std::size_t>(state.range(0));
    const k7::Bytes stream = makeStream(messages);
    std::mutex mutex;
    std::condition_variable done;
    std::size_t delivered = 0;
    std::size_t deliveredBytes = 0;
    std::atomic<std::size_t> issues{0};
    uint64_t dropped = 0;

    auto queue = std::make_shared<k7::SerialQueue>("k7.bench.receive");
    k7::MIDIReceivePath::Handlers handlers;
    handlers.message = [&](const k7::Bytes& message) {
        std::lock_guard lock(mutex);
        ++delivered;
        deliveredBytes += message.size();
        done.notify_all();
    };
    handlers.issue = [&](const k7::MIDITransportIssue&) { ++issues; };
    k7::MIDIReceivePath path(queue, handlers);

    for (auto _ : state) {
        path.connect(1);
        std::size_t base = 0;
        {
            std::lock_guard lock(mutex);
            base = delivered;
        }
        const auto start = std::chrono::steady_clock::now();
        for (std::size_t at = 0; at < stream.size(); at += pieceBytes) {
            if (bytesPerSecond > 0) {
                const auto due = start + std::chrono::duration<double>(static_cast<double>(at) / bytesPerSecond);
                while (std::chrono::steady_clock::now() < due) {
                }
            }
            path.write(k7::ByteView(stream).subspan(at, std::min(pieceBytes, stream.size() - at)));
            const std::size_t written = at + pieceBytes;
            if (bytesPerSecond == 0 && written % burstBytes == 0 && written < stream.size()) {
                std::unique_lock lock(mutex);
                done.wait(lock, [&] { return delivered - base >= written / messageBytes || path.metrics().bytesDropped; });
            }
        }
        {
            std::unique_lock lock(mutex);
            const uint64_t droppedNow = path.metrics().bytesDropped;
            if (droppedNow == 0) done.wait(lock, [&] { return delivered >= base + messages; });
            dropped += droppedNow;
        }
        path.disconnect();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["droppedBytes"] = static_cast<double>(dropped);
    state.counters["issues"] = static_cast<double>(issues.load());
    state.counters["deliveredBytes"] = static_cast<double>(deliveredBytes);
}

void BM_ReceiveInBursts(benchmark::State& state) { receive(state, 0); }
void BM_ReceivePacedAt10MBps(benchmark::State& state) { receive(state, 10e6); }

}  // namespace

BENCHMARK(BM_ReceiveInBursts)->Arg(16384)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReceivePacedAt10MBps)->Arg(8192)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

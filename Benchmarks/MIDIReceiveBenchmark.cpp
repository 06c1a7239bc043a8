// Throughput of the receive path: a producer thread writes SysEx in 256-byte pieces (as the
// sequencer delivers them) into the ingress ring; the worker and the receive queue frame them.
// The peer is the least that does the same job: a single-producer ring whose consumer thread
// polls it and frames messages with memchr straight into the handler.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/Transport/MIDIReceivePath.h"
#include "PeerRatio.h"

namespace {

constexpr std::size_t messageBytes = 1024;
constexpr std::size_t pieceBytes = 256;
constexpr std::size_t burstBytes = std::size_t{1} << 19;
constexpr std::size_t ringBytes = std::size_t{1} << 20;

k7::Bytes makeStream(std::size_t messages) {
    k7::Bytes stream;
    for (std::size_t m = 0; m < messages; ++m) {
        stream.push_back(0xF0);
        for (std::size_t i = 0; i < messageBytes - 2; ++i) stream.push_back(static_cast<uint8_t>((m + i) & 0x7F));
        stream.push_back(0xF7);
    }
    return stream;
}

using MessageHandler = std::function<void(const k7::Bytes&)>;

class OurPath {
public:
    explicit OurPath(MessageHandler handler)
        : path_(std::make_shared<k7::SerialQueue>("k7.bench.receive"), handlers(std::move(handler))) {}
    void connect() { path_.connect(1); }
    bool write(k7::ByteView bytes) { return path_.write(bytes); }
    void disconnect() { path_.disconnect(); }
    uint64_t bytesDropped() const { return path_.metrics().bytesDropped; }

private:
    static k7::MIDIReceivePath::Handlers handlers(MessageHandler handler) {
        k7::MIDIReceivePath::Handlers result;
        result.message = std::move(handler);
        return result;
    }
    k7::MIDIReceivePath path_;
};

class PeerPath {
public:
    explicit PeerPath(MessageHandler handler) : handler_(std::move(handler)), ring_(ringBytes) {}
    ~PeerPath() { disconnect(); }

    void connect() {
        write_.store(0);
        read_.store(0);
        stop_.store(false);
        consumer_ = std::thread([this] { consume(); });
    }

    bool write(k7::ByteView bytes) {
        const uint64_t write = write_.load(std::memory_order_relaxed);
        if (bytes.size() > ringBytes - (write - read_.load(std::memory_order_acquire))) {
            dropped_.fetch_add(bytes.size(), std::memory_order_relaxed);
            return false;
        }
        const std::size_t start = write % ringBytes;
        const std::size_t first = std::min(bytes.size(), ringBytes - start);
        std::memcpy(ring_.data() + start, bytes.data(), first);
        std::memcpy(ring_.data(), bytes.data() + first, bytes.size() - first);
        write_.store(write + bytes.size(), std::memory_order_release);
        return true;
    }

    void disconnect() {
        if (!consumer_.joinable()) return;
        stop_.store(true);
        consumer_.join();
    }

    uint64_t bytesDropped() const { return dropped_.load(); }

private:
    void consume() {
        for (;;) {
            const uint64_t write = write_.load(std::memory_order_acquire);
            const uint64_t read = read_.load(std::memory_order_relaxed);
            if (write == read) {
                if (stop_.load()) return;
                pause();
                continue;
            }
            const std::size_t start = read % ringBytes;
            const std::size_t first = std::min<std::size_t>(write - read, ringBytes - start);
            frame(ring_.data() + start, first);
            frame(ring_.data(), static_cast<std::size_t>(write - read) - first);
            read_.store(write, std::memory_order_release);
        }
    }

    static void pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    void frame(const uint8_t* at, std::size_t count) {
        const uint8_t* const end = at + count;
        while (at < end) {
            if (!inside_) {
                at = static_cast<const uint8_t*>(std::memchr(at, k7::sysExStart, static_cast<std::size_t>(end - at)));
                if (!at) return;
                inside_ = true;
            }
            const auto* stop = static_cast<const uint8_t*>(std::memchr(at, k7::sysExEnd, static_cast<std::size_t>(end - at)));
            if (!stop) {
                open_.insert(open_.end(), at, end);
                return;
            }
            open_.insert(open_.end(), at, stop + 1);
            handler_(open_);
            open_.clear();
            inside_ = false;
            at = stop + 1;
        }
    }

    MessageHandler handler_;
    std::vector<uint8_t> ring_;
    alignas(64) std::atomic<uint64_t> write_{0};
    alignas(64) std::atomic<uint64_t> read_{0};
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> dropped_{0};
    std::thread consumer_;
    bool inside_ = false;
    k7::Bytes open_;
};

// bytesPerSecond 0 writes in bursts of half the ring, each as fast as the producer can, waiting
// for a burst to be framed before the next (so the figure is the path's own throughput);
// otherwise the producer is paced to that rate without waiting. The handler wakes the producer
// only when the message it waits for has come, so that the figure is not one of wake-ups.
template <typename Path>
void receive(benchmark::State& state, double bytesPerSecond) {
    const std::size_t messages = static_cast<std::size_t>(state.range(0));
    const k7::Bytes stream = makeStream(messages);
    std::mutex mutex;
    std::condition_variable done;
    std::atomic<std::size_t> delivered{0};
    std::atomic<std::size_t> deliveredBytes{0};
    std::atomic<std::size_t> awaited{0};
    uint64_t dropped = 0;

    Path path([&](const k7::Bytes& message) {
        deliveredBytes.fetch_add(message.size(), std::memory_order_relaxed);
        if (delivered.fetch_add(1) + 1 == awaited.load()) {
            std::lock_guard lock(mutex);
            done.notify_all();
        }
    });
    // Until `count` messages have come, or bytes were dropped (and they never will).
    const auto awaitDelivered = [&](std::size_t count) {
        awaited.store(count);
        std::unique_lock lock(mutex);
        while (delivered.load() < count && !path.bytesDropped()) done.wait_for(lock, std::chrono::milliseconds(1));
    };

    for (auto _ : state) {
        path.connect();
        const std::size_t base = delivered.load();
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
                awaitDelivered(base + written / messageBytes);
            }
        }
        awaitDelivered(base + messages);
        dropped += path.bytesDropped();
        path.disconnect();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["droppedBytes"] = static_cast<double>(dropped);
    state.counters["deliveredBytes"] = static_cast<double>(deliveredBytes.load());
}

void registerCases() {
    benchmark::RegisterBenchmark("ReceiveInBursts/ours", [](benchmark::State& state) { receive<OurPath>(state, 0); })
        ->Arg(16384)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("ReceiveInBursts/peer:polling-ring",
                                 [](benchmark::State& state) { receive<PeerPath>(state, 0); })
        ->Arg(16384)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    // Paced below what either can take: droppedBytes must stay 0.
    benchmark::RegisterBenchmark("ReceivePacedAt10MBps", [](benchmark::State& state) { receive<OurPath>(state, 10e6); })
        ->Arg(8192)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(3)
        ->Repetitions(1);
}

const bool registered = (registerCases(), true);

}  // namespace

K7_BENCHMARK_MAIN_WITH_PEER_RATIOS()

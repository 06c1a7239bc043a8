// Accuracy of a paced send: a message sent at the output's maximum SysEx speed should take
// bytes / speed, neither less (the device's buffer would overflow) nor much more.
#include <benchmark/benchmark.h>

#include <cmath>

#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Alsa/AlsaMIDITransport.h"

namespace {

// A sequencer with one device that swallows everything.
class SinkSequencer final : public k7::AlsaSequencing {
public:
    int clientID() const override { return 128; }
    std::vector<k7::AlsaPortDescription> ports() override {
        return {{{20, 0}, "Sink", "Sink MIDI 1", true, true, false}};
    }
    void connectInput(k7::AlsaPortAddress) override {}
    void disconnectInput(k7::AlsaPortAddress) override {}
    void connectOutput(k7::AlsaPortAddress) override {}
    void disconnectOutput(k7::AlsaPortAddress) override {}
    void sendSysEx(k7::ByteView piece) override { benchmark::DoNotOptimize(piece.data()); }
    std::vector<k7::AlsaInputEvent> readEvents() override {
        std::unique_lock lock(mutex_);
        woken_.wait(lock, [&] { return stop_; });
        return {};
    }
    void wake() override {
        std::lock_guard lock(mutex_);
        stop_ = true;
        woken_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    bool stop_ = false;
};

void BM_PacedSend(benchmark::State& state) {
    const int bytesPerSecond = static_cast<int>(state.range(0));
    const std::size_t size = static_cast<std::size_t>(state.range(1));
    k7::AlsaMIDITransport transport(std::make_unique<SinkSequencer>(), std::make_shared<k7::ManualScheduler>());
    const int32_t output = transport.endpointSnapshot().outputs.at(0).id;
    transport.selectOutput(output);
    transport.configureMaximumSysExSpeed(bytesPerSecond);
    k7::Bytes message(size, 0x42);
    message.front() = 0xF0;
    message.back() = 0xF7;
    const double expected = static_cast<double>(size) / bytesPerSecond;
    double worstError = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        transport.send(message);
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(elapsed);
        worstError = std::max(worstError, std::abs(elapsed - expected) / expected);
    }
    state.counters["expectedSeconds"] = expected;
    state.counters["worstErrorPercent"] = worstError * 100;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
}

}  // namespace

BENCHMARK(BM_PacedSend)
    ->Args({62500, 12500})
    ->Args({62500, 62500})
    ->Args({3125, 625})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

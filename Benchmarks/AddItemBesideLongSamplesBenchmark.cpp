// One small item joining a list of long samples through the model: an SDS and a DigiPRO conversion
// of a short sample, and a receive of one 6-byte message, beside four WAV items of 32 MiB files
// and their 64 MiB of decoded samples each. Measured: the time of the command and the process's
// peak resident rise while it runs. The new item may cost its own size and little more; a copy of
// the list, 384 MiB here, must not appear.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <string>

#include "../Tests/Support/Model/ResidentMemoryRise.h"
#include "ModelStudio.h"

namespace {

using k7::benchmarks::heldAudioItem;

constexpr std::size_t longSampleCount = 4;
constexpr std::size_t longSampleFrames = std::size_t{16} << 20;  // 16-bit mono: a 32 MiB file
constexpr std::size_t shortSampleFrames = 1000;
constexpr int32_t inputID = 1;
constexpr double mebibyte = 1048576.0;
// Allowed: the new item, the model's own bookkeeping and the allocator's slack.
constexpr double allowanceMiB = 8;

struct Studio : k7::benchmarks::ModelStudio {
    QUuid shortSampleID;

    // The model over a quiet input, holding the long samples and the short one, selected.
    Studio() : ModelStudio(inputID) {
        std::vector<k7::TransferItem> items;
        for (std::size_t index = 0; index < longSampleCount; ++index) {
            items.push_back(heldAudioItem("Pad " + std::to_string(index + 1) + ".wav", longSampleFrames));
        }
        items.push_back(heldAudioItem("Kick.wav", shortSampleFrames));
        shortSampleID = items.back().id;
        model->setItems(std::move(items));
        model->setSelection({shortSampleID});
        model->setSamplePosition(0);
    }
};

void convertToSDS(Studio& studio) {
    studio.model->convertSelectedToSDS();
    studio.scheduler->runUntilIdle();
}

void convertToDigiPRO(Studio& studio) {
    studio.model->convertSelectedToDigiPRO();
    studio.scheduler->runUntilIdle();
}

void receiveOneMessage(Studio& studio) {
    studio.model->toggleReceiving();
    studio.transport->inject(k7::Bytes{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7});
    studio.scheduler->runUntilIdle();
    studio.model->toggleReceiving();
    // The drain waits for quiet input, in virtual time.
    while (studio.model->isReceiving() && studio.scheduler->advanceToNextDeadline()) {
    }
}

void addItem(benchmark::State& state, const std::function<void(Studio&)>& add) {
    double peakRaise = 0;
    bool added = true;
    bool measured = true;
    for (auto _ : state) {
        state.PauseTiming();
        auto studio = std::make_unique<Studio>();
        const k7::testing::ResidentMemoryRise rise;
        state.ResumeTiming();

        add(*studio);

        state.PauseTiming();
        measured = measured && rise.valid();
        peakRaise = std::max(peakRaise, rise.peakMiB());
        const auto& items = studio->model->items();
        added = added && !studio->model->alertMessage() && items.size() == longSampleCount + 2 &&
                studio->model->selection() == std::set<QUuid>{items.back().id};
        studio.reset();  // freeing the long samples is not the command's time
        state.ResumeTiming();
    }
    if (!measured) state.SkipWithError("the process's resident memory cannot be read or its peak reset");
    if (!added) state.SkipWithError("the item was not added");
    state.counters["listMiB"] = static_cast<double>(longSampleCount * longSampleFrames * 6) / mebibyte;
    state.counters["peakRaiseMiB"] = peakRaise;
    state.counters["withinAllowance"] = peakRaise <= allowanceMiB ? 1 : 0;
}

void BM_ConvertToSDSBesideLongSamples(benchmark::State& state) { addItem(state, convertToSDS); }
void BM_ConvertToDigiPROBesideLongSamples(benchmark::State& state) { addItem(state, convertToDigiPRO); }
void BM_ReceiveOneMessageBesideLongSamples(benchmark::State& state) { addItem(state, receiveOneMessage); }

}  // namespace

BENCHMARK(BM_ConvertToSDSBesideLongSamples)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ConvertToDigiPROBesideLongSamples)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReceiveOneMessageBesideLongSamples)->Unit(benchmark::kMillisecond)->Iterations(2);

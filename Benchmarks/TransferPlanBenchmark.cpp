#include <benchmark/benchmark.h>

#include "V7Aruviv/Models/TransferPlan.h"

namespace {

// A selection the size of a large file list: audio, raw SysEx and DigiPRO items mixed.
std::vector<k7::TransferItem> makeItems(std::size_t count) {
    std::vector<k7::TransferItem> items(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto& item = items[i];
        item.id = QUuid::createUuid();
        item.displayName = "Sample " + std::to_string(i) + ".wav";
        switch (i % 4) {
            case 0: item.sendMethod = k7::TransferSendMethod::AudioSDS{}; break;
            case 1: item.sendMethod = k7::TransferSendMethod::RawElektronData{}; break;
            case 2: item.sendMethod = k7::TransferSendMethod::sdsFile(2); break;
            default:
                item.sendMethod = k7::TransferSendMethod::RawDigiPRO{};
                item.digiPROFrames = {{static_cast<int64_t>(i % 64), "WAVE"}};
                break;
        }
    }
    return items;
}

void BM_TransferPlanLive10000(benchmark::State& state) {
    const auto items = makeItems(10000);
    std::vector<const k7::TransferItem*> selection;
    for (const auto& item : items) selection.push_back(&item);
    k7::AppPreferences preferences;
    preferences.outputEndpointID = 1;
    const std::vector<k7::MIDIEndpoint> inputs{{2, "Elektron TM-1", std::nullopt, std::nullopt, true}};
    const std::vector<k7::MIDIEndpoint> outputs{{1, "Elektron TM-1", std::nullopt, std::nullopt, true}};
    for (auto _ : state) {
        auto plan = k7::TransferPlan::make(selection, preferences, 0, inputs, outputs, "4x");
        if (!plan || plan->warning) state.SkipWithError("the plan is not sendable");
        benchmark::DoNotOptimize(plan);
    }
}
BENCHMARK(BM_TransferPlanLive10000)->Unit(benchmark::kMillisecond);

}  // namespace

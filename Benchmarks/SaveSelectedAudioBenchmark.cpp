// Saving selected audio items of 600 MiB in memory through the model, as the Save command does:
// one item (a 200 MiB 16-bit file and its 400 MiB of decoded samples) to a file, and four items
// of a quarter of that into a folder. Measured: how far the process's resident memory rises while
// the save panel is open, and its peak during the save. The save may hold one copy of a file it
// writes and little more; whole copies of the items, or of every file at once, must not appear.
#include <benchmark/benchmark.h>

#include <string>

#include "../Tests/Support/Model/ResidentMemoryRise.h"
#include "../Tests/Support/Model/TemporaryFolder.h"
#include "ModelStudio.h"

namespace {

constexpr std::size_t selectedFrames = std::size_t{100} << 20;  // 16-bit mono: 200 MiB of files
constexpr double mebibyte = 1048576.0;
// Allowed beyond the largest written file: the model's own bookkeeping and the allocator's slack.
constexpr double allowanceMiB = 16;

// Saves `itemCount` items sharing the selected frames, to a file for one and into a folder for several.
void saveSelectedAudio(benchmark::State& state, std::size_t itemCount) {
    const std::size_t frames = selectedFrames / itemCount;
    double panelRaise = 0;
    double peakRaise = 0;
    bool saved = true;
    bool measured = true;
    for (auto _ : state) {
        state.PauseTiming();
        k7::testing::TemporaryFolder folder;
        k7::benchmarks::ModelStudio studio;
        auto& model = *studio.model;
        auto& scheduler = studio.scheduler;
        auto& interaction = studio.interaction;
        {
            std::vector<k7::TransferItem> items;
            std::set<QUuid> ids;
            for (std::size_t index = 0; index < itemCount; ++index) {
                items.push_back(k7::benchmarks::heldAudioItem("Pad " + std::to_string(index + 1) + ".wav", frames));
                ids.insert(items.back().id);
            }
            model.setItems(std::move(items));
            model.setSelection(std::move(ids));
        }
        const auto destination = itemCount == 1 ? folder.path() / "Pad 1.wav" : folder.path();
        if (itemCount == 1) {
            interaction->saveAnswers.push_back(destination);
        } else {
            interaction->folderAnswers.push_back(destination);
        }
        const k7::testing::ResidentMemoryRise rise;
        double atPanel = 0;
        interaction->whileShowing = [&atPanel, &rise] { atPanel = rise.nowMiB(); };
        state.ResumeTiming();

        model.presentSavePanel();
        scheduler->runUntilIdle();

        state.PauseTiming();
        measured = measured && rise.valid();
        panelRaise = std::max(panelRaise, atPanel);
        peakRaise = std::max(peakRaise, rise.peakMiB());
        const std::string status = itemCount == 1 ? "Saved Pad 1.wav" : "Saved " + std::to_string(itemCount) + " files";
        saved = saved && !model.isExporting() && model.statusText() == status &&
                std::filesystem::file_size(itemCount == 1 ? destination : destination / "Pad 1.wav") == frames * 2;
        state.ResumeTiming();
    }
    if (!measured) state.SkipWithError("the process's resident memory cannot be read or its peak reset");
    if (!saved) state.SkipWithError("the items were not saved");
    const double fileMiB = static_cast<double>(frames * 2) / mebibyte;
    state.counters["selectedMiB"] = static_cast<double>(selectedFrames * 6) / mebibyte;
    state.counters["writtenFileMiB"] = fileMiB;
    state.counters["panelRaiseMiB"] = panelRaise;
    state.counters["peakRaiseMiB"] = peakRaise;
    state.counters["withinOneFile"] = peakRaise <= fileMiB + allowanceMiB ? 1 : 0;
}

void BM_SaveSelectedAudio(benchmark::State& state) { saveSelectedAudio(state, 1); }
void BM_SaveSelectedAudioIntoFolder(benchmark::State& state) { saveSelectedAudio(state, 4); }

}  // namespace

BENCHMARK(BM_SaveSelectedAudio)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_SaveSelectedAudioIntoFolder)->Unit(benchmark::kMillisecond)->Iterations(2);

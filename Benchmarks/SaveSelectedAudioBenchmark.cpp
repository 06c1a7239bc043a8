// Saving one selected audio item of 600 MiB in memory (a 200 MiB 16-bit file and its 400 MiB of
// decoded samples) through the model, as the Save command does: how far the process's resident
// memory rises while the save panel is open, and its peak during the save. The save may hold one
// copy of the file it writes and little more; whole copies of the item must not appear.
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

#include "../Tests/Support/Model/ScriptedUserInteraction.h"
#include "../Tests/Support/Model/TemporaryFolder.h"
#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"

namespace {

constexpr std::size_t frames = std::size_t{100} << 20;  // 16-bit mono: 200 MiB in the file
constexpr double mebibyte = 1048576.0;
// Allowed beyond the written file: the model's own bookkeeping and the allocator's slack.
constexpr double allowanceMiB = 16;

// A field of /proc/self/status in kibibytes ("VmRSS", "VmHWM"); -1 when it cannot be read.
double statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1));
    }
    return -1;
}

// Lets the peak start again from the present resident size.
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

k7::TransferItem audioItem() {
    k7::TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = "Pad.wav";
    item.kind = k7::TransferItem::Kind::wav;
    item.device = k7::TransferItem::Device::notApplicable;
    item.data = k7::Bytes(frames * 2, 0x5A);
    item.byteCount = static_cast<int64_t>(item.data.size());
    k7::AudioSample sample;
    sample.sampleRate = 44100;
    sample.sourceBitDepth = 16;
    sample.channels = {std::vector<int32_t>(frames, 0x12345678)};
    item.audioSample = std::move(sample);
    return item;
}

void BM_SaveSelectedAudio(benchmark::State& state) {
    double panelRaise = 0;
    double peakRaise = 0;
    bool saved = true;
    bool measured = true;
    for (auto _ : state) {
        state.PauseTiming();
        k7::testing::TemporaryFolder folder;
        auto scheduler = std::make_shared<k7::ManualScheduler>();
        k7::MockMIDITransportOptions transportOptions;
        transportOptions.scheduler = scheduler;
        auto transport = std::make_shared<k7::MockMIDITransport>(k7::MIDIEndpointSnapshot{}, transportOptions);
        auto interaction = std::make_shared<k7::testing::ScriptedUserInteraction>();
        k7::AppModel::Configuration configuration;
        configuration.transport = transport;
        configuration.preferencesStore = std::make_shared<k7::InMemoryDefaultsStore>();
        configuration.userInteraction = interaction;
        configuration.mainScheduler = scheduler;
        configuration.automaticallyDetectTurbo = false;
        configuration.makeWorkQueue = [scheduler](const std::string&) { return scheduler; };
        k7::AppModel model(configuration);
        scheduler->runUntilIdle();
        {
            std::vector<k7::TransferItem> items;
            items.push_back(audioItem());
            const QUuid id = items.front().id;
            model.setItems(std::move(items));
            model.setSelection({id});
        }
        const auto destination = folder.path() / "Pad.wav";
        interaction->saveAnswers.push_back(destination);
        measured = measured && resetPeak();
        const double before = statusKiB("VmRSS");
        double atPanel = before;
        interaction->whileShowing = [&atPanel] { atPanel = statusKiB("VmRSS"); };
        state.ResumeTiming();

        model.presentSavePanel();
        scheduler->runUntilIdle();

        state.PauseTiming();
        const double peak = statusKiB("VmHWM");
        measured = measured && before > 0 && peak > 0;
        panelRaise = std::max(panelRaise, (atPanel - before) / 1024);
        peakRaise = std::max(peakRaise, (peak - before) / 1024);
        saved = saved && !model.isExporting() && model.statusText() == "Saved Pad.wav" &&
                std::filesystem::file_size(destination) == frames * 2;
        state.ResumeTiming();
    }
    if (!measured) state.SkipWithError("the process's resident memory cannot be read or its peak reset");
    if (!saved) state.SkipWithError("the item was not saved");
    const double fileMiB = static_cast<double>(frames * 2) / mebibyte;
    state.counters["selectedMiB"] = static_cast<double>(frames * 6) / mebibyte;
    state.counters["writtenFileMiB"] = fileMiB;
    state.counters["panelRaiseMiB"] = panelRaise;
    state.counters["peakRaiseMiB"] = peakRaise;
    state.counters["withinOneFile"] = peakRaise <= fileMiB + allowanceMiB ? 1 : 0;
}

}  // namespace

BENCHMARK(BM_SaveSelectedAudio)->Unit(benchmark::kMillisecond)->Iterations(2);

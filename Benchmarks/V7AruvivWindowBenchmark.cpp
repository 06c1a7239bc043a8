// The main window with 10,000 items: one refresh after a selection change, after a progress tick
// and after an item came or went (budget: one frame, 16 ms), and the program's start to its shown
// window (budget: 0.5 s).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTableView>
#include <cstdlib>
#include <memory>

#include "Support/Model/AppModelRig.h"
#include "Support/Model/SampleItems.h"
#include "V7Aruviv/App/MainWindow.h"
#include "V7Aruviv/Views/ContentView.h"
#include "V7Aruviv/Views/FileListView.h"

namespace {

using namespace k7;
using namespace k7::testing;

constexpr int itemCount = 10000;

QApplication& application() {
    static int argc = 1;
    static char name[] = "V7AruvivWindowBenchmark";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("V764_TEST_PROCESS", "1", 1);
        return std::make_unique<QApplication>(argc, argv);
    }();
    return *app;
}

struct Window {
    Window() {
        application();
        AppModelRig::Options options;
        options.automaticallyDetectTurbo = false;
        rig = std::make_unique<AppModelRig>(options);
        std::vector<TransferItem> list;
        list.reserve(itemCount);
        const auto message = SampleItems::elektronMessage(2, 200);
        auto item = SampleItems::sysEx("item.syx", {message}, "/tmp/item.syx");
        for (int n = 0; n < itemCount; ++n) {
            item.id = QUuid::createUuid();
            item.displayName = "Item " + std::to_string(n) + ".syx";
            list.push_back(item);
        }
        items = list;
        (*rig)->setItems(std::move(list));
        window = std::make_unique<MainWindow>(*rig->model);
        window->resize(820, 500);
        window->show();
        refresh();
    }
    ~Window() { window.reset(); }

    // One refresh as the event loop runs it, painted.
    void refresh() {
        window->content()->refresh();
        window->repaint();
    }

    std::unique_ptr<AppModelRig> rig;
    std::unique_ptr<MainWindow> window;
    std::vector<TransferItem> items;
};

void RefreshAfterSelectionChange(benchmark::State& state) {
    Window w;
    int row = 0;
    for (auto _ : state) {
        (*w.rig)->setSelection({w.items[static_cast<std::size_t>(row)].id});
        w.refresh();
        row = (row + 1) % 40;
    }
    state.counters["items"] = itemCount;
}
BENCHMARK(RefreshAfterSelectionChange)->Unit(benchmark::kMillisecond);

void RefreshAfterProgressTick(benchmark::State& state) {
    Window w;
    (*w.rig)->setSelection({w.items[0].id});
    (*w.rig)->setIsSending(true);
    w.items[0].state = TransferItem::State::Sending{};
    double progress = 0;
    for (auto _ : state) {
        progress = progress >= 1 ? 0 : progress + 0.001;
        w.items[0].progress = progress;
        state.PauseTiming();
        auto ticked = w.items;  // the model's coordinator builds the new list, not the window
        state.ResumeTiming();
        (*w.rig)->setItems(std::move(ticked));
        (*w.rig)->setOverallProgress(progress);
        w.refresh();
    }
    state.counters["items"] = itemCount;
}
BENCHMARK(RefreshAfterProgressTick)->Unit(benchmark::kMillisecond);

// An item received or converted, then removed again: rows inserted and removed, not a reset.
void RefreshAfterItemAddedOrRemoved(benchmark::State& state) {
    Window w;
    (*w.rig)->setSelection({w.items[0].id});
    auto added = w.items.back();
    added.id = QUuid::createUuid();
    added.displayName = "Received.syx";
    bool present = false;
    for (auto _ : state) {
        state.PauseTiming();
        auto list = w.items;
        if (!present) list.insert(list.begin() + itemCount / 2, added);
        present = !present;
        state.ResumeTiming();
        (*w.rig)->setItems(std::move(list));
        w.refresh();
    }
    state.counters["items"] = itemCount;
}
BENCHMARK(RefreshAfterItemAddedOrRemoved)->Unit(benchmark::kMillisecond);

// The real program, off screen, until its window is exposed.
void StartToShownWindow(benchmark::State& state) {
    for (auto _ : state) {
        QProcess program;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("V764_QUIT_WHEN_SHOWN", "1");
        environment.insert("V764_TEST_PROCESS", "1");
        program.setProcessEnvironment(environment);
        QElapsedTimer timer;
        timer.start();
        program.start(QStringLiteral(V764_PROGRAM), {QStringLiteral("--offline-health-check")});
        if (!program.waitForFinished(10000) || program.exitCode() != 0) {
            state.SkipWithError("the program did not show its window");
            return;
        }
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(StartToShownWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();

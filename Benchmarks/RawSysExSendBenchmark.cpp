// The processor time the program spends on each raw SysEx message it sends (parsing, pacing
// arithmetic, progress, the transport call on a transport that discards everything) as a share of
// that message's wire time at the fastest Turbo speed, 20x (62,500 bytes per second). Below 1 %,
// the cable is the only limit.
//
// BM_RawSendVirtualTime runs the whole model in virtual time (a ManualScheduler for the main
// thread and the send queue), so every message size is measured in milliseconds of real time; the
// scheduler's own work is counted against the program. BM_RawSendRealTime runs the program's own
// arrangement: real queues, waits on the monotonic clock, the process's processor time over one
// second of sending. With a transport that returns at once the pacing wait of every message is a
// real timed wait, whose cost in the kernel (tens of microseconds on a busy machine) dominates for
// small messages; a real output paces in its own send, and the model's wait then only reads the
// flag.
#include <benchmark/benchmark.h>
#include <time.h>

#include <future>

#include "K7Dispatch/ManualScheduler.h"
#include "K7Dispatch/SerialQueue.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"

namespace {

using namespace k7;

constexpr int32_t inputID = 1;
constexpr int32_t outputID = 2;
constexpr double x20BytesPerSecond = 62500;

class NullTransport final : public MIDITransporting {
public:
    MIDIEndpointSnapshot endpointSnapshot() const override {
        return {{{inputID, "In", std::nullopt, std::nullopt, true}}, {{outputID, "Out", std::nullopt, std::nullopt, true}}};
    }
    void selectInput(std::optional<int32_t>) override {}
    void selectOutput(std::optional<int32_t>) override {}
    void send(ByteView sysEx, const MIDISendProgress&) override { benchmark::DoNotOptimize(sysEx.data()); }
    void cancelPendingSends() override {}
    void cancelPendingReceives() override {}
    void drainPendingReceives(Duration, Duration, DrainCompletion) override {}
    void configureMaximumSysExSpeed(std::optional<int>) override {}
};

class SilentUser final : public UserInteraction {
public:
    std::optional<std::size_t> runAlert(const Alert&) override { return std::nullopt; }
    std::vector<std::filesystem::path> chooseFilesToOpen(const OpenPanel&) override { return {}; }
    std::optional<std::filesystem::path> chooseSaveLocation(const SavePanel&) override { return std::nullopt; }
    std::optional<std::filesystem::path> chooseFolder(const FolderPanel&) override { return std::nullopt; }
    std::optional<std::vector<std::string>> promptForFields(const FieldsPrompt&) override { return std::nullopt; }
};

double processSeconds() {
    timespec time{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

// One file of `count` generic messages of `size` bytes, selected in a fresh model.
TransferItem rawItem(std::size_t size, std::size_t count) {
    Bytes message(size, 0x42);
    message.front() = 0xF0;
    message.back() = 0xF7;
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = "bench.syx";
    item.kind = TransferItem::Kind::sysEx;
    for (std::size_t i = 0; i < count; ++i) item.data.insert(item.data.end(), message.begin(), message.end());
    item.byteCount = static_cast<int64_t>(item.data.size());
    item.sendMethod = TransferSendMethod::RawGenericSysEx{};
    item.wireWorkload = TransferWireWorkload::rawSysEx(item.byteCount);
    item.messageCount = static_cast<int64_t>(count);
    return item;
}

AppModel::Configuration configuration(std::shared_ptr<Scheduler> main) {
    auto store = std::make_shared<InMemoryDefaultsStore>();
    AppPreferences preferences;
    preferences.inputEndpointID = inputID;
    preferences.outputEndpointID = outputID;
    preferences.delayTicks = 0;  // only the wire paces
    preferences.save(*store);
    store->setBoolean(AppPreferences::openLoopDelayMarkerKey(), true);

    AppModel::Configuration configuration;
    configuration.transport = std::make_shared<NullTransport>();
    configuration.preferencesStore = store;
    configuration.userInteraction = std::make_shared<SilentUser>();
    configuration.mainScheduler = std::move(main);
    configuration.automaticallyDetectTurbo = false;
    return configuration;
}

void startSend(AppModel& model, const TransferItem& item) {
    model.synchronizeDetectedTurbo(TurboSpeed::x20, "benchmark");
    model.setItems({item});
    model.setSelection({item.id});
    model.sendSelected();
}

void report(benchmark::State& state, double processorSeconds, std::size_t size, std::size_t messages) {
    const double sent = static_cast<double>(messages) * static_cast<double>(state.iterations());
    const double wireSeconds = static_cast<double>(size) * sent / x20BytesPerSecond;
    state.counters["processorMicrosecondsPerMessage"] = processorSeconds * 1e6 / sent;
    state.counters["wireMicrosecondsPerMessage"] = wireSeconds * 1e6 / sent;
    state.counters["shareOfWireTimePercent"] = processorSeconds / wireSeconds * 100;
}

void BM_RawSendVirtualTime(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const std::size_t messages = 2000;
    const TransferItem item = rawItem(size, messages);
    double total = 0;
    for (auto _ : state) {
        auto main = std::make_shared<ManualScheduler>();
        auto settings = configuration(main);
        settings.makeWorkQueue = [main](const std::string&) { return main; };
        settings.sendClock = std::make_shared<ManualSendClock>(main);
        AppModel model(std::move(settings));
        const double start = processSeconds();
        startSend(model, item);
        while (model.isSending() && main->advanceToNextDeadline()) {
        }
        const double spent = processSeconds() - start;
        if (model.statusText().rfind("Submitted 1 transfer", 0) != 0) state.SkipWithError(model.statusText().c_str());
        state.SetIterationTime(spent);
        total += spent;
    }
    report(state, total, size, messages);
}

// Runs `task` on `queue` and waits for it.
void onQueue(SerialQueue& queue, const std::function<void()>& task) {
    std::promise<void> done;
    queue.post([&] {
        task();
        done.set_value();
    });
    done.get_future().get();
}

void BM_RawSendRealTime(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    const auto messages = static_cast<std::size_t>(x20BytesPerSecond / static_cast<double>(size));  // one second
    const TransferItem item = rawItem(size, messages);
    double total = 0;
    for (auto _ : state) {
        // The program's main thread is a queue of its own here; the model lives and dies on it.
        auto main = std::make_shared<SerialQueue>("org.v764.benchmark.main");
        std::unique_ptr<AppModel> model;
        std::promise<void> finished;
        onQueue(*main, [&] {
            model = std::make_unique<AppModel>(configuration(main));
            QObject::connect(model.get(), &AppModel::isSendingChanged, [&] {
                if (!model->isSending()) finished.set_value();
            });
        });
        const double start = processSeconds();
        main->post([&] { startSend(*model, item); });
        finished.get_future().get();
        const double spent = processSeconds() - start;
        std::string status;
        onQueue(*main, [&] {
            status = model->statusText();
            model.reset();
        });
        if (status.rfind("Submitted 1 transfer", 0) != 0) state.SkipWithError(status.c_str());
        state.SetIterationTime(spent);
        total += spent;
    }
    report(state, total, size, messages);
}

}  // namespace

BENCHMARK(BM_RawSendVirtualTime)->Arg(16)->Arg(64)->Arg(256)->Arg(1024)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawSendRealTime)->Arg(64)->Arg(1024)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// Renders the real main and settings windows off screen into PNG files, with sample items and a
// send in progress, for the README and for looking at the views without a display.
// Usage: V7AruvivScreenshots <output folder>
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>

#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"
#include "Support/Model/SampleItems.h"
#include "Support/Model/ScriptedUserInteraction.h"
#include "V7Aruviv/App/MainWindow.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"
#include "V7Aruviv/Views/ContentView.h"
#include "V7Aruviv/Views/SettingsWindow.h"

namespace {

using namespace k7;
using testing::SampleItems;

bool save(QWidget& widget, const QDir& folder, const char* name) {
    QApplication::processEvents();
    widget.repaint();
    const QString file = folder.filePath(QString::fromLatin1(name));
    if (!widget.grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

std::vector<TransferItem> sampleItems() {
    std::vector<Bytes> backup;
    for (uint8_t record = 0; record < 24; ++record) backup.push_back(SampleItems::elektronMessage(2, 2600, record));
    std::vector<Bytes> kit{SampleItems::elektronMessage(3, 900)};
    std::vector<TransferItem> items{
        SampleItems::audio("Kick 909 Long Tail.wav", TransferItem::Kind::wav, 0.8, 44100, 1, "/home/user/Samples/Kick 909 Long Tail.wav"),
        SampleItems::audio("Snare Roll.aif", TransferItem::Kind::aiff, 1.2, 48000, 2, "/home/user/Samples/Snare Roll.aif"),
        SampleItems::sysEx("Machinedrum Backup 2024-05-12.syx", backup, "/home/user/Backups/Machinedrum Backup 2024-05-12.syx"),
        SampleItems::sysEx("Monomachine Kit.syx", kit, "/home/user/SysEx/Monomachine Kit.syx"),
        SampleItems::sysEx("Received 1.syx", {SampleItems::genericMessage(180)}),
    };
    items[3].state = TransferItem::State::Submitted{};
    items[4].state = TransferItem::State::Received{};
    return items;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("V764_TEST_PROCESS", "1", 1);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("V7/64"));
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) return 1;

    MIDIEndpointSnapshot endpoints;
    const auto endpoint = [](int32_t id, const char* name) {
        MIDIEndpoint made;
        made.id = id;
        made.name = name;
        return made;
    };
    endpoints.inputs = {endpoint(101, "Elektron TM-1 MIDI 1"), endpoint(102, "USB MIDI Interface Port 1")};
    endpoints.outputs = {endpoint(201, "Elektron TM-1 MIDI 1"), endpoint(202, "USB MIDI Interface Port 1")};
    auto scheduler = std::make_shared<ManualScheduler>();
    MockMIDITransport::Options transportOptions;
    transportOptions.scheduler = scheduler;
    auto store = std::make_shared<InMemoryDefaultsStore>();
    AppPreferences preferences;
    preferences.inputEndpointID = 101;
    preferences.outputEndpointID = 201;
    preferences.useHandshake = true;
    preferences.delayTicks = 3;
    preferences.save(*store);

    AppModelConfiguration configuration;
    configuration.transport = std::make_shared<MockMIDITransport>(endpoints, transportOptions);
    configuration.preferencesStore = store;
    configuration.userInteraction = std::make_shared<testing::ScriptedUserInteraction>();
    configuration.mainScheduler = scheduler;
    configuration.makeWorkQueue = [scheduler](const std::string&) { return scheduler; };
    configuration.automaticallyDetectTurbo = false;
    AppModel model(std::move(configuration));
    scheduler->runUntilIdle();
    model.setStatusText("Ready");

    MainWindow window(model);
    window.resize(820, 500);
    window.show();
    bool ok = save(window, folder, "main-window-empty.png");

    auto items = sampleItems();
    model.setItems(items);
    model.setSelection({items[0].id});
    window.content()->refresh();
    ok = save(window, folder, "main-window.png") && ok;

    // A send in progress: the published state a send shows, set directly.
    model.setSelection({items[2].id, items[3].id});
    model.setFrozenTransferPlan(model.liveTransferPlan());
    items[2].state = TransferItem::State::Sending{};
    items[2].progress = 0.42;
    items[3].state = TransferItem::State::Ready{};
    model.setItems(items);
    model.setIsSending(true);
    model.setOverallProgress(0.38);
    model.setTransferRateBytesPerSecond(3125);
    model.setEstimatedSendTimeRemaining(14);
    model.setStatusText("Sending Machinedrum Backup 2024-05-12.syx");
    window.content()->refresh();
    ok = save(window, folder, "main-window-sending.png") && ok;
    model.setIsSending(false);
    model.setFrozenTransferPlan(std::nullopt);

    auto* settings = SettingsWindow::present(model, &window);
    const char* tabs[] = {"settings-midi.png", "settings-general.png", "settings-transfer.png"};
    for (int tab = 0; tab < 3; ++tab) {
        settings->tabs()->setCurrentIndex(tab);
        ok = save(*settings, folder, tabs[tab]) && ok;
    }
    return ok ? 0 : 1;
}

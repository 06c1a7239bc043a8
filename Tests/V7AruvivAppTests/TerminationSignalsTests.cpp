#include "V7Aruviv/App/TerminationSignals.h"

#include <signal.h>

#include <QTimer>
#include <chrono>
#include <fstream>
#include <thread>

#include "Support/Model/SampleItems.h"
#include "Support/Model/TemporaryFolder.h"
#include "V7Aruviv/App/AppLaunchOptions.h"
#include "V7Aruviv/App/V7AruvivApp.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/ExportExecution.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> entriesOf(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder)) entries.push_back(entry.path());
    return entries;
}

// Checks `done` every few milliseconds for at most `milliseconds`, running none of Qt's events.
bool waitWithoutEvents(const std::function<bool()>& done, int milliseconds = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

// The teardown a signal starts, with the program's own objects in this process (a real process
// cannot be made to save without its dialogs). The folder save is held between two files: the next
// one waits for the main thread, whose events do not run until the signal has arrived.
TEST(TerminationSignals, AFolderSaveCutShortLeavesNothingInItsFolder) {
    const TemporaryFolder sources;
    const TemporaryFolder destination;
    AppLaunchOptions options;
    options.offlineHealthCheck = true;
    for (const std::string name : {"kick.syx", "snare.syx", "hats.syx", "clap.syx"}) {
        options.files.push_back(sources.path() / name);
        const Bytes bytes = SampleItems::elektronMessage(2, 4096, static_cast<uint8_t>(options.files.size()));
        std::ofstream(options.files.back(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    TerminationSignals termination;
    ASSERT_EQ(termination.problem(), "");
    QObject::connect(&termination, &TerminationSignals::arrived, &V7AruvivApp::endWithoutAsking);
    auto app = std::make_unique<V7AruvivApp>(options);
    app->start();
    AppModel& model = *app->model();
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.items().size() == 4 && !model.isImporting(); }, 10000));
    std::set<QUuid> all;
    for (const auto& item : model.items()) all.insert(item.id);
    model.setSelection(all);

    model.exportSelectedFromUser(destination.path());
    const auto firstFileStaged = [&] {
        for (const auto& entry : entriesOf(destination.path())) {
            if (fs::exists(entry / "kick.syx")) return true;
        }
        return false;
    };
    ASSERT_TRUE(waitWithoutEvents(firstFileStaged));
    ASSERT_TRUE(entriesOf(destination.path()).front().filename().string().starts_with(ExportExecution::stagingPrefix));
    ASSERT_TRUE(model.isExporting());

    ASSERT_EQ(::raise(SIGTERM), 0);
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << "the signal did not end the event loop";
    app.reset();
    EXPECT_EQ(entriesOf(destination.path()), std::vector<fs::path>{});
}

}  // namespace
}  // namespace k7::testing

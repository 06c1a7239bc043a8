#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <system_error>
#include <thread>

#include "ImportTestFiles.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;
using test::FileFolder;

// Every status line the model shows, in order.
struct StatusLog {
    explicit StatusLog(AppModel& model)
        : connection(QObject::connect(&model, &AppModel::statusTextChanged,
                                      [this, &model] { lines.push_back(model.statusText()); })) {}
    ~StatusLog() { QObject::disconnect(connection); }
    QMetaObject::Connection connection;
    std::vector<std::string> lines;
};

TEST(ImportModel, TheOpenPanelOffersEveryLoadableTypeAndImportsTheChoice) {
    FileFolder folder;
    AppModelRig rig;
    rig->presentLoadPanel();  // cancelled
    EXPECT_EQ(rig->statusText(), "Ready");
    ASSERT_EQ(rig.interaction->openPanelsShown.size(), 1u);
    const auto& panel = rig.interaction->openPanelsShown.front();
    EXPECT_EQ(panel.title, "Load SysEx, Audio, or K7 File List");
    EXPECT_TRUE(panel.allowsMultipleSelection);
    // The first filter shows every name the import recognises.
    const auto& first = panel.filters.front().patterns;
    for (const char* extension : {"syx", "sysx", "wav", "wave", "aif", "aiff", "aifc", "k7"}) {
        SCOPED_TRACE(extension);
        EXPECT_NE(AppModel::kind(std::string("/a/b.") + extension), TransferItem::Kind::unknown);
        EXPECT_NE(std::find(first.begin(), first.end(), std::string("*.") + extension), first.end());
    }
    EXPECT_EQ(panel.filters.back().patterns, std::vector<std::string>{"*"});

    rig.interaction->openAnswers.push_back(
        {folder.write("a.syx", test::genericSysEx()), folder.write("b.syx", test::genericSysEx())});
    rig->presentLoadPanel();
    EXPECT_EQ(rig->statusText(), "Importing 2 files\u2026");
    rig.settle();
    EXPECT_EQ(names(rig->items()), (std::vector<std::string>{"a.syx", "b.syx"}));

    // No panel while an import or a save runs.
    rig->importFromUser({folder / "a.syx"});
    rig->presentLoadPanel();
    rig.settle();
    rig->setIsExporting(true);
    rig->presentLoadPanel();
    EXPECT_EQ(rig.interaction->openPanelsShown.size(), 2u);
}

TEST(ImportModel, ABatchIsAppliedWithItsSelectionStatusAndProgress) {
    FileFolder folder;
    AppModelRig rig;
    StatusLog log(*rig.model);
    std::vector<double> progress;
    QObject::connect(rig.model.get(), &AppModel::importProgressChanged,
                     [&] { progress.push_back(rig->importProgress()); });
    rig->setAlertMessage("an earlier problem");
    rig->importFromUser({folder.write("one.syx", test::genericSysEx())});
    EXPECT_TRUE(rig->isImporting());
    EXPECT_TRUE(rig->configurationLocked());
    EXPECT_TRUE(rig->items().empty());  // nothing is read on the main thread
    rig.settle();
    EXPECT_FALSE(rig->isImporting());
    EXPECT_EQ(names(rig->items()), std::vector<std::string>{"one.syx"});
    EXPECT_EQ(rig->selection(), ids(rig->items()));
    EXPECT_EQ(rig->alertMessage(), "an earlier problem");  // not the batch's to take back
    rig->setAlertMessage(std::nullopt);                    // dismissed
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Importing 1 file\u2026", "Imported 1 item"}));
    EXPECT_EQ(progress, (std::vector<double>{0, 1, 0}));

    rig->importFromUser({folder.write("two.syx", test::genericSysEx()), folder / "missing.syx"});
    rig.settle();
    EXPECT_EQ(rig->selection(), ids(rig->items(), 1));
    EXPECT_EQ(rig->statusText(), "Imported 1 item with 1 skipped");
    const std::string missing = std::system_error(ENOENT, std::generic_category()).what();
    EXPECT_EQ(rig->alertMessage(), AppModel::batchFailureMessage("load", {"missing.syx: " + missing}, 1));

    // Nothing readable: neither the list nor the selection changes.
    const auto items = rig->items();
    const auto selection = rig->selection();
    rig->importFromUser({folder / "gone.syx", folder.write("bad.wav", "no audio")});
    rig.settle();
    EXPECT_EQ(names(rig->items()), names(items));
    EXPECT_EQ(rig->selection(), selection);
    EXPECT_EQ(rig->statusText(), "Import failed; no invalid items were added");
    ASSERT_TRUE(rig->alertMessage());
    EXPECT_TRUE(rig->alertMessage()->starts_with("Could not load 2 items. No invalid item was added."));
}

// What the user or another part of the program does to the alert, and the alert after it.
struct AlertStep {
    enum class Action { otherAlert, dismiss, goodBatch, failingBatch } action;
    std::string expected;  // "F" stands for the failing batch's text, "" for no alert
};

TEST(ImportModel, ABatchTakesBackOnlyTheAlertAnEarlierBatchShowed) {
    using Action = AlertStep::Action;
    FileFolder folder;
    const auto good = folder.write("good.syx", test::genericSysEx());
    const std::string failure = AppModel::batchFailureMessage(
        "load", {"gone.syx: " + std::string(std::system_error(ENOENT, std::generic_category()).what())}, 0);
    const struct {
        const char* name;
        std::vector<AlertStep> steps;
    } cases[] = {
        {"another alert outlasts a good batch", {{Action::otherAlert, "other"}, {Action::goodBatch, "other"}}},
        {"a failing batch shows after another alert",
         {{Action::otherAlert, "other"}, {Action::failingBatch, "other\n\nF"}, {Action::goodBatch, "other"}}},
        {"a batch replaces or clears what a batch showed",
         {{Action::failingBatch, "F"}, {Action::failingBatch, "F"}, {Action::goodBatch, ""}}},
        {"a batch's alert dismissed, then another one",
         {{Action::failingBatch, "F"},
          {Action::dismiss, ""},
          {Action::otherAlert, "other"},
          {Action::goodBatch, "other"}}},
        {"a joined alert dismissed", {{Action::otherAlert, "other"}, {Action::failingBatch, "other\n\nF"},
                                      {Action::dismiss, ""}, {Action::failingBatch, "F"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig;
        for (const auto& step : c.steps) {
            switch (step.action) {
            case Action::otherAlert: rig->setAlertMessage("other"); break;
            case Action::dismiss: rig->setAlertMessage(std::nullopt); break;
            case Action::goodBatch: rig->importFromUser({good}); break;
            case Action::failingBatch: rig->importFromUser({folder / "gone.syx"}); break;
            }
            rig.settle();
            std::string expected = step.expected;
            if (const auto at = expected.find('F'); at != std::string::npos) expected.replace(at, 1, failure);
            EXPECT_EQ(rig->alertMessage().value_or(""), expected);
        }
    }
}

TEST(ImportModel, AListWithoutRowsStillSetsTheSamplePositionWithinItsRange) {
    FileFolder folder;
    AppModelRig rig;
    const std::pair<uint32_t, int64_t> cases[] = {{42, 42}, {20000, 16383}};
    for (const auto& [stored, shown] : cases) {
        SCOPED_TRACE(stored);
        rig->importFromUser({folder.write("empty.k7", test::fileList(stored, {}))});
        rig.settle();
        EXPECT_EQ(rig->samplePosition(), shown);
        EXPECT_TRUE(rig->items().empty());
        EXPECT_EQ(rig->statusText(), "Ready");
    }
}

TEST(ImportModel, RequestsDuringAnImportRunOneAfterAnotherAndEachClosureAfterItsBatch) {
    FileFolder folder;
    AppModelRig rig;
    StatusLog log(*rig.model);
    std::vector<std::string> seenByClosures;
    const auto closure = [&](const std::string& name) {
        return [&, name] {
            EXPECT_FALSE(rig->isImporting());
            seenByClosures.push_back(name + " after " + std::to_string(rig->items().size()));
        };
    };
    rig->importFromUser({folder.write("a.syx", test::genericSysEx())}, closure("a"));
    rig->importFromUser({folder.write("b.syx", test::genericSysEx())}, closure("b"));
    rig->importFromUser({folder.write("c.syx", test::genericSysEx()), folder.write("d.syx", test::genericSysEx())});
    rig.settle();
    EXPECT_EQ(names(rig->items()), (std::vector<std::string>{"a.syx", "b.syx", "c.syx", "d.syx"}));
    EXPECT_EQ(seenByClosures, (std::vector<std::string>{"a after 1", "b after 2"}));
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "Importing 1 file\u2026", "Queued 1 file for import", "Queued 2 files for import",
                             "Imported 1 item", "Importing 1 file\u2026", "Imported 1 item",
                             "Importing 2 files\u2026", "Imported 2 items"}));
}

TEST(ImportModel, CancellingDropsTheRunningResultAndEveryQueuedBatch) {
    FileFolder folder;
    AppModelRig rig;
    bool closureRan = false;
    rig->cancelImport();  // nothing runs: nothing to say
    EXPECT_EQ(rig->statusText(), "Ready");
    rig->importFromUser({folder.write("a.syx", test::genericSysEx())}, [&] { closureRan = true; });
    rig->importFromUser({folder.write("b.syx", test::genericSysEx())}, [&] { closureRan = true; });
    rig->importFromUser({folder.write("c.syx", test::genericSysEx())}, [&] { closureRan = true; });
    rig->cancelImport();
    EXPECT_FALSE(rig->isImporting());
    EXPECT_EQ(rig->importProgress(), 0);
    EXPECT_EQ(rig->statusText(), "Import cancelled; no files from the cancelled batch were added");
    rig.settle();  // the preparation finishes and brings its result back
    EXPECT_TRUE(rig->items().empty());
    EXPECT_FALSE(closureRan);
    EXPECT_EQ(rig->statusText(), "Import cancelled; no files from the cancelled batch were added");

    // The next request starts afresh.
    rig->importFromUser({folder / "b.syx"});
    rig.settle();
    EXPECT_EQ(names(rig->items()), std::vector<std::string>{"b.syx"});
}

TEST(ImportModel, AnImportDuringASaveIsRefusedNotQueued) {
    FileFolder folder;
    AppModelRig rig;
    bool closureRan = false;
    rig->setIsExporting(true);
    rig->importFromUser({folder.write("a.syx", test::genericSysEx())}, [&] { closureRan = true; });
    EXPECT_EQ(rig->alertMessage(), "Wait for the current save to finish before importing files.");
    rig->setIsExporting(false);
    rig.settle();
    EXPECT_FALSE(rig->isImporting());
    EXPECT_TRUE(rig->items().empty());
    EXPECT_FALSE(closureRan);

    rig->importFromUser({});
    EXPECT_FALSE(rig->isImporting());
}

TEST(ImportModel, RealInstrumentDumpsImportThroughTheModel) {
    const auto folder = fs::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron";
    if (!fs::is_directory(folder)) GTEST_SKIP() << "no shared test data at " << folder;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    AppModelRig rig;
    rig->importFromUser(files);
    rig.settle();
    EXPECT_EQ(rig->items().size(), files.size());
    EXPECT_EQ(rig->statusText(), "Imported " + std::to_string(files.size()) + " items");
    EXPECT_FALSE(rig->alertMessage());
    const auto rows = rig->listItems();
    ASSERT_EQ(rows.size(), files.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& item = rig->items()[i];
        SCOPED_TRACE(item.displayName);
        EXPECT_EQ(rows[i].typeLabel, "Elektron data");
        EXPECT_EQ(rows[i].device, rows[i].displayName.starts_with("md-") ? TransferItem::Device::machinedrum
                                                                         : TransferItem::Device::monomachine);
        // Every message starts with the only F0 byte it has.
        const auto messages = std::count(item.data.begin(), item.data.end(), uint8_t{0xF0});
        EXPECT_EQ(item.messageCount, messages);
        EXPECT_TRUE(item.sendMethod.is<TransferSendMethod::RawElektronData>()) << item.sendMethod.describe();
        EXPECT_TRUE(item.detail.starts_with(std::to_string(messages) + " complete SysEx message"));
    }
}

using Clock = std::chrono::steady_clock;

// Pumps the main thread until the import ends, while the import queue works on its own thread.
// Returns the longest the main thread was busy at a stretch, applying the result included, or
// nothing when the import did not end within a minute.
std::optional<Clock::duration> pumpUntilImported(AppModelRig& rig) {
    const auto deadline = Clock::now() + std::chrono::minutes(1);
    Clock::duration longest{};
    while (rig->isImporting()) {
        if (Clock::now() > deadline) return std::nullopt;
        const auto began = Clock::now();
        const auto ran = rig.scheduler().runUntilIdle();
        longest = std::max(longest, Clock::now() - began);
        if (ran == 0) std::this_thread::yield();
    }
    return longest;
}

TEST(ImportModel, AThousandFilesImportOffTheMainThreadWithProgress) {
    FileFolder folder;
    std::vector<fs::path> urls;
    for (int i = 0; i < 1000; ++i) {
        const auto name = "dump-" + std::to_string(i) + ".syx";
        urls.push_back(folder.write(name, test::genericSysEx(4096, static_cast<uint8_t>(i))));
    }
    AppModelRig::Options options;
    options.realWorkQueues = true;
    AppModelRig rig(options);
    std::vector<double> progress;
    QObject::connect(rig.model.get(), &AppModel::importProgressChanged,
                     [&] { progress.push_back(rig->importProgress()); });

    const auto start = Clock::now();
    rig->importFromUser(urls);
    const auto request = Clock::now() - start;
    EXPECT_TRUE(rig->isImporting());
    const auto pumping = pumpUntilImported(rig);
    ASSERT_TRUE(pumping);
    // The main thread handles progress steps and the result: it never waits for the files.
    const auto whole = Clock::now() - start;
    EXPECT_LT(2 * std::max(request, *pumping), whole)
        << "longest main-thread stretch " << std::chrono::duration<double>(std::max(request, *pumping)).count()
        << " s of " << std::chrono::duration<double>(whole).count() << " s";
    EXPECT_EQ(rig->items().size(), 1000u);
    EXPECT_EQ(rig->statusText(), "Imported 1000 items");
    ASSERT_GE(progress.size(), 3u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end() - 1));
    EXPECT_EQ(progress[progress.size() - 2], 1.0);
    EXPECT_EQ(progress.back(), 0.0);
    EXPECT_EQ(std::count_if(progress.begin(), progress.end(), [](double p) { return p > 0 && p < 1; }), 999);
}

TEST(ImportModel, AModelReleasedDuringAnImportIgnoresWhatComesBack) {
    FileFolder folder;
    std::vector<fs::path> urls;
    for (int i = 0; i < 200; ++i) urls.push_back(folder.write(std::to_string(i) + ".syx", test::genericSysEx()));
    AppModelRig::Options options;
    options.realWorkQueues = true;
    AppModelRig rig(options);
    rig->importFromUser(urls);
    rig.stop();
    rig.scheduler().runAll();  // results arriving now find no model
    SUCCEED();
}

}  // namespace
}  // namespace k7::testing

#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include "Support/Model/ResidentMemoryRise.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;

const TransferItem& itemWithID(AppModelRig& rig, const QUuid& id) {
    for (const auto& item : rig->items()) {
        if (item.id == id) return item;
    }
    throw std::logic_error("no such item");
}

TEST(SavingItems, OneItemGoesToTheFileNamedInThePanel) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    const auto dump = receivedItem("Dump 3.syx", "\xF0\x01\xF7");
    showSelected(*rig.model, {dump});
    rig.interaction->saveAnswers.push_back(folder.path() / "Kick.SYSX");

    rig->presentSavePanel();
    ASSERT_EQ(rig.interaction->savePanelsShown.size(), 1u);
    EXPECT_EQ(rig.interaction->savePanelsShown.front().proposedName, "Dump 3.syx");
    EXPECT_TRUE(rig->isExporting());
    EXPECT_TRUE(rig->configurationLocked());
    EXPECT_EQ(rig->statusText(), "Saving 1 item\u2026");

    rig.settle();
    EXPECT_FALSE(rig->isExporting());
    EXPECT_EQ(rig->statusText(), "Saved Kick.SYSX");
    EXPECT_EQ(rig->alertMessage(), std::nullopt);
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Kick.SYSX", "\xF0\x01\xF7"}}));
    const auto& saved = itemWithID(rig, dump.id);
    EXPECT_EQ(saved.sourceURL, folder.path() / "Kick.SYSX");
    EXPECT_EQ(saved.displayName, "Kick.SYSX");
    EXPECT_EQ(saved.byteCount, 3);
    // Saved, so quitting no longer asks.
    const auto questions = rig.interaction->questionCount();
    EXPECT_TRUE(rig->shouldTerminateAfterUserConfirmation());
    EXPECT_EQ(rig.interaction->questionCount(), questions);
}

TEST(SavingItems, SeveralGoIntoTheChosenFolderAndAreRemembered) {
    TemporaryFolder folder;
    AppModelRig rig(reopening());
    auto first = receivedItem("Pattern.syx", "A");
    first.byteCount = 99;  // stale; the saved bytes count
    const auto second = receivedItem("Kit.syx", "BB");
    const auto unselected = receivedItem("Other.syx", "C");
    const auto third = receivedItem("Song.syx", "DDD");
    rig->setItems({first, second, unselected, third});
    rig->setSelection({first.id, second.id, third.id});
    rig.interaction->folderAnswers.push_back(folder.path());

    rig->presentSavePanel();
    ASSERT_EQ(rig.interaction->folderPanelsShown.size(), 1u);
    EXPECT_EQ(rig.interaction->folderPanelsShown.front().title, "Choose Folder for Selected Files");
    EXPECT_TRUE(rig.interaction->folderPanelsShown.front().allowsFolderCreation);
    EXPECT_EQ(rig->statusText(), "Saving 3 items\u2026");

    rig.settle();
    EXPECT_EQ(rig->statusText(), "Saved 3 files");
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Pattern.syx", "A"}, {"Kit.syx", "BB"}, {"Song.syx", "DDD"}}));
    for (const auto& [id, name, size] : {std::tuple{first.id, "Pattern.syx", 1}, std::tuple{second.id, "Kit.syx", 2},
                                         std::tuple{third.id, "Song.syx", 3}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(itemWithID(rig, id).sourceURL, folder.path() / name);
        EXPECT_EQ(itemWithID(rig, id).byteCount, size);
    }
    EXPECT_EQ(itemWithID(rig, unselected.id).sourceURL, std::nullopt);

    const auto records = storedRecords(*rig.store);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ(records->at(0).path, (folder.path() / "Pattern.syx").string());
    EXPECT_EQ(records->at(2).displayName, "Song.syx");
}

// A folder save takes each file's bytes from its item when it writes that file: an item removed
// after that is skipped when the save completes; one removed before leaves no bytes to write.
TEST(SavingItems, AnItemRemovedDuringAFolderSave) {
    const auto kept = receivedItem("Kept.syx", "K");
    const auto removed = receivedItem("Removed.syx", "R");
    for (const bool afterWriting : {true, false}) {
        SCOPED_TRACE(afterWriting ? "after its file was written" : "before");
        TemporaryFolder folder;
        AppModelRig rig(withPeer(nullptr));
        showSelected(*rig.model, {kept, removed});
        rig->exportSelectedFromUser(folder.path());
        while (afterWriting && !fs::exists(folder.path() / "Removed.syx")) ASSERT_EQ(rig.scheduler().runAll(1), 1u);
        rig->setItems({kept});
        rig.settle();
        ASSERT_EQ(rig->items().size(), 1u);
        if (afterWriting) {
            EXPECT_EQ(rig->items().front().sourceURL, folder.path() / "Kept.syx");
            EXPECT_EQ(rig->statusText(), "Saved 2 files");
            EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Kept.syx", "K"}, {"Removed.syx", "R"}}));
        } else {
            EXPECT_EQ(rig->items().front().sourceURL, std::nullopt);
            EXPECT_EQ(rig->statusText(), "Save failed; existing files and item metadata were preserved");
            EXPECT_EQ(rig->alertMessage(), AppModelError(AppModelError::MissingExportItem{}).message());
            EXPECT_TRUE(snapshot(folder.path()).empty());
        }
    }
}

TEST(SavingItems, AFolderSaveCutShortByTheModelsEndLeavesNoStagingFolder) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    showSelected(*rig.model, {receivedItem("A.syx", "a"), receivedItem("B.syx", "b")});
    rig->exportSelectedFromUser(folder.path());
    ASSERT_EQ(rig.scheduler().runAll(1), 1u);  // the first file staged
    ASSERT_EQ(snapshot(folder.path()).size(), 1u);
    rig.stop();
    rig.settle();
    EXPECT_TRUE(snapshot(folder.path()).empty());
}

TEST(SavingItems, AReleasedModelIgnoresTheResult) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    const auto a = receivedItem("A.syx", "a");
    showSelected(*rig.model, {a});
    rig->exportSelectedFromUser(folder.path() / "A.syx");
    rig.stop();
    EXPECT_NO_THROW(rig.settle());
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"A.syx", "a"}}));
}

TEST(SavingItems, FailuresChangeNoItemAndNoFile) {
    using E = AppModelError;
    struct Case {
        const char* name;
        std::vector<TransferItem> items;
        std::string destination;  // below the folder; empty: the folder
        std::function<void(const fs::path&)> prepare;
        E expected;
        bool plannedSave;  // the save started, and failed on the export queue
    };
    auto unknown = receivedItem("Mystery.bin", "?");
    unknown.kind = TransferItem::Kind::unknown;
    const Case cases[] = {
        {"one item under a name of another type", {receivedItem("Dump.syx", "A")}, "Dump.wav", nullptr,
         E(E::InvalidExportExtension{"Dump.wav", {"sysx", "syx"}}), false},
        {"several with a name the rules refuse", {receivedItem("a:b.syx", "A"), receivedItem("B.syx", "B")}, "",
         nullptr,
         E(E::InvalidItemName{"File names cannot contain slashes, colons, backslashes, or control characters."}),
         false},
        {"several with one of no savable type", {receivedItem("A.syx", "A"), unknown}, "", nullptr,
         E(E::UnsupportedExportType{}), false},
        {"names that fold alike", {receivedItem("Kick.syx", "A"), receivedItem("KICK.syx", "B")}, "", nullptr,
         E(E::ExportNameCollision{"Kick.syx", "KICK.syx"}), true},
        {"a name the folder holds", {receivedItem("Kick.syx", "A"), receivedItem("Snare.syx", "B")}, "",
         [](const fs::path& f) { writeFile(f / "snare.SYX", "theirs"); },
         E(E::ExportDestinationExists{"snare.SYX"}), true},
        {"a file chosen as the folder", {receivedItem("Kick.syx", "A"), receivedItem("Snare.syx", "B")}, "file.syx",
         [](const fs::path& f) { writeFile(f / "file.syx", "theirs"); }, E(E::InvalidExportDirectory{"file.syx"}),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TemporaryFolder folder;
        if (c.prepare) c.prepare(folder.path());
        const FolderSnapshot before = snapshot(folder.path());
        AppModelRig rig(withPeer(nullptr));
        showSelected(*rig.model, c.items);

        rig->exportSelectedFromUser(c.destination.empty() ? folder.path() : folder.path() / c.destination);
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), c.expected.message());
        EXPECT_EQ(rig->statusText(),
                  c.plannedSave ? "Save failed; existing files and item metadata were preserved" : "Ready");
        EXPECT_FALSE(rig->isExporting());
        EXPECT_EQ(snapshot(folder.path()), before);
        for (std::size_t i = 0; i < c.items.size(); ++i) {
            EXPECT_EQ(rig->items()[i].sourceURL, std::nullopt);
            EXPECT_EQ(rig->items()[i].displayName, c.items[i].displayName);
        }
    }
}

TEST(SavingItems, SavesWhatWasSelectedWhenTheCommandWasGiven) {
    TemporaryFolder folder;
    const auto a = receivedItem("A.syx", "a");
    const auto b = receivedItem("B.syx", "b");
    const auto c = receivedItem("C.syx", "c");
    const struct {
        const char* name;
        std::set<QUuid> before;
        std::set<QUuid> whilePanelOpen;
        bool folderPanel;
        fs::path answer;
        FolderSnapshot written;  // relative to the folder
    } cases[] = {
        {"one item, then two selected", {a.id}, {b.id, c.id}, false, folder.path() / "Chosen.syx",
         {{"Chosen.syx", "a"}}},
        {"two items, then one selected", {a.id, b.id}, {c.id}, true, folder.path() / "batch",
         {{"batch", "<folder>"}}},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        AppModelRig rig(withPeer(nullptr));
        rig->setItems({a, b, c});
        rig->setSelection(k.before);
        if (k.folderPanel) {
            fs::create_directory(k.answer);
            rig.interaction->folderAnswers.push_back(k.answer);
        } else {
            rig.interaction->saveAnswers.push_back(k.answer);
        }
        rig.interaction->whileShowing = [&rig, selection = k.whilePanelOpen] { rig->setSelection(selection); };
        rig->presentSavePanel();
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        EXPECT_EQ(snapshot(folder.path()), k.written);
        if (k.folderPanel) {
            EXPECT_EQ(snapshot(k.answer), (FolderSnapshot{{"A.syx", "a"}, {"B.syx", "b"}}));
        }
        EXPECT_EQ(itemWithID(rig, c.id).sourceURL, std::nullopt);
        fs::remove_all(k.answer);
    }
}

TEST(SavingItems, AnItemRemovedWhileThePanelIsOpenStopsTheSave) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    const auto a = receivedItem("A.syx", "a");
    const auto b = receivedItem("B.syx", "b");
    showSelected(*rig.model, {a, b});
    rig.interaction->folderAnswers.push_back(folder.path());
    rig.interaction->whileShowing = [&] { rig->setItems({a}); };
    rig->presentSavePanel();
    rig.settle();
    EXPECT_EQ(rig->alertMessage(), AppModelError(AppModelError::MissingExportItem{}).message());
    EXPECT_TRUE(snapshot(folder.path()).empty());
}

TEST(SavingItems, OneSaveAtATime) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    const auto a = receivedItem("A.syx", "a");
    showSelected(*rig.model, {a});
    rig->exportSelectedFromUser(folder.path() / "First.syx");
    rig->exportSelectedFromUser(folder.path() / "Second.syx");
    EXPECT_EQ(rig->alertMessage(), "A save is already in progress. Wait for it to finish before saving again.");
    rig->presentSavePanel();
    rig->presentSaveProjectPanel();
    EXPECT_EQ(rig.interaction->questionCount(), 0u);
    rig.settle();
    EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"First.syx", "a"}}));
    EXPECT_EQ(rig->statusText(), "Saved First.syx");
}

// The address sanitizer keeps freed blocks aside before reusing them, and the thread sanitizer
// keeps shadow memory for every byte touched, so under either the peak counts far more than the
// copies a save holds at once.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool peakCountsMoreThanTheSave = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool peakCountsMoreThanTheSave = true;
#else
constexpr bool peakCountsMoreThanTheSave = false;
#endif
#else
constexpr bool peakCountsMoreThanTheSave = false;
#endif

// A set of long samples saved into a folder must not need its whole size again in free memory.
TEST(SavingItems, AFolderSaveHoldsOneFileAtATimeBeyondTheItems) {
    if (peakCountsMoreThanTheSave) GTEST_SKIP() << "a sanitizer's own memory makes the resident peak meaningless";
    constexpr std::size_t fileSize = std::size_t{32} << 20;
    constexpr double fileMiB = 32;
    constexpr double allowanceMiB = 8;  // the model's bookkeeping and the allocator's slack
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    std::vector<TransferItem> items;
    for (int index = 1; index <= 4; ++index) {
        items.push_back(receivedItem("Take " + std::to_string(index) + ".syx", ""));
        items.back().data = Bytes(fileSize, static_cast<uint8_t>(index));
    }
    showSelected(*rig.model, std::move(items));

    const ResidentMemoryRise rise;
    if (!rise.valid()) GTEST_SKIP() << "this system does not let the resident peak be read or reset";
    rig->exportSelectedFromUser(folder.path());
    rig.settle();
    const double peak = rise.peakMiB();

    EXPECT_EQ(rig->statusText(), "Saved 4 files");
    for (int index = 1; index <= 4; ++index) {
        const auto file = folder.path() / ("Take " + std::to_string(index) + ".syx");
        EXPECT_EQ(fs::file_size(file), fileSize) << file;
        EXPECT_EQ(std::ifstream(file, std::ios::binary).get(), index) << file;  // its own item's bytes
    }
    EXPECT_LE(peak, fileMiB + allowanceMiB);
}

TEST(SavingItems, NothingSelectedSavesTheFileList) {
    AppModelRig rig(withPeer(nullptr));
    rig->setItems({receivedItem("A.syx", "a")});
    rig->presentSavePanel();
    // The list holds an unsaved item, so the file-list save refuses before its panel.
    EXPECT_EQ(rig->alertMessage(), AppModelError(AppModelError::UnsavedProjectItem{0}).message());
    rig->setItems({});
    rig->presentSavePanel();
    ASSERT_EQ(rig.interaction->savePanelsShown.size(), 1u);
    EXPECT_EQ(rig.interaction->savePanelsShown.front().title, "Save K7 File List");
}

}  // namespace
}  // namespace k7::testing

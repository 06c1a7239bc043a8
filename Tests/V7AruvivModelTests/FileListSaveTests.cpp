#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include "K7Core/FileList/K7ProjectCodec.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::testing {
namespace {

namespace fs = std::filesystem;
using LoopMode = TransferItem::LoopMode;
using StereoMode = TransferItem::StereoMode;

// An item opened from `path`, which is written with `contents`.
TransferItem openedItem(const fs::path& path, const std::string& contents, LoopMode loop = LoopMode::file,
                        StereoMode stereo = StereoMode::mix) {
    fs::create_directories(path.parent_path());
    writeFile(path, contents);
    auto item = receivedItem(path.filename().string(), contents);
    item.sourceURL = path;
    item.loopMode = loop;
    item.stereoMode = stereo;
    return item;
}

K7Project readList(const fs::path& path) {
    const auto text = readFile(path).value();
    const Bytes data(text.begin(), text.end());
    EXPECT_EQ(K7ProjectCodec::sniffFormat(data), K7ProjectFormat::legacyV0);
    return K7ProjectCodec::decodeSniffed(data, path);
}

TEST(FileListSave, RecordsEachItemsFileAndModesWithPathsRelativeToTheList) {
    for (const char* name : {"Set.k7", "SET.K7"}) {
        SCOPED_TRACE(name);
        TemporaryFolder folder;
        TemporaryFolder elsewhere;
        AppModelRig rig(reopening());
        rig->setItems({openedItem(folder.path() / "Sounds" / "Kick.syx", "k", LoopMode::forceOn, StereoMode::right),
                       openedItem(elsewhere.path() / "Pad.syx", "p", LoopMode::forceOff, StereoMode::left),
                       openedItem(folder.path() / "Hat.syx", "h")});
        rig->setSamplePosition(42);
        const auto itemsBefore = rig->items().size();
        rig.interaction->saveAnswers.push_back(folder.path() / name);

        rig->presentSaveProjectPanel();
        ASSERT_EQ(rig.interaction->savePanelsShown.size(), 1u);
        const auto& panel = rig.interaction->savePanelsShown.front();
        EXPECT_EQ(panel.title, "Save K7 File List");
        EXPECT_EQ(panel.proposedName, "File List.k7");
        EXPECT_EQ(panel.allowedExtensions, std::vector<std::string>{"k7"});
        EXPECT_EQ(rig->statusText(), std::string("Saving ") + name + "\u2026");
        EXPECT_TRUE(rig->isExporting());

        rig.settle();
        EXPECT_EQ(rig->statusText(), std::string("Saved ") + name);
        EXPECT_FALSE(rig->isExporting());
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        EXPECT_EQ(readList(folder.path() / name),
                  (K7Project{42,
                             {{folder.path() / "Sounds" / "Kick.syx", K7LoopMode::enabled, K7StereoMode::rightChannel},
                              {elsewhere.path() / "Pad.syx", K7LoopMode::disabled, K7StereoMode::leftChannel},
                              {folder.path() / "Hat.syx", K7LoopMode::useFileSetting, K7StereoMode::bothChannels}}}));
        // Files below the list's folder are stored relative to it; the list keeps paths, never bytes.
        const auto stored = readFile(folder.path() / name).value();
        EXPECT_NE(stored.find("Sounds/Kick.syx"), std::string::npos);
        EXPECT_EQ(stored.find((folder.path() / "Sounds").string()), std::string::npos);
        EXPECT_NE(stored.find((elsewhere.path() / "Pad.syx").string()), std::string::npos);
        // Items stay as they were, and the list of open files is not rewritten.
        EXPECT_EQ(rig->items().size(), itemsBefore);
        EXPECT_EQ(rig.store->data(openFileRecordsKey), std::nullopt);
    }
}

TEST(FileListSave, RefusalsWriteNothing) {
    using E = AppModelError;
    TemporaryFolder folder;
    const struct {
        const char* name;
        bool unsavedSecondItem;
        std::optional<std::string> answer;  // the panel's file name; nothing: cancelled
        std::optional<E> expected;          // nothing: no alert
        bool panelShown;
    } cases[] = {
        {"an unsaved item", true, "Set.k7", E(E::UnsavedProjectItem{1}), false},
        {"another extension", false, "Set.txt", E(E::InvalidExportExtension{"Set.txt", {"k7"}}), true},
        {"no extension", false, "Set", E(E::InvalidExportExtension{"Set", {"k7"}}), true},
        {"a name ending in a period", false, "Set.k7.", E(E::InvalidItemName{"File names cannot end with a period."}),
         true},
        {"the panel cancelled", false, std::nullopt, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        std::vector<TransferItem> items{openedItem(folder.path() / "files" / "A.syx", "a")};
        items.push_back(c.unsavedSecondItem ? receivedItem("Dump.syx", "d")
                                            : openedItem(folder.path() / "files" / "B.syx", "b"));
        rig->setItems(items);
        if (c.answer) rig.interaction->saveAnswers.push_back(folder.path() / *c.answer);

        rig->presentSaveProjectPanel();
        rig.settle();
        EXPECT_EQ(rig.interaction->savePanelsShown.size(), c.panelShown ? 1u : 0u);
        EXPECT_EQ(rig->alertMessage(), c.expected ? std::optional(c.expected->message()) : std::nullopt);
        EXPECT_EQ(rig->statusText(), "Ready");
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"files", "<folder>"}}));
    }
}

TEST(FileListSave, AFailedSaveKeepsThePreviousFile) {
    TemporaryFolder folder;
    const struct {
        const char* name;
        fs::path row;         // the one item's file
        std::string answer;   // below the folder
    } cases[] = {
        {"a path the list cannot hold", folder.path() / "bad\x01name.syx", "Set.k7"},
        {"a folder that is gone", folder.path() / "A.syx", "gone/Set.k7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(folder.path() / "Set.k7", "previous");
        AppModelRig rig(withPeer(nullptr));
        auto item = receivedItem("A.syx", "a");
        item.sourceURL = c.row;
        rig->setItems({item});
        rig.interaction->saveAnswers.push_back(folder.path() / c.answer);

        rig->presentSaveProjectPanel();
        rig.settle();
        EXPECT_EQ(rig->statusText(), "File-list save failed; the previous destination was preserved");
        EXPECT_TRUE(rig->alertMessage()) << "the failure is shown";
        EXPECT_FALSE(rig->isExporting());
        EXPECT_EQ(snapshot(folder.path()), (FolderSnapshot{{"Set.k7", "previous"}}));
    }
}

// Saved here, opened again by the import: the same files with the same modes.
TEST(FileListSave, OpensAgainAsTheSameItems) {
    TemporaryFolder folder;
    AppModelRig rig(withPeer(nullptr));
    const std::vector<TransferItem> originals{
        openedItem(folder.path() / "Kick.syx", "\xF0\x7D\x01\xF7", LoopMode::forceOn, StereoMode::left),
        openedItem(folder.path() / "sub" / "Pad.syx", "\xF0\x7D\x02\xF7", LoopMode::forceOff, StereoMode::right),
        openedItem(folder.path() / "Hat.syx", "\xF0\x7D\x03\xF7")};
    rig->setItems(originals);
    rig.interaction->saveAnswers.push_back(folder.path() / "Set.k7");
    rig->presentSaveProjectPanel();
    rig.settle();
    ASSERT_EQ(rig->statusText(), "Saved Set.k7");

    rig->setItems({});
    rig->importFromUser({folder.path() / "Set.k7"});
    ASSERT_TRUE(rig.runUntil([&] { return !rig->isImporting(); }));
    ASSERT_EQ(rig->items().size(), originals.size()) << rig->alertMessage().value_or("");
    for (std::size_t i = 0; i < originals.size(); ++i) {
        SCOPED_TRACE(originals[i].displayName);
        EXPECT_EQ(rig->items()[i].sourceURL, originals[i].sourceURL);
        EXPECT_EQ(rig->items()[i].data, originals[i].data);
        EXPECT_EQ(rig->items()[i].loopMode, originals[i].loopMode);
        EXPECT_EQ(rig->items()[i].stereoMode, originals[i].stereoMode);
    }

    // An empty list is saved as a file list without rows.
    rig->setItems({});
    rig.interaction->saveAnswers.push_back(folder.path() / "File List.k7");
    rig->presentSaveProjectPanel();
    rig.settle();
    EXPECT_EQ(readList(folder.path() / "File List.k7"), (K7Project{0, {}}));
}

}  // namespace
}  // namespace k7::testing

#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include "ImportTestFiles.h"

namespace k7::testing {
namespace {

using Kind = TransferItem::Kind;
using Loop = TransferItem::LoopMode;


// An item as the list holds it: from a file, or (without a path) received and unsaved.
TransferItem item(const std::string& name, Kind kind = Kind::sysEx, bool saved = true) {
    auto made = kind == Kind::wav ? wavItem(name) : sysExItem(name);
    if (!saved) made.sourceURL.reset();
    return made;
}

// The list the tests edit: two files and two received items.
struct EditingRig {
    EditingRig() : rig(reopening()) {
        rig->setItems({item("kick.syx"), item("Take 1", Kind::sysEx, false), item("loop.wav", Kind::wav),
                       item("Take 2", Kind::sysEx, false)});
    }
    const QUuid& id(std::size_t index) const { return rig->items()[index].id; }
    AppModelRig rig;
};

TEST(FileListEditing, RemovingUnsavedItemsAsksFirstAndCancellingKeepsEverything) {
    const struct {
        std::vector<std::size_t> selected;
        const char* question;
    } cases[] = {
        {{0, 1}, "Remove unsaved Take 1?"},
        {{1, 2, 3}, "Remove 2 unsaved items?"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.question);
        EditingRig editing;
        auto& rig = editing.rig;
        std::set<QUuid> selection;
        for (auto index : c.selected) selection.insert(editing.id(index));
        rig->setSelection(selection);
        const auto before = rig->items();

        rig->removeSelected();  // the scripted user closes the alert
        ASSERT_EQ(rig.interaction->alertsShown.size(), 1u);
        const auto& alert = rig.interaction->alertsShown.front();
        EXPECT_EQ(alert.message, c.question);
        EXPECT_EQ(alert.informativeText,
                  "These received or generated items exist only in V7/64. Removing them cannot be undone. Save them "
                  "first if you need a copy. Files already on disk will not be deleted.");
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Remove Unsaved", "Cancel"}));
        EXPECT_EQ(alert.cancelButton, std::optional<std::size_t>(1));  // what Return chooses
        EXPECT_EQ(alert.style, UserInteraction::AlertStyle::warning);
        EXPECT_EQ(names(rig->items()), names(before));
        EXPECT_EQ(rig->selection(), selection);
        EXPECT_EQ(rig->statusText(), "Remove cancelled; unsaved items were preserved");

        rig.interaction->alertAnswers.push_back(0);
        rig->removeSelected();
        EXPECT_EQ(rig->items().size(), before.size() - c.selected.size());
        EXPECT_TRUE(rig->selection().empty());
    }
}

// A removal that runs after a cancelled one does not leave the status saying it was cancelled,
// whether it was confirmed or needed no question.
TEST(FileListEditing, ARemovalAfterACancelledOneClearsTheCancelStatus) {
    const struct {
        const char* name;
        std::size_t removed;  // selected after the cancel
        std::vector<std::size_t> answers;
    } cases[] = {
        {"confirmed", 1, {0}},
        {"saved, unasked", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EditingRig editing;
        auto& rig = editing.rig;
        const QUuid gone = editing.id(c.removed);
        rig->setSelection({editing.id(1)});
        rig->removeSelected();
        ASSERT_EQ(rig->statusText(), "Remove cancelled; unsaved items were preserved");

        rig.interaction->alertAnswers.assign(c.answers.begin(), c.answers.end());
        rig->setSelection({gone});
        rig->removeSelected();
        ASSERT_EQ(rig->items().size(), 3u);
        EXPECT_NE(rig->items()[c.removed].id, gone);
        EXPECT_EQ(rig->statusText(), "Ready");
    }
}

TEST(FileListEditing, RemovingSavedItemsNeedsNoQuestionAndStoresTheList) {
    EditingRig editing;
    auto& rig = editing.rig;
    rig->setSelection({editing.id(0), editing.id(2)});
    rig->removeSelected();
    EXPECT_TRUE(rig.interaction->alertsShown.empty());
    EXPECT_EQ(names(rig->items()), (std::vector<std::string>{"Take 1", "Take 2"}));
    EXPECT_TRUE(rig->selection().empty());
    EXPECT_EQ(rig.store->data(openFileRecordsKey), Bytes({'[', ']'}));

    rig.store->remove(openFileRecordsKey);
    EXPECT_TRUE(rig->removeSelectedAllowingUnsavedDataLoss());  // nothing selected
    EXPECT_EQ(rig->items().size(), 2u);
    EXPECT_TRUE(rig.store->contains(openFileRecordsKey));
}

TEST(FileListEditing, NothingIsRemovedRenamedOrSwitchedWhileTheListIsBusy) {
    const std::pair<const char*, void (AppModel::*)(bool)> busy[] = {
        {"sending", &AppModel::setIsSending},
        {"receiving", &AppModel::setIsReceiving},
        {"importing", &AppModel::setIsImporting},
        {"exporting", &AppModel::setIsExporting},
    };
    for (const auto& [name, set] : busy) {
        SCOPED_TRACE(name);
        EditingRig editing;
        auto& rig = editing.rig;
        const auto before = rig->items();
        rig->setSelection({editing.id(0), editing.id(1), editing.id(2)});
        (rig.model.get()->*set)(true);
        rig->removeSelected();
        EXPECT_FALSE(rig->removeSelectedAllowingUnsavedDataLoss());
        EXPECT_TRUE(rig.interaction->alertsShown.empty());
        EXPECT_EQ(rig->statusText(), "Ready");
        rig->updateSelectedLoopMode(Loop::forceOn);
        rig->updateSelectedStereoMode(TransferItem::StereoMode::right);
        EXPECT_FALSE(rig->renameItem(editing.id(0), "Other"));
        EXPECT_EQ(rig->alertMessage(), "Names cannot be edited during an active transfer.");
        EXPECT_EQ(names(rig->items()), names(before));
        EXPECT_EQ(rig->items()[2].loopMode, Loop::file);
        EXPECT_EQ(rig->items()[2].stereoMode, TransferItem::StereoMode::mix);
    }
}

// The modes are read when audio is rendered or sent: they hold still while a conversion renders
// and while the wait for a Turbo reply keeps the settings locked.
TEST(FileListEditing, TheModeSettersWaitWhileConvertingOrAwaitingATurboReply) {
    for (const BusyState* busy : {&converting, &negotiating}) {
        SCOPED_TRACE(busy->name);
        EditingRig editing;
        auto& rig = editing.rig;
        rig->setSelection({editing.id(2)});
        busy->enter(rig);
        ASSERT_TRUE(rig->configurationLocked());
        rig.store->remove(openFileRecordsKey);
        rig->updateSelectedLoopMode(Loop::forceOff);
        rig->updateSelectedStereoMode(TransferItem::StereoMode::left);
        EXPECT_EQ(rig->items()[2].loopMode, Loop::file);
        EXPECT_EQ(rig->items()[2].stereoMode, TransferItem::StereoMode::mix);
        EXPECT_FALSE(rig.store->contains(openFileRecordsKey));
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
    }
}

TEST(FileListEditing, OnlyTheItemsTheUserConfirmedAreRemoved) {
    EditingRig editing;
    auto& rig = editing.rig;
    rig->setSelection({editing.id(0), editing.id(1)});
    // Work finishing while the alert is open replaces the selection with a new unsaved item.
    const TransferItem arrived = item("Take 3", Kind::sysEx, false);
    rig.interaction->whileShowing = [&] {
        auto items = rig->items();
        items.push_back(arrived);
        rig->setItems(items);
        rig->setSelection({arrived.id});
    };
    rig.interaction->alertAnswers.push_back(0);
    rig->removeSelected();
    EXPECT_EQ(names(rig->items()), (std::vector<std::string>{"loop.wav", "Take 2", "Take 3"}));
    EXPECT_EQ(rig->selection(), std::set<QUuid>{arrived.id});
}

TEST(FileListEditing, AnImportStartedWhileAskingStopsTheRemoval) {
    test::FileFolder folder;
    EditingRig editing;
    auto& rig = editing.rig;
    rig->setSelection({editing.id(1)});
    const auto file = folder.write("new.syx", test::genericSysEx());
    rig.interaction->whileShowing = [&] { rig->importFromUser({file}); };
    rig.interaction->alertAnswers.push_back(0);
    rig->removeSelected();
    EXPECT_EQ(rig->items().size(), 4u);
    rig.settle();
    EXPECT_EQ(rig->items().size(), 5u);
}

TEST(FileListEditing, RenamingFollowsTheNameRulesAndRefusesFoldedDuplicates) {
    const std::string keepSyx = "Keep the .syx extension so the displayed type remains accurate.";
    const struct {
        const char* proposed;
        std::vector<std::string> others;
        std::optional<std::string> renamed;  // nothing: refused with `alert`
        std::string alert;
    } cases[] = {
        {"Snare", {}, "Snare.syx", ""},
        {"KICK.SYX", {}, "KICK.SYX", ""},  // the item itself is not a duplicate
        {"kick.SYX", {"Kick.syx"}, std::nullopt, "Another item is already named kick.SYX. Choose a unique name."},
        {"Caf\u00E9.syx", {"Cafe\u0301.SYX"}, std::nullopt,
         "Another item is already named Caf\u00E9.syx. Choose a unique name."},
        {"Snare.wav", {}, std::nullopt, keepSyx},
        {"  ", {}, std::nullopt, "Enter a file name."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proposed);
        AppModelRig rig(reopening());
        std::vector<TransferItem> items{item("kick.syx")};
        for (const auto& other : c.others) items.push_back(item(other));
        rig->setItems(items);
        const QUuid id = items[0].id;
        EXPECT_EQ(rig->renameItem(id, c.proposed), c.renamed.has_value());
        if (c.renamed) {
            EXPECT_EQ(rig->items()[0].displayName, *c.renamed);
            EXPECT_EQ(rig->items()[0].sourceURL, items[0].sourceURL);
            EXPECT_EQ(rig->statusText(), "Renamed item to " + *c.renamed);
            EXPECT_EQ(rig->alertMessage(), std::nullopt);
        } else {
            EXPECT_EQ(rig->items()[0].displayName, "kick.syx");
            EXPECT_EQ(rig->alertMessage(), c.alert);
        }
    }
    AppModelRig rig(reopening());
    EXPECT_FALSE(rig->renameItem(QUuid::createUuid(), "Other"));  // an unknown item: nothing to say
    EXPECT_EQ(rig->alertMessage(), std::nullopt);
}

TEST(FileListEditing, ModesChangeOnlyOnSelectedAudioItems) {
    EditingRig editing;
    auto& rig = editing.rig;
    rig->setSelection({editing.id(0), editing.id(2)});
    rig->updateSelectedLoopMode(Loop::forceOff);
    rig->updateSelectedStereoMode(TransferItem::StereoMode::left);
    EXPECT_EQ(rig->items()[0].loopMode, Loop::file);
    EXPECT_EQ(rig->items()[2].loopMode, Loop::forceOff);
    EXPECT_EQ(rig->items()[2].stereoMode, TransferItem::StereoMode::left);
    EXPECT_TRUE(rig.store->contains(openFileRecordsKey));
}

// The list is taken out for the edit: one that cannot grow it must not leave it empty.
TEST(FileListEditing, AnEditThatThrowsLeavesTheListAsItWas) {
    EditingRig editing;
    auto& rig = editing.rig;
    const auto rows = rig->listItems();
    std::vector<Bytes> data;
    for (const auto& item : rig->items()) data.push_back(item.data);
    int published = 0;
    QObject::connect(rig.model.get(), &AppModel::itemsChanged, [&published] { ++published; });

    EXPECT_THROW(rig->editItems([](std::vector<TransferItem>& list) { list.reserve(list.max_size() + 1); }),
                 std::length_error);
    EXPECT_EQ(published, 0);
    EXPECT_EQ(rig->listItems(), rows);
    std::vector<Bytes> dataAfter;
    for (const auto& item : rig->items()) dataAfter.push_back(item.data);
    EXPECT_EQ(dataAfter, data);
}

}  // namespace
}  // namespace k7::testing

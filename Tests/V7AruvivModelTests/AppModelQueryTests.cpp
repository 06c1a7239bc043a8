#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"

namespace k7::testing {
namespace {

using M = TransferSendMethod;
using Kind = TransferItem::Kind;

TEST(AppModelQueries, SelectionFollowsListOrderAndIgnoresStaleIds) {
    AppModelRig rig;
    const auto a = sysExItem("a.syx"), b = sysExItem("b.syx"), c = sysExItem("c.syx");
    rig->setItems({a, b, c});
    const QUuid stale = QUuid::createUuid();
    const struct {
        const char* name;
        std::set<QUuid> selection;
        std::vector<std::string> selected;
        std::optional<std::string> single;
        std::string fileInfo;
    } cases[] = {
        {"nothing", {}, {}, std::nullopt, "Select an item to inspect its file and transfer information."},
        {"one", {b.id}, {"b.syx"}, "b.syx", "b.syx as imported"},
        {"in list order", {c.id, a.id}, {"a.syx", "c.syx"}, std::nullopt,
         "2 items selected. Transfer details are shown below."},
        // A stale id counts as selected but names no item.
        {"with a stale id", {c.id, stale, a.id}, {"a.syx", "c.syx"}, std::nullopt,
         "3 items selected. Transfer details are shown below."},
        {"only a stale id", {stale}, {}, std::nullopt, ""},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        rig->setSelection(k.selection);
        EXPECT_EQ(names(rig->selectedItems()), k.selected);
        const auto single = rig->selectedItem();
        EXPECT_EQ(single ? std::optional(single->displayName) : std::nullopt, k.single);
        if (!k.fileInfo.empty()) {
            EXPECT_EQ(rig->fileInfoText(), k.fileInfo);
        }
    }
    rig->setSelection({stale});
    EXPECT_EQ(rig->liveTransferPlan(), std::nullopt);
}

TEST(AppModelQueries, AudioSettingsItemOnlyForAnAllAudioSelection) {
    const struct {
        const char* name;
        std::vector<TransferItem> items;
        std::optional<std::string> expected;
    } cases[] = {
        {"wav, aiff, wav", {wavItem("1.wav"), aiffItem("2.aif"), wavItem("3.wav")}, "1.wav"},
        {"wav, sysex, wav", {wavItem("1.wav"), sysExItem("2.syx"), wavItem("3.wav")}, std::nullopt},
        {"sysex", {sysExItem("1.syx")}, std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    AppModelRig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        showSelected(*rig.model, c.items);
        const auto item = rig->selectedAudioSettingsItem();
        EXPECT_EQ(item ? std::optional(item->displayName) : std::nullopt, c.expected);
    }
}

// Which methods take a slot is the plan's own business; here the model hands it the items, position and route.
TEST(AppModelQueries, LiveTransferPlanGivesConsecutiveSlotsToAudioOnly) {
    AppModelRig rig;
    showSelected(*rig.model, {wavItem(), sysExItem("dump.syx", M::sdsFile(2)), aiffItem(), sysExItem()});
    rig->setSamplePosition(10);
    const auto plan = rig->liveTransferPlan();
    ASSERT_TRUE(plan);
    std::vector<std::optional<int64_t>> destinationSlots;
    for (const auto& entry : plan->entries) destinationSlots.push_back(entry.destinationSlot);
    EXPECT_EQ(destinationSlots, (std::vector<std::optional<int64_t>>{10, std::nullopt, 11, std::nullopt}));
    EXPECT_EQ(plan->startingSamplePosition, 10);
    EXPECT_EQ(plan->inputName, "Simulated In");
    EXPECT_EQ(plan->outputName, "Simulated Out");
    EXPECT_EQ(plan->turboStatus, rig->turboStatus());
    EXPECT_EQ(plan->warning, std::nullopt);
}

TEST(AppModelQueries, LiveTransferPlanNamesOnlyListedEndpoints) {
    AppModelRig rig;
    showSelected(*rig.model, {sysExItem()});
    AppPreferences elsewhere = rig->preferences();
    elsewhere.outputEndpointID = 77;  // chosen, but not in the snapshot
    rig->setPreferences(elsewhere);
    const auto plan = rig->liveTransferPlan();
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->outputName, std::nullopt);
    EXPECT_EQ(plan->inputName, "Simulated In");
    ASSERT_TRUE(plan->warning);
    EXPECT_EQ(plan->warning->message,
              "The selected MIDI output is unavailable. Choose an available output in Settings before sending.");
}

TEST(AppModelQueries, FileInfoAndDigiPROCreationFollowTheSelection) {
    const std::string noPlanHelp =
        "Select one or more WAV or AIFF files to create DigiPRO SysEx files. Conversion does not transmit them.";
    TransferItem undecoded = wavItem("broken.wav");
    undecoded.audioSample.reset();
    const struct {
        const char* name;
        std::vector<TransferItem> items;
        int64_t position;
        std::optional<BusyState> busy;
        std::string fileInfo;
        bool canConvert;
        std::string helpStart;
    } cases[] = {
        {"one wav", {wavItem("kick.wav")}, 5, std::nullopt,
         "Create 1 DigiPRO file \u2022 Position 5\nkick.wav as imported", true,
         "Create 1 DigiPRO file \u2022 Position 5. Creates files only"},
        {"two audio files", {wavItem("kick.wav"), aiffItem("snare.aif")}, 0, std::nullopt,
         "Create 2 DigiPRO files \u2022 Positions 0\u20131 \u2022 List order", true, "Create 2 DigiPRO files"},
        {"beyond the last position", {wavItem("kick.wav")}, 70, std::nullopt,
         "DigiPRO positions are limited to 0\u202663; this ordered batch would use positions 70\u202670. Lower "
         "Sample Position or select fewer audio files.\nkick.wav as imported",
         false, "DigiPRO positions are limited"},
        {"audio without decoded samples", {undecoded}, 0, std::nullopt,
         "The selected audio conversion data is unavailable. Re-import the affected file.\nbroken.wav as imported",
         false, "The selected audio conversion data is unavailable."},
        {"audio and sysex", {wavItem("kick.wav"), sysExItem("patch.syx")}, 0, std::nullopt,
         "2 items selected. Transfer details are shown below.", false, noPlanHelp},
        {"one sysex", {sysExItem("patch.syx")}, 0, std::nullopt, "patch.syx as imported", false, noPlanHelp},
        {"one wav during a send", {wavItem("kick.wav")}, 5, sending,
         "Create 1 DigiPRO file \u2022 Position 5\nkick.wav as imported", false,
         "Create 1 DigiPRO file \u2022 Position 5. Creates files only"},
        {"one wav during a conversion", {wavItem("kick.wav")}, 5, converting,
         "Create 1 DigiPRO file \u2022 Position 5\nkick.wav as imported", false,
         "Create 1 DigiPRO file \u2022 Position 5. Creates files only"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        showSelected(*rig.model, c.items);
        rig->setSamplePosition(c.position);
        if (c.busy) c.busy->enter(rig);
        EXPECT_EQ(rig->fileInfoText(), c.fileInfo);
        EXPECT_EQ(rig->canConvertSelectionToDigiPRO(), c.canConvert);
        EXPECT_EQ(rig->digiPROConversionHelp().rfind(c.helpStart, 0), 0u) << rig->digiPROConversionHelp();
    }
}

TEST(AppModelQueries, ListRowsNameTheSendMethodBeforeTheKind) {
    TransferItem unknown = projectItem("notes.txt");
    unknown.kind = Kind::unknown;
    const struct {
        TransferItem item;
        const char* typeLabel;
    } cases[] = {
        {sysExItem("w.syx", M::RawDigiPRO{}), "DigiPRO"},
        {sysExItem("fw.syx", M::RawFirmware{}), "Firmware"},
        {sysExItem("kit.syx", M::RawElektronData{}), "Elektron data"},
        {sysExItem("patch.syx"), "SysEx"},
        {sysExItem("dump.syx", M::sdsFile(1)), "SysEx"},
        {sysExItem("bad.syx", M::invalid("Truncated")), "SysEx"},
        {wavItem("a.wav"), "WAV"},
        {aiffItem("a.aif"), "AIFF"},
        {projectItem("list.k7"), "K7"},
        {unknown, "-"},
    };
    std::vector<TransferItem> items;
    for (const auto& c : cases) items.push_back(c.item);
    items[3].state = TransferItem::State::failed("No reply");
    items[3].progress = 0.25;
    AppModelRig rig;
    rig->setItems(items);

    const auto rows = rig->listItems();
    ASSERT_EQ(rows.size(), items.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(items[i].displayName);
        const TransferItem& item = items[i];
        EXPECT_EQ(rows[i], (TransferItem::ListPresentation{item.id, item.displayName, item.byteCount, item.kind,
                                                           cases[i].typeLabel, item.device, item.state,
                                                           item.progress}));
        EXPECT_EQ(rig->itemIDs()[i], item.id);
    }
}

TEST(AppModelQueries, TotalsAndSourceFiles) {
    AppModelRig rig;
    EXPECT_EQ(rig->totalMessageCount(), 0);
    EXPECT_EQ(rig->totalByteCount(), 0);

    TransferItem received = sysExItem("Received 1.syx");
    received.sourceURL.reset();
    received.messageCount = 3;
    const TransferItem opened = sysExItem("patch.syx");
    const TransferItem audio = wavItem("kick.wav");
    rig->setItems({received, opened, audio});
    EXPECT_EQ(rig->totalMessageCount(), 4);
    EXPECT_EQ(rig->totalByteCount(), received.byteCount + opened.byteCount + audio.byteCount);

    EXPECT_EQ(rig->fileURL(opened.id), std::filesystem::path("patch.syx"));
    EXPECT_EQ(rig->fileURL(received.id), std::nullopt);
    EXPECT_EQ(rig->fileURL(QUuid::createUuid()), std::nullopt);
}

}  // namespace
}  // namespace k7::testing

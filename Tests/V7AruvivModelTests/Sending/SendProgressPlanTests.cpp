#include <gtest/gtest.h>

#include "SDSTestDumps.h"
#include "SendRigSupport.h"
#include "SendTestItems.h"

namespace k7 {
namespace {

using test::uuid;

TransferPlan::Entry entryFor(const TransferItem& item, std::optional<int64_t> slot = std::nullopt) {
    return {item.id, item.displayName, item.sendMethod, slot, {}};
}

TransferPlan planOf(std::vector<TransferPlan::Entry> entries) {
    TransferPlan plan;
    plan.entries = std::move(entries);
    return plan;
}

std::vector<Bytes> storedDumps() {
    auto first = test::storedDump(1, 200);
    const auto second = test::storedDump(2, 7);
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(SendProgressPlan, UnitsAreDumpsMessagesOrTheWholeAudioDump) {
    const auto stored = test::sysExItem(1, "dumps.syx", storedDumps());
    const auto raw = test::sysExItem(2, "raw.syx", {{0xF0, 1, 2, 0xF7}, {0xF0, 3, 0xF7}});
    const auto audio = test::wavItem(3, "Kick.wav", test::stereoSignal(500, 1));
    for (const bool handshake : {false, true}) {
        for (const bool extended : {false, true}) {
            SCOPED_TRACE(std::to_string(handshake) + std::to_string(extended));
            SendOptions options;
            options.useHandshake = handshake;
            options.useExtendedSDS = extended;
            options.sendSPS1UWName = true;
            const auto plan = AppModel::makeSendProgressPlan(
                planOf({entryFor(stored), entryFor(raw), entryFor(audio, 9)}), {stored, raw, audio}, options);
            ASSERT_EQ(plan.items.size(), 3u);
            const auto& dumps = stored.wireWorkload.as<TransferWireWorkload::SDSFile>()->dumps;
            EXPECT_EQ(plan.items[0].unitWireBytes, (std::vector<int64_t>{dumps[0].wireBytes, dumps[1].wireBytes}));
            EXPECT_EQ(plan.items[1].unitWireBytes, (std::vector<int64_t>{7}));
            // The audio unit is what its sender will count, or the dump would be refused as changed.
            const auto prepared = AppModel::prepareSDSTransfer(audio, 9, options);
            EXPECT_EQ(plan.items[2].unitWireBytes, (std::vector<int64_t>{prepared.sender.totalWireBytes()}));
            EXPECT_EQ(plan.items[2].id, uuid(3));
        }
    }
}

TEST(SendProgressPlan, AnythingThatDoesNotMatchIsRefused) {
    const auto stored = test::sysExItem(1, "dumps.syx", storedDumps());
    const auto raw = test::sysExItem(2, "raw.syx", {{0xF0, 1, 0xF7}});
    const auto audio = test::wavItem(3, "Kick.wav", test::stereoSignal(10, 1));
    auto unavailable = raw;
    unavailable.wireWorkload = TransferWireWorkload();
    auto oneDumpPlanned = entryFor(stored);
    oneDumpPlanned.method = TransferSendMethod::sdsFile(1);

    const AppModelError mismatch(AppModelError::ProgressPlanMismatch{});
    const struct {
        std::string name;
        std::vector<TransferPlan::Entry> entries;
        std::vector<TransferItem> items;
        AppModelError error;
    } cases[] = {
        {"fewer entries than items", {entryFor(raw)}, {raw, raw}, mismatch},
        {"nothing to send", {}, {}, mismatch},
        {"dump count changed", {oneDumpPlanned}, {stored}, mismatch},
        {"raw item planned as audio", {entryFor(audio, 0)}, {raw}, mismatch},
        {"audio without a slot", {entryFor(audio)}, {audio}, mismatch},
        {"audio at a negative slot", {entryFor(audio, -1)}, {audio}, mismatch},
        {"audio beyond 16 bits", {entryFor(audio, 65536)}, {audio}, mismatch},
        {"workload unknown", {entryFor(unavailable)}, {unavailable}, mismatch},
        {"SPS-1UW beyond slot 127", {entryFor(audio, 128)}, {audio},
         AppModelError(AppModelError::SPS1UWPositionOutOfRange{128})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendOptions options;
        options.sendSPS1UWName = true;
        EXPECT_EQ(test::modelError([&] { AppModel::makeSendProgressPlan(planOf(c.entries), c.items, options); }),
                  c.error);
    }
}

// Send refuses what the plan cannot carry with the error's own text, before anything starts.
TEST(SendProgressPlan, SendShowsTheRefusalAsAnAlert) {
    testing::AppModelRig rig(testing::sendRigOptions());
    AudioSample tooLong = test::sixteenBitAudio({std::vector<int16_t>(2'097'152, 0)});
    auto item = test::wavItem(1, "Long.wav", test::sixteenBitAudio({{1, 2}}));
    item.audioSample = std::move(tooLong);
    testing::pressSend(rig, {item});
    EXPECT_FALSE(rig->isSending());
    EXPECT_EQ(rig->alertMessage(), "The audio item is too large for a classic SDS header.");
    EXPECT_TRUE(rig.wire().sentMessages().empty());
}

}  // namespace
}  // namespace k7

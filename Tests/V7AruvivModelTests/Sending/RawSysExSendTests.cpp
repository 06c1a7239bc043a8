#include <gtest/gtest.h>

#include "SendRigSupport.h"
#include "SendTestItems.h"
#include "Support/Model/CapturedDiagnostics.h"
#include "Support/SimulatedElektronMachine.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using Bank = ListeningInstrument<SimulatedElektronMachine>;

constexpr double oneTick = 16'666'666e-9;  // the default open-loop delay, in seconds

std::shared_ptr<Bank> machinedrumBank(AppModelRig& rig) {
    return listen(rig, std::make_shared<SimulatedElektronMachine>(SimulatedElektronMachine::Options{}));
}

Bytes generic(std::size_t size, uint8_t fill) {
    Bytes message(size, fill);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

// A generic file with white space between its messages, which never goes on the wire.
TransferItem genericFile(unsigned id, const std::vector<Bytes>& messages) {
    Bytes file;
    for (const auto& message : messages) {
        file.insert(file.end(), message.begin(), message.end());
        file.push_back('\n');
    }
    return test::analysedItem(id, "generic" + std::to_string(id) + ".syx", TransferItem::Kind::sysEx, file);
}

struct RawSession {
    std::vector<TransferItem> items;
    std::vector<Bytes> messages;       // every message of every item, in send order
    std::vector<double> expectedGaps;  // from each message's arrival to the next one's
};

// The three files of a studio evening: a small generic file, a whole Machinedrum backup and one kit.
RawSession threeFiles(const SimulatedElektronMachine& bank, int bytesPerSecond, double delay) {
    RawSession session;
    const std::vector<Bytes> generics{generic(12, 0x11), generic(300, 0x22), generic(7, 0x33)};
    const auto backup = bank.backup();
    const std::vector<Bytes> kit{bank.record(bank.keys()[40])};
    session.items = {genericFile(1, generics), test::sysExItem(2, "md-backup.syx", backup),
                     test::sysExItem(3, "kit.syx", kit)};
    for (const auto* file : {&generics, &backup, &kit}) {
        for (const auto& message : *file) {
            session.messages.push_back(message);
            session.expectedGaps.push_back(static_cast<double>(message.size()) / bytesPerSecond + delay);
        }
    }
    session.expectedGaps.pop_back();
    return session;
}

void expectArrivalsAtRate(const std::vector<Bank::Arrival>& arrivals, const RawSession& session) {
    ASSERT_EQ(arrivals.size(), session.messages.size());
    for (std::size_t i = 0; i + 1 < arrivals.size(); ++i) {
        ASSERT_EQ(arrivals[i].message, session.messages[i]) << "message " << i;
        const double gap = seconds(arrivals[i + 1].time) - seconds(arrivals[i].time);
        ASSERT_NEAR(gap, session.expectedGaps[i], session.expectedGaps[i] * 0.01) << "after message " << i;
    }
    EXPECT_EQ(arrivals.back().message, session.messages.back());
}

TEST(RawSysExSend, ThreeFilesArriveInOrderAtTheNominalRateWithTheDelay) {
    AppModelRig rig(sendRigOptions());
    auto bank = machinedrumBank(rig);
    const auto session = threeFiles(**bank, 3125, oneTick);
    ASSERT_EQ(session.items[1].messageCount, 232);
    PublishedProgress published(rig, session.items[1].id);

    pressSend(rig, session.items);
    ASSERT_TRUE(rig->isSending());
    ASSERT_TRUE(runUntilSent(rig));

    expectArrivalsAtRate(bank->arrivals(), session);
    EXPECT_EQ(rig->statusText(), "Submitted 3 transfers to MIDI transport; hardware receipt is unverified");
    for (const auto& item : rig->items()) EXPECT_EQ(item.state, TransferItem::State::Submitted{}) << item.displayName;

    // Progress: rising, held below 1 while running, 1.0 once at the end; rate and time remaining
    // published on the way and cleared at the end.
    ASSERT_GT(published.overall.size(), 100u);
    EXPECT_TRUE(std::is_sorted(published.overall.begin(), published.overall.end()));
    EXPECT_EQ(std::count(published.overall.begin(), published.overall.end(), 1.0), 1);
    EXPECT_EQ(published.overall.back(), 1.0);
    EXPECT_LE(published.overall[published.overall.size() - 2], 0.994);
    EXPECT_TRUE(std::is_sorted(published.itemProgress.begin(), published.itemProgress.end()));
    ASSERT_GT(published.itemProgress.size(), 100u);
    EXPECT_LE(*std::prev(std::find(published.itemProgress.begin(), published.itemProgress.end(), 1.0)), 0.994);
    EXPECT_EQ(published.itemProgress.back(), 1.0);
    EXPECT_NE(std::find(published.hadRate.begin(), published.hadRate.end(), true), published.hadRate.end());
    EXPECT_FALSE(rig->transferRateBytesPerSecond());
    EXPECT_FALSE(rig->estimatedSendTimeRemaining());
    EXPECT_FALSE(rig->frozenTransferPlan());
}

TEST(RawSysExSend, PacesAtTheNegotiatedTurboRate) {
    for (const TurboSpeed speed : {TurboSpeed::x2, TurboSpeed::x8, TurboSpeed::x20}) {
        SCOPED_TRACE(caseName(speed));
        AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.delayTicks = 3; }));
        negotiateTurbo(rig, speed);
        ASSERT_EQ(rig->turboStatus(), AppModel::turboStatus(speed));
        auto bank = machinedrumBank(rig);
        const auto session = threeFiles(**bank, nominalBytesPerSecond(speed), 3 * oneTick);
        pressSend(rig, session.items);
        ASSERT_TRUE(runUntilSent(rig));
        expectArrivalsAtRate(bank->arrivals(), session);
        EXPECT_EQ(rig.wire().sentMessages().back().bytesPerSecond, nominalBytesPerSecond(speed));
    }
}

// On a hardware output a send lasts its bytes' wire time: the pacing counts that time in rather
// than waiting it again, so the whole send still takes the bytes at the rate plus the delays.
TEST(RawSysExSend, AnOutputThatTakesTheWireTimeIsNotPacedTwice) {
    const struct {
        std::optional<TurboSpeed> speed;
        int64_t delayTicks;
    } cases[] = {{std::nullopt, 1}, {std::nullopt, 3}, {TurboSpeed::x4, 1}, {TurboSpeed::x20, 2}};
    const std::vector<Bytes> messages{generic(12, 1), generic(300, 2), generic(7, 3), generic(1000, 4), generic(64, 5)};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.delayTicks) + " ticks at " + caseName(c.speed.value_or(TurboSpeed::x1)));
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) { preferences.delayTicks = c.delayTicks; }));
        if (c.speed) negotiateTurbo(rig, *c.speed);
        rig.studio.sendsTakeWireTime();
        CapturedDiagnostics capture(rig);
        const auto item = genericFile(1, messages);
        PublishedProgress published(rig, item.id);
        pressSend(rig, {item});
        const double pressedAt = seconds(rig.scheduler().now());
        ASSERT_TRUE(runUntilSent(rig));

        const double rate = nominalBytesPerSecond(c.speed.value_or(TurboSpeed::x1));
        const double delay = static_cast<double>(c.delayTicks) * oneTick;
        double expected = delay * static_cast<double>(messages.size() - 1);
        for (const auto& message : messages) expected += static_cast<double>(message.size()) / rate;
        const auto completed = capture.events("raw.send.completed");
        ASSERT_EQ(completed.size(), 1u);
        EXPECT_NEAR(std::stod(completed[0].fields.at("elapsedSeconds")), expected, expected * 0.01);
        ASSERT_TRUE(published.finishedAt);
        EXPECT_NEAR(*published.finishedAt - pressedAt, expected, expected * 0.01);
        const auto sent = rig.wire().sentMessages();
        ASSERT_EQ(sent.size(), messages.size() + (c.speed ? 1u : 0u));  // after the Turbo query
        for (std::size_t i = sent.size() - messages.size() + 1; i < sent.size(); ++i) {
            const double gap = seconds(sent[i].time) - seconds(sent[i - 1].time);
            const double due = static_cast<double>(sent[i - 1].bytes.size()) / rate + delay;
            EXPECT_NEAR(gap, due, due * 0.01) << "before message " << i;
        }
        EXPECT_EQ(liveItem(rig, item.id).state, TransferItem::State::Submitted{});
    }
}

// An item sent again starts from nothing, however far its last send got.
TEST(RawSysExSend, AnItemSentAgainStartsItsProgressFromZero) {
    AppModelRig rig(sendRigOptions());
    // 3125 bytes: one second on the wire.
    const auto item = genericFile(1, {generic(1000, 1), generic(2000, 2), generic(125, 3)});
    pressSend(rig, {item});
    ASSERT_TRUE(runUntilSent(rig));
    ASSERT_EQ(liveItem(rig, item.id).progress, 1.0);

    std::vector<std::pair<std::string, double>> seen;  // the item's state and progress at each change
    QObject::connect(rig.model.get(), &AppModel::itemsChanged, [&] {
        const auto& live = liveItem(rig, item.id);
        seen.emplace_back(live.state.describe(), live.progress);
    });
    rig->sendSelected();
    ASSERT_TRUE(rig->isSending());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), std::make_pair(TransferItem::State(TransferItem::State::Sending{}).describe(), 0.0));
    ASSERT_TRUE(runUntilSent(rig));
    std::vector<double> progress;
    for (const auto& [state, value] : seen) progress.push_back(value);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_TRUE(std::any_of(progress.begin(), progress.end(), [](double value) { return value > 0 && value < 1; }));
    EXPECT_EQ(progress.back(), 1.0);
}

TEST(RawSysExSend, StopDuringAMessageWakesTheWorkerAtOnce) {
    AppModelRig rig(sendRigOptions());
    auto bank = machinedrumBank(rig);
    const auto session = threeFiles(**bank, 3125, oneTick);
    PublishedProgress published(rig, session.items[1].id);
    pressSend(rig, session.items);
    const double pressedAt = seconds(rig.scheduler().now());
    // Ten seconds in, the backup is in the middle of its records.
    rig.scheduler().postAfter(10s, [&] { rig->stopSending(); });
    ASSERT_TRUE(runUntilSent(rig));

    ASSERT_TRUE(published.finishedAt);
    EXPECT_DOUBLE_EQ(*published.finishedAt, pressedAt + 10);
    EXPECT_EQ(rig->statusText(), "Cancelled");
    EXPECT_EQ(liveItem(rig, session.items[0].id).state, TransferItem::State::Submitted{});
    EXPECT_EQ(liveItem(rig, session.items[1].id).state, TransferItem::State::Cancelled{});
    EXPECT_EQ(liveItem(rig, session.items[2].id).state, TransferItem::State::Ready{});
    EXPECT_LT(rig->overallProgress(), 1.0);

    const auto arrivals = bank->arrivals();
    ASSERT_GT(arrivals.size(), 3u);
    ASSERT_LT(arrivals.size(), session.messages.size());
    EXPECT_LT(seconds(arrivals.back().time), pressedAt + 10);
    rig.runFor(5min);
    EXPECT_EQ(bank->arrivals().size(), arrivals.size()) << "nothing is sent after the stop";
}

TEST(RawSysExSend, FailuresEndTheSessionWithTheirText) {
    const auto gone = MIDIEndpointSnapshot{{{SimulatedStudio::inputID, "Simulated In", std::nullopt, std::nullopt, true}}, {}};
    const struct {
        std::string name;
        std::function<void(AppModelRig&)> during;  // runs three seconds into the backup
        TransferItem::State backup;
        std::string status;
    } cases[] = {
        {"transport error", [](AppModelRig& rig) {
             rig.wire().failNext(MockMIDITransport::Operation::send, MIDITransportError::endpointUnavailable());
         },
         TransferItem::State::failed(MIDITransportError::endpointUnavailable().message()),
         MIDITransportError::endpointUnavailable().message()},
        {"output vanished", [&](AppModelRig& rig) { rig.wire().setEndpoints(gone); }, TransferItem::State::Cancelled{},
         AppModel::missingMIDISelectionStatus(false, true, true)},
        {"next item removed", [](AppModelRig& rig) {
             auto items = rig->items();
             items.pop_back();
             rig->setItems(items);
         },
         TransferItem::State::Submitted{}, "A selected item was removed before it could be sent."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(sendRigOptions());
        auto bank = machinedrumBank(rig);
        const auto session = threeFiles(**bank, 3125, oneTick);
        pressSend(rig, session.items);
        ASSERT_TRUE(rig->isSending()) << rig->alertMessage().value_or("");
        rig.scheduler().postAfter(3s, [&] { c.during(rig); });
        ASSERT_TRUE(runUntilSent(rig));
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(liveItem(rig, session.items[1].id).state, c.backup);
        if (rig->items().size() == 3) {
            EXPECT_EQ(liveItem(rig, session.items[2].id).state, TransferItem::State::Ready{});
        }
    }
}

TEST(RawSysExSend, ParseErrorFailsTheItem) {
    AppModelRig rig(sendRigOptions());
    auto item = test::sysExItem(1, "x.syx", {generic(10, 1)});
    item.data = {0xF0, 0x01, 0x02};  // changed after the analysis: unterminated
    pressSend(rig, {item});
    ASSERT_TRUE(runUntilSent(rig));
    const auto* failed = liveItem(rig, item.id).state.as<TransferItem::State::Failed>();
    ASSERT_NE(failed, nullptr);
    EXPECT_FALSE(failed->reason.empty());
    EXPECT_EQ(rig->statusText(), failed->reason);
    EXPECT_TRUE(rig.wire().sentMessages().empty());
}

TEST(RawSysExSend, DiagnosticsDescribeTheEstimateAndTheOutcome) {
    AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.delayTicks = 6; }));
    CapturedDiagnostics capture(rig);
    // Two messages of 100 and 50 bytes, then another item: two gaps of 0.1 s.
    pressSend(rig, {genericFile(1, {generic(100, 1), generic(50, 2)}), genericFile(2, {generic(10, 3)})});
    ASSERT_TRUE(runUntilSent(rig));

    // 0.032 s and 0.016 s on the wire, each followed by 0.1 s.
    const auto started = capture.events("raw.send.estimate.started");
    ASSERT_EQ(started.size(), 2u);
    const std::map<std::string, std::string> texts{
        {"messageCount", "2"},        {"totalWireBytes", "150"},         {"containerSeparatorBytes", "2"},
        {"turboMultiplier", "1"},     {"nominalBytesPerSecond", "3125"}, {"interMessageGapCount", "2"},
        {"deviceReceipt", "unverified"},
    };
    for (const auto& [field, value] : texts) EXPECT_EQ(started[0].fields.at(field), value) << field;
    const std::map<std::string, double> numbers{
        {"effectiveBytesPerSecond", 150 / 0.248}, {"estimatedWireSeconds", 0.048},
        {"estimatedDelaySeconds", 0.2},           {"estimatedDurationSeconds", 0.248},
        {"interMessageDelaySeconds", 0.1},
    };
    for (const auto& [field, value] : numbers) EXPECT_NEAR(std::stod(started[0].fields.at(field)), value, 1e-9) << field;
    EXPECT_EQ(started[1].fields.at("interMessageGapCount"), "0");

    const auto completed = capture.events("raw.send.completed");
    ASSERT_EQ(completed.size(), 2u);
    EXPECT_EQ(completed[0].fields.at("totalWireBytes"), "150");
    EXPECT_NEAR(std::stod(completed[0].fields.at("estimatedDurationSeconds")), 0.248, 1e-9);
    EXPECT_NEAR(std::stod(completed[0].fields.at("elapsedSeconds")), 0.248, 1e-6);
    EXPECT_NEAR(std::stod(completed[1].fields.at("elapsedSeconds")), 10 / 3125.0, 1e-6);
}

}  // namespace
}  // namespace k7::testing

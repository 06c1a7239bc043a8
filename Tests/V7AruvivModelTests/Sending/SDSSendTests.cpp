#include <gtest/gtest.h>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "SDSTestDumps.h"
#include "SendRigSupport.h"
#include "SendTestItems.h"
#include "Support/Model/CapturedDiagnostics.h"
#include "Support/Model/SimulatedSampler.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using Sampler = ListeningInstrument<SimulatedSampler>;

constexpr const char* openLoopDetail = " Submitted open-loop to ALSA; hardware receipt remains unverified.";
constexpr const char* settleStatus = "Allowing the device to store sample metadata\u2026";

std::shared_ptr<Sampler> sampler(AppModelRig& rig, bool handshake,
                                 std::vector<SimulatedSDSReceiverScript> scripts = {}) {
    SimulatedSampler::Options options;
    options.handshake = handshake;
    options.scripts = std::move(scripts);
    return listen(rig, std::make_shared<SimulatedSampler>(options));
}

std::vector<TransferItem> twoWavs() {
    return {test::wavItem(1, "Kick.wav", test::stereoSignal(1000, 1)),
            test::wavItem(2, "Snare.wav", test::stereoSignal(333, 2))};
}

TransferItem storedFile(unsigned id, const std::vector<uint16_t>& sampleNumbers) {
    std::vector<Bytes> messages;
    for (const uint16_t slot : sampleNumbers) {
        for (auto& message : test::storedDump(slot, 100 + 97u * slot)) messages.push_back(std::move(message));
    }
    return test::sysExItem(id, "stored.syx", messages);
}

TEST(SDSSend, TwoWavsLandInConsecutiveSlotsAsTheSourceMixedToMono) {
    const struct {
        std::string name;
        bool handshake, extended, sps1UW;
        std::vector<SimulatedSDSReceiverScript> scripts;
    } cases[] = {
        {"open loop, classic", false, false, false, {}},
        {"open loop, extended with SPS-1UW names", false, true, true, {}},
        {"handshake through a NAK, a lost ACK and a WAIT", true, false, false,
         {SimulatedSDSReceiverScript{1, 3, std::nullopt, 200ms, std::nullopt},
          SimulatedSDSReceiverScript{std::nullopt, std::nullopt, 2, 300ms, std::nullopt}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) {
            preferences.useHandshake = c.handshake;
            preferences.useExtendedSDS = c.extended;
            preferences.sendSPS1UWName = c.sps1UW;
        }));
        rig->setSamplePosition(5);
        auto device = sampler(rig, c.handshake, c.scripts);
        const auto items = twoWavs();
        PublishedProgress published(rig, items[0].id);
        // The slots are the frozen plan's: a position changed during the send does not move them.
        QObject::connect(rig.model.get(), &AppModel::statusTextChanged, [&] {
            if (rig->statusText() == settleStatus) rig->setSamplePosition(50);
        });
        pressSend(rig, items);
        ASSERT_TRUE(rig->isSending()) << rig->alertMessage().value_or("");
        ASSERT_TRUE(runUntilSent(rig));

        const auto dumps = (*device)->dumps();
        ASSERT_EQ(dumps.size(), 2u);
        EXPECT_TRUE((*device)->faults().empty()) << (*device)->faults().front();
        const std::string names[] = {"Kick", "Snare"};
        for (std::size_t i = 0; i < 2; ++i) {
            SCOPED_TRACE(names[i]);
            EXPECT_TRUE(dumps[i]->isComplete());
            EXPECT_EQ(dumps[i]->header()->sampleNumber(), 5 + i);
            EXPECT_EQ(dumps[i]->header()->significantBits(), 16);
            EXPECT_EQ(dumps[i]->samples(), test::monoMixWords(*items[i].audioSample));
            EXPECT_EQ(dumps[i]->sampleName().has_value(), c.extended);
            if (c.extended) {
                EXPECT_EQ(dumps[i]->sampleName()->asciiName(), names[i]);
            }
            EXPECT_EQ(dumps[i]->sps1UWName().has_value(), c.sps1UW);
            if (c.sps1UW) {
                EXPECT_EQ(dumps[i]->sps1UWName()->fileName.text(), names[i].substr(0, 4));
            }
            const auto& live = liveItem(rig, items[i].id);
            EXPECT_EQ(live.state, TransferItem::State::Submitted{});
            EXPECT_EQ(live.detail, c.handshake ? " Handshake ACK-completed." : openLoopDetail);
        }
        if (c.handshake) {
            EXPECT_GE(dumps[0]->repeatsSeen(), 1u) << "the packet whose ACK was lost is sent again";
            EXPECT_EQ(rig->statusText(), "ACK-completed 2 SDS transfers");
        } else {
            EXPECT_EQ(rig->statusText(), "Submitted 2 transfers to MIDI transport; hardware receipt is unverified");
            // What a device takes in an open-loop send is what an SDS file of the items holds.
            SendOptions options;
            options.useExtendedSDS = c.extended;
            options.sendSPS1UWName = c.sps1UW;
            Bytes files;
            for (std::size_t i = 0; i < 2; ++i) {
                const auto prepared = AppModel::prepareSDSTransfer(items[i], static_cast<uint16_t>(5 + i), options);
                const Bytes file = AppModel::encodeSDSFile(prepared);
                files.insert(files.end(), file.begin(), file.end());
            }
            EXPECT_EQ(SysExFileCodec::join(device->messages()), files);
        }
        EXPECT_EQ(rig->samplePosition(), 7);
        EXPECT_EQ(std::count(published.overall.begin(), published.overall.end(), 1.0), 1);
        EXPECT_TRUE(std::is_sorted(published.overall.begin(), published.overall.end()));
        EXPECT_EQ(published.itemProgress.back(), 1.0);
    }
}

TEST(SDSSend, StoredFileIsSentDumpByDumpAsStored) {
    for (const bool handshake : {false, true}) {
        SCOPED_TRACE(handshake ? "handshake" : "open loop");
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) { preferences.useHandshake = handshake; }));
        rig->setSamplePosition(40);
        auto device = sampler(rig, handshake);
        // Each dump ends with an end-of-file message, which the progress plan counts.
        const auto item = storedFile(1, {10, 11, 12});
        ASSERT_EQ(item.sendMethod, TransferSendMethod::sdsFile(3));
        std::vector<std::string> statuses;
        QObject::connect(rig.model.get(), &AppModel::statusTextChanged,
                         [&] { statuses.push_back(rig->statusText()); });
        pressSend(rig, {item});
        ASSERT_TRUE(runUntilSent(rig));

        EXPECT_EQ(SysExFileCodec::join(device->messages()), item.data);
        const auto dumps = (*device)->dumps();
        ASSERT_EQ(dumps.size(), 3u);
        for (const auto& dump : dumps) {
            EXPECT_TRUE(dump->isComplete());
            EXPECT_TRUE(dump->endOfFileReceived());
        }
        const auto& live = liveItem(rig, item.id);
        EXPECT_EQ(live.state, TransferItem::State::Submitted{});
        EXPECT_EQ(live.detail, std::string(handshake ? " Handshake ACK-completed." : openLoopDetail) +
                                   " 3 SDS dumps were completed.");
        EXPECT_EQ(rig->samplePosition(), 40) << "stored dumps keep their own slots";
        // Later dumps of the item do not bring back the item's status line.
        const std::vector<std::string> expected{"Sending", "Sending stored.syx (1 of 1)", settleStatus, settleStatus,
                                                handshake ? "ACK-completed 1 SDS transfer"
                                                          : "Submitted 1 transfer to MIDI transport; hardware "
                                                            "receipt is unverified"};
        EXPECT_EQ(statuses, expected);
    }
}

TEST(SDSSend, AnAudioItemThenRawItemsEndWithBothCounts) {
    AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.useHandshake = true; }));
    auto device = sampler(rig, true);
    CapturedDiagnostics capture(rig);
    const Bytes raw{0xF0, 0x7D, 0x01, 0xF7};
    pressSend(rig, {twoWavs()[0], test::sysExItem(2, "a.syx", {raw}), test::sysExItem(3, "b.syx", {raw})});
    ASSERT_TRUE(runUntilSent(rig));
    EXPECT_EQ(rig->statusText(), "Completed: 1 ACK-completed, 2 transport-submitted; raw device receipt is unverified");
    EXPECT_TRUE(capture.events("sds.send.deviceSettle.started").empty()) << "no settle before a raw item";
}

// A failure ends the item that met it and the session; what follows stays as it was.
TEST(SDSSend, FailuresAndStopsEndTheRightItem) {
    const MIDIEndpointSnapshot outputGone{{{SimulatedStudio::inputID, "Simulated In", std::nullopt, std::nullopt, true}},
                                          {}};
    const struct {
        std::string name;
        bool handshake;
        bool storedFirst;  // a stored file of three dumps in place of the first WAV
        std::optional<std::size_t> cancelAtPacket;
        // When the session has shown this status for the first time, `act` runs after `delay`.
        std::string when;
        std::chrono::milliseconds delay;
        std::function<void(AppModelRig&)> act;
        std::optional<TransferItem::State> first;  // nothing: failed with a text starting with `failure`
        std::string failure, status;
        std::size_t dumpsBegun;
    } cases[] = {
        {"device CANCEL", true, false, 2, "", 0ms, nullptr, std::nullopt, "The device cancelled the SDS transfer.",
         "", 1},
        {"stop during a dump", false, false, std::nullopt, "Sending Kick.wav (1 of 2)", 200ms,
         [](AppModelRig& rig) { rig->stopSending(); }, TransferItem::State::Cancelled{}, "", "Cancelled", 1},
        {"stop while settling between items", false, false, std::nullopt, settleStatus, 50ms,
         [](AppModelRig& rig) { rig->stopSending(); }, TransferItem::State::Submitted{}, "", "Cancelled", 1},
        {"stop while settling between dumps", false, true, std::nullopt, settleStatus, 50ms,
         [](AppModelRig& rig) { rig->stopSending(); }, TransferItem::State::Cancelled{}, "", "Cancelled", 1},
        {"output vanished during a dump", true, false, std::nullopt, "Sending Kick.wav (1 of 2)", 10ms,
         [&](AppModelRig& rig) { rig.wire().setEndpoints(outputGone); }, TransferItem::State::Cancelled{}, "",
         AppModel::missingMIDISelectionStatus(false, true, true), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) { preferences.useHandshake = c.handshake; }));
        std::vector<SimulatedSDSReceiverScript> scripts(1);
        scripts[0].cancelAtPacket = c.cancelAtPacket;
        auto device = sampler(rig, c.handshake, scripts);
        auto items = twoWavs();
        if (c.storedFirst) items[0] = storedFile(1, {3, 4, 5});
        PublishedProgress published(rig, items[0].id);
        std::optional<double> actedAt;
        QObject::connect(rig.model.get(), &AppModel::statusTextChanged, [&] {
            if (!c.act || actedAt || rig->statusText() != c.when) return;
            actedAt = seconds(rig.scheduler().now()) + std::chrono::duration<double>(c.delay).count();
            rig.scheduler().postAfter(c.delay, [&] { c.act(rig); });
        });
        pressSend(rig, items);
        ASSERT_TRUE(runUntilSent(rig));

        const auto& first = liveItem(rig, items[0].id);
        if (c.first) {
            EXPECT_EQ(first.state, *c.first) << first.state.describe();
            EXPECT_EQ(rig->statusText(), c.status);
        } else {
            const auto* failed = first.state.as<TransferItem::State::Failed>();
            ASSERT_NE(failed, nullptr);
            EXPECT_EQ(failed->reason.rfind(c.failure, 0), 0u) << failed->reason;
            EXPECT_EQ(rig->statusText(), failed->reason);
        }
        if (actedAt) {
            ASSERT_TRUE(published.finishedAt);
            EXPECT_NEAR(*published.finishedAt, *actedAt, 1e-6) << "a stop ends the session at once";
        }
        EXPECT_EQ(liveItem(rig, items[1].id).state, TransferItem::State::Ready{});
        EXPECT_EQ((*device)->dumps().size(), c.dumpsBegun);
        EXPECT_FALSE(rig->isSending());
        EXPECT_LT(rig->overallProgress(), 1.0);
    }
}

// A Stop that arrives while the dump is being prepared ends the item before anything is sent.
TEST(SDSSend, StopDuringPreparationSendsNothing) {
    AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.useHandshake = false; }));
    auto device = sampler(rig, false);
    const auto items = twoWavs();
    pressSend(rig, items);
    rig.scheduler().post([&] { rig->stopSending(); });  // after the preparation, before its result
    ASSERT_TRUE(runUntilSent(rig));
    EXPECT_EQ(rig->statusText(), "Cancelled");
    EXPECT_EQ(liveItem(rig, items[0].id).state, TransferItem::State::Cancelled{});
    rig.runFor(10s);
    EXPECT_TRUE(device->arrivals().empty());
}

TEST(SDSSend, ChangedStoredFilesFailBeforeAnythingIsSent) {
    const struct {
        std::string name;
        std::function<void(TransferItem&)> change;
        std::string text;
    } cases[] = {
        {"no longer SDS", [](TransferItem& item) { item.data = {0xF0, 0x7D, 0x00, 0xF7}; },
         "The selected file no longer contains the recognised SDS transfer shown in the preflight plan. Re-import it "
         "and retry."},
        {"another size than planned",
         [](TransferItem& item) {
             auto dumps = item.wireWorkload.as<TransferWireWorkload::SDSFile>()->dumps;
             dumps[1].wireBytes += 1;
             item.wireWorkload = TransferWireWorkload::sdsFile(dumps);
         },
         "The transfer workload no longer matches the frozen preflight plan. Select the files again and retry."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.useHandshake = false; }));
        auto device = sampler(rig, false);
        auto item = storedFile(1, {0, 1});
        c.change(item);
        pressSend(rig, {item});
        ASSERT_TRUE(runUntilSent(rig));
        EXPECT_EQ(liveItem(rig, item.id).state, TransferItem::State::failed(c.text));
        EXPECT_EQ(rig->statusText(), c.text);
        EXPECT_FALSE(rig->alertMessage());
    }
}

// A sampler may take up to two seconds to answer a dump header, and is waited for; a header
// nobody answers is sent three times, two seconds apart, and fails the item.
TEST(SDSSend, AHeaderAnswerUpToTwoSecondsLateIsWaitedFor) {
    const std::string unanswered =
        "The device did not accept SDS packet 0 after repeated attempts (timeout). Check the MIDI cables in both "
        "directions, then send the sample again.";
    const struct {
        std::optional<std::chrono::milliseconds> answerAfter;  // nothing: never answered
        std::size_t headers;
    } cases[] = {{300ms, 1}, {1200ms, 1}, {1900ms, 1}, {std::nullopt, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answerAfter ? std::to_string(c.answerAfter->count()) + " ms" : "never");
        AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.useHandshake = true; }));
        SimulatedSampler::Options options;
        options.headerReplyDelay = c.answerAfter;
        options.answersHeader = c.answerAfter.has_value();
        auto device = listen(rig, std::make_shared<SimulatedSampler>(options));
        const auto item = twoWavs()[0];
        PublishedProgress published(rig, item.id);
        pressSend(rig, {item});
        ASSERT_TRUE(runUntilSent(rig));

        std::vector<double> headers;
        for (const auto& arrival : device->arrivals()) {
            if (sds_wire::isHeader(arrival.message)) headers.push_back(seconds(arrival.time));
        }
        ASSERT_EQ(headers.size(), c.headers);
        const auto& live = liveItem(rig, item.id);
        const auto dumps = (*device)->dumps();
        ASSERT_EQ(dumps.size(), 1u);
        if (c.answerAfter) {
            EXPECT_EQ(live.state, TransferItem::State::Submitted{}) << live.state.describe();
            EXPECT_EQ(live.detail, " Handshake ACK-completed.");
            EXPECT_TRUE(dumps[0]->isComplete());
            EXPECT_TRUE((*device)->faults().empty()) << (*device)->faults().front();
        } else {
            EXPECT_EQ(live.state, TransferItem::State::failed(unanswered)) << live.state.describe();
            EXPECT_EQ(rig->statusText(), unanswered);
            for (std::size_t i = 1; i < headers.size(); ++i) EXPECT_NEAR(headers[i], headers[0] + 2.0 * i, 1e-6);
            ASSERT_TRUE(published.finishedAt);
            EXPECT_NEAR(*published.finishedAt, headers[0] + 6, 1e-6);
            EXPECT_TRUE(dumps[0]->cancelReceived());
            EXPECT_EQ(dumps[0]->packetsTaken(), 0u);
        }
    }
}

TEST(SDSSend, DiagnosticsOfADump) {
    for (const bool handshake : {true, false}) {
        SCOPED_TRACE(handshake ? "handshake" : "open loop");
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) {
            preferences.useHandshake = handshake;
            preferences.deviceNumber = 0;
        }));
        rig->setSamplePosition(5);
        auto device = sampler(rig, handshake);
        CapturedDiagnostics capture(rig);
        pressSend(rig, {twoWavs()[0]});
        ASSERT_TRUE(runUntilSent(rig));

        const auto started = capture.events("sds.send.started");
        ASSERT_EQ(started.size(), 1u);
        const std::map<std::string, std::string> expected{
            {"deviceID", "0"},          {"sampleNumber", "5"}, {"sampleWords", "1000"},
            {"mode", handshake ? "handshake" : "openLoop"},    {"maximumRetries", "2"},
            {"acknowledgementTimeout", handshake ? "Optional(0.5 seconds)" : "nil"},
            {"waitTimeout", handshake ? "Optional(5.0 seconds)" : "nil"},
            {"emitEndOfFile", "false"}, {"transferIndex", "1"}, {"transferCount", "1"},
        };
        EXPECT_EQ(started[0].fields, expected);
        const auto completed = capture.events("sds.send.completed");
        ASSERT_EQ(completed.size(), 1u);
        EXPECT_EQ(completed[0].fields.at("classification"),
                  handshake ? "handshakeAcknowledged(nextSamplePosition: 6)"
                            : "openLoopTransportSubmitted(nextSamplePosition: 6)");
        const auto progress = capture.events("sds.send.progress");
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back().fields.at("sentSampleWords"), "1000");
        EXPECT_EQ(progress.back().fields.at("totalSampleWords"), "1000");
        EXPECT_EQ(progress.back().fields.at("completedWireBytes"), progress.back().fields.at("totalWireBytes"));
        EXPECT_FALSE(capture.events("sds.sender.started").empty()) << "the driver's own events are kept";
    }
}

TEST(SDSSend, DeviceSettleFollowsTheTurboSpeed) {
    const struct {
        std::optional<TurboSpeed> speed;
        double seconds;
        std::string milliseconds, multiplier;
    } cases[] = {
        {std::nullopt, 0.12, "120.0", "1"},
        {TurboSpeed::x2, 0.02, "20.0", "2"},
        {TurboSpeed::x3Point3, 0.04 / 3.3, "12.0", "3.3"},
        {TurboSpeed::x4, 0.01, "10.0", "4"},
        {TurboSpeed::x20, 0.008, "8.0", "20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.milliseconds);
        AppModelRig rig(sendRigOptions([](AppPreferences& preferences) { preferences.useHandshake = false; }));
        if (c.speed) negotiateTurbo(rig, *c.speed);
        auto device = sampler(rig, false);
        CapturedDiagnostics capture(rig);
        pressSend(rig, twoWavs());
        ASSERT_TRUE(runUntilSent(rig));

        const auto started = capture.events("sds.send.deviceSettle.started");
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].fields, (std::map<std::string, std::string>{
                                         {"context", "betweenItems"},
                                         {"durationMilliseconds", c.milliseconds},
                                         {"turboMultiplier", c.multiplier}}));
        ASSERT_EQ(capture.events("sds.send.deviceSettle.completed").size(), 1u);
        // Open loop ends a dump with its last packet: the pause before the next header is the settle.
        const auto dumps = (*device)->dumps();
        ASSERT_EQ(dumps.size(), 2u);
        const auto arrivals = device->arrivals();
        const auto nextHeader = std::find_if(arrivals.begin() + 1, arrivals.end(),
                                             [](const auto& arrival) { return arrival.message[3] == 0x01; });
        ASSERT_NE(nextHeader, arrivals.end());
        EXPECT_NEAR(seconds(nextHeader->time) - seconds(std::prev(nextHeader)->time), c.seconds, 1e-6);
    }
}

}  // namespace
}  // namespace k7::testing

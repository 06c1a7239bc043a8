#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "K7Core/SDSSampleNameMessage.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "K7MIDI/SDSSenderDriver.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedSDSReceiver.h"
#include "Support/SimulatedStudio.h"

namespace k7::testing {
namespace {

SDSSenderStateMachine twoSecondDump(bool handshake) {
    const SDSDumpHeader header(0, slot, 16, 44100.0, twoSecondWords, 0, 0, 0x7F);
    const SPS1UWFileNameMessage uwName(0, slot, SPS1UWFileName::normalizing("Kick.wav"));
    return SDSSenderStateMachine(header, twoSecondSignal(), SDSSampleNameMessage(0, slot, "Kick"), {uwName.encode()},
                                 senderConfiguration(handshake));
}

SDSSenderStateMachine shortDump(bool handshake, std::size_t words = 400) {
    const SDSDumpHeader header(0, slot, 16, 44100.0, static_cast<uint32_t>(words), 0, 0, 0x7F);
    return SDSSenderStateMachine(header, sds_wire::testSignal(words), std::nullopt, {}, senderConfiguration(handshake));
}

SimulatedSDSReceiver::Options sampler(bool handshake, SimulatedSDSReceiverScript script = {}) {
    SimulatedSDSReceiver::Options options;
    options.handshake = handshake;
    options.script = script;
    return options;
}

template <typename Edit>
SimulatedSDSReceiverScript script(Edit edit) {
    SimulatedSDSReceiverScript s;
    edit(s);
    return s;
}

// The driver on the studio's virtual time, answering a simulated sampler.
struct DriverRig {
    explicit DriverRig(std::optional<SimulatedSDSReceiver::Options> deviceOptions) {
        if (deviceOptions) {
            device = std::make_shared<SimulatedSDSReceiver>(*deviceOptions);
            studio.attach(device);
        }
        driver = std::make_unique<SDSSenderDriver>(studio.transport, studio.scheduler, false, studio.scheduler,
                                                   studio.scheduler);
        studio.onReceive([this](const Bytes& message) {
            if (driver) driver->receive(message);
        });
        driver->onProgress = [this](const SDSSenderDriverProgress& p) { progress.push_back(p); };
        driver->onCompletion = [this](const SDSSenderDriverResult& r) {
            results.push_back(r);
            finishedAt = studio.scheduler->now();
        };
        driver->onDiagnosticEvent = [this](const std::string& name, const SDSDiagnosticFields&) {
            events.push_back(name);
        };
    }

    bool run(std::chrono::nanoseconds limit = 10min) {
        return studio.runUntil([this] { return !results.empty(); }, limit);
    }
    double elapsed() const { return seconds(finishedAt - ManualScheduler::TimePoint{}); }
    const SDSSenderDriverError* error() const {
        return results.empty() ? nullptr : std::get_if<SDSSenderDriverError>(&results.front());
    }
    const SDSSenderDriverCompletion* completion() const {
        return results.empty() ? nullptr : std::get_if<SDSSenderDriverCompletion>(&results.front());
    }

    SimulatedStudio studio;
    std::shared_ptr<SimulatedSDSReceiver> device;
    std::unique_ptr<SDSSenderDriver> driver;
    std::vector<SDSSenderDriverProgress> progress;
    std::vector<SDSSenderDriverResult> results;
    std::vector<std::string> events;
    ManualScheduler::TimePoint finishedAt{};
};

struct SamplerCase {
    std::string name;
    bool handshake;
    SimulatedSDSReceiverScript script;
    std::optional<SDSTransferFailure> failure;  // nil: completes with every word delivered
    double minimumSeconds;
    std::size_t repeats = 0;
};

void PrintTo(const SamplerCase& c, std::ostream* os) { *os << c.name; }

class SenderAgainstSampler : public ::testing::TestWithParam<SamplerCase> {};

TEST_P(SenderAgainstSampler, EndsAsTheSamplerScriptDictates) {
    const auto& c = GetParam();
    DriverRig rig(sampler(c.handshake, c.script));
    rig.driver->start(twoSecondDump(c.handshake));
    ASSERT_TRUE(rig.run());
    rig.studio.runFor(10s);  // nothing may follow the completion

    ASSERT_EQ(rig.results.size(), 1u);
    EXPECT_TRUE(rig.device->faults().empty()) << rig.device->faults().front();
    EXPECT_GE(rig.elapsed(), c.minimumSeconds);
    if (c.failure) {
        ASSERT_NE(rig.error(), nullptr);
        EXPECT_EQ(*rig.error(), SDSSenderDriverError::transfer(*c.failure)) << rig.error()->describe();
        return;
    }
    ASSERT_NE(rig.completion(), nullptr) << rig.error()->describe();
    const auto expected = c.handshake ? SDSSenderDriverCompletion::handshakeAcknowledged(slot + 1)
                                      : SDSSenderDriverCompletion::openLoopTransportSubmitted(slot + 1);
    EXPECT_EQ(*rig.completion(), expected);
    EXPECT_EQ(rig.device->samples(), twoSecondSignal());
    EXPECT_EQ(rig.device->repeatsSeen(), c.repeats);
    ASSERT_TRUE(rig.device->sampleName().has_value());
    EXPECT_EQ(rig.device->sampleName()->asciiName(), "Kick");
    ASSERT_TRUE(rig.device->sps1UWName().has_value());
    EXPECT_EQ(rig.device->sps1UWName()->fileName.text(), "Kick");
    ASSERT_FALSE(rig.progress.empty());
    EXPECT_EQ(rig.progress.back().sentSampleWords, static_cast<int64_t>(twoSecondWords));
    EXPECT_EQ(rig.progress.back().completedWireBytes, rig.progress.back().totalWireBytes);
}

// A clean handshake run takes one 1 ms answer per packet: 2205 packets and the header.
constexpr double cleanHandshakeSeconds = 2.206;

INSTANTIATE_TEST_SUITE_P(
    TwoSecondSixteenBitSample, SenderAgainstSampler,
    ::testing::Values(
        SamplerCase{"handshake", true, {}, std::nullopt, cleanHandshakeSeconds},
        // Open loop paces 2208 messages 1 ms apart and waits for nothing.
        SamplerCase{"openLoop", false, {}, std::nullopt, 2.207},
        SamplerCase{"nakOnce", true, script([](auto& s) { s.nakPacketOnce = 7; }), std::nullopt, cleanHandshakeSeconds + 0.001},
        SamplerCase{"lostAck", true, script([](auto& s) { s.dropAckOfPacket = 3; }), std::nullopt, cleanHandshakeSeconds + 0.5, 1},
        SamplerCase{"waitThenAck", true, script([](auto& s) {
                        s.waitAtPacket = 10;
                        s.waitFor = 300ms;
                    }), std::nullopt,
                    cleanHandshakeSeconds + 0.3},
        SamplerCase{"cancelMidDump", true, script([](auto& s) { s.cancelAtPacket = 20; }), sds_failure::RemoteCancelled{}, 0.021}),
    [](const auto& info) { return info.param.name; });

TEST(SDSSenderDriver, SilentDeviceExhaustsTheRetriesInVirtualTime) {
    DriverRig rig(std::nullopt);
    rig.driver->start(shortDump(true));
    ASSERT_TRUE(rig.run());
    ASSERT_NE(rig.error(), nullptr);
    EXPECT_EQ(*rig.error(), SDSSenderDriverError::transfer(sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}));
    // The header group goes out three times, 0.5 s apart, then the sender gives up.
    EXPECT_DOUBLE_EQ(rig.elapsed(), 1.5);
    EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
}

TEST(SDSSenderDriver, CancelIsIdempotentAndTellsTheDevice) {
    DriverRig rig(SimulatedSDSReceiver::Options{});
    rig.driver->start(shortDump(true));
    rig.studio.runFor(3500us);  // a few packets in
    rig.driver->cancel();
    rig.driver->cancel();
    rig.studio.runFor(10s);
    rig.driver->cancel();
    rig.studio.runFor(10s);

    ASSERT_EQ(rig.results.size(), 1u);
    ASSERT_NE(rig.error(), nullptr);
    EXPECT_EQ(*rig.error(), SDSSenderDriverError::transfer(sds_failure::LocalCancelled{}));
    EXPECT_TRUE(rig.error()->isLocalCancellation());
    EXPECT_TRUE(rig.device->cancelReceived());
    EXPECT_FALSE(rig.device->isComplete());
}

TEST(SDSSenderDriver, TransportFailuresEndTheTransfer) {
    struct Case {
        const char* name;
        MIDITransportError error;
        bool cancelFirst;
        SDSSenderDriverError expected;
    };
    const std::vector<Case> cases{
        {"cancelledSend", MIDITransportError::cancelled(), false,
         SDSSenderDriverError::transport(MIDITransportError::cancelled())},
        {"noOutput", MIDITransportError::noOutputSelected(), false,
         SDSSenderDriverError::transport(MIDITransportError::noOutputSelected())},
        // The user's stop made the send fail: the stop is what ended it.
        {"cancelledSendAfterStop", MIDITransportError::cancelled(), true,
         SDSSenderDriverError::transfer(sds_failure::LocalCancelled{})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DriverRig rig(SimulatedSDSReceiver::Options{});
        rig.driver->start(shortDump(true));
        rig.studio.runFor(2500us);
        if (c.cancelFirst) rig.driver->cancel();
        rig.studio.transport->failAlways(MockMIDITransport::Operation::send, c.error);
        const auto sentBefore = rig.studio.sent().size();
        rig.studio.runFor(10s);
        ASSERT_EQ(rig.results.size(), 1u);
        ASSERT_NE(rig.error(), nullptr);
        EXPECT_EQ(*rig.error(), c.expected) << rig.error()->describe();
        EXPECT_EQ(rig.studio.sent().size(), sentBefore);
        EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
    }
}

TEST(SDSSenderDriver, OneTransferAtATime) {
    DriverRig rig(SimulatedSDSReceiver::Options{});
    rig.driver->start(shortDump(true));
    EXPECT_THROW(
        {
            try {
                rig.driver->start(shortDump(true));
            } catch (const SDSSenderDriverError& error) {
                EXPECT_EQ(error, SDSSenderDriverError::alreadyActive());
                throw;
            }
        },
        SDSSenderDriverError);
    ASSERT_TRUE(rig.run());
    ASSERT_NE(rig.completion(), nullptr);

    // Free again once the completion is out.
    rig.results.clear();
    rig.driver->start(shortDump(false));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(*rig.completion(), SDSSenderDriverCompletion::openLoopTransportSubmitted(slot + 1));
}

TEST(SDSSenderDriver, AMachineStartedBeforeIsRefusedRatherThanLeftHanging) {
    DriverRig rig(SimulatedSDSReceiver::Options{});
    auto machine = shortDump(true);
    machine.handle(sds_sender_event::Start{});
    rig.driver->start(machine);
    ASSERT_TRUE(rig.run(1min));
    ASSERT_NE(rig.error(), nullptr);
    EXPECT_TRUE(rig.error()->is<SDSSenderDriverError::InvalidStateMachineOutput>());
    EXPECT_FALSE(rig.driver->isActive());
}

TEST(SDSSenderDriver, ReleasingMidTransferStopsEverythingSilently) {
    for (bool handshake : {true, false}) {
        SCOPED_TRACE(handshake ? "handshake" : "openLoop");
        DriverRig rig(sampler(handshake));
        rig.driver->start(shortDump(handshake));
        rig.studio.runFor(4500us);
        const auto sent = rig.studio.sent().size();
        ASSERT_GT(sent, 0u);
        rig.driver.reset();
        rig.studio.runFor(1min);
        EXPECT_EQ(rig.studio.sent().size(), sent);
        EXPECT_TRUE(rig.results.empty());
        EXPECT_TRUE(rig.progress.size() <= sent);
        EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
    }
}

TEST(SDSSenderDriver, AutomaticRoutingTakesRepliesStraightFromTheTransport) {
    SimulatedStudio studio;
    studio.attach(std::make_shared<SimulatedSDSReceiver>(SimulatedSDSReceiver::Options{}));
    std::vector<SDSSenderDriverResult> results;
    {
        SDSSenderDriver driver(studio.transport, studio.scheduler, true, studio.scheduler, studio.scheduler);
        driver.onCompletion = [&](const SDSSenderDriverResult& r) { results.push_back(r); };
        driver.start(shortDump(true));
        ASSERT_TRUE(studio.runUntil([&] { return !results.empty(); }));
        ASSERT_TRUE(std::holds_alternative<SDSSenderDriverCompletion>(results.front()));
    }
    // The slot is given back when the driver goes.
    EXPECT_FALSE(static_cast<bool>(studio.transport->onReceiveBytes));
}

TEST(SDSSenderDriver, ReportsItsCourseAsDiagnostics) {
    DriverRig rig(SimulatedSDSReceiver::Options{});
    rig.driver->start(shortDump(true, 40));
    rig.driver->receive(Bytes{0xF0, 0x43, 0x10, 0xF7});
    ASSERT_TRUE(rig.run());
    const auto has = [&](const char* name) {
        return std::find(rig.events.begin(), rig.events.end(), name) != rig.events.end();
    };
    for (const char* name : {"sds.sender.started", "sds.sender.controlReceived", "sds.sender.messageIgnored",
                             "sds.sender.completed"}) {
        EXPECT_TRUE(has(name)) << name;
    }
    EXPECT_EQ(rig.completion()->describe(), "handshakeAcknowledged(nextSamplePosition: 6)");
}

TEST(SDSSenderDriverError, ClassifiesLocalCancellation) {
    EXPECT_TRUE(SDSSenderDriverError::transfer(sds_failure::LocalCancelled{}).isLocalCancellation());
    EXPECT_TRUE(SDSSenderDriverError::transport(MIDITransportError::cancelled()).isLocalCancellation());
    EXPECT_FALSE(SDSSenderDriverError::transfer(sds_failure::RemoteCancelled{}).isLocalCancellation());
    EXPECT_FALSE(SDSSenderDriverError::transport(MIDITransportError::noOutputSelected()).isLocalCancellation());
    EXPECT_FALSE(SDSSenderDriverError::alreadyActive().isLocalCancellation());
}

}  // namespace
}  // namespace k7::testing

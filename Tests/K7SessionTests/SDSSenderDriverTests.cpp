#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedSDSReceiver.h"
#include "Support/SimulatedStudio.h"

namespace k7::testing {
namespace {

using Script = SimulatedSDSReceiverScript;

// A named dump: two seconds of 16-bit audio unless told otherwise.
SDSSenderStateMachine dump(bool handshake, const std::vector<int32_t>& words = twoSecondSignal()) {
    const SDSDumpHeader header(0, slot, 16, 44100.0, static_cast<uint32_t>(words.size()), 0, 0, 0x7F);
    const SPS1UWFileNameMessage uwName(0, slot, SPS1UWFileName::normalizing("Kick.wav"));
    return SDSSenderStateMachine(header, words, SDSSampleNameMessage(0, slot, "Kick"), {uwName.encode()},
                                 senderConfiguration(handshake));
}

SDSSenderStateMachine shortDump(bool handshake = true) { return dump(handshake, sds_wire::testSignal(400)); }

// The driver on the studio's virtual time, answering a simulated sampler.
struct DriverRig {
    explicit DriverRig(bool handshake = true, Script script = {})
        : device(std::make_shared<SimulatedSDSReceiver>(
              SimulatedSDSReceiver::Options{.handshake = handshake, .script = script})),
          driver(std::make_unique<SDSSenderDriver>(studio.transport, studio.scheduler, false, studio.scheduler,
                                                   studio.scheduler)) {
        studio.attach(device);
        studio.onReceive([this](const Bytes& message) {
            if (driver) driver->receive(message);
        });
        driver->onProgress = [this](const SDSSenderDriverProgress& p) { progress.push_back(p); };
        driver->onCompletion = [this](const SDSSenderDriverResult& r) { results.push_back(r); };
    }

    bool run() { return studio.runUntil([this] { return !results.empty(); }, 10min); }
    template <typename T>
    const T* first() const { return results.empty() ? nullptr : std::get_if<T>(&results[0]); }
    const SDSSenderDriverError* error() const { return first<SDSSenderDriverError>(); }

    SimulatedStudio studio;
    std::shared_ptr<SimulatedSDSReceiver> device;
    std::unique_ptr<SDSSenderDriver> driver;
    std::vector<SDSSenderDriverProgress> progress;
    std::vector<SDSSenderDriverResult> results;
};

struct SamplerCase {
    std::string name;
    bool handshake;
    Script script;
    std::optional<SDSTransferFailure> failure;  // none: completes with every word delivered
    double minimumSeconds;
    std::size_t repeats = 0;
};

void PrintTo(const SamplerCase& c, std::ostream* os) { *os << c.name; }

class SenderAgainstSampler : public ::testing::TestWithParam<SamplerCase> {};

TEST_P(SenderAgainstSampler, EndsAsTheSamplerScriptDictates) {
    const auto& c = GetParam();
    DriverRig rig(c.handshake, c.script);
    rig.driver->start(dump(c.handshake));
    ASSERT_TRUE(rig.run());
    EXPECT_GE(std::chrono::duration<double>(rig.studio.scheduler->now().time_since_epoch()).count(), c.minimumSeconds);
    rig.studio.runFor(10s);  // nothing may follow the completion

    ASSERT_EQ(rig.results.size(), 1u);
    EXPECT_TRUE(rig.device->faults().empty()) << rig.device->faults().front();
    if (c.failure) {
        ASSERT_NE(rig.error(), nullptr);
        EXPECT_EQ(*rig.error(), SDSSenderDriverError::transfer(*c.failure)) << rig.error()->describe();
        EXPECT_FALSE(rig.error()->isLocalCancellation());
        return;
    }
    ASSERT_NE(rig.first<SDSSenderDriverCompletion>(), nullptr) << rig.error()->describe();
    EXPECT_EQ(*rig.first<SDSSenderDriverCompletion>(),
              c.handshake ? SDSSenderDriverCompletion::handshakeAcknowledged(slot + 1)
                          : SDSSenderDriverCompletion::openLoopTransportSubmitted(slot + 1));
    EXPECT_EQ(rig.device->samples(), twoSecondSignal());
    EXPECT_EQ(rig.device->repeatsSeen(), c.repeats);
    ASSERT_TRUE(rig.device->sampleName() && rig.device->sps1UWName());
    EXPECT_EQ(rig.device->sampleName()->asciiName(), "Kick");
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
        SamplerCase{"nakOnce", true, scripted<Script>([](auto& s) { s.nakPacketOnce = 7; }), std::nullopt,
                    cleanHandshakeSeconds + 0.001},
        SamplerCase{"lostAck", true, scripted<Script>([](auto& s) { s.dropAckOfPacket = 3; }), std::nullopt,
                    cleanHandshakeSeconds + 0.5, 1},
        SamplerCase{"waitThenAck", true, scripted<Script>([](auto& s) { s.waitAtPacket = 10, s.waitFor = 300ms; }),
                    std::nullopt, cleanHandshakeSeconds + 0.3},
        SamplerCase{"cancelMidDump", true, scripted<Script>([](auto& s) { s.cancelAtPacket = 20; }),
                    sds_failure::RemoteCancelled{}, 0.021}),
    [](const auto& info) { return info.param.name; });

TEST(SDSSenderDriver, AStopOrACancelledSendEndsTheTransferOnce) {
    struct Case {
        const char* name;
        bool stop, sendsFail;
        SDSSenderDriverError expected;
    };
    const auto stopped = SDSSenderDriverError::transfer(sds_failure::LocalCancelled{});
    // A send the transport cancelled unasked is its failure; after the user's stop, the stop ended it.
    for (const auto& c : std::vector<Case>{
             {"stop", true, false, stopped},
             {"cancelledSend", false, true, SDSSenderDriverError::transport(MIDITransportError::cancelled())},
             {"cancelledSendAfterStop", true, true, stopped}}) {
        SCOPED_TRACE(c.name);
        DriverRig rig;
        rig.driver->start(shortDump());
        rig.studio.runFor(3500us);  // a few packets in
        for (int i = 0; c.stop && i < 2; ++i) rig.driver->cancel();
        if (c.sendsFail) {
            rig.studio.transport->failAlways(MockMIDITransport::Operation::send, MIDITransportError::cancelled());
        }
        const auto sentBefore = rig.studio.sent().size();
        rig.studio.runFor(10s);
        rig.driver->cancel();  // after the end: nothing more happens
        rig.studio.runFor(10s);
        ASSERT_EQ(rig.results.size(), 1u);
        ASSERT_NE(rig.error(), nullptr);
        EXPECT_EQ(*rig.error(), c.expected) << rig.error()->describe();
        EXPECT_TRUE(rig.error()->isLocalCancellation());
        EXPECT_FALSE(rig.device->isComplete());
        EXPECT_EQ(rig.device->cancelReceived(), !c.sendsFail);
        EXPECT_EQ(rig.studio.sent().size() == sentBefore, c.sendsFail);
        EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
    }
}

TEST(SDSSenderDriver, RunsOneTransferAtATimeAndIgnoresForeignSysEx) {
    DriverRig rig;
    rig.driver->start(shortDump());
    rig.driver->receive(Bytes{0xF0, 0x43, 0x10, 0xF7});
    EXPECT_THROW(rig.driver->start(shortDump()), SDSSenderDriverError);
    ASSERT_TRUE(rig.run());
    ASSERT_NE(rig.first<SDSSenderDriverCompletion>(), nullptr);
    EXPECT_EQ(rig.first<SDSSenderDriverCompletion>()->describe(), "handshakeAcknowledged(nextSamplePosition: 6)");

    rig.results.clear();  // free again once the completion is out
    rig.driver->start(shortDump(false));
    ASSERT_TRUE(rig.run());
    EXPECT_EQ(*rig.first<SDSSenderDriverCompletion>(), SDSSenderDriverCompletion::openLoopTransportSubmitted(slot + 1));
}

TEST(SDSSenderDriver, AMachineStartedBeforeIsRefusedRatherThanLeftHanging) {
    DriverRig rig;
    auto machine = shortDump();
    machine.handle(sds_sender_event::Start{});
    rig.driver->start(machine);
    ASSERT_TRUE(rig.run());
    ASSERT_NE(rig.error(), nullptr);
    EXPECT_TRUE(rig.error()->is<SDSSenderDriverError::InvalidStateMachineOutput>());
    EXPECT_FALSE(rig.driver->isActive());
}

TEST(SDSSenderDriver, ReleasingMidTransferStopsEverythingSilently) {
    for (bool handshake : {true, false}) {
        SCOPED_TRACE(handshake ? "handshake" : "openLoop");
        DriverRig rig(handshake);
        rig.driver->start(shortDump(handshake));
        rig.studio.runFor(4500us);
        const auto sent = rig.studio.sent().size();
        ASSERT_GT(sent, 0u);
        rig.driver.reset();
        rig.studio.runFor(1min);
        EXPECT_EQ(rig.studio.sent().size(), sent);
        EXPECT_TRUE(rig.results.empty());
        EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
    }
}

}  // namespace
}  // namespace k7::testing

#include <gtest/gtest.h>

#include "MIDITestSupport.h"

namespace k7 {
namespace {

using namespace std::chrono_literals;
using testing::bytes;
using testing::MockRig;
using testing::outcome;
using Operation = MockMIDITransport::Operation;

TEST(MockMIDITransport, SelectionIsCheckedAgainstTheSnapshot) {
    MockMIDITransport transport(testing::twoPortSnapshot());
    EXPECT_EQ(outcome([&] { transport.selectInput(21); }), "endpointUnavailable");  // an output's id
    EXPECT_EQ(outcome([&] { transport.selectInput(12); }), "endpointUnavailable");  // offline
    EXPECT_EQ(outcome([&] { transport.selectOutput(11); }), "endpointUnavailable");
    EXPECT_EQ(transport.selectedInput(), std::nullopt);
    EXPECT_EQ(transport.selectedOutput(), std::nullopt);
}

// Each scriptable operation throws the scripted error once, then works again.
TEST(MockMIDITransport, ScriptedFailuresFireOnceInOrder) {
    MockRig rig;
    const auto failure = MIDITransportError::system("snd_seq_connect_to", -19);
    struct Case {
        Operation operation;
        std::function<void()> call;
    };
    const std::vector<Case> cases{
        {Operation::send, [&] { rig.transport->send(bytes({0xF0, 0xF7})); }},
        {Operation::selectInput, [&] { rig.transport->selectInput(11); }},
        {Operation::selectOutput, [&] { rig.transport->selectOutput(21); }},
        {Operation::configureMaximumSysExSpeed, [&] { rig.transport->configureMaximumSysExSpeed(6250); }},
        {Operation::cancelPendingSends, [&] { rig.transport->cancelPendingSends(); }},
    };
    for (const auto& c : cases) {
        rig.transport->failNext(c.operation, failure);
        rig.transport->failNext(c.operation, MIDITransportError::cancelled());
        EXPECT_EQ(outcome(c.call), failure.describe());
        EXPECT_EQ(outcome(c.call), "cancelled");
        EXPECT_EQ(outcome(c.call), "accepted");
    }
    rig.transport->failAlways(Operation::send, failure);
    EXPECT_EQ(outcome(cases[0].call), failure.describe());
    EXPECT_EQ(outcome(cases[0].call), failure.describe());
    rig.transport->failAlways(Operation::send, std::nullopt);
    EXPECT_EQ(outcome(cases[0].call), "accepted");
}

// A peer answering each message after a delay gives a request/reply exchange in virtual time.
TEST(MockMIDITransport, PeerAnswersAfterItsDelay) {
    MockRig rig;
    rig.transport->setPeer([](const MockMIDITransport::SentMessage& sent) {
        return std::vector<MockMIDITransport::PeerReply>{{bytes({0xF0, 0x7E, 0, 0x7F, sent.bytes[1], 0xF7}), 30ms}};
    });
    rig.scheduler->advance(100ms);
    rig.transport->configureMaximumSysExSpeed(62500);
    rig.transport->send(bytes({0xF0, 5, 0xF7}));
    rig.scheduler->advance(29ms);
    EXPECT_TRUE(rig.delivered.messages.empty());
    rig.scheduler->advance(1ms);
    EXPECT_EQ(rig.delivered.messages, std::vector<Bytes>{bytes({0xF0, 0x7E, 0, 0x7F, 5, 0xF7})});
    const auto sent = rig.transport->sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].time, Scheduler::TimePoint{} + 100ms);
    EXPECT_EQ(sent[0].bytesPerSecond, 62500);
    EXPECT_EQ(sent[0].outputID, 21);
}

// A send that takes its wire time, as a hardware output's does: its bytes at the output's speed,
// rounded up to the nanosecond, after it is recorded; without the wait a send takes none.
TEST(MockMIDITransport, WireTimeWaitGetsEachSendsBytesAtTheOutputsSpeed) {
    MockRig rig;
    const auto advance = [&](MockMIDITransport::Duration wireTime) { rig.scheduler->advance(wireTime); };
    const struct {
        bool waits;
        std::optional<int> speed;
        MockMIDITransport::Duration taken;
    } cases[] = {{true, std::nullopt, 960us}, {true, 62500, 48us}, {true, 41562, 72182ns}, {false, 62500, 0ns}};
    for (const auto& c : cases) {
        rig.transport->setWireTimeWait(c.waits ? advance : std::function<void(MockMIDITransport::Duration)>());
        rig.transport->configureMaximumSysExSpeed(c.speed);
        const auto before = rig.scheduler->now();
        rig.transport->send(bytes({0xF0, 5, 0xF7}));
        EXPECT_EQ(rig.transport->sentMessages().back().time, before);
        EXPECT_EQ(rig.scheduler->now() - before, c.taken);
    }
}

TEST(MockMIDITransport, SpeedIsPerOutputAndNulloptRestoresIt) {
    auto snapshot = testing::twoPortSnapshot();
    snapshot.outputs[1].isOnline = true;
    MockMIDITransport transport(snapshot, {std::make_shared<ManualScheduler>(), {}});
    transport.selectOutput(21);
    transport.configureMaximumSysExSpeed(6250);
    transport.configureMaximumSysExSpeed(12500);
    transport.selectOutput(22);
    EXPECT_EQ(transport.maximumSysExSpeed(), 3125);
    EXPECT_EQ(transport.maximumSysExSpeed(21), 12500);
    transport.selectOutput(21);
    transport.configureMaximumSysExSpeed(std::nullopt);
    EXPECT_EQ(transport.maximumSysExSpeed(), 3125);
    EXPECT_EQ(outcome([&] { transport.configureMaximumSysExSpeed(0); }), "invalidSysExSpeed(bytesPerSecond: 0)");
}

TEST(MockMIDITransport, EndpointChangesAreAnnouncedOnTheQueueAndVanishedOutputsRefuseSends) {
    MockRig rig;
    auto changed = testing::twoPortSnapshot();
    changed.outputs.erase(changed.outputs.begin());
    rig.transport->setEndpoints(changed);
    EXPECT_TRUE(rig.delivered.snapshots.empty());
    rig.scheduler->runUntilIdle();
    ASSERT_EQ(rig.delivered.snapshots.size(), 1u);
    EXPECT_EQ(rig.delivered.snapshots[0], changed);
    EXPECT_EQ(rig.transport->endpointSnapshot(), changed);
    EXPECT_EQ(outcome([&] { rig.transport->send(bytes({0xF0, 0xF7})); }), "endpointUnavailable");
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>

#include <string>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSReceiverStateMachine.h"
#include "SDSTestSupport.h"

namespace k7 {
namespace {

using namespace sds_test;
namespace act = sds_receiver_action;
namespace ev = sds_receiver_event;
namespace st = sds_receiver_status;
using Kind = SDSControlMessage::Kind;
using Direction = SimulatedLink::Direction;
using Actions = std::vector<SDSReceiverAction>;

SDSReceiverConfiguration receiverConfiguration(SDSTransferMode mode = SDSTransferMode::handshake) {
    return {mode, 0, SDSDeviceMatchPolicy::exactOrBroadcast, 2, std::chrono::seconds(5), false, 16777216};
}

Bytes control(Kind kind, uint8_t packet, uint8_t device = 0) { return SDSControlMessage{kind, device, packet}.encode(); }

// The messages an open-loop sender puts on the wire for this dump.
std::vector<Bytes> dumpMessages(uint32_t words, uint16_t sampleNumber = 5) {
    return runOpenLoop(SDSSenderStateMachine(classicHeader(words, 16, sampleNumber), rampSamples(words, 16),
                                             std::nullopt, {}, openLoop()))
        .messages;
}

Actions feed(SDSReceiverStateMachine& receiver, const std::vector<Bytes>& messages) {
    Actions all;
    for (const Bytes& m : messages) {
        auto actions = receiver.handle(ev::Message{m});
        all.insert(all.end(), actions.begin(), actions.end());
    }
    return all;
}

TEST(SDSReceiverStateMachine, CollectsNamesAndSamplesAndKeepsTheDumpsMessagesAsReceived) {
    auto messages = dumpMessages(100);
    const SDSSampleNameMessage name(0, 5, "Kick drum");
    messages.insert(messages.begin() + 1, name.encode());
    messages.insert(messages.begin(), sps1UWName("Kick"));  // before the header: joins the dump that follows

    SDSReceiverStateMachine receiver(receiverConfiguration(SDSTransferMode::openLoop));
    const auto actions = feed(receiver, messages);
    EXPECT_TRUE(actionsOf<act::Send>(actions).empty()) << "open loop never answers";
    ASSERT_EQ(actionsOf<act::HeaderAccepted>(actions).size(), 1u);
    EXPECT_EQ(actionsOf<act::SPS1UWNameReceived>(actions).at(0).name.fileName.text(), "Kick");
    const auto progress = actionsOf<act::Progress>(actions);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[2].packetNumber, 2);
    EXPECT_EQ(progress[2].receivedSampleWords, 100);

    const auto completed = actionsOf<act::Completed>(actions);
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0].dump.samples, rampSamples(100, 16));
    EXPECT_EQ(completed[0].dump.messages, messages);
    EXPECT_EQ(completed[0].dump.sampleName, name);
    EXPECT_EQ(completed[0].dump.nextSamplePosition(), 6);
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Completed{}));

    const Bytes endOfFile = control(Kind::endOfFile, 3);
    EXPECT_EQ(receiver.handle(ev::Message{endOfFile}), (Actions{act::TrailingEndOfFile{endOfFile}}));
    EXPECT_EQ(receiver.handle(ev::Message{endOfFile}), (Actions{act::IgnoredMessage{endOfFile}}));
}

// The sender missed the ACK of the last packet: the repeat is answered again and said to be one,
// and the end-of-file after it still belongs to the dump.
TEST(SDSReceiverStateMachine, ARepeatOfTheLastPacketKeepsTheEndOfFileWithTheDump) {
    const auto m = dumpMessages(100);  // header and 3 packets
    SDSReceiverStateMachine receiver(receiverConfiguration());
    ASSERT_EQ(actionsOf<act::Completed>(feed(receiver, m)).size(), 1u);
    EXPECT_EQ(receiver.handle(ev::Message{m[3]}),
              (Actions{act::Send{control(Kind::acknowledge, 2)}, act::LastPacketRepeated{m[3]}}));
    const Bytes endOfFile = control(Kind::endOfFile, 3);
    EXPECT_EQ(receiver.handle(ev::Message{endOfFile}), (Actions{act::TrailingEndOfFile{endOfFile}}));
}

Bytes damaged(Bytes packet) {
    packet[40] ^= 0x10;
    return packet;
}

using Wire = std::vector<Bytes>;

TEST(SDSReceiverStateMachine, FaultsEndTheDumpWithTheRightFailureAndAnswer) {
    const auto m = dumpMessages(100);  // header and 3 packets
    const Bytes bad = damaged(m[2]);
    // Flipping one payload bit flips the same bit of the checksum the packet should carry.
    const SDSError checksum(SDSError::ChecksumMismatch{1, static_cast<uint8_t>(m[2][125] ^ 0x10), m[2][125]});
    const Bytes tooLong = SDSExtendedDumpHeader(0, 5, 16, 44100, 16777217, 0, 0, 0x7F, 1).encode();
    struct Case {
        SDSTransferMode mode;
        Wire wire;
        SDSTransferFailure expected;
        Bytes lastSent;  // the receiver's last answer, if any
    };
    const auto loose = SDSTransferMode::openLoop, strict = SDSTransferMode::handshake;
    const std::vector<Case> cases{
        {loose, {m[0], m[1], bad}, sds_failure::ProtocolError{checksum}, {}},
        {loose, {m[0], m[1], m[3]}, sds_failure::ProtocolError{SDSError(SDSError::PacketOutOfSequence{1, 2})}, {}},
        {strict, {m[0], m[1], bad, bad, bad}, sds_failure::RetryExhausted{SDSRetryCause::invalidPacket, 1},
         control(Kind::cancel, 1)},
        {strict, {m[0], m[1], control(Kind::endOfFile, 2)}, sds_failure::UnexpectedEndOfFile{},
         control(Kind::acknowledge, 0)},
        {loose, {m[0], m[1], control(Kind::cancel, 1, 0x7F)}, sds_failure::RemoteCancelled{}, {}},
        {strict, {m[0], m[1], dumpMessages(10, 6)[0]}, sds_failure::InterruptedByNewHeader{40, 100},
         control(Kind::acknowledge, 0)},
        {strict, {tooLong}, sds_failure::ProtocolError{SDSError(SDSError::TooManySampleWords{16777217, 16777216})},
         control(Kind::cancel, 0)},
    };
    for (const auto& c : cases) {
        SDSReceiverStateMachine receiver(receiverConfiguration(c.mode));
        const auto actions = feed(receiver, c.wire);
        const auto failures = actionsOf<act::Failed>(actions);
        ASSERT_FALSE(failures.empty()) << describe(c.expected);
        EXPECT_EQ(failures.front().failure, c.expected) << describe(failures.front().failure);
        const auto sent = actionsOf<act::Send>(actions);
        EXPECT_TRUE(c.mode == strict || sent.empty()) << "open loop never answers";
        EXPECT_TRUE(c.lastSent.empty() || (!sent.empty() && sent.back().message == c.lastSent)) << describe(c.expected);
        EXPECT_TRUE(actionsOf<act::Completed>(actions).empty());
    }
    // The dump that interrupted is then received whole.
    SDSReceiverStateMachine receiver(receiverConfiguration());
    const auto second = dumpMessages(10, 6);
    feed(receiver, {m[0], m[1]});
    const auto completed = actionsOf<act::Completed>(feed(receiver, second));
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0].dump.messages, second) << "nothing of the interrupted dump leaks into the next";
    EXPECT_EQ(completed[0].dump.samples, rampSamples(10, 16));
}

TEST(SDSReceiverStateMachine, IgnoresOtherDevicesAndUnrelatedMessages) {
    SDSReceiverStateMachine receiver(
        SDSReceiverConfiguration{SDSTransferMode::handshake, 3, SDSDeviceMatchPolicy::exact, 2, std::nullopt, false, 100});
    for (const Bytes& m : {classicHeader(10, 16, 5, 4).encode(), classicHeader(10, 16, 5, 0x7F).encode(),
                           Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x40, 0xF7}, control(Kind::acknowledge, 0, 3),
                           dumpMessages(10)[1]}) {
        EXPECT_EQ(receiver.handle(ev::Message{m}), (Actions{act::IgnoredMessage{m}}));
    }
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Idle{}));
    EXPECT_TRUE(receiver.handle(ev::Cancel{}).empty());
    EXPECT_EQ(receiver.handle(ev::Timeout{1}), (Actions{act::IgnoredTimeout{1}}));
}

TEST(SDSReceiverStateMachine, AcknowledgesThenAsksAgainAfterThePacketTimeoutThenGivesUp) {
    SDSReceiverStateMachine receiver(receiverConfiguration());
    const auto messages = dumpMessages(100);
    const auto started = receiver.handle(ev::Message{messages[0]});
    EXPECT_EQ(actionsOf<act::Send>(started).at(0).message, control(Kind::acknowledge, 0));
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Receiving{0, 100, 0}));
    const auto packet = receiver.handle(ev::Message{messages[1]});
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Receiving{40, 100, 1}));

    uint64_t timer = actionsOf<act::ScheduleTimeout>(packet).at(0).id;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto asked = receiver.handle(ev::Timeout{timer});
        EXPECT_EQ(actionsOf<act::Send>(asked).at(0).message, control(Kind::negativeAcknowledge, 1));
        timer = actionsOf<act::ScheduleTimeout>(asked).at(0).id;
    }
    const auto failed = receiver.handle(ev::Timeout{timer});
    EXPECT_EQ(actionsOf<act::Failed>(failed).at(0).failure,
              SDSTransferFailure(sds_failure::RetryExhausted{SDSRetryCause::timeout, 1}));
    EXPECT_EQ(actionsOf<act::Send>(failed).at(0).message, control(Kind::cancel, 1));
}

// Sender and receiver against each other over a cable that loses and damages messages.
struct LinkCase {
    std::string name;
    SimulatedLink::Tamper tamper;
    std::optional<SDSTransferFailure> senderFailure;
    std::optional<SDSTransferFailure> receiverFailure;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.name; }

class SDSHandshakeLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(SDSHandshakeLink, EndsWithTheExpectedOutcome) {
    const auto samples = rampSamples(200, 16);  // header and 5 packets
    SDSSenderStateMachine sender(classicHeader(200), samples, SDSSampleNameMessage(0, 5, "Kick"), {sps1UWName()},
                                 handshake());
    SimulatedLink link(sender, SDSReceiverStateMachine(receiverConfiguration()), GetParam().tamper);
    link.run();

    const auto senderFailures = link.senderActionsOf<sds_sender_action::Failed>();
    const auto receiverFailures = link.receiverActionsOf<act::Failed>();
    if (GetParam().senderFailure) {
        ASSERT_EQ(senderFailures.size(), 1u);
        EXPECT_EQ(senderFailures[0].failure, *GetParam().senderFailure) << describe(senderFailures[0].failure);
    } else {
        EXPECT_TRUE(senderFailures.empty());
        EXPECT_EQ(link.senderActionsOf<sds_sender_action::Completed>().size(), 1u);
        EXPECT_EQ(link.senderActionsOf<sds_sender_action::Progress>().size(), 5u) << "a resend is no progress";
    }
    if (GetParam().receiverFailure) {
        ASSERT_EQ(receiverFailures.size(), 1u);
        EXPECT_EQ(receiverFailures[0].failure, *GetParam().receiverFailure) << describe(receiverFailures[0].failure);
    } else {
        EXPECT_TRUE(receiverFailures.empty());
        const auto completed = link.receiverActionsOf<act::Completed>();
        ASSERT_EQ(completed.size(), 1u);
        EXPECT_EQ(completed[0].dump.samples, samples) << "no packet lost or stored twice";
        EXPECT_EQ(completed[0].dump.messages.size(), 8u) << "header, two names, five packets, each once";
        EXPECT_EQ(completed[0].dump.sampleName->asciiName(), "Kick");
    }
}

// The `index`th message in `direction` arrives as `change` makes it.
SimulatedLink::Tamper at(Direction direction, std::size_t index, std::vector<Bytes> (*change)(const Bytes&)) {
    return [=](Direction d, const Bytes& m, std::size_t i) { return d == direction && i == index ? change(m) : Wire{m}; };
}
Wire lost(const Bytes&) { return {}; }
Wire asCancel(const Bytes& m) { return {control(Kind::cancel, m[4], m[2])}; }

INSTANTIATE_TEST_SUITE_P(
    Faults, SDSHandshakeLink,
    ::testing::Values(
        LinkCase{"clean", {}, std::nullopt, std::nullopt},
        LinkCase{"packetDamagedOnce", at(Direction::toReceiver, 4, [](const Bytes& m) { return Wire{damaged(m)}; }),
                 std::nullopt, std::nullopt},
        // The resent packet must be acknowledged again, not stored twice.
        LinkCase{"ackOfPacketLost", at(Direction::toSender, 2, lost), std::nullopt, std::nullopt},
        // The receiver has completed; the resent last packet still needs its ACK.
        LinkCase{"ackOfLastPacketLost", at(Direction::toSender, 5, lost), std::nullopt, std::nullopt},
        // The resent header must be answered again, not taken for a new dump.
        LinkCase{"ackOfHeaderLost", at(Direction::toSender, 0, lost), std::nullopt, std::nullopt},
        LinkCase{"packetLost", at(Direction::toReceiver, 5, lost), std::nullopt, std::nullopt},
        LinkCase{"waitBeforeEveryAck",
                 [](Direction d, const Bytes& m, std::size_t) {
                     return d == Direction::toSender && m[3] == static_cast<uint8_t>(Kind::acknowledge)
                                ? Wire{control(Kind::wait, m[4], m[2]), m}
                                : Wire{m};
                 },
                 std::nullopt, std::nullopt},
        // The receiver never learns of it and gives up after its own timeouts.
        LinkCase{"receiverCancels", at(Direction::toSender, 3, asCancel), sds_failure::RemoteCancelled{},
                 sds_failure::RetryExhausted{SDSRetryCause::timeout, 3}},
        LinkCase{"everyAckLost",
                 [](Direction d, const Bytes& m, std::size_t) { return d == Direction::toSender ? Wire{} : Wire{m}; },
                 sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}, sds_failure::RemoteCancelled{}},
        LinkCase{"packetAlwaysDamaged",
                 [](Direction d, const Bytes& m, std::size_t) {
                     return d == Direction::toReceiver && m.size() == 127 && m[4] == 3 ? Wire{damaged(m)} : Wire{m};
                 },
                 sds_failure::RemoteCancelled{}, sds_failure::RetryExhausted{SDSRetryCause::invalidPacket, 3}}),
    [](const auto& info) { return info.param.name; });

TEST(SDSHandshakeLink, ALocalCancelStopsBothSides) {
    SDSSenderStateMachine sender(classicHeader(200), rampSamples(200, 16), std::nullopt, {}, handshake());
    SimulatedLink link(sender, SDSReceiverStateMachine(receiverConfiguration()));
    bool cancelled = false;
    link.run([&](SimulatedLink& l) {
        if (!cancelled && l.receiverActionsOf<act::Progress>().size() == 2) {
            cancelled = true;
            l.cancelSender();
        }
    });
    EXPECT_EQ(link.senderActionsOf<sds_sender_action::Failed>().at(0).failure,
              SDSTransferFailure(sds_failure::LocalCancelled{}));
    EXPECT_EQ(link.receiverActionsOf<act::Failed>().at(0).failure, SDSTransferFailure(sds_failure::RemoteCancelled{}));
}

}  // namespace
}  // namespace k7

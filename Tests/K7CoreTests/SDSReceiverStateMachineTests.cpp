#include <gtest/gtest.h>

#include <string>

#include "K7Core/SDSControlMessage.h"
#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSError.h"
#include "K7Core/SDSReceiverStateMachine.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "SDSTestSupport.h"

namespace k7 {
namespace {

using namespace sds_test;
namespace act = sds_receiver_action;
namespace ev = sds_receiver_event;
namespace st = sds_receiver_status;
using Kind = SDSControlMessage::Kind;
using Direction = SimulatedLink::Direction;

SDSReceiverConfiguration receiverConfiguration(SDSTransferMode mode = SDSTransferMode::handshake) {
    return SDSReceiverConfiguration{mode, 0, SDSDeviceMatchPolicy::exactOrBroadcast, 2, std::chrono::seconds(5), false,
                                    16777216};
}

SDSDumpHeaderMessage header(uint32_t words, uint16_t sampleNumber = 5, uint8_t device = 0) {
    return SDSDumpHeader(device, sampleNumber, 16, 44100, words, 0, 0, 0x7F);
}

Bytes sps1UWName(const char* name = "Kick") {
    return SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing(name)).encode();
}

// The messages an open-loop sender puts on the wire for this dump.
std::vector<Bytes> dumpMessages(uint32_t words, std::vector<Bytes> preamble = {}, uint16_t sampleNumber = 5) {
    return runOpenLoop(SDSSenderStateMachine(header(words, sampleNumber), rampSamples(words, 16), std::nullopt,
                                             preamble, openLoop()))
        .messages;
}

template <typename T>
std::vector<T> actionsOf(const std::vector<SDSReceiverAction>& actions) {
    std::vector<T> found;
    for (const auto& a : actions) {
        if (const auto* t = std::get_if<T>(&a)) found.push_back(*t);
    }
    return found;
}

std::vector<SDSReceiverAction> feed(SDSReceiverStateMachine& receiver, const std::vector<Bytes>& messages) {
    std::vector<SDSReceiverAction> all;
    for (const Bytes& m : messages) {
        auto actions = receiver.handle(ev::Message{m});
        all.insert(all.end(), actions.begin(), actions.end());
    }
    return all;
}

TEST(SDSReceiverStateMachine, CollectsNamesAndSamplesAndKeepsTheDumpsMessagesAsReceived) {
    const Bytes before = sps1UWName("Kick");
    auto messages = dumpMessages(100);
    const SDSSampleNameMessage name(0, 5, "Kick drum");
    messages.insert(messages.begin() + 1, name.encode());
    messages.insert(messages.begin(), before);

    SDSReceiverStateMachine receiver(receiverConfiguration(SDSTransferMode::openLoop));
    const auto actions = feed(receiver, messages);
    EXPECT_TRUE(actionsOf<act::Send>(actions).empty()) << "open loop never answers";
    ASSERT_EQ(actionsOf<act::HeaderAccepted>(actions).size(), 1u);
    EXPECT_EQ(actionsOf<act::SPS1UWNameReceived>(actions).at(0).name.fileName.text(), "Kick");
    EXPECT_EQ(actionsOf<act::SampleNameReceived>(actions).at(0).name, name);
    const auto progress = actionsOf<act::Progress>(actions);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[2].packetNumber, 2);
    EXPECT_EQ(progress[2].receivedSampleWords, 100);

    const auto completed = actionsOf<act::Completed>(actions);
    ASSERT_EQ(completed.size(), 1u);
    const SDSReceivedDump& dump = completed[0].dump;
    EXPECT_EQ(dump.samples, rampSamples(100, 16));
    EXPECT_EQ(dump.messages, messages);
    EXPECT_EQ(dump.sampleName, name);
    EXPECT_EQ(dump.nextSamplePosition(), 6);
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Completed{}));

    const Bytes endOfFile = SDSControlMessage{Kind::endOfFile, 0, 3}.encode();
    EXPECT_EQ(receiver.handle(ev::Message{endOfFile}), (std::vector<SDSReceiverAction>{act::TrailingEndOfFile{endOfFile}}));
    EXPECT_EQ(receiver.handle(ev::Message{endOfFile}), (std::vector<SDSReceiverAction>{act::IgnoredMessage{endOfFile}}));
}

TEST(SDSReceiverStateMachine, ReportsItsStatusAsPacketsArrive) {
    SDSReceiverStateMachine receiver(receiverConfiguration());
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Idle{}));
    const auto messages = dumpMessages(100);
    const auto accepted = receiver.handle(ev::Message{messages[0]});
    EXPECT_EQ(actionsOf<act::Send>(accepted).at(0).message, (SDSControlMessage{Kind::acknowledge, 0, 0}.encode()));
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Receiving{0, 100, 0}));
    receiver.handle(ev::Message{messages[1]});
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Receiving{40, 100, 1}));
}

struct ReceiveFault {
    std::string name;
    SDSTransferMode mode;
    // The wire, built from a clean 100-word dump (header + 3 packets).
    std::function<std::vector<Bytes>(std::vector<Bytes>)> tamper;
    SDSTransferFailure expected;
    // What the receiver must send last (nothing when empty).
    Bytes lastSent;
};
void PrintTo(const ReceiveFault& c, std::ostream* os) { *os << c.name; }

class SDSReceiverFaults : public ::testing::TestWithParam<ReceiveFault> {};

TEST_P(SDSReceiverFaults, EndTheDumpWithTheRightFailure) {
    SDSReceiverStateMachine receiver(receiverConfiguration(GetParam().mode));
    const auto actions = feed(receiver, GetParam().tamper(dumpMessages(100)));
    const auto failures = actionsOf<act::Failed>(actions);
    ASSERT_FALSE(failures.empty());
    EXPECT_EQ(failures.front().failure, GetParam().expected) << describe(failures.front().failure);
    const auto sent = actionsOf<act::Send>(actions);
    if (GetParam().lastSent.empty()) {
        EXPECT_TRUE(GetParam().mode == SDSTransferMode::openLoop ? sent.empty() : true);
    } else {
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().message, GetParam().lastSent);
    }
    EXPECT_TRUE(actionsOf<act::Completed>(actions).empty());
}

Bytes damaged(Bytes packet) {
    packet[40] ^= 0x10;
    return packet;
}

// The checksum a damaged packet should have, against the one it carries.
SDSError::ChecksumMismatch damagedChecksum(const Bytes& packet) {
    const auto decoded = SDSDataPacket::decode(damaged(packet));
    return {decoded.packetNumber,
            SDSDataPacket::computeChecksum(decoded.deviceID, decoded.packetNumber, decoded.payload), decoded.checksum};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SDSReceiverFaults,
    ::testing::Values(
        ReceiveFault{"openLoopChecksum", SDSTransferMode::openLoop,
                     [](auto m) {
                         m[2] = damaged(m[2]);
                         return m;
                     },
                     sds_failure::ProtocolError{SDSError(damagedChecksum(dumpMessages(100)[2]))},
                     {}},
        ReceiveFault{"openLoopLostPacket", SDSTransferMode::openLoop,
                     [](auto m) {
                         m.erase(m.begin() + 2);
                         return m;
                     },
                     sds_failure::ProtocolError{SDSError(SDSError::PacketOutOfSequence{1, 2})}, {}},
        ReceiveFault{"handshakeChecksumEveryTime", SDSTransferMode::handshake,
                     [](auto m) {
                         const Bytes bad = damaged(m[2]);
                         return std::vector<Bytes>{m[0], m[1], bad, bad, bad};
                     },
                     sds_failure::RetryExhausted{SDSRetryCause::invalidPacket, 1},
                     SDSControlMessage{Kind::cancel, 0, 1}.encode()},
        ReceiveFault{"endOfFileTooEarly", SDSTransferMode::handshake,
                     [](auto m) {
                         return std::vector<Bytes>{m[0], m[1], SDSControlMessage{Kind::endOfFile, 0, 2}.encode()};
                     },
                     sds_failure::UnexpectedEndOfFile{}, SDSControlMessage{Kind::acknowledge, 0, 0}.encode()},
        ReceiveFault{"senderCancels", SDSTransferMode::openLoop,
                     [](auto m) {
                         return std::vector<Bytes>{m[0], m[1], SDSControlMessage{Kind::cancel, 0x7F, 1}.encode()};
                     },
                     sds_failure::RemoteCancelled{}, {}},
        ReceiveFault{"newHeaderMidDump", SDSTransferMode::handshake,
                     [](auto m) {
                         auto next = dumpMessages(10, {}, 6);
                         return std::vector<Bytes>{m[0], m[1], next[0]};
                     },
                     sds_failure::InterruptedByNewHeader{40, 100}, SDSControlMessage{Kind::acknowledge, 0, 0}.encode()},
        ReceiveFault{"tooLong", SDSTransferMode::handshake,
                     [](auto) {
                         return std::vector<Bytes>{
                             SDSExtendedDumpHeader(0, 5, 16, 44100, 16777217, 0, 0, 0x7F, 1).encode()};
                     },
                     sds_failure::ProtocolError{SDSError(SDSError::TooManySampleWords{16777217, 16777216})},
                     SDSControlMessage{Kind::cancel, 0, 0}.encode()}),
    [](const auto& info) { return info.param.name; });

TEST(SDSReceiverStateMachine, TakesTheNewDumpAfterAnInterruption) {
    SDSReceiverStateMachine receiver(receiverConfiguration());
    auto first = dumpMessages(100);
    auto second = dumpMessages(10, {}, 6);
    feed(receiver, {first[0], first[1]});
    const auto actions = feed(receiver, second);
    const auto completed = actionsOf<act::Completed>(actions);
    ASSERT_EQ(completed.size(), 1u);
    EXPECT_EQ(completed[0].dump.messages, second) << "nothing of the interrupted dump leaks into the next";
    EXPECT_EQ(completed[0].dump.samples, rampSamples(10, 16));
}

TEST(SDSReceiverStateMachine, IgnoresOtherDevicesAndUnrelatedMessages) {
    SDSReceiverStateMachine receiver(
        SDSReceiverConfiguration{SDSTransferMode::handshake, 3, SDSDeviceMatchPolicy::exact, 2, std::nullopt, false, 100});
    const std::vector<Bytes> unrelated{header(10, 5, 4).encode(), header(10, 5, 0x7F).encode(),
                                       Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x40, 0xF7},
                                       SDSControlMessage{Kind::acknowledge, 3, 0}.encode(), dumpMessages(10)[1]};
    for (const Bytes& m : unrelated) {
        EXPECT_EQ(receiver.handle(ev::Message{m}), (std::vector<SDSReceiverAction>{act::IgnoredMessage{m}}));
    }
    EXPECT_EQ(receiver.status(), SDSReceiverStatus(st::Idle{}));
    EXPECT_TRUE(receiver.handle(ev::Cancel{}).empty());
    EXPECT_EQ(receiver.handle(ev::Timeout{1}), (std::vector<SDSReceiverAction>{act::IgnoredTimeout{1}}));
}

TEST(SDSReceiverStateMachine, AsksAgainAfterThePacketTimeoutThenGivesUp) {
    SDSReceiverStateMachine receiver(receiverConfiguration());
    const auto started = receiver.handle(ev::Message{dumpMessages(100)[0]});
    uint64_t timer = actionsOf<act::ScheduleTimeout>(started).at(0).id;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto asked = receiver.handle(ev::Timeout{timer});
        EXPECT_EQ(actionsOf<act::Send>(asked).at(0).message, (SDSControlMessage{Kind::negativeAcknowledge, 0, 0}.encode()));
        timer = actionsOf<act::ScheduleTimeout>(asked).at(0).id;
    }
    const auto failed = receiver.handle(ev::Timeout{timer});
    EXPECT_EQ(actionsOf<act::Failed>(failed).at(0).failure,
              SDSTransferFailure(sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}));
    EXPECT_EQ(actionsOf<act::Send>(failed).at(0).message, (SDSControlMessage{Kind::cancel, 0, 0}.encode()));
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

bool isControl(const Bytes& m, Kind kind) {
    return m.size() == 6 && m[3] == static_cast<uint8_t>(kind);
}

TEST_P(SDSHandshakeLink, EndsWithTheExpectedOutcome) {
    const uint32_t words = 200;  // header and 5 packets
    const auto samples = rampSamples(words, 16);
    SDSSenderStateMachine sender(header(words), samples, SDSSampleNameMessage(0, 5, "Kick"), {sps1UWName()},
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
        ASSERT_EQ(link.senderActionsOf<sds_sender_action::Completed>().size(), 1u);
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

std::vector<Bytes> pass(const Bytes& m) { return {m}; }

INSTANTIATE_TEST_SUITE_P(
    Faults, SDSHandshakeLink,
    ::testing::Values(
        LinkCase{"clean", {}, std::nullopt, std::nullopt},
        LinkCase{"packetDamagedOnce",
                 [](Direction d, const Bytes& m, std::size_t i) {
                     return d == Direction::toReceiver && i == 4 ? std::vector<Bytes>{damaged(m)} : pass(m);
                 },
                 std::nullopt, std::nullopt},
        LinkCase{"ackOfPacketLost",
                 [](Direction d, const Bytes& m, std::size_t i) {
                     return d == Direction::toSender && i == 2 ? std::vector<Bytes>{} : pass(m);
                 },
                 std::nullopt, std::nullopt},
        LinkCase{"ackOfHeaderLost",
                 [](Direction d, const Bytes& m, std::size_t i) {
                     return d == Direction::toSender && i == 0 ? std::vector<Bytes>{} : pass(m);
                 },
                 std::nullopt, std::nullopt},
        LinkCase{"packetLost",
                 [](Direction d, const Bytes& m, std::size_t i) {
                     return d == Direction::toReceiver && i == 5 ? std::vector<Bytes>{} : pass(m);
                 },
                 std::nullopt, std::nullopt},
        LinkCase{"waitBeforeEveryAck",
                 [](Direction d, const Bytes& m, std::size_t) {
                     if (d == Direction::toSender && isControl(m, Kind::acknowledge)) {
                         Bytes wait = m;
                         wait[3] = static_cast<uint8_t>(Kind::wait);
                         return std::vector<Bytes>{wait, m};
                     }
                     return pass(m);
                 },
                 std::nullopt, std::nullopt},
        LinkCase{"receiverCancels",
                 [](Direction d, const Bytes& m, std::size_t i) {
                     if (d == Direction::toSender && i == 3) {
                         Bytes cancel = m;
                         cancel[3] = static_cast<uint8_t>(Kind::cancel);
                         return std::vector<Bytes>{cancel};
                     }
                     return pass(m);
                 },
                 // The receiver never learns of it and gives up after its own timeouts.
                 sds_failure::RemoteCancelled{}, sds_failure::RetryExhausted{SDSRetryCause::timeout, 3}},
        LinkCase{"everyAckLost",
                 [](Direction d, const Bytes& m, std::size_t) {
                     return d == Direction::toSender ? std::vector<Bytes>{} : pass(m);
                 },
                 sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}, sds_failure::RemoteCancelled{}},
        LinkCase{"packetAlwaysDamaged",
                 [](Direction d, const Bytes& m, std::size_t) {
                     return d == Direction::toReceiver && m.size() == 127 && m[4] == 3 ? std::vector<Bytes>{damaged(m)}
                                                                                        : pass(m);
                 },
                 sds_failure::RemoteCancelled{}, sds_failure::RetryExhausted{SDSRetryCause::invalidPacket, 3}}),
    [](const auto& info) { return info.param.name; });

TEST(SDSHandshakeLink, ALocalCancelStopsBothSides) {
    SDSSenderStateMachine sender(header(200), rampSamples(200, 16), std::nullopt, {}, handshake());
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

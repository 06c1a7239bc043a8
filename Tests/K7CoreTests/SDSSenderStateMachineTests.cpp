#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "K7Core/SDSControlMessage.h"
#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSError.h"
#include "K7Core/SDSSenderStateMachine.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "SDSTestSupport.h"

namespace k7 {
namespace {

using namespace sds_test;
namespace act = sds_sender_action;
namespace ev = sds_sender_event;
using Kind = SDSControlMessage::Kind;

std::string text(const std::vector<SDSSenderAction>& actions) {
    std::string all;
    for (const auto& a : actions) all += describe(a) + "\n";
    return all;
}

SDSDumpHeaderMessage classicHeader(uint32_t words, uint8_t bits = 16, uint16_t sampleNumber = 5, uint8_t device = 0) {
    return SDSDumpHeader(device, sampleNumber, bits, 44100, words, 0, 0, 0x7F);
}

Bytes sps1UWName() { return SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing("Kick.wav")).encode(); }

SDSControlMessage control(Kind kind, uint8_t packet, uint8_t device = 0) { return {kind, device, packet}; }

TEST(SDSSenderStateMachine, OpenLoopSendsHeaderPreambleNamePacketsAndEndOfFileOneTimerApart) {
    const auto samples = rampSamples(100, 16);
    const SDSSampleNameMessage name(0, 5, "Kick");
    SDSSenderStateMachine sender(classicHeader(100), samples, name, {sps1UWName()}, openLoop(true));
    const SDSSenderStateMachine unstarted = sender;

    auto actions = sender.handle(ev::Start{});
    ASSERT_EQ(actions.size(), 2u) << text(actions);
    EXPECT_EQ(std::get<act::Send>(actions[0]).message, classicHeader(100).encode());
    EXPECT_EQ(std::get<act::ScheduleTimeout>(actions[1]).delay, std::chrono::milliseconds(3));

    const auto run = runOpenLoop(unstarted);
    ASSERT_TRUE(run.completed);
    ASSERT_EQ(run.messages.size(), 7u);
    EXPECT_EQ(run.messages[1], sps1UWName());
    EXPECT_EQ(run.messages[2], name.encode());
    for (std::size_t p = 0; p < 3; ++p) {
        const auto packet = SDSDataPacket::decode(run.messages[3 + p]);
        EXPECT_EQ(packet.packetNumber, p);
        EXPECT_TRUE(packet.hasValidChecksum());
    }
    EXPECT_EQ(SDSControlMessage::decode(run.messages[6]).kind, Kind::endOfFile);
    EXPECT_EQ(std::get<act::Completed>(run.actions.back()).nextSamplePosition, 6);
    EXPECT_EQ(static_cast<int64_t>(concatenated(run.messages).size()), sender.totalWireBytes());

    // Progress follows each packet and ends at every sample word.
    std::vector<act::Progress> progress;
    for (const auto& a : run.actions) {
        if (const auto* p = std::get_if<act::Progress>(&a)) progress.push_back(*p);
    }
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[0].sentSampleWords, 40);
    EXPECT_EQ(progress[2].sentSampleWords, 100);
    EXPECT_EQ(progress[2].completedWireBytes, sender.totalWireBytes() - 6);
    EXPECT_EQ(progress[2].totalWireBytes, sender.totalWireBytes());
}

TEST(SDSSenderStateMachine, OpenLoopIgnoresStaleTimersAndAnswersButHonoursACancel) {
    SDSSenderStateMachine sender(classicHeader(100), rampSamples(100, 16), std::nullopt, {}, openLoop());
    const auto first = std::get<act::ScheduleTimeout>(sender.handle(ev::Start{}).back());
    EXPECT_EQ(sender.handle(ev::Timeout{first.id + 7}), (std::vector<SDSSenderAction>{act::IgnoredTimeout{first.id + 7}}));
    EXPECT_EQ(sender.handle(ev::Control{control(Kind::acknowledge, 0)}),
              (std::vector<SDSSenderAction>{act::IgnoredControl{control(Kind::acknowledge, 0)}}));
    const auto second = sender.handle(ev::Timeout{first.id});
    EXPECT_TRUE(std::holds_alternative<act::Send>(second.front()));
    EXPECT_EQ(sender.handle(ev::Timeout{first.id}), (std::vector<SDSSenderAction>{act::IgnoredTimeout{first.id}}));

    const auto cancelled = sender.handle(ev::Control{control(Kind::cancel, 9)});
    ASSERT_EQ(cancelled.size(), 2u) << text(cancelled);
    EXPECT_TRUE(std::holds_alternative<act::CancelTimeout>(cancelled[0]));
    EXPECT_EQ(std::get<act::Failed>(cancelled[1]).failure, SDSTransferFailure(sds_failure::RemoteCancelled{}));
    EXPECT_TRUE(sender.isFinished());
    EXPECT_TRUE(sender.handle(ev::Cancel{}).empty());
}

// totalWireBytes must equal what the sender actually emits, and the model's estimate:
// header + name + preamble + packets x 127 (+ 6 for the end-of-file message).
struct WireTotalCase {
    int bits;
    uint32_t words;
    bool extended;
    bool endOfFile;
};
void PrintTo(const WireTotalCase& c, std::ostream* os) {
    *os << c.bits << " bits, " << c.words << " words" << (c.extended ? ", extended" : "") << (c.endOfFile ? ", EOF" : "");
}

class SDSSenderWireTotal : public ::testing::TestWithParam<WireTotalCase> {};

TEST_P(SDSSenderWireTotal, EqualsTheEmittedBytesAndTheEstimate) {
    const auto& c = GetParam();
    const SDSDumpHeaderMessage header =
        c.extended ? SDSDumpHeaderMessage(SDSExtendedDumpHeader(1, 7, c.bits, 48000, c.words, 0, 0, 0x7F, 1))
                   : SDSDumpHeaderMessage(SDSDumpHeader(1, 7, c.bits, 48000, c.words, 0, 0, 0x7F));
    std::optional<SDSSampleNameMessage> name;
    if (c.extended) name = SDSSampleNameMessage(1, 7, "Snare 04");
    const std::vector<Bytes> preamble{sps1UWName()};
    SDSSenderStateMachine sender(header, rampSamples(c.words, c.bits), name, preamble, openLoop(c.endOfFile));

    const auto run = runOpenLoop(sender);
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(static_cast<int64_t>(concatenated(run.messages).size()), sender.totalWireBytes());

    const int64_t perPacket = 120 / ((c.bits + 6) / 7);
    const int64_t packets = (c.words + perPacket - 1) / perPacket;
    const int64_t estimate = (c.extended ? 34 : 21) + (name ? name->encode().size() : 0) + 13 + packets * 127 +
                             (c.endOfFile ? 6 : 0);
    EXPECT_EQ(sender.totalWireBytes(), estimate);
    EXPECT_EQ(sender.totalSampleWords(), c.words);
}

INSTANTIATE_TEST_SUITE_P(Geometry, SDSSenderWireTotal,
                         ::testing::Values(WireTotalCase{16, 0, false, false}, WireTotalCase{16, 100, false, true},
                                           WireTotalCase{8, 1, false, false}, WireTotalCase{14, 60, true, false},
                                           WireTotalCase{14, 61, true, true}, WireTotalCase{15, 40, false, false},
                                           WireTotalCase{21, 41, true, false}, WireTotalCase{22, 30, false, true},
                                           WireTotalCase{28, 7777, true, true}, WireTotalCase{16, 5200, false, false}));

TEST(SDSSenderStateMachine, PacketNumbersWrapAfter127) {
    SDSSenderStateMachine sender(classicHeader(130 * 60, 8), rampSamples(130 * 60, 8), std::nullopt, {}, openLoop());
    const auto run = runOpenLoop(sender);
    ASSERT_EQ(run.messages.size(), 131u);
    EXPECT_EQ(SDSDataPacket::decode(run.messages[128]).packetNumber, 127);
    EXPECT_EQ(SDSDataPacket::decode(run.messages[129]).packetNumber, 0);
    EXPECT_EQ(SDSDataPacket::decode(run.messages[130]).packetNumber, 1);
}

struct InitFault {
    std::string name;
    std::function<void()> build;
    SDSError expected;
};
void PrintTo(const InitFault& c, std::ostream* os) { *os << c.name; }

class SDSSenderInit : public ::testing::TestWithParam<InitFault> {};

TEST_P(SDSSenderInit, RefusesInputThatWouldPutWrongDataOnTheWire) {
    try {
        GetParam().build();
        FAIL() << "no error";
    } catch (const SDSError& error) {
        EXPECT_EQ(error, GetParam().expected) << error.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SDSSenderInit,
    ::testing::Values(
        InitFault{"tooFewSamples",
                  [] { SDSSenderStateMachine(classicHeader(10), rampSamples(9, 16), std::nullopt, {}, openLoop()); },
                  SDSError(SDSError::SampleCountMismatch{10, 9})},
        InitFault{"wordTooWide",
                  [] {
                      auto samples = rampSamples(10, 16);
                      samples[4] = 32768;
                      SDSSenderStateMachine(classicHeader(10), samples, std::nullopt, {}, openLoop());
                  },
                  SDSError(SDSError::SampleOutOfRange{4, 32768, 16})},
        InitFault{"wordTooNegative",
                  [] {
                      auto samples = rampSamples(10, 8);
                      samples[9] = -129;
                      SDSSenderStateMachine(classicHeader(10, 8), samples, std::nullopt, {}, openLoop());
                  },
                  SDSError(SDSError::SampleOutOfRange{9, -129, 8})},
        InitFault{"nameForAnotherSample",
                  [] {
                      SDSSenderStateMachine(classicHeader(10), rampSamples(10, 16), SDSSampleNameMessage(0, 6, "x"), {},
                                            openLoop());
                  },
                  SDSError(SDSError::SampleNameMismatch{0, 6})},
        InitFault{"unframedPreamble",
                  [] {
                      SDSSenderStateMachine(classicHeader(10), rampSamples(10, 16), std::nullopt,
                                            {sps1UWName(), Bytes{0xF0, 0x01}}, openLoop());
                  },
                  SDSError(SDSError::InvalidPreambleMessage{1})}),
    [](const auto& info) { return info.param.name; });

// Handshake: drives one sender by hand with the answers a device would give.
class SDSSenderHandshake : public ::testing::Test {
protected:
    SDSSenderStateMachine sender{classicHeader(100), rampSamples(100, 16), std::nullopt, {sps1UWName()}, handshake()};

    std::vector<SDSSenderAction> answer(Kind kind, uint8_t packet, uint8_t device = 0) {
        return sender.handle(ev::Control{control(kind, packet, device)});
    }
    static std::vector<Bytes> sent(const std::vector<SDSSenderAction>& actions) {
        std::vector<Bytes> messages;
        for (const auto& a : actions) {
            if (const auto* s = std::get_if<act::Send>(&a)) messages.push_back(s->message);
        }
        return messages;
    }
    static uint64_t timer(const std::vector<SDSSenderAction>& actions) {
        for (const auto& a : actions) {
            if (const auto* t = std::get_if<act::ScheduleTimeout>(&a)) return t->id;
        }
        ADD_FAILURE() << "no timer in\n" << text(actions);
        return 0;
    }
};

TEST_F(SDSSenderHandshake, SendsEachPacketOnlyAfterTheAnswerToTheOneBefore) {
    const auto opening = sender.handle(ev::Start{});
    EXPECT_EQ(sent(opening).size(), 2u);
    EXPECT_EQ(std::get<act::ScheduleTimeout>(opening.back()).delay, std::chrono::milliseconds(500));
    // The header may be answered with any packet number.
    auto step = answer(Kind::acknowledge, 0x42);
    ASSERT_EQ(sent(step).size(), 1u) << text(step);
    EXPECT_EQ(SDSDataPacket::decode(sent(step)[0]).packetNumber, 0);
    EXPECT_TRUE(std::holds_alternative<act::CancelTimeout>(step.front()));

    EXPECT_EQ(answer(Kind::acknowledge, 5), (std::vector<SDSSenderAction>{act::IgnoredControl{control(Kind::acknowledge, 5)}}));
    EXPECT_EQ(answer(Kind::acknowledge, 0, 3),
              (std::vector<SDSSenderAction>{act::IgnoredControl{control(Kind::acknowledge, 0, 3)}}));
    EXPECT_EQ(answer(Kind::endOfFile, 0),
              (std::vector<SDSSenderAction>{act::IgnoredControl{control(Kind::endOfFile, 0)}}));
    step = answer(Kind::acknowledge, 0, 0x7F);  // broadcast counts as the device
    EXPECT_EQ(SDSDataPacket::decode(sent(step)[0]).packetNumber, 1);
    step = answer(Kind::acknowledge, 1);
    EXPECT_EQ(SDSDataPacket::decode(sent(step)[0]).packetNumber, 2);
    step = answer(Kind::acknowledge, 2);
    EXPECT_TRUE(sent(step).empty());
    EXPECT_EQ(std::get<act::Completed>(step.back()).nextSamplePosition, 6);
    EXPECT_TRUE(sender.isFinished());
}

TEST_F(SDSSenderHandshake, ResendsOnNakAndTimeoutAndFailsAfterMaximumRetries) {
    sender.handle(ev::Start{});
    answer(Kind::acknowledge, 0);
    const Bytes packet0 = sent(answer(Kind::negativeAcknowledge, 0)).at(0);
    EXPECT_EQ(SDSDataPacket::decode(packet0).packetNumber, 0);
    const auto resent = answer(Kind::negativeAcknowledge, 0);
    EXPECT_EQ(sent(resent), std::vector<Bytes>{packet0});
    for (const auto& a : resent) EXPECT_FALSE(std::holds_alternative<act::Progress>(a)) << "a resend is no progress";

    const auto failed = sender.handle(ev::Timeout{timer(resent)});
    ASSERT_FALSE(failed.empty());
    EXPECT_EQ(std::get<act::Failed>(failed.back()).failure,
              SDSTransferFailure(sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}));
    EXPECT_EQ(sent(failed), std::vector<Bytes>{control(Kind::cancel, 0).encode()}) << "the device is told to stop";
}

TEST_F(SDSSenderHandshake, WaitHoldsUntilTheNextAnswerOrTheWaitTimeout) {
    sender.handle(ev::Start{});
    const auto firstPacket = answer(Kind::acknowledge, 0);
    const auto held = answer(Kind::wait, 0);
    EXPECT_TRUE(sent(held).empty());
    EXPECT_EQ(std::get<act::ScheduleTimeout>(held.back()).delay, std::chrono::seconds(5));
    EXPECT_EQ(sender.handle(ev::Timeout{timer(firstPacket)}),
              (std::vector<SDSSenderAction>{act::IgnoredTimeout{timer(firstPacket)}}));

    const auto resumed = answer(Kind::acknowledge, 0);
    EXPECT_EQ(SDSDataPacket::decode(sent(resumed).at(0)).packetNumber, 1);

    const auto heldAgain = answer(Kind::wait, 1);
    const auto afterWait = sender.handle(ev::Timeout{timer(heldAgain)});
    EXPECT_EQ(SDSDataPacket::decode(sent(afterWait).at(0)).packetNumber, 1) << "the wait timeout resends";
}

TEST_F(SDSSenderHandshake, CancellationsEndTheTransferOnce) {
    sender.handle(ev::Start{});
    answer(Kind::acknowledge, 0);
    const auto local = sender.handle(ev::Cancel{});
    EXPECT_EQ(sent(local), std::vector<Bytes>{control(Kind::cancel, 0).encode()});
    EXPECT_EQ(std::get<act::Failed>(local.back()).failure, SDSTransferFailure(sds_failure::LocalCancelled{}));
    EXPECT_EQ(answer(Kind::acknowledge, 0),
              (std::vector<SDSSenderAction>{act::IgnoredControl{control(Kind::acknowledge, 0)}}));
    EXPECT_TRUE(sender.handle(ev::Start{}).empty());

    SDSSenderStateMachine other{classicHeader(10), rampSamples(10, 16), std::nullopt, {}, handshake()};
    other.handle(ev::Start{});
    const auto remote = other.handle(ev::Control{control(Kind::cancel, 77)});
    EXPECT_TRUE(sent(remote).empty()) << "the device already knows";
    EXPECT_EQ(std::get<act::Failed>(remote.back()).failure, SDSTransferFailure(sds_failure::RemoteCancelled{}));
}

TEST(SDSSenderStateMachine, ExactDeviceMatchingIgnoresBroadcastAndDeviceZero) {
    auto configuration = handshake();
    configuration.deviceMatchPolicy = SDSDeviceMatchPolicy::exact;
    SDSSenderStateMachine sender(classicHeader(10, 16, 5, 9), rampSamples(10, 16), std::nullopt, {}, configuration);
    sender.handle(ev::Start{});
    for (uint8_t device : {0x00, 0x7F, 0x08}) {
        const auto ignored = sender.handle(ev::Control{control(Kind::cancel, 0, device)});
        EXPECT_TRUE(std::holds_alternative<act::IgnoredControl>(ignored.at(0))) << int(device);
    }
    EXPECT_FALSE(sender.isFinished());
    sender.handle(ev::Control{control(Kind::cancel, 0, 9)});
    EXPECT_TRUE(sender.isFinished());
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>

#include <string>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSSenderStateMachine.h"
#include "SDSTestSupport.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using namespace sds_test;
namespace act = sds_sender_action;
namespace ev = sds_sender_event;
using Kind = SDSControlMessage::Kind;
using Actions = std::vector<SDSSenderAction>;

std::string text(const Actions& actions) {
    std::string all;
    for (const auto& a : actions) all += describe(a) + "\n";
    return all;
}

SDSControlMessage control(Kind kind, uint8_t packet, uint8_t device = 0) { return {kind, device, packet}; }
std::vector<Bytes> sent(const Actions& actions) {
    std::vector<Bytes> messages;
    for (const auto& send : actionsOf<act::Send>(actions)) messages.push_back(send.message);
    return messages;
}
int packetNumberSent(const Actions& actions) { return SDSDataPacket::decode(sent(actions).at(0)).packetNumber; }

TEST(SDSSenderStateMachine, OpenLoopSendsHeaderPreambleNamePacketsAndEndOfFileOneTimerApart) {
    const SDSSampleNameMessage name(0, 5, "Kick");
    SDSSenderStateMachine sender(classicHeader(100), rampSamples(100, 16), name, {sps1UWName()}, openLoop(true));
    const auto run = runOpenLoop(sender);

    const auto opening = sender.handle(ev::Start{});
    ASSERT_EQ(opening.size(), 2u) << text(opening);
    EXPECT_EQ(std::get<act::Send>(opening[0]).message, classicHeader(100).encode());
    EXPECT_EQ(std::get<act::ScheduleTimeout>(opening[1]).delay, std::chrono::milliseconds(3));

    ASSERT_TRUE(run.completed);
    ASSERT_EQ(run.messages.size(), 7u);
    EXPECT_EQ(run.messages[1], sps1UWName());
    EXPECT_EQ(run.messages[2], name.encode());
    EXPECT_EQ(SDSDataPacket::decode(run.messages[5]).packetNumber, 2);
    EXPECT_EQ(SDSControlMessage::decode(run.messages[6]).kind, Kind::endOfFile);
    EXPECT_EQ(std::get<act::Completed>(run.actions.back()).nextSamplePosition, 6);

    const auto progress = actionsOf<act::Progress>(run.actions);
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_EQ(progress[0].sentSampleWords, 40);
    EXPECT_EQ(progress[2], (act::Progress{100, 100, sender.totalWireBytes() - 6, sender.totalWireBytes()}));
}

TEST(SDSSenderStateMachine, OpenLoopIgnoresStaleTimersAndAnswersButHonoursACancel) {
    SDSSenderStateMachine sender(classicHeader(100), rampSamples(100, 16), std::nullopt, {}, openLoop());
    const auto first = std::get<act::ScheduleTimeout>(sender.handle(ev::Start{}).back());
    EXPECT_EQ(sender.handle(ev::Timeout{first.id + 7}), (Actions{act::IgnoredTimeout{first.id + 7}}));
    EXPECT_EQ(sender.handle(ev::Control{control(Kind::acknowledge, 0)}),
              (Actions{act::IgnoredControl{control(Kind::acknowledge, 0)}}));
    EXPECT_TRUE(std::holds_alternative<act::Send>(sender.handle(ev::Timeout{first.id}).front()));
    EXPECT_EQ(sender.handle(ev::Timeout{first.id}), (Actions{act::IgnoredTimeout{first.id}}));

    const auto cancelled = sender.handle(ev::Control{control(Kind::cancel, 9)});
    ASSERT_EQ(cancelled.size(), 2u) << text(cancelled);
    EXPECT_TRUE(std::holds_alternative<act::CancelTimeout>(cancelled[0]));
    EXPECT_EQ(std::get<act::Failed>(cancelled[1]).failure, SDSTransferFailure(sds_failure::RemoteCancelled{}));
    EXPECT_TRUE(sender.isFinished());
    EXPECT_TRUE(sender.handle(ev::Cancel{}).empty());
}

TEST(SDSSenderStateMachine, RefusesInputThatWouldPutWrongDataOnTheWire) {
    auto wide = rampSamples(10, 16), low = rampSamples(10, 8);
    wide[4] = 32768;
    low[9] = -129;
    const auto ramp = rampSamples(10, 16);
    struct Case {
        SDSDumpHeaderMessage header;
        std::span<const int32_t> samples;
        std::optional<SDSSampleNameMessage> name;
        std::vector<Bytes> preamble;
        SDSError expected;
    };
    const std::vector<Case> cases{
        {classicHeader(10), std::span(ramp).first(9), std::nullopt, {}, SDSError(SDSError::SampleCountMismatch{10, 9})},
        {classicHeader(10), wide, std::nullopt, {}, SDSError(SDSError::SampleOutOfRange{4, 32768, 16})},
        {classicHeader(10, 8), low, std::nullopt, {}, SDSError(SDSError::SampleOutOfRange{9, -129, 8})},
        {classicHeader(10), ramp, SDSSampleNameMessage(0, 6, "x"), {}, SDSError(SDSError::SampleNameMismatch{0, 6})},
        {classicHeader(10), ramp, std::nullopt, {sps1UWName(), Bytes{0xF0, 0x01}},
         SDSError(SDSError::InvalidPreambleMessage{1})},
    };
    for (const auto& c : cases) {
        const auto build = [&] { SDSSenderStateMachine(c.header, c.samples, c.name, c.preamble, openLoop()); };
        EXPECT_EQ(test::thrown<SDSError>(build), c.expected);
    }
}

// Handshake: drives one sender by hand with the answers a device would give.
class SDSSenderHandshake : public ::testing::Test {
protected:
    SDSSenderStateMachine sender{classicHeader(100), rampSamples(100, 16), std::nullopt, {sps1UWName()}, handshake()};

    Actions answer(Kind kind, uint8_t packet, uint8_t device = 0) {
        return sender.handle(ev::Control{control(kind, packet, device)});
    }
    Actions ignored(Kind kind, uint8_t packet, uint8_t device = 0) {
        return {act::IgnoredControl{control(kind, packet, device)}};
    }
    static uint64_t timer(const Actions& actions) { return actionsOf<act::ScheduleTimeout>(actions).at(0).id; }
};

TEST_F(SDSSenderHandshake, SendsEachPacketOnlyAfterTheAnswerToTheOneBefore) {
    const auto opening = sender.handle(ev::Start{});
    EXPECT_EQ(sent(opening).size(), 2u);
    EXPECT_EQ(std::get<act::ScheduleTimeout>(opening.back()).delay, std::chrono::milliseconds(500));
    // The header may be answered with any packet number.
    auto step = answer(Kind::acknowledge, 0x42);
    ASSERT_EQ(sent(step).size(), 1u) << text(step);
    EXPECT_EQ(packetNumberSent(step), 0);
    EXPECT_TRUE(std::holds_alternative<act::CancelTimeout>(step.front()));

    EXPECT_EQ(answer(Kind::acknowledge, 5), ignored(Kind::acknowledge, 5));
    EXPECT_EQ(answer(Kind::acknowledge, 0, 3), ignored(Kind::acknowledge, 0, 3));
    EXPECT_EQ(answer(Kind::endOfFile, 0), ignored(Kind::endOfFile, 0));
    EXPECT_EQ(packetNumberSent(answer(Kind::acknowledge, 0, 0x7F)), 1);  // broadcast counts as the device
    EXPECT_EQ(packetNumberSent(answer(Kind::acknowledge, 1)), 2);
    step = answer(Kind::acknowledge, 2);
    EXPECT_TRUE(sent(step).empty());
    EXPECT_EQ(std::get<act::Completed>(step.back()).nextSamplePosition, 6);
    EXPECT_TRUE(sender.isFinished());
}

TEST_F(SDSSenderHandshake, WaitHoldsUntilTheNextAnswerOrTheWaitTimeoutAndACancelEndsTheTransferOnce) {
    sender.handle(ev::Start{});
    const auto firstPacket = answer(Kind::acknowledge, 0);
    const auto held = answer(Kind::wait, 0);
    EXPECT_TRUE(sent(held).empty());
    EXPECT_EQ(std::get<act::ScheduleTimeout>(held.back()).delay, std::chrono::seconds(5));
    EXPECT_EQ(sender.handle(ev::Timeout{timer(firstPacket)}), (Actions{act::IgnoredTimeout{timer(firstPacket)}}));
    EXPECT_EQ(packetNumberSent(answer(Kind::acknowledge, 0)), 1);
    EXPECT_EQ(packetNumberSent(sender.handle(ev::Timeout{timer(answer(Kind::wait, 1))})), 1) << "the wait timeout resends";
    // A cancel ends the transfer once.
    EXPECT_EQ(sent(sender.handle(ev::Cancel{})), std::vector<Bytes>{control(Kind::cancel, 1).encode()});
    EXPECT_EQ(answer(Kind::acknowledge, 1), ignored(Kind::acknowledge, 1));
    EXPECT_TRUE(sender.handle(ev::Start{}).empty());
    EXPECT_TRUE(sender.handle(ev::Cancel{}).empty());
}

// The header may have a wait of its own, on its first sending and on every resend; packets keep
// theirs, and a header never answered fails as packet 0 once the resends are used up.
TEST(SDSSenderStateMachine, TheHeaderWaitsItsOwnTimeout) {
    using namespace std::chrono_literals;
    for (int unanswered = 0; unanswered <= 3; ++unanswered) {
        SCOPED_TRACE(unanswered);
        auto configuration = handshake();
        configuration.headerAcknowledgementTimeout = 2s;
        SDSSenderStateMachine sender(classicHeader(100), rampSamples(100, 16), std::nullopt, {}, configuration);
        auto step = sender.handle(ev::Start{});
        for (int timeout = 0; timeout < unanswered; ++timeout) {
            const auto timer = actionsOf<act::ScheduleTimeout>(step).at(0);
            EXPECT_EQ(timer.delay, 2s);
            step = sender.handle(ev::Timeout{timer.id});
        }
        if (unanswered == 3) {
            EXPECT_EQ(sent(step), std::vector<Bytes>{control(Kind::cancel, 0).encode()});
            EXPECT_EQ(std::get<act::Failed>(step.back()).failure,
                      SDSTransferFailure(sds_failure::RetryExhausted{SDSRetryCause::timeout, 0}));
            continue;
        }
        EXPECT_EQ(sent(step), std::vector<Bytes>{classicHeader(100).encode()}) << text(step);
        EXPECT_EQ(actionsOf<act::ScheduleTimeout>(step).at(0).delay, 2s);
        step = sender.handle(ev::Control{control(Kind::acknowledge, 0)});
        EXPECT_EQ(packetNumberSent(step), 0);
        EXPECT_EQ(actionsOf<act::ScheduleTimeout>(step).at(0).delay, 500ms);
    }
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

#include <gtest/gtest.h>

#include "K7Core/Turbo/TurboFrame.h"
#include "K7Core/Turbo/TurboNegotiation.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
using E = TurboFrameError;

TEST(TurboFrame, EncodesTheThreeFramesAndDecodesEveryOneBack) {
    EXPECT_EQ(TurboFrame::query(), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7}));
    EXPECT_EQ(TurboFrame::limit(TurboSpeed::x8), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, 0x07, 0xF7}));
    EXPECT_EQ(TurboFrame::response(TurboSpeed::x20), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0B, 0xF7}));
    EXPECT_FALSE(turboSpeedFromCode(turboSpeedMaximumCode + 1));
    EXPECT_EQ(TurboFrame::decode(TurboFrame::query()), TurboMessage(turbo_message::Query{}));
    for (uint8_t c = 0; c <= turboSpeedMaximumCode; ++c) {
        const auto speed = *turboSpeedFromCode(c);
        const TurboMessage messages[] = {turbo_message::Response{speed}, turbo_message::Limit{speed}};
        for (const auto& m : messages) {
            EXPECT_EQ(TurboFrame::decode(TurboFrame::encode(m)), m) << describe(m);
        }
    }
}

// The output's pacing and the shown multiplier of every speed, in code order.
TEST(TurboSpeed, EachCodeHasItsMultiplierAndNominalByteRate) {
    const struct {
        TurboSpeed speed;
        const char* name;
        double multiplier;
        int bytesPerSecond;
    } rows[] = {
        {TurboSpeed::legacy, "legacy", 1, 3125},     {TurboSpeed::x1, "x1", 1, 3125},
        {TurboSpeed::x2, "x2", 2, 6250},             {TurboSpeed::x3Point3, "x3Point3", 3.3, 10312},
        {TurboSpeed::x4, "x4", 4, 12500},            {TurboSpeed::x5, "x5", 5, 15625},
        {TurboSpeed::x6Point7, "x6Point7", 6.7, 20625}, {TurboSpeed::x8, "x8", 8, 25000},
        {TurboSpeed::x10, "x10", 10, 31250},         {TurboSpeed::x13Point3, "x13Point3", 13.3, 41562},
        {TurboSpeed::x16, "x16", 16, 50000},         {TurboSpeed::x20, "x20", 20, 62500},
    };
    ASSERT_EQ(std::size(rows), std::size_t{turboSpeedMaximumCode} + 1);
    for (std::size_t c = 0; c < std::size(rows); ++c) {
        const auto& row = rows[c];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(turboSpeedFromCode(static_cast<uint8_t>(c)), row.speed);
        EXPECT_EQ(caseName(row.speed), row.name);
        EXPECT_EQ(multiplier(row.speed), row.multiplier);
        EXPECT_EQ(nominalBytesPerSecond(row.speed), row.bytesPerSecond);
    }
}

TEST(TurboFrame, DecodeRefusesWithTheCase) {
    const std::vector<std::pair<Bytes, E>> cases{
        {{}, E(E::InvalidEnvelope{})},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01}), E(E::InvalidEnvelope{})},  // no end byte
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x01, 0xF7}), E(E::WrongFamily{})},  // a Machinedrum message
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x00, 0x00, 0x10, 0xF7}), E(E::WrongFamily{})},  // the generic header
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0xF7}), E(E::InvalidLength{8, 6})},        // cut inside the prefix
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x04, 0x01, 0xF7}), E(E::UnsupportedCommand{0x04})},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0x00, 0xF7}), E(E::InvalidLength{8, 9})},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0xF7}), E(E::InvalidLength{9, 8})},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7}), E(E::UnknownSpeedCode{12})},
    };
    for (const auto& [frame, expected] : cases) EXPECT_EQ(test::thrown<E>([&frame = frame] { TurboFrame::decode(frame); }), expected);
    EXPECT_EQ(E(E::InvalidLength{9, 8}).describe(), "invalidLength(expected: 9, actual: 8)");
    EXPECT_STREQ(E(E::UnknownSpeedCode{12}).what(), "The Turbo MIDI message names the unknown speed code 12.");
}

using N = TurboNegotiation;
using S = TurboSpeed;

const N::State waiting = N::WaitingForResponse{std::nullopt};
const N::State waitingCapped = N::WaitingForResponse{S::x4};
const N::State waitingLimit = N::WaitingForLimitTransmission{S::x8, S::x4};
const N::State active = N::Active{S::x8, S::x8};
const N::State failed = N::Failed{N::Failure{N::Failure::Transport{}}};
const N::State idle = N::Idle{};
const N::State cancelled = N::Cancelled{};
const N::State timedOut = N::TimedOut{};

const N::Effect disarm = N::DisarmTimeout{};
const N::Effect arm = N::ArmTimeout{};
const N::Effect sendQuery = N::Send{TurboFrame::query()};

N::Input response(S speed) { return N::ReceivedFrame{TurboFrame::response(speed)}; }

struct Row {
    const char* name;
    N::State from;
    N::Input input;
    N::Transition expected;
};

TEST(TurboNegotiation, ReducesEachInputInEachKindOfState) {
    const std::vector<Row> rows{
        {"start from idle", idle, N::Start{S::x4}, {waitingCapped, {sendQuery, arm}}},
        {"restart while waiting disarms first", waiting, N::Start{S::x4}, {waitingCapped, {disarm, sendQuery, arm}}},
        {"restart while sending the limit", waitingLimit, N::Start{std::nullopt}, {waiting, {disarm, sendQuery, arm}}},
        {"response without a local maximum", waiting, response(S::x8), {active, {disarm}}},
        {"response above the local maximum", waitingCapped, response(S::x8),
         {waitingLimit, {N::Send{TurboFrame::limit(S::x4)}}}},
        {"response at the local maximum", waitingCapped, response(S::x4), {N::Active{S::x4, S::x4}, {disarm}}},
        {"limit frame is not a response", waiting, N::ReceivedFrame{TurboFrame::limit(S::x2)}, {waiting, {}}},
        {"malformed frame", waiting, N::ReceivedFrame{bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7})},
         {waiting, {}}},
        {"late response while sending the limit", waitingLimit, response(S::x20), {waitingLimit, {}}},
        {"limit sent", waitingLimit, N::LimitTransmissionSucceeded{}, {N::Active{S::x8, S::x4}, {disarm}}},
        {"limit sent reported while waiting for a response", waiting, N::LimitTransmissionSucceeded{}, {waiting, {}}},
        {"transport fails while waiting", waiting, N::TransportFailed{}, {failed, {disarm}}},
        {"transport fails while active", active, N::TransportFailed{}, {failed, {}}},
        {"transport failure when idle", idle, N::TransportFailed{}, {idle, {}}},
        {"cancel while waiting", waiting, N::Cancel{}, {cancelled, {disarm}}},
        {"cancel while active", active, N::Cancel{}, {cancelled, {}}},
        {"timeout while waiting", waiting, N::Timeout{}, {timedOut, {}}},
        {"stale timeout when active", active, N::Timeout{}, {active, {}}},
        {"reset while waiting", waitingLimit, N::Reset{}, {idle, {disarm}}},
        {"reset when active", active, N::Reset{}, {idle, {}}},
    };
    for (const auto& row : rows) {
        const auto result = N::reduce(row.from, row.input);
        EXPECT_EQ(result, row.expected) << row.name << ": got " << N::describe(result.state);
    }
    EXPECT_EQ(N::describe(waitingLimit), "waitingForLimitTransmission(peer: .x8, negotiated: .x4)");
    EXPECT_EQ(N::describe(N::Failed{N::Failure{N::Failure::InvalidTurboFrame{E(E::WrongFamily{})}}}),
              "failed(.invalidTurboFrame(wrongFamily))");
}

// Frames and send results only matter while a negotiation runs.
TEST(TurboNegotiation, SettledStatesIgnoreNegotiationInputs) {
    for (const auto& state : {failed, idle, cancelled, timedOut}) {
        for (const N::Input& input : {response(S::x8), N::Input(N::LimitTransmissionSucceeded{}), N::Input(N::Timeout{})}) {
            EXPECT_EQ(N::reduce(state, input), (N::Transition{state, {}})) << N::describe(state);
        }
    }
}

}  // namespace
}  // namespace k7

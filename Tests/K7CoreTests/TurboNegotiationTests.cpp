#include "K7Core/TurboNegotiation.h"

#include <gtest/gtest.h>

#include "K7Core/TurboFrame.h"
#include "TestBytes.h"

namespace k7 {
namespace {

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
const std::vector<N::State> everyState{waiting, waitingCapped, waitingLimit, active, failed, idle, cancelled, timedOut};

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

class TurboNegotiationTable : public ::testing::TestWithParam<Row> {};

TEST_P(TurboNegotiationTable, Reduces) {
    const auto& row = GetParam();
    const auto result = N::reduce(row.from, row.input);
    EXPECT_EQ(result, row.expected) << row.name << ": got " << N::describe(result.state);
}

INSTANTIATE_TEST_SUITE_P(
    Transitions, TurboNegotiationTable,
    ::testing::Values(
        Row{"start from idle", idle, N::Start{S::x4}, {waitingCapped, {sendQuery, arm}}},
        Row{"restart while waiting disarms first", waiting, N::Start{S::x4}, {waitingCapped, {disarm, sendQuery, arm}}},
        Row{"restart while sending the limit", waitingLimit, N::Start{std::nullopt}, {waiting, {disarm, sendQuery, arm}}},
        Row{"start while active", active, N::Start{std::nullopt}, {waiting, {sendQuery, arm}}},
        Row{"response without a local maximum", waiting, response(S::x8), {active, {disarm}}},
        Row{"response above the local maximum", waitingCapped, response(S::x8),
            {waitingLimit, {N::Send{TurboFrame::limit(S::x4)}}}},
        Row{"response at the local maximum", waitingCapped, response(S::x4), {N::Active{S::x4, S::x4}, {disarm}}},
        Row{"response below the local maximum", waitingCapped, response(S::x2), {N::Active{S::x2, S::x2}, {disarm}}},
        Row{"legacy response", waiting, response(S::legacy), {N::Active{S::legacy, S::legacy}, {disarm}}},
        Row{"limit frame is not a response", waiting, N::ReceivedFrame{TurboFrame::limit(S::x2)}, {waiting, {}}},
        Row{"query echo is not a response", waiting, N::ReceivedFrame{TurboFrame::query()}, {waiting, {}}},
        Row{"malformed frame", waiting, N::ReceivedFrame{test::bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7})},
            {waiting, {}}},
        Row{"late response while sending the limit", waitingLimit, response(S::x20), {waitingLimit, {}}},
        Row{"unsolicited response while active", active, response(S::x2), {active, {}}},
        Row{"limit sent", waitingLimit, N::LimitTransmissionSucceeded{}, {N::Active{S::x8, S::x4}, {disarm}}},
        Row{"limit sent reported while waiting for a response", waiting, N::LimitTransmissionSucceeded{}, {waiting, {}}},
        Row{"transport fails while waiting", waiting, N::TransportFailed{}, {failed, {disarm}}},
        Row{"transport fails while sending the limit", waitingLimit, N::TransportFailed{}, {failed, {disarm}}},
        Row{"transport fails while active", active, N::TransportFailed{}, {failed, {}}},
        Row{"transport failure when idle", idle, N::TransportFailed{}, {idle, {}}},
        Row{"transport failure after a timeout", timedOut, N::TransportFailed{}, {timedOut, {}}},
        Row{"cancel while waiting", waiting, N::Cancel{}, {cancelled, {disarm}}},
        Row{"cancel while active", active, N::Cancel{}, {cancelled, {}}},
        Row{"cancel when idle", idle, N::Cancel{}, {cancelled, {}}},
        Row{"timeout while waiting", waiting, N::Timeout{}, {timedOut, {}}},
        Row{"timeout while sending the limit", waitingLimit, N::Timeout{}, {timedOut, {}}},
        Row{"stale timeout when active", active, N::Timeout{}, {active, {}}},
        Row{"stale timeout after failure", failed, N::Timeout{}, {failed, {}}},
        Row{"reset while waiting", waitingLimit, N::Reset{}, {idle, {disarm}}},
        Row{"reset when active", active, N::Reset{}, {idle, {}}}),
    test::CaseName());

// Frames and send results only matter while a negotiation runs.
TEST(TurboNegotiation, SettledStatesIgnoreNegotiationInputs) {
    for (const auto& state : {failed, idle, cancelled, timedOut}) {
        for (const N::Input& input : {response(S::x8), N::Input(N::LimitTransmissionSucceeded{}), N::Input(N::Timeout{})}) {
            EXPECT_EQ(N::reduce(state, input), (N::Transition{state, {}})) << N::describe(state);
        }
    }
}

TEST(TurboNegotiation, OnlyTheTwoWaitingStatesAreWaiting) {
    std::vector<bool> flags;
    for (const auto& state : everyState) flags.push_back(N::isWaiting(state));
    EXPECT_EQ(flags, (std::vector<bool>{true, true, true, false, false, false, false, false}));
}

TEST(TurboNegotiation, DescribesStates) {
    EXPECT_EQ(N::describe(waiting), "waitingForResponse(localMaximum: nil)");
    EXPECT_EQ(N::describe(waitingLimit), "waitingForLimitTransmission(peer: .x8, negotiated: .x4)");
    EXPECT_EQ(N::describe(failed), "failed(.transport)");
    EXPECT_EQ(N::describe(N::Failed{N::Failure{N::Failure::InvalidTurboFrame{TurboFrameError(TurboFrameError::WrongFamily{})}}}),
              "failed(.invalidTurboFrame(wrongFamily))");
}

}  // namespace
}  // namespace k7

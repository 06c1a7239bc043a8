#include "K7Core/Turbo/TurboNegotiation.h"

#include <algorithm>

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Core/Turbo/TurboFrame.h"

namespace k7 {

namespace {
using N = TurboNegotiation;

std::vector<N::Effect> disarmIfWaiting(const N::State& state) {
    if (N::isWaiting(state)) return {N::DisarmTimeout{}};
    return {};
}

N::Transition unchanged(const N::State& state) { return {state, {}}; }

N::Transition receiveFrame(const N::State& state, const Bytes& frame) {
    const auto* waiting = std::get_if<N::WaitingForResponse>(&state);
    if (!waiting) return unchanged(state);
    TurboMessage message;
    try {
        message = TurboFrame::decode(frame);
    } catch (const TurboFrameError&) {
        return unchanged(state);
    }
    const auto* response = std::get_if<turbo_message::Response>(&message);
    if (!response) return unchanged(state);
    const TurboSpeed peer = response->speed;
    const TurboSpeed negotiated = waiting->localMaximum ? std::min(peer, *waiting->localMaximum) : peer;
    if (negotiated < peer) {
        return {N::WaitingForLimitTransmission{peer, negotiated}, {N::Send{TurboFrame::limit(negotiated)}}};
    }
    return {N::Active{peer, peer}, {N::DisarmTimeout{}}};
}

std::string speedText(TurboSpeed speed) { return "." + caseName(speed); }
}  // namespace

bool TurboNegotiation::isWaiting(const State& state) {
    return std::holds_alternative<WaitingForResponse>(state) ||
           std::holds_alternative<WaitingForLimitTransmission>(state);
}

TurboNegotiation::Transition TurboNegotiation::reduce(const State& state, const Input& input) {
    return std::visit(
        Overloaded{
            [&](const Start& start) {
                auto effects = disarmIfWaiting(state);
                effects.push_back(Send{TurboFrame::query()});
                effects.push_back(ArmTimeout{});
                return Transition{WaitingForResponse{start.localMaximum}, std::move(effects)};
            },
            [&](const ReceivedFrame& received) { return receiveFrame(state, received.frame); },
            [&](const LimitTransmissionSucceeded&) {
                const auto* waiting = std::get_if<WaitingForLimitTransmission>(&state);
                if (!waiting) return unchanged(state);
                return Transition{Active{waiting->peer, waiting->negotiated}, {DisarmTimeout{}}};
            },
            [&](const TransportFailed&) {
                if (!isWaiting(state) && !std::holds_alternative<Active>(state)) return unchanged(state);
                return Transition{Failed{Failure{Failure::Transport{}}}, disarmIfWaiting(state)};
            },
            [&](const Cancel&) { return Transition{Cancelled{}, disarmIfWaiting(state)}; },
            [&](const Timeout&) {
                if (!isWaiting(state)) return unchanged(state);
                return Transition{TimedOut{}, {}};
            },
            [&](const Reset&) { return Transition{Idle{}, disarmIfWaiting(state)}; },
        },
        input);
}

std::string TurboNegotiation::describe(const State& state) {
    return std::visit(
        Overloaded{
            [](const WaitingForResponse& s) {
                return describeCase("waitingForResponse",
                                    {field("localMaximum", s.localMaximum ? speedText(*s.localMaximum) : "nil")});
            },
            [](const WaitingForLimitTransmission& s) {
                return describeCase("waitingForLimitTransmission",
                                    {field("peer", speedText(s.peer)), field("negotiated", speedText(s.negotiated))});
            },
            [](const Active& s) {
                return describeCase("active",
                                    {field("peer", speedText(s.peer)), field("negotiated", speedText(s.negotiated))});
            },
            [](const Failed& s) {
                const std::string reason = std::visit(
                    Overloaded{
                        [](const Failure::InvalidTurboFrame& f) {
                            return describeCase("invalidTurboFrame", {field("", f.error.describe())});
                        },
                        [](const Failure::Transport&) { return std::string("transport"); },
                    },
                    s.failure.reason);
                return describeCase("failed", {field("", "." + reason)});
            },
            [](const Idle&) { return std::string("idle"); },
            [](const Cancelled&) { return std::string("cancelled"); },
            [](const TimedOut&) { return std::string("timedOut"); },
        },
        state);
}

}  // namespace k7

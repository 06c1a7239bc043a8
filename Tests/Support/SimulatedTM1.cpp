#include "Support/SimulatedTM1.h"

#include "K7Core/Turbo/TurboFrame.h"
#include "K7Core/Turbo/TurboFrameError.h"

namespace k7::testing {

SimulatedTM1::SimulatedTM1(Options options) : options_(options) {}

Bytes SimulatedTM1::malformedResponse() { return Bytes{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0xF7}; }

std::vector<PeerReply> SimulatedTM1::hear(const Bytes& message) {
    TurboMessage decoded;
    try {
        decoded = TurboFrame::decode(message);
    } catch (const TurboFrameError&) {
        return {};
    }
    std::lock_guard lock(mutex_);
    if (const auto* limit = std::get_if<turbo_message::Limit>(&decoded)) {
        limits_.push_back(limit->speed);
        return {};
    }
    if (!std::holds_alternative<turbo_message::Query>(decoded)) return {};
    ++queries_;
    switch (options_.answer) {
        case Answer::normal: return {PeerReply{TurboFrame::response(options_.offeredSpeed), options_.replyDelay}};
        case Answer::late: return {PeerReply{TurboFrame::response(options_.offeredSpeed), options_.lateDelay}};
        case Answer::malformed: return {PeerReply{malformedResponse(), options_.replyDelay}};
        case Answer::none: return {};
    }
    return {};
}

void SimulatedTM1::sendUnsolicitedResponse(MockMIDITransport& transport, TurboSpeed speed,
                                           std::chrono::nanoseconds delay) {
    transport.injectAfter(delay, TurboFrame::response(speed));
}

std::size_t SimulatedTM1::queriesHeard() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

std::vector<TurboSpeed> SimulatedTM1::limitsTaken() const {
    std::lock_guard lock(mutex_);
    return limits_;
}

}  // namespace k7::testing

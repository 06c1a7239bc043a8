#include "Support/SimulatedTM1.h"

#include <algorithm>
#include <array>

namespace k7::testing {

namespace {

// The interface's messages as published: F0 00 20 3C 04 00, a command, its argument, F7.
constexpr std::array<uint8_t, 6> prefix{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00};
constexpr uint8_t queryCommand = 0x01;
constexpr uint8_t responseCommand = 0x02;
constexpr uint8_t limitCommand = 0x03;

bool isCommand(const Bytes& message, uint8_t command, std::size_t size) {
    return message.size() == size && std::equal(prefix.begin(), prefix.end(), message.begin()) &&
           message[prefix.size()] == command && message.back() == 0xF7;
}

Bytes response(TurboSpeed speed) {
    return Bytes{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, responseCommand, static_cast<uint8_t>(speed), 0xF7};
}

}  // namespace

SimulatedTM1::SimulatedTM1(Options options) : options_(options) {}

Bytes SimulatedTM1::malformedResponse() { return Bytes{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0xF7}; }

std::vector<PeerReply> SimulatedTM1::hear(const Bytes& message) {
    std::lock_guard lock(mutex_);
    if (isCommand(message, limitCommand, 9) && message[7] <= static_cast<uint8_t>(TurboSpeed::x20)) {
        limits_.push_back(static_cast<TurboSpeed>(message[7]));
        return {};
    }
    if (!isCommand(message, queryCommand, 8)) return {};
    ++queries_;
    switch (options_.answer) {
        case Answer::normal: return {PeerReply{response(options_.offeredSpeed), options_.replyDelay}};
        case Answer::late: return {PeerReply{response(options_.offeredSpeed), options_.lateDelay}};
        case Answer::malformed: return {PeerReply{malformedResponse(), options_.replyDelay}};
        case Answer::none: return {};
    }
    return {};
}

void SimulatedTM1::sendUnsolicitedResponse(MockMIDITransport& transport, TurboSpeed speed,
                                           std::chrono::nanoseconds delay) {
    transport.injectAfter(delay, response(speed));
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

#include "Support/SimulatedDigiPROEmitter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "K7Core/SPS1UW/SPS1UWFileName.h"

namespace k7::testing {

Bytes SimulatedDigiPROEmitter::waveform(int position, std::string_view name) {
    // One cycle of a sine with a little second harmonic, so every resolution differs.
    std::vector<int32_t> cycle(1024);
    for (std::size_t i = 0; i < cycle.size(); ++i) {
        const double phase = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(cycle.size());
        cycle[i] = static_cast<int32_t>(1.5e9 * (std::sin(phase) + 0.25 * std::sin(2 * phase + position)));
    }
    return DigiPROEncoder::encode(cycle, position, SPS1UWFileName::normalizing(name));
}

std::vector<Bytes> SimulatedDigiPROEmitter::split(const Bytes& message, std::size_t firstPieceByteCount,
                                                  std::size_t continuationPayloadByteCount, Order order) {
    const std::size_t body = message.size() - 1;  // without the final F7
    const std::size_t first = std::min(firstPieceByteCount, body);
    std::vector<Bytes> pieces;
    Bytes piece(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(first));
    piece.push_back(0xF7);
    pieces.push_back(std::move(piece));
    for (std::size_t at = first; at < body; at += continuationPayloadByteCount) {
        const std::size_t end = std::min(body, at + continuationPayloadByteCount);
        Bytes continuation{0xF0};
        continuation.insert(continuation.end(), message.begin() + static_cast<std::ptrdiff_t>(at),
                            message.begin() + static_cast<std::ptrdiff_t>(end));
        continuation.push_back(0xF7);
        pieces.push_back(std::move(continuation));
    }
    if (order == Order::continuationsFirst) std::rotate(pieces.begin(), pieces.begin() + 1, pieces.end());
    return pieces;
}

void SimulatedDigiPROEmitter::emit(MockMIDITransport& transport, const std::vector<Bytes>& messages,
                                   std::chrono::nanoseconds interval) {
    std::chrono::nanoseconds at{0};
    for (const Bytes& message : messages) {
        transport.injectAfter(at, message);
        at += interval;
    }
}

}  // namespace k7::testing

#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Transport/MockMIDITransport.h"

namespace k7::testing {

// A Monomachine sending DigiPRO waveforms unasked (they are never acknowledged), whole or, as some
// interfaces deliver them, cut into a truncated first piece with its own F7 and continuation
// messages F0 <the next bytes> F7.
struct SimulatedDigiPROEmitter {
    // A valid 7027-byte waveform message for the slot, named by the first four characters.
    static Bytes waveform(int position, std::string_view name);

    // Which piece reaches the program first.
    enum class Order { firstPieceFirst, continuationsFirst };

    // The first `firstPieceByteCount` bytes of the message and an F7, then the rest (without its
    // F7) in continuations of at most `continuationPayloadByteCount` payload bytes each. With
    // continuationsFirst the continuations arrive, in order, before the cut first piece.
    static std::vector<Bytes> split(const Bytes& message, std::size_t firstPieceByteCount,
                                    std::size_t continuationPayloadByteCount, Order order = Order::firstPieceFirst);

    // The messages arrive at the transport's input one per `interval`.
    static void emit(MockMIDITransport& transport, const std::vector<Bytes>& messages,
                     std::chrono::nanoseconds interval);
};

}  // namespace k7::testing

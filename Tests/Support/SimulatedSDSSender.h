#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// The sustain loop a header announces, in words; type 00 forward, 01 alternating, 7F none.
struct SimulatedSDSLoop {
    uint32_t start = 0;
    uint32_t end = 0;
    uint8_t type = 0x7F;
};

// One dump as a sampler sends it: the header, the messages that follow it (SDS sample name,
// SPS-1UW name) and the data packets, all written by hand (SDSWireFixture).
struct SimulatedSDSDump {
    Bytes header;
    std::vector<Bytes> opening;
    std::vector<Bytes> packets;
    std::vector<int32_t> samples;

    // A classic header for `samples` at `significantBits`, with the packets that carry them.
    static SimulatedSDSDump make(uint8_t deviceID, uint16_t sampleNumber, int significantBits,
                                 uint32_t periodNanoseconds, std::vector<int32_t> samples,
                                 std::vector<Bytes> opening = {}, SimulatedSDSLoop loop = {});
    // The same with an extended header for one channel at a whole rate in hertz.
    static SimulatedSDSDump makeExtended(uint8_t deviceID, uint16_t sampleNumber, int significantBits,
                                         uint32_t rateHertz, std::vector<int32_t> samples,
                                         std::vector<Bytes> opening = {}, SimulatedSDSLoop loop = {});
};

// A sampler sending dumps to the program. In handshake mode it sends the header group, then each
// packet once the program has answered the one before with ACK; it resends on NAK, holds on WAIT
// until the next answer and stops on CANCEL. In open-loop mode it sends everything at
// `interMessageDelay` intervals and listens to nothing. After the last packet it sends an
// end-of-file when asked to.
//
// Scripts name packets by their index in the dump (0 = first packet).
struct SimulatedSDSSenderScript {
    // Goes silent after sending this many packets.
    std::optional<std::size_t> stopAfterPackets;
    // After this many packets of the first dump, starts the next dump (the dump abandoned).
    std::optional<std::size_t> newHeaderAfterPackets;
    // This packet goes out with a wrong checksum the first `badChecksumTimes` times.
    std::optional<std::size_t> badChecksumPacket;
    int badChecksumTimes = 1;
    // The first ACK of this packet goes unheard (handshake): the packet is sent again
    // `missedAckResendDelay` after it.
    std::optional<std::size_t> missesAckOfPacket;
    std::chrono::nanoseconds missedAckResendDelay = std::chrono::milliseconds(20);
};

class SimulatedSDSSender final : public SimulatedPeer {
public:
    struct Options {
        uint8_t deviceID = 0;
        bool handshake = true;
        bool emitEndOfFile = true;
        // Handshake: how long after an answer the next message arrives. Open loop: the pacing.
        std::chrono::nanoseconds replyDelay = std::chrono::milliseconds(1);
        std::chrono::nanoseconds interMessageDelay = std::chrono::milliseconds(2);
        // When set, the end-of-file comes this long after the answer to the last packet
        // (handshake) or after the last packet (open loop).
        std::optional<std::chrono::nanoseconds> endOfFileDelay;
        SimulatedSDSSenderScript script;
    };

    // The dumps are sent one after the other (the next after the last one's end-of-file or, by
    // script, mid-dump).
    SimulatedSDSSender(Options options, std::vector<SimulatedSDSDump> dumps);

    // Sends the first header group (handshake) or everything (open loop) to the transport's input.
    void start(MockMIDITransport& transport);

    std::vector<PeerReply> hear(const Bytes& message) override;

    std::size_t acknowledgementsHeard() const;
    std::size_t negativeAcknowledgementsHeard() const;
    bool cancelHeard() const;
    // The last dump went out completely (and, with the handshake, was acknowledged).
    bool isFinished() const;
    // Every message sent, in order, resends included.
    std::vector<Bytes> sentMessages() const;

private:
    // The messages of the next step, from (dump, unit); unit 0 is the opening group.
    std::vector<Bytes> unitMessages();
    Bytes packetToSend(std::size_t dump, std::size_t index);
    void advance();
    std::vector<PeerReply> sendCurrent(std::chrono::nanoseconds delay);
    template <typename T>
    T locked(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    const Options options_;
    const std::vector<SimulatedSDSDump> dumps_;
    mutable std::mutex mutex_;
    std::size_t dump_ = 0;
    std::size_t unit_ = 0;
    std::size_t packetsSentInDump_ = 0;
    int badChecksumsSent_ = 0;
    bool stopped_ = false;
    bool waiting_ = false;
    bool finished_ = false;
    bool cancelHeard_ = false;
    bool ackMissed_ = false;
    std::size_t acks_ = 0;
    std::size_t naks_ = 0;
    std::vector<Bytes> sent_;
};

}  // namespace k7::testing

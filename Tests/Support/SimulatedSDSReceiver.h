#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// A sampler receiving one SDS dump from the program. In handshake mode it answers the header and
// every good packet with ACK after `replyDelay`; in open-loop mode it only listens. It checks what
// it receives (device ID, packet order and checksums, where the name messages sit) and reassembles
// the sample words with its own unpacking; whatever is wrong is listed in faults().
//
// Scripts name packets by their index in the dump (0 = first packet), not by the 7-bit number.
struct SimulatedSDSReceiverScript {
    // The first arrival of this packet is answered with NAK; the resend is taken.
    std::optional<std::size_t> nakPacketOnce;
    // The first arrival of this packet is taken but not answered, so the sender times out and
    // resends it; the repeat is answered with ACK and not stored twice.
    std::optional<std::size_t> dropAckOfPacket;
    // This packet is answered with WAIT, then with ACK after `waitFor`.
    std::optional<std::size_t> waitAtPacket;
    std::chrono::nanoseconds waitFor = std::chrono::milliseconds(200);
    // This packet is answered with CANCEL and nothing more is taken.
    std::optional<std::size_t> cancelAtPacket;
};

class SimulatedSDSReceiver final : public SimulatedPeer {
public:
    struct Options {
        uint8_t deviceID = 0;
        bool handshake = true;
        std::chrono::nanoseconds replyDelay = std::chrono::milliseconds(1);
        SimulatedSDSReceiverScript script;
        // The header's answer: after this delay when given (a slow sampler), never when false.
        std::optional<std::chrono::nanoseconds> headerReplyDelay{};
        bool answersHeader = true;
    };

    explicit SimulatedSDSReceiver(Options options);

    std::vector<PeerReply> hear(const Bytes& message) override;

    std::optional<SDSDumpHeaderMessage> header() const;
    std::optional<SDSSampleNameMessage> sampleName() const;
    std::optional<SPS1UWFileNameMessage> sps1UWName() const;
    std::vector<int32_t> samples() const;
    // Every word announced by the header has arrived.
    bool isComplete() const;
    std::size_t packetsTaken() const;
    // Repeats of a packet already taken (the sender resent it after a lost ACK or a timeout).
    std::size_t repeatsSeen() const;
    std::size_t answersSent() const;
    bool endOfFileReceived() const;
    bool cancelReceived() const;
    std::vector<std::string> faults() const;

private:
    std::vector<PeerReply> onPacket(const Bytes& message);
    PeerReply reply(uint8_t kind, uint8_t packetNumber, std::chrono::nanoseconds delay);
    PeerReply reply(uint8_t kind, uint8_t packetNumber) { return reply(kind, packetNumber, options_.replyDelay); }
    void fault(std::string text) { faults_.push_back(std::move(text)); }
    template <typename T>
    T locked(const T& field) const {
        std::lock_guard lock(mutex_);
        return field;
    }

    const Options options_;
    mutable std::mutex mutex_;
    std::optional<SDSDumpHeaderMessage> header_;
    std::optional<SDSSampleNameMessage> sampleName_;
    std::optional<SPS1UWFileNameMessage> sps1UWName_;
    std::vector<int32_t> samples_;
    std::size_t packetsTaken_ = 0;
    std::size_t repeats_ = 0;
    std::size_t answers_ = 0;
    bool nakDone_ = false;
    bool dropDone_ = false;
    bool cancelled_ = false;
    bool endOfFile_ = false;
    bool cancelReceived_ = false;
    std::vector<std::string> faults_;
};

}  // namespace k7::testing

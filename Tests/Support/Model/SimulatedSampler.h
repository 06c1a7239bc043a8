#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "Support/SimulatedSDSReceiver.h"

namespace k7::testing {

// A sampler taking any number of SDS dumps in a row, each into the slot its header names. Every
// dump is taken by a SimulatedSDSReceiver of its own, which checks it and keeps its words; a new
// dump begins with a header (or an SPS-1UW name ahead of one) once the current dump has packets.
class SimulatedSampler final : public SimulatedPeer {
public:
    struct Options {
        uint8_t deviceID = 0;
        bool handshake = true;
        std::chrono::nanoseconds replyDelay = std::chrono::milliseconds(1);
        // Faults of the first, second, ... dump; dumps beyond the list go without.
        std::vector<SimulatedSDSReceiverScript> scripts;
        // How every dump's header is answered, as SimulatedSDSReceiver's options of the same names.
        std::optional<std::chrono::nanoseconds> headerReplyDelay{};
        bool answersHeader = true;
    };

    explicit SimulatedSampler(Options options) : options_(std::move(options)) {}

    std::vector<PeerReply> hear(const Bytes& message) override;

    // One receiver per dump begun, in arrival order.
    std::vector<std::shared_ptr<SimulatedSDSReceiver>> dumps() const;
    // The faults of every dump, each prefixed with its dump's index.
    std::vector<std::string> faults() const;

private:
    bool beginsDump(const Bytes& message) const;  // with mutex_ held

    const Options options_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimulatedSDSReceiver>> dumps_;
};

}  // namespace k7::testing

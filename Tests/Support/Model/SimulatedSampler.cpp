#include "Support/Model/SimulatedSampler.h"

#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {

bool SimulatedSampler::beginsDump(const Bytes& message) const {
    const bool opening = sds_wire::isHeader(message) || sds_wire::isExtendedHeader(message) ||
                         SPS1UWFileNameMessage::decode(message).has_value();
    return opening && (dumps_.empty() || dumps_.back()->packetsTaken() > 0);
}

std::vector<PeerReply> SimulatedSampler::hear(const Bytes& message) {
    std::shared_ptr<SimulatedSDSReceiver> current;
    {
        std::lock_guard lock(mutex_);
        if (beginsDump(message)) {
            SimulatedSDSReceiver::Options receiver;
            receiver.deviceID = options_.deviceID;
            receiver.handshake = options_.handshake;
            receiver.replyDelay = options_.replyDelay;
            receiver.headerReplyDelay = options_.headerReplyDelay;
            receiver.answersHeader = options_.answersHeader;
            if (dumps_.size() < options_.scripts.size()) receiver.script = options_.scripts[dumps_.size()];
            dumps_.push_back(std::make_shared<SimulatedSDSReceiver>(receiver));
        }
        if (dumps_.empty()) return {};  // not for a sampler
        current = dumps_.back();
    }
    return current->hear(message);
}

std::vector<std::shared_ptr<SimulatedSDSReceiver>> SimulatedSampler::dumps() const {
    std::lock_guard lock(mutex_);
    return dumps_;
}

std::vector<std::string> SimulatedSampler::faults() const {
    std::vector<std::string> faults;
    const auto all = dumps();
    for (std::size_t index = 0; index < all.size(); ++index) {
        for (const auto& fault : all[index]->faults()) faults.push_back("dump " + std::to_string(index) + ": " + fault);
    }
    return faults;
}

}  // namespace k7::testing

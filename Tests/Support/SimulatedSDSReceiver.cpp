#include "Support/SimulatedSDSReceiver.h"

#include "K7Core/SDS/SDSError.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {

SimulatedSDSReceiver::SimulatedSDSReceiver(Options options) : options_(std::move(options)) {}

PeerReply SimulatedSDSReceiver::reply(uint8_t kind, uint8_t packetNumber, std::chrono::nanoseconds delay) {
    ++answers_;
    return PeerReply{sds_wire::control(kind, options_.deviceID, packetNumber), delay};
}

std::vector<PeerReply> SimulatedSDSReceiver::hear(const Bytes& message) {
    std::lock_guard lock(mutex_);
    if (cancelled_) return {};
    if (sds_wire::isHeader(message) || sds_wire::isExtendedHeader(message)) {
        if (message[2] != options_.deviceID) fault("header for device " + std::to_string(message[2]));
        try {
            const auto header = SDSDumpHeaderMessage::decode(message);
            // A repeat of the header is the sender retrying the opening group.
            if (header_ && packetsTaken_ > 0) fault("a second header in the dump");
            header_ = header;
        } catch (const SDSError& error) {
            fault(std::string("undecodable header: ") + error.what());
            return {};
        }
        if (!options_.handshake) return {};
        return {reply(sds_wire::ack, 0)};
    }
    if (sds_wire::isPacket(message)) return onPacket(message);
    if (const auto name = SPS1UWFileNameMessage::decode(message)) {
        if (!header_ || packetsTaken_ > 0) fault("SPS-1UW name outside the dump's opening messages");
        if (name->deviceID != options_.deviceID) fault("SPS-1UW name for device " + std::to_string(name->deviceID));
        sps1UWName_ = name;
        return {};
    }
    if (SDSSampleNameMessage::hasNameShape(message)) {
        try {
            const auto name = SDSSampleNameMessage::decode(message);
            if (!header_ || name.sampleNumber() != header_->sampleNumber()) fault("sample name for another slot");
            sampleName_ = name;
        } catch (const SDSError& error) {
            fault(std::string("undecodable sample name: ") + error.what());
        }
        return {};
    }
    switch (sds_wire::controlKind(message)) {
        case sds_wire::endOfFile: endOfFile_ = true; break;
        case sds_wire::cancel: cancelReceived_ = true; break;
        default: break;
    }
    return {};
}

std::vector<PeerReply> SimulatedSDSReceiver::onPacket(const Bytes& message) {
    if (!header_) {
        fault("packet before any header");
        return {};
    }
    const auto expected = static_cast<uint8_t>(packetsTaken_ & 0x7F);
    const auto previous = static_cast<uint8_t>((packetsTaken_ - 1) & 0x7F);
    const uint8_t number = message[4];
    if (message[2] != options_.deviceID) fault("packet for device " + std::to_string(message[2]));
    if (message[125] != sds_wire::checksum(message)) {
        fault("bad checksum in packet " + std::to_string(number));
        return options_.handshake ? std::vector<PeerReply>{reply(sds_wire::nak, expected)} : std::vector<PeerReply>{};
    }
    if (number != expected) {
        if (packetsTaken_ > 0 && number == previous) {
            ++repeats_;
            return options_.handshake ? std::vector<PeerReply>{reply(sds_wire::ack, number)} : std::vector<PeerReply>{};
        }
        fault("packet " + std::to_string(number) + " where " + std::to_string(expected) + " was due");
        return {};
    }

    const std::size_t index = packetsTaken_;
    const auto& script = options_.script;
    if (options_.handshake && script.nakPacketOnce == index && !nakDone_) {
        nakDone_ = true;
        return {reply(sds_wire::nak, number)};
    }
    if (options_.handshake && script.cancelAtPacket == index) {
        cancelled_ = true;
        return {reply(sds_wire::cancel, number)};
    }

    const int bits = header_->significantBits();
    const auto remaining = static_cast<std::size_t>(header_->announcedSampleWords()) - samples_.size();
    const auto words = sds_wire::words(message, bits, std::min(remaining, sds_wire::wordsPerPacket(bits)));
    samples_.insert(samples_.end(), words.begin(), words.end());
    ++packetsTaken_;

    if (!options_.handshake) return {};
    if (script.dropAckOfPacket == index && !dropDone_) {
        dropDone_ = true;
        return {};
    }
    if (script.waitAtPacket == index) {
        return {reply(sds_wire::wait, number), reply(sds_wire::ack, number, options_.replyDelay + script.waitFor)};
    }
    return {reply(sds_wire::ack, number)};
}

std::optional<SDSDumpHeaderMessage> SimulatedSDSReceiver::header() const { return locked(header_); }
std::optional<SDSSampleNameMessage> SimulatedSDSReceiver::sampleName() const { return locked(sampleName_); }
std::optional<SPS1UWFileNameMessage> SimulatedSDSReceiver::sps1UWName() const { return locked(sps1UWName_); }
std::vector<int32_t> SimulatedSDSReceiver::samples() const { return locked(samples_); }
bool SimulatedSDSReceiver::isComplete() const {
    std::lock_guard lock(mutex_);
    return header_ && static_cast<int64_t>(samples_.size()) == header_->announcedSampleWords();
}
std::size_t SimulatedSDSReceiver::packetsTaken() const { return locked(packetsTaken_); }
std::size_t SimulatedSDSReceiver::repeatsSeen() const { return locked(repeats_); }
std::size_t SimulatedSDSReceiver::answersSent() const { return locked(answers_); }
bool SimulatedSDSReceiver::endOfFileReceived() const { return locked(endOfFile_); }
bool SimulatedSDSReceiver::cancelReceived() const { return locked(cancelReceived_); }
std::vector<std::string> SimulatedSDSReceiver::faults() const { return locked(faults_); }

}  // namespace k7::testing

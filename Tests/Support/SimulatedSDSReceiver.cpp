#include "Support/SimulatedSDSReceiver.h"

#include <algorithm>
#include <stdexcept>

#include "Support/SDSWireFixture.h"

namespace k7::testing {

namespace {

// What arrives is read here by hand, as the published layouts give it, rather than with the
// codec under test; only the values are kept in the codec's types, whose checks still apply.

// `count` seven-bit bytes from `at`, least significant first.
uint64_t field(ByteView message, std::size_t at, std::size_t count) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) value |= uint64_t{message[at + i]} << (7 * i);
    return value;
}

bool dataBytesOnly(ByteView message) {
    return std::all_of(message.begin() + 1, message.end() - 1, [](uint8_t byte) { return byte < 0x80; });
}

// F0 7E dd 01 ss ss ee ff ff ff gg gg gg hh hh hh ii ii ii jj F7, or the 34-byte extended header
// F0 7E dd 05 05 ss ss ee <rate 4+4> <length 5> <loop start 5> <loop end 5> <loop type> <channels> F7.
SDSDumpHeaderMessage readHeader(ByteView message) {
    if (!dataBytesOnly(message) || message.back() != 0xF7) throw std::runtime_error("a status byte inside");
    const auto number = static_cast<uint16_t>(field(message, sds_wire::isHeader(message) ? 4 : 5, 2));
    if (sds_wire::isHeader(message)) {
        return SDSDumpHeader::withSamplePeriod(
            message[2], number, message[6], static_cast<uint32_t>(field(message, 7, 3)),
            static_cast<uint32_t>(field(message, 10, 3)), static_cast<uint32_t>(field(message, 13, 3)),
            static_cast<uint32_t>(field(message, 16, 3)), message[19]);
    }
    return SDSExtendedDumpHeader::withRateFields(
        message[2], number, message[7], static_cast<uint32_t>(field(message, 8, 4)),
        static_cast<uint32_t>(field(message, 12, 4)), field(message, 16, 5), field(message, 21, 5),
        field(message, 26, 5), message[31], message[32]);
}

// F0 00 20 3C 02 dd 73 <slot> <four characters> F7.
std::optional<SPS1UWFileNameMessage> readSPS1UWName(ByteView message) {
    static constexpr uint8_t prefix[] = {0xF0, 0x00, 0x20, 0x3C, 0x02};
    if (message.size() != 13 || !std::equal(std::begin(prefix), std::end(prefix), message.begin()) ||
        message[6] != 0x73 || message.back() != 0xF7 || !dataBytesOnly(message)) {
        return std::nullopt;
    }
    return SPS1UWFileNameMessage(message[5], message[7], SPS1UWFileName(message.subspan(8, 4)));
}

bool isSampleName(ByteView message) {
    return message.size() >= 10 && message[0] == 0xF0 && message[1] == 0x7E && message[3] == 0x05 &&
           message[4] == 0x03;
}

// F0 7E dd 05 03 ss ss tt <tt bytes of language tag> nn <nn bytes of name> F7; the tag is passed over.
SDSSampleNameMessage readSampleName(ByteView message) {
    const std::size_t tag = message[7];
    if (!dataBytesOnly(message) || message.back() != 0xF7 || message.size() < 10 + tag ||
        message.size() != 10 + tag + message[8 + tag]) {
        throw std::runtime_error("lengths that do not add up");
    }
    const auto* name = message.data() + 9 + tag;
    return SDSSampleNameMessage(message[2], static_cast<uint16_t>(field(message, 5, 2)),
                                std::string(name, name + message[8 + tag]));
}

}  // namespace

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
            const auto header = readHeader(message);
            // A repeat of the header is the sender retrying the opening group.
            if (header_ && packetsTaken_ > 0) fault("a second header in the dump");
            header_ = header;
        } catch (const std::exception& error) {
            fault(std::string("undecodable header: ") + error.what());
            return {};
        }
        if (!options_.handshake || !options_.answersHeader) return {};
        return {reply(sds_wire::ack, 0, options_.headerReplyDelay.value_or(options_.replyDelay))};
    }
    if (sds_wire::isPacket(message)) return onPacket(message);
    std::optional<SPS1UWFileNameMessage> name;
    try {
        name = readSPS1UWName(message);
    } catch (const std::exception& error) {
        fault(std::string("undecodable SPS-1UW name: ") + error.what());
        return {};
    }
    if (name) {
        if (!header_ || packetsTaken_ > 0) fault("SPS-1UW name outside the dump's opening messages");
        if (name->deviceID != options_.deviceID) fault("SPS-1UW name for device " + std::to_string(name->deviceID));
        sps1UWName_ = name;
        return {};
    }
    if (isSampleName(message)) {
        try {
            const auto sampleName = readSampleName(message);
            if (!header_ || sampleName.sampleNumber() != header_->sampleNumber()) fault("sample name for another slot");
            sampleName_ = sampleName;
        } catch (const std::exception& error) {
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

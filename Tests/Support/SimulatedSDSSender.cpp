#include "Support/SimulatedSDSSender.h"

#include "Support/SDSWireFixture.h"

namespace k7::testing {

namespace {

SimulatedSDSDump dumpAfter(Bytes header, uint8_t deviceID, int significantBits, std::vector<int32_t> samples,
                           std::vector<Bytes> opening) {
    SimulatedSDSDump dump;
    dump.header = std::move(header);
    dump.opening = std::move(opening);
    dump.packets = sds_wire::packets(deviceID, samples, significantBits);
    dump.samples = std::move(samples);
    return dump;
}

}  // namespace

SimulatedSDSDump SimulatedSDSDump::make(uint8_t deviceID, uint16_t sampleNumber, int significantBits,
                                        uint32_t periodNanoseconds, std::vector<int32_t> samples,
                                        std::vector<Bytes> opening, SimulatedSDSLoop loop) {
    auto header = sds_wire::classicHeader(deviceID, sampleNumber, static_cast<uint8_t>(significantBits),
                                          periodNanoseconds, static_cast<uint32_t>(samples.size()), loop.start,
                                          loop.end, loop.type);
    return dumpAfter(std::move(header), deviceID, significantBits, std::move(samples), std::move(opening));
}

SimulatedSDSDump SimulatedSDSDump::makeExtended(uint8_t deviceID, uint16_t sampleNumber, int significantBits,
                                                uint32_t rateHertz, std::vector<int32_t> samples,
                                                std::vector<Bytes> opening, SimulatedSDSLoop loop) {
    auto header = sds_wire::extendedHeader(deviceID, sampleNumber, static_cast<uint8_t>(significantBits), rateHertz,
                                           0, samples.size(), loop.start, loop.end, loop.type);
    return dumpAfter(std::move(header), deviceID, significantBits, std::move(samples), std::move(opening));
}

SimulatedSDSSender::SimulatedSDSSender(Options options, std::vector<SimulatedSDSDump> dumps)
    : options_(std::move(options)), dumps_(std::move(dumps)) {}

Bytes SimulatedSDSSender::packetToSend(std::size_t dump, std::size_t index) {
    Bytes packet = dumps_[dump].packets[index];
    if (dump == 0 && options_.script.badChecksumPacket == index && badChecksumsSent_ < options_.script.badChecksumTimes) {
        ++badChecksumsSent_;
        packet[125] ^= 0x01;
    }
    return packet;
}

std::vector<Bytes> SimulatedSDSSender::unitMessages() {
    const auto& dump = dumps_[dump_];
    if (unit_ == 0) {
        std::vector<Bytes> messages{dump.header};
        messages.insert(messages.end(), dump.opening.begin(), dump.opening.end());
        return messages;
    }
    if (unit_ <= dump.packets.size()) return {packetToSend(dump_, unit_ - 1)};
    if (options_.emitEndOfFile) {
        return {sds_wire::control(sds_wire::endOfFile, options_.deviceID,
                                  static_cast<uint8_t>(dump.packets.size() & 0x7F))};
    }
    return {};
}

// Moves to the next unit, following the scripts; sets stopped_ or finished_ at the end.
void SimulatedSDSSender::advance() {
    const auto& script = options_.script;
    const auto nextDump = [this] {
        ++dump_;
        unit_ = 0;
        packetsSentInDump_ = 0;
    };
    if (unit_ > 0 && unit_ <= dumps_[dump_].packets.size()) ++packetsSentInDump_;
    if (dump_ == 0 && script.stopAfterPackets && packetsSentInDump_ >= *script.stopAfterPackets) {
        stopped_ = true;
    } else if (dump_ == 0 && script.newHeaderAfterPackets && packetsSentInDump_ >= *script.newHeaderAfterPackets &&
               dump_ + 1 < dumps_.size()) {
        nextDump();
    } else if (++unit_ > dumps_[dump_].packets.size() + (options_.emitEndOfFile ? 1 : 0)) {
        if (dump_ + 1 < dumps_.size()) {
            nextDump();
        } else {
            finished_ = true;
        }
    }
}

std::vector<PeerReply> SimulatedSDSSender::sendCurrent(std::chrono::nanoseconds delay) {
    std::vector<PeerReply> replies;
    for (auto& message : unitMessages()) {
        sent_.push_back(message);
        replies.push_back(PeerReply{std::move(message), delay});
    }
    return replies;
}

void SimulatedSDSSender::start(MockMIDITransport& transport) {
    std::vector<PeerReply> out;
    {
        std::lock_guard lock(mutex_);
        if (options_.handshake) {
            out = sendCurrent(std::chrono::nanoseconds::zero());
        } else {
            std::chrono::nanoseconds at{0};
            while (!stopped_ && !finished_) {
                const bool endOfFile = unit_ > dumps_[dump_].packets.size();
                if (endOfFile && options_.endOfFileDelay) at += *options_.endOfFileDelay - options_.interMessageDelay;
                for (auto& reply : sendCurrent(at)) {
                    out.push_back(std::move(reply));
                    at += options_.interMessageDelay;
                }
                advance();
            }
        }
    }
    for (auto& reply : out) transport.injectAfter(reply.delay, std::move(reply.bytes));
}

std::vector<PeerReply> SimulatedSDSSender::hear(const Bytes& message) {
    std::lock_guard lock(mutex_);
    const uint8_t kind = sds_wire::controlKind(message);
    if (kind == sds_wire::ack) ++acks_;
    if (kind == sds_wire::nak) ++naks_;
    if (kind == sds_wire::cancel) cancelHeard_ = true;
    if (!options_.handshake || stopped_ || finished_ || kind == 0 || message[2] != options_.deviceID) return {};

    const std::size_t packetCount = dumps_[dump_].packets.size();
    const bool atPacket = unit_ >= 1 && unit_ <= packetCount;
    const auto current = static_cast<uint8_t>((unit_ - 1) & 0x7F);
    switch (kind) {
        case sds_wire::ack:
            if (atPacket && message[4] != current) return {};
            waiting_ = false;
            if (atPacket && dump_ == 0 && options_.script.missesAckOfPacket == unit_ - 1 && !ackMissed_) {
                ackMissed_ = true;
                return sendCurrent(options_.script.missedAckResendDelay);
            }
            advance();
            break;
        case sds_wire::nak:
            if (atPacket && message[4] != current) return {};
            waiting_ = false;
            break;  // the same unit again
        case sds_wire::wait:
            waiting_ = true;
            return {};
        case sds_wire::cancel:
            stopped_ = true;
            return {};
        default:
            return {};
    }
    if (stopped_ || finished_) return {};
    const bool endOfFile = unit_ > packetCount;
    auto replies = sendCurrent(endOfFile ? options_.endOfFileDelay.value_or(options_.replyDelay) : options_.replyDelay);
    // Nothing answers an end-of-file: the dump is over once it is out.
    if (endOfFile) {
        advance();
        if (!finished_ && !stopped_) {
            auto next = sendCurrent(replies.front().delay + options_.interMessageDelay);
            replies.insert(replies.end(), next.begin(), next.end());
        }
    }
    return replies;
}

std::size_t SimulatedSDSSender::acknowledgementsHeard() const { return locked(acks_); }
std::size_t SimulatedSDSSender::negativeAcknowledgementsHeard() const { return locked(naks_); }
bool SimulatedSDSSender::cancelHeard() const { return locked(cancelHeard_); }
bool SimulatedSDSSender::isFinished() const { return locked(finished_); }
std::vector<Bytes> SimulatedSDSSender::sentMessages() const { return locked(sent_); }

}  // namespace k7::testing

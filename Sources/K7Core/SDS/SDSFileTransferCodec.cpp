#include "K7Core/SDS/SDSFileTransferCodec.h"

#include <algorithm>
#include <string>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSFileTransferError.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"

namespace k7 {

namespace {

[[noreturn]] void malformed(std::size_t index, std::string reason) {
    throw SDSFileTransferError(SDSFileTransferError::Malformed{index, std::move(reason)});
}

bool isSPS1UWName(const Bytes& message) { return SPS1UWFileNameMessage::decode(message).has_value(); }

bool isEndOfFile(const Bytes& message, uint8_t deviceID) {
    try {
        const auto control = SDSControlMessage::decode(message);
        return control.kind == SDSControlMessage::Kind::endOfFile && control.deviceID == deviceID;
    } catch (const SDSError&) {
        return false;
    }
}

class Splitter {
public:
    explicit Splitter(std::span<const Bytes> messages) : messages_(messages) {}

    bool startsDump(std::size_t i) const {
        if (i >= messages_.size()) return false;
        if (SDSDumpHeaderMessage::hasHeaderShape(messages_[i])) return true;
        return isSPS1UWName(messages_[i]) && i + 1 < messages_.size() &&
               SDSDumpHeaderMessage::hasHeaderShape(messages_[i + 1]);
    }

    std::vector<SDSFileTransfer> split() {
        std::vector<SDSFileTransfer> transfers;
        while (i_ < messages_.size()) {
            if (!startsDump(i_)) {
                if (SDSDataPacket::hasPacketShape(messages_[i_])) {
                    malformed(i_, "is a data packet beyond those its dump header announces");
                }
                malformed(i_, "is neither part of an SDS dump nor the start of the next one");
            }
            transfers.push_back(splitOne());
        }
        return transfers;
    }

private:
    SDSFileTransfer splitOne() {
        std::vector<Bytes> preamble;
        if (isSPS1UWName(messages_[i_])) preamble.push_back(messages_[i_++]);
        const std::size_t headerIndex = i_;
        std::optional<SDSDumpHeaderMessage> header;
        try {
            header = SDSDumpHeaderMessage::decode(messages_[i_]);
        } catch (const SDSError& error) {
            malformed(i_, "is an SDS dump header that cannot be read (" + error.describe() + ")");
        }
        preamble.push_back(messages_[i_++]);
        while (i_ < messages_.size()) {
            const Bytes& message = messages_[i_];
            if (SDSSampleNameMessage::hasNameShape(message)) {
                try {
                    SDSSampleNameMessage::decode(message);
                } catch (const SDSError& error) {
                    malformed(i_, "is an SDS sample-name message that cannot be read (" + error.describe() + ")");
                }
            } else if (!isSPS1UWName(message) || startsDump(i_)) {
                break;
            }
            preamble.push_back(message);
            ++i_;
        }

        const int bits = header->significantBits();
        const int64_t words = header->announcedSampleWords();
        const auto perPacket = static_cast<int64_t>(SDSSamplePacking::wordsPerPacket(bits));
        const int64_t expected = SDSSamplePacking::packetCount(words, bits);
        const std::string announced = std::to_string(expected) + " data packet" + (expected == 1 ? "" : "s");
        SDSFileTransfer transfer{*header, std::move(preamble), {}, {}, {}};
        for (int64_t p = 0; p < expected; ++p) {
            const std::string soFar = "only " + std::to_string(p) + " of the " + announced +
                                      " announced by the dump header at message " + std::to_string(headerIndex + 1);
            if (i_ >= messages_.size()) malformed(messages_.size() - 1, "ends the data after " + soFar);
            const Bytes& message = messages_[i_];
            if (!SDSDataPacket::hasPacketShape(message)) malformed(i_, "is not a data packet, after " + soFar);
            SDSDataPacket packet;
            try {
                packet = SDSDataPacket::decode(message);
            } catch (const SDSError& error) {
                malformed(i_, "is a data packet that cannot be read (" + error.describe() + ")");
            }
            if (packet.deviceID != header->deviceID()) {
                malformed(i_, "is a data packet for device " + std::to_string(packet.deviceID) +
                                  " inside a dump for device " + std::to_string(header->deviceID()));
            }
            const auto number = static_cast<uint8_t>(p & 0x7F);
            if (packet.packetNumber != number) {
                malformed(i_, "is data packet number " + std::to_string(packet.packetNumber) + " where number " +
                                  std::to_string(number) + " belongs");
            }
            if (!packet.hasValidChecksum()) {
                malformed(i_, "is a data packet with a wrong checksum, so its sample data is damaged");
            }
            transfer.packetMessages.push_back(message);
            transfer.packetSampleWordCounts.push_back(std::min(perPacket, words - p * perPacket));
            ++i_;
        }
        if (i_ < messages_.size() && isEndOfFile(messages_[i_], header->deviceID())) {
            transfer.completionMessages.push_back(messages_[i_++]);
        }
        return transfer;
    }

    std::span<const Bytes> messages_;
    std::size_t i_ = 0;
};

}  // namespace

std::optional<std::vector<SDSFileTransfer>> SDSFileTransferCodec::transfers(std::span<const Bytes> messages) {
    Splitter splitter(messages);
    if (!splitter.startsDump(0)) return std::nullopt;
    return splitter.split();
}

}  // namespace k7

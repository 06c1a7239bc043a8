#include "Support/Model/ReceiveRig.h"

#include "Support/SDSWireFixture.h"

namespace k7::testing {

void pressReceive(AppModelRig& rig) { rig->toggleReceiving(); }

bool stopReceiveAndFinish(AppModelRig& rig, std::chrono::nanoseconds limit) {
    rig->toggleReceiving();
    return rig.runUntil([&] { return !rig->isReceiving(); }, limit);
}

std::shared_ptr<SimulatedSDSSender> attachSDSSender(AppModelRig& rig, SimulatedSDSSender::Options options,
                                                    std::vector<SimulatedSDSDump> dumps) {
    auto sender = std::make_shared<SimulatedSDSSender>(std::move(options), std::move(dumps));
    rig.studio.attach(sender);
    return sender;
}

std::shared_ptr<SimulatedElektronMachine> attachElektronMachine(AppModelRig& rig,
                                                                SimulatedElektronMachine::Options options) {
    auto machine = std::make_shared<SimulatedElektronMachine>(options);
    rig.studio.attach(machine);
    return machine;
}

Bytes sdsSampleNameMessage(uint8_t deviceID, uint16_t sampleNumber, std::string_view asciiName) {
    // Byte by byte: GCC 12 at -O3 misjudges a range insert after an initializer list.
    Bytes message;
    message.reserve(10 + asciiName.size());
    for (uint8_t byte : {uint8_t{0xF0}, uint8_t{0x7E}, deviceID, uint8_t{0x05}, uint8_t{0x03},
                         static_cast<uint8_t>(sampleNumber & 0x7F), static_cast<uint8_t>(sampleNumber >> 7),
                         uint8_t{0x00}, static_cast<uint8_t>(asciiName.size())}) {
        message.push_back(byte);
    }
    for (char c : asciiName) message.push_back(static_cast<uint8_t>(c));
    message.push_back(0xF7);
    return message;
}

Bytes sps1UWNameMessage(uint8_t deviceID, uint8_t slot, std::string_view fourCharacters) {
    Bytes message{0xF0, 0x00, 0x20, 0x3C, 0x02, deviceID, 0x73, slot};
    for (std::size_t i = 0; i < 4; ++i) message.push_back(i < fourCharacters.size() ? fourCharacters[i] : ' ');
    message.push_back(0xF7);
    return message;
}

std::vector<Bytes> chunkedWithRealTimeBytes(const std::vector<Bytes>& messages, std::mt19937& random,
                                            std::size_t maximumChunk) {
    static constexpr uint8_t realTime[] = {0xF8, 0xFA, 0xFC, 0xFE};
    Bytes stream;
    for (const Bytes& message : messages) {
        for (uint8_t byte : message) {
            if (random() % 13 == 0) stream.push_back(realTime[random() % 4]);
            stream.push_back(byte);
        }
    }
    std::vector<Bytes> chunks;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = std::min<std::size_t>(1 + random() % maximumChunk, stream.size() - at);
        chunks.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    return chunks;
}

std::vector<TransferItem> itemsReceivedSince(const AppModelRig& rig, std::size_t earlierItemCount) {
    const auto& items = rig->items();
    return {items.begin() + static_cast<std::ptrdiff_t>(std::min(earlierItemCount, items.size())), items.end()};
}

}  // namespace k7::testing

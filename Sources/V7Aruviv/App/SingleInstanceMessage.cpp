#include "V7Aruviv/App/SingleInstanceMessage.h"

#include <string>

#include "V7Aruviv/App/SingleInstanceMessageDecoder.h"

namespace k7 {
namespace {

void appendUInt32(Bytes& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

Bytes SingleInstanceMessage::encode(const std::vector<std::filesystem::path>& paths) {
    Bytes bytes(header.begin(), header.end());
    appendUInt32(bytes, static_cast<uint32_t>(paths.size()));
    for (const auto& path : paths) {
        const std::string text = path.string();
        appendUInt32(bytes, static_cast<uint32_t>(text.size()));
        bytes.insert(bytes.end(), text.begin(), text.end());
    }
    return bytes;
}

SingleInstanceMessage::Decoded SingleInstanceMessage::decode(ByteView received) {
    SingleInstanceMessageDecoder decoder;
    const Status status = decoder.feed(received);
    if (status != Status::complete) return {status, {}};
    return {status, decoder.paths()};
}

}  // namespace k7

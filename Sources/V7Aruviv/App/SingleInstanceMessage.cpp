#include "V7Aruviv/App/SingleInstanceMessage.h"

#include <algorithm>
#include <array>
#include <string>

namespace k7 {
namespace {

constexpr std::array<uint8_t, 5> header = {'V', '7', '6', '4', SingleInstanceMessage::version};
constexpr std::size_t countSize = 4;

void appendUInt32(Bytes& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
}

uint32_t readUInt32(ByteView bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | uint32_t{bytes[3]};
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
    const Decoded incomplete{Status::incomplete, {}};
    const Decoded invalid{Status::invalid, {}};
    if (received.size() > maximumSize) return invalid;
    const std::size_t headerPrefix = std::min(received.size(), header.size());
    if (!std::equal(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(headerPrefix), header.begin())) {
        return invalid;
    }
    if (received.size() < header.size() + countSize) return incomplete;
    const uint32_t count = readUInt32(received.subspan(header.size()));
    // Every path takes its length and at least one byte.
    if (count > (maximumSize - header.size() - countSize) / (countSize + 1)) return invalid;

    Decoded decoded{Status::complete, {}};
    std::size_t offset = header.size() + countSize;
    for (uint32_t index = 0; index < count; ++index) {
        if (received.size() - offset < countSize) return incomplete;
        const uint32_t length = readUInt32(received.subspan(offset));
        offset += countSize;
        if (length == 0 || length > maximumPathSize) return invalid;
        const auto available = received.subspan(offset, std::min<std::size_t>(length, received.size() - offset));
        // A path's first bytes can be judged before the rest arrives.
        if (!available.empty() && available.front() != '/') return invalid;
        if (std::find(available.begin(), available.end(), 0) != available.end()) return invalid;
        if (available.size() < length) return incomplete;
        decoded.paths.emplace_back(std::string(available.begin(), available.end()));
        offset += length;
    }
    if (offset != received.size()) return invalid;
    return decoded;
}

}  // namespace k7

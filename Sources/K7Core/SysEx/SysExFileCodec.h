#pragma once

#include <cstddef>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7Core/SysEx/SysExParseError.h"

namespace k7 {

// Stored SysEx files: concatenated F0 ... F7 messages. White space between messages (space, tab,
// line feed, vertical tab, form feed, carriage return) is a container separator: counted, not kept.
// Anything else outside a message, and any status or real-time byte inside one, is refused, so
// that what is sent later is exactly what the file holds.
class SysExFileCodec {
public:
    static constexpr std::size_t defaultMaximumMessageBytes = 16777216;
    static constexpr std::size_t defaultMaximumMessages = 100000;

    struct ParseResult {
        std::vector<Bytes> messages;
        std::size_t containerSeparatorByteCount = 0;
        std::size_t wireByteCount = 0;
        bool operator==(const ParseResult&) const = default;
    };

    static bool isContainerSeparator(uint8_t byte) {
        return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D);
    }

    // Throws SysExParseError.
    static ParseResult parse(ByteView file, std::size_t maximumMessageBytes = defaultMaximumMessageBytes,
                             std::size_t maximumMessages = defaultMaximumMessages);

    // The file bytes for the messages, in order, with no separators.
    static Bytes join(const std::vector<Bytes>& messages);
};

}  // namespace k7

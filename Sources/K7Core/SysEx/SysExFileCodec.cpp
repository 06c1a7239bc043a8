#include "K7Core/SysEx/SysExFileCodec.h"

#include <cstring>

namespace k7 {

namespace {

// Index of the first byte at or after `from` with the high bit set, or `size`.
std::size_t findStatusByte(const uint8_t* data, std::size_t from, std::size_t size) {
    std::size_t i = from;
    // Eight bytes at a time: message bodies are long runs of data bytes.
    while (i + 8 <= size) {
        uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if (word & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < size && data[i] < 0x80) ++i;
    return i;
}

}  // namespace

SysExFileCodec::ParseResult SysExFileCodec::parse(ByteView file, std::size_t maximumMessageBytes,
                                                  std::size_t maximumMessages) {
    ParseResult result;
    const uint8_t* data = file.data();
    const std::size_t size = file.size();
    std::size_t i = 0;
    while (i < size) {
        const uint8_t byte = data[i];
        if (isContainerSeparator(byte)) {
            ++result.containerSeparatorByteCount;
            ++i;
            continue;
        }
        const std::size_t messageIndex = result.messages.size();
        if (byte == sysExEnd) throw SysExParseError(SysExParseError::EndWithoutStart{i});
        if (byte != sysExStart) throw SysExParseError(SysExParseError::StrayByte{byte, i});
        if (messageIndex >= maximumMessages) throw SysExParseError(SysExParseError::TooManyMessages{maximumMessages});

        const std::size_t start = i;
        const std::size_t end = findStatusByte(data, start + 1, size);
        if (end == size) {
            throw SysExParseError(SysExParseError::UnterminatedMessage{messageIndex, start, size - start});
        }
        const uint8_t status = data[end];
        if (status >= 0xF8) throw SysExParseError(SysExParseError::UnpreservableByte{status, messageIndex, end});
        if (status == sysExStart) throw SysExParseError(SysExParseError::NestedStart{end});
        if (status != sysExEnd) throw SysExParseError(SysExParseError::UnexpectedStatusByte{status, end});

        const std::size_t length = end + 1 - start;
        if (length > maximumMessageBytes) {
            throw SysExParseError(SysExParseError::OversizedMessage{messageIndex, start, maximumMessageBytes});
        }
        result.messages.emplace_back(data + start, data + end + 1);
        result.wireByteCount += length;
        i = end + 1;
    }
    return result;
}

Bytes SysExFileCodec::join(const std::vector<Bytes>& messages) {
    std::size_t total = 0;
    for (const auto& message : messages) total += message.size();
    Bytes file;
    file.reserve(total);
    for (const auto& message : messages) file.insert(file.end(), message.begin(), message.end());
    return file;
}

}  // namespace k7

#include "K7Core/SysEx/SysExFileCodec.h"

#include <algorithm>

#include "K7Core/SysEx/SysExByteScan.h"

namespace k7 {

namespace {

// Room for the messages the rest of the file promises at the density seen so far, instead of
// doubling all the way up: each step moves every message parsed so far. Never more than eight
// times what is there, so a file of small messages ending in a huge one costs little.
void makeRoom(std::vector<Bytes>& messages, std::size_t parsedBytes, std::size_t fileBytes, std::size_t limit) {
    const std::size_t count = messages.size();
    if (count < messages.capacity()) return;
    std::size_t wanted = std::max<std::size_t>(16, 2 * count);
    if (count >= 64) {
        const double promised = static_cast<double>(count) * static_cast<double>(fileBytes) /
                                static_cast<double>(parsedBytes) * 1.0625;
        wanted = static_cast<std::size_t>(std::clamp(promised, static_cast<double>(count + 1),
                                                     static_cast<double>(count) * 8));
    }
    messages.reserve(std::min(wanted, limit));
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
        const std::size_t end = sysex_scan::findNearStatusByte(data, start + 1, size);
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
        makeRoom(result.messages, start, size, maximumMessages);
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

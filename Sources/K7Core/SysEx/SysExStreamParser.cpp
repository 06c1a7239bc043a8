#include "K7Core/SysEx/SysExStreamParser.h"

#include <algorithm>

namespace k7 {

SysExStreamParser::SysExStreamParser(std::size_t maximumMessageBytes)
    : maximumMessageBytes_(std::max<std::size_t>(maximumMessageBytes, 2)) {}

std::vector<SysExParseEvent> SysExStreamParser::feed(ByteView bytes) {
    std::vector<SysExParseEvent> events;
    feed(bytes, events);
    return events;
}

void SysExStreamParser::startMessage(std::size_t offset) {
    message_.clear();
    message_.push_back(sysExStart);
    messageStart_ = offset;
    skippedBytes_ = 0;
    state_ = State::inside;
}

void SysExStreamParser::discardOpenMessage(SysExParseError error, std::vector<SysExParseEvent>& events) {
    const std::size_t discarded = pendingMessageByteCount();
    events.push_back(sysex_parse_event::Error{std::move(error), discarded});
    message_.clear();
    skippedBytes_ = 0;
    ++messageIndex_;
    state_ = State::outside;
}

void SysExStreamParser::feed(ByteView bytes, std::vector<SysExParseEvent>& events) {
    std::size_t i = 0;
    const std::size_t count = bytes.size();
    while (i < count) {
        if (state_ == State::inside) {
            // Copy the run of data bytes in one go; this is the hot path.
            std::size_t runEnd = i;
            while (runEnd < count && bytes[runEnd] < 0x80) ++runEnd;
            const std::size_t run = runEnd - i;
            if (run > 0) {
                if (message_.size() + run + 1 > maximumMessageBytes_) {
                    // Too long even before its end byte: drop it and skip to the end of the message.
                    skippedBytes_ = message_.size() + run;
                    message_.clear();
                    message_.shrink_to_fit();
                    state_ = State::skipping;
                } else {
                    message_.insert(message_.end(), bytes.begin() + static_cast<std::ptrdiff_t>(i),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(runEnd));
                }
                offset_ += run;
                i = runEnd;
                continue;
            }
        } else if (state_ == State::skipping) {
            std::size_t runEnd = i;
            while (runEnd < count && bytes[runEnd] < 0x80) ++runEnd;
            skippedBytes_ += runEnd - i;
            offset_ += runEnd - i;
            i = runEnd;
            if (i == count) break;
        }

        const uint8_t byte = bytes[i];
        const std::size_t offset = offset_;
        ++offset_;
        ++i;

        if (byte >= 0xF8) {
            events.push_back(sysex_parse_event::RealTime{byte, offset});
            continue;
        }

        switch (state_) {
            case State::outside:
                if (byte == sysExStart) {
                    startMessage(offset);
                } else if (byte == sysExEnd) {
                    events.push_back(sysex_parse_event::Error{SysExParseError(SysExParseError::EndWithoutStart{offset}), 1});
                }
                // Anything else is channel or system common traffic: not ours.
                break;
            case State::inside:
                if (byte == sysExEnd) {
                    message_.push_back(sysExEnd);
                    events.push_back(sysex_parse_event::Message{std::move(message_)});
                    message_ = Bytes();
                    ++messageIndex_;
                    state_ = State::outside;
                } else if (byte == sysExStart) {
                    discardOpenMessage(SysExParseError(SysExParseError::NestedStart{offset}), events);
                    startMessage(offset);
                } else {
                    discardOpenMessage(SysExParseError(SysExParseError::UnexpectedStatusByte{byte, offset}), events);
                }
                break;
            case State::skipping:
                if (byte == sysExEnd) ++skippedBytes_;
                discardOpenMessage(
                    SysExParseError(SysExParseError::OversizedMessage{messageIndex_, messageStart_, maximumMessageBytes_}),
                    events);
                if (byte == sysExStart) {
                    startMessage(offset);
                }
                break;
        }
    }
}

void SysExStreamParser::finish(std::vector<SysExParseEvent>& events) {
    if (state_ == State::inside) {
        discardOpenMessage(
            SysExParseError(SysExParseError::UnterminatedMessage{messageIndex_, messageStart_, message_.size()}), events);
    } else if (state_ == State::skipping) {
        discardOpenMessage(
            SysExParseError(SysExParseError::OversizedMessage{messageIndex_, messageStart_, maximumMessageBytes_}),
            events);
    }
}

void SysExStreamParser::reset() {
    message_.clear();
    skippedBytes_ = 0;
    state_ = State::outside;
}

}  // namespace k7

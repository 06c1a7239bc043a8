#include "K7Core/SysEx/SysExStreamParser.h"

#include <algorithm>

#include "K7Core/SysEx/SysExByteScan.h"

namespace k7 {

namespace {

class EventSink final : public SysExStreamParser::Sink {
public:
    explicit EventSink(std::vector<SysExParseEvent>& events) : events_(events) {}

    void message(ByteView message) override {
        events_.emplace_back(std::in_place_type<sysex_parse_event::Message>,
                             sysex_parse_event::Message{Bytes(message.data(), message.data() + message.size())});
    }
    void ownedMessage(Bytes&& message) override {
        events_.emplace_back(std::in_place_type<sysex_parse_event::Message>,
                             sysex_parse_event::Message{std::move(message)});
    }
    void realTime(uint8_t byte, std::size_t offset) override {
        events_.emplace_back(std::in_place_type<sysex_parse_event::RealTime>, sysex_parse_event::RealTime{byte, offset});
    }
    void error(SysExParseError error, std::size_t discardedByteCount) override {
        events_.emplace_back(std::in_place_type<sysex_parse_event::Error>,
                             sysex_parse_event::Error{std::move(error), discardedByteCount});
    }

private:
    std::vector<SysExParseEvent>& events_;
};

}  // namespace

SysExStreamParser::SysExStreamParser(std::size_t maximumMessageBytes)
    : maximumMessageBytes_(std::max<std::size_t>(maximumMessageBytes, 2)) {}

void SysExStreamParser::startMessage(std::size_t offset) {
    message_.clear();
    message_.push_back(sysExStart);
    messageStart_ = offset;
    skippedBytes_ = 0;
    state_ = State::inside;
}

template <typename AnySink>
void SysExStreamParser::discardOpenMessage(SysExParseError error, AnySink& sink) {
    const std::size_t discarded = pendingMessageByteCount();
    sink.error(std::move(error), discarded);
    message_.clear();
    skippedBytes_ = 0;
    ++messageIndex_;
    state_ = State::outside;
}

template <typename AnySink>
void SysExStreamParser::completeMessage(AnySink& sink) {
    message_.push_back(sysExEnd);
    ++messageIndex_;
    state_ = State::outside;
    if (message_.size() > retainedBufferBytes) {
        Bytes message = std::move(message_);
        message_ = Bytes();
        sink.ownedMessage(std::move(message));
    } else {
        // The buffer stays for the next message that spans chunks.
        sink.message(message_);
        message_.clear();
    }
}

template <typename AnySink>
void SysExStreamParser::run(ByteView bytes, AnySink& sink) {
    const uint8_t* data = bytes.data();
    const std::size_t count = bytes.size();
    std::size_t i = 0;
    while (i < count) {
        if (state_ == State::outside) {
            // Channel and system common traffic is not ours: on to the next system byte.
            if (data[i] != sysExStart) {
                const std::size_t next = sysex_scan::findSystemByte(data, i, count);
                offset_ += next - i;
                i = next;
                if (i == count) break;
            }
            if (data[i] == sysExStart) {
                // A whole message in this chunk goes from the input straight into its event.
                const std::size_t end = sysex_scan::findNearStatusByte(data, i + 1, count);
                if (end < count && data[end] == sysExEnd && end + 1 - i <= maximumMessageBytes_) {
                    sink.message(bytes.subspan(i, end + 1 - i));
                    ++messageIndex_;
                    offset_ += end + 1 - i;
                    i = end + 1;
                    continue;
                }
            }
        } else {
            const std::size_t runEnd = sysex_scan::findStatusByte(data, i, count);
            const std::size_t run = runEnd - i;
            if (state_ == State::skipping) {
                skippedBytes_ += run;
            } else if (run > 0) {
                if (message_.size() + run + 1 > maximumMessageBytes_) {
                    // Too long even before its end byte: drop it and skip to the end of the message.
                    skippedBytes_ = message_.size() + run;
                    message_.clear();
                    message_.shrink_to_fit();
                    state_ = State::skipping;
                } else {
                    message_.insert(message_.end(), data + i, data + runEnd);
                }
            }
            offset_ += run;
            i = runEnd;
            if (i == count) break;
        }

        const uint8_t byte = data[i];
        const std::size_t offset = offset_;
        ++offset_;
        ++i;

        if (byte >= 0xF8) {
            sink.realTime(byte, offset);
            continue;
        }

        switch (state_) {
            case State::outside:
                if (byte == sysExStart) {
                    startMessage(offset);
                } else if (byte == sysExEnd) {
                    sink.error(SysExParseError(SysExParseError::EndWithoutStart{offset}), 1);
                }
                // Anything else is channel or system common traffic: not ours.
                break;
            case State::inside:
                if (byte == sysExEnd) {
                    completeMessage(sink);
                } else if (byte == sysExStart) {
                    discardOpenMessage(SysExParseError(SysExParseError::NestedStart{offset}), sink);
                    startMessage(offset);
                } else {
                    discardOpenMessage(SysExParseError(SysExParseError::UnexpectedStatusByte{byte, offset}), sink);
                }
                break;
            case State::skipping:
                if (byte == sysExEnd) ++skippedBytes_;
                discardOpenMessage(
                    SysExParseError(SysExParseError::OversizedMessage{messageIndex_, messageStart_, maximumMessageBytes_}),
                    sink);
                if (byte == sysExStart) {
                    startMessage(offset);
                }
                break;
        }
    }
}

template <typename AnySink>
void SysExStreamParser::end(AnySink& sink) {
    if (state_ == State::inside) {
        discardOpenMessage(
            SysExParseError(SysExParseError::UnterminatedMessage{messageIndex_, messageStart_, message_.size()}), sink);
    } else if (state_ == State::skipping) {
        discardOpenMessage(
            SysExParseError(SysExParseError::OversizedMessage{messageIndex_, messageStart_, maximumMessageBytes_}),
            sink);
    }
}

void SysExStreamParser::feed(ByteView bytes, Sink& sink) { run(bytes, sink); }

void SysExStreamParser::feed(ByteView bytes, std::vector<SysExParseEvent>& events) {
    EventSink sink(events);
    run(bytes, sink);
}

std::vector<SysExParseEvent> SysExStreamParser::feed(ByteView bytes) {
    std::vector<SysExParseEvent> events;
    feed(bytes, events);
    return events;
}

void SysExStreamParser::finish(Sink& sink) { end(sink); }

void SysExStreamParser::finish(std::vector<SysExParseEvent>& events) {
    EventSink sink(events);
    end(sink);
}

void SysExStreamParser::reset() {
    message_.clear();
    skippedBytes_ = 0;
    state_ = State::outside;
}

}  // namespace k7

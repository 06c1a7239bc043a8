#pragma once

#include <cstddef>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "K7Core/SysEx/SysExParseEvent.h"

namespace k7 {

// Incremental framing of a live MIDI byte stream into complete SysEx messages.
//
// Outside a message, channel and system common traffic (and its data bytes) is skipped without
// an event, because a receive only cares about SysEx. Inside a message, real-time bytes are
// reported and left out of the message; any other status byte ends the message as incomplete.
// A message longer than the limit is dropped whole, up to its end byte.
class SysExStreamParser {
public:
    static constexpr std::size_t defaultMaximumMessageBytes = 16 * 1024 * 1024;

    // Takes what the bytes complete, in arrival order, while the parser runs; it must not call
    // back into the parser.
    class Sink {
    public:
        // Lent for the call only.
        virtual void message(ByteView message) = 0;
        // A message the parser has no more use for.
        virtual void ownedMessage(Bytes&& message) { this->message(message); }
        virtual void realTime(uint8_t byte, std::size_t offset) = 0;
        virtual void error(SysExParseError error, std::size_t discardedByteCount) = 0;

    protected:
        ~Sink() = default;
    };

    explicit SysExStreamParser(std::size_t maximumMessageBytes = defaultMaximumMessageBytes);

    void feed(ByteView bytes, Sink& sink);
    // Appends the events the bytes complete, in arrival order.
    void feed(ByteView bytes, std::vector<SysExParseEvent>& events);
    std::vector<SysExParseEvent> feed(ByteView bytes);

    // Ends the stream: a message still open becomes an `unterminatedMessage` error.
    void finish(Sink& sink);
    void finish(std::vector<SysExParseEvent>& events);

    // Forgets a partial message without reporting it.
    void reset();

    bool isInsideMessage() const { return state_ != State::outside; }
    // Bytes of the open message so far (including those of an oversized message being skipped).
    std::size_t pendingMessageByteCount() const { return state_ == State::skipping ? skippedBytes_ : message_.size(); }
    std::size_t bytesConsumed() const { return offset_; }
    std::size_t maximumMessageBytes() const { return maximumMessageBytes_; }

private:
    enum class State { outside, inside, skipping };

    // A message this long leaves with its buffer instead of a copy of it.
    static constexpr std::size_t retainedBufferBytes = 16384;

    void startMessage(std::size_t offset);
    // The framing itself, for any sink type: the event list's sink is known here, so its calls
    // need no dispatch.
    template <typename AnySink>
    void run(ByteView bytes, AnySink& sink);
    template <typename AnySink>
    void end(AnySink& sink);
    template <typename AnySink>
    void completeMessage(AnySink& sink);
    template <typename AnySink>
    void discardOpenMessage(SysExParseError error, AnySink& sink);

    std::size_t maximumMessageBytes_;
    State state_ = State::outside;
    // The open message of one that spans chunks; its buffer is reused.
    Bytes message_;
    std::size_t messageStart_ = 0;
    std::size_t messageIndex_ = 0;
    std::size_t skippedBytes_ = 0;
    std::size_t offset_ = 0;
};

}  // namespace k7

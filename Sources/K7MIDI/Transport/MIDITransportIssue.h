#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace k7 {

namespace midi_transport_issue {
// The ingress ring overflowed. `totalCount` is every received byte lost to it: those the full
// ring refused plus those of the message the gap cut, which was discarded.
struct ReceiveTruncated {
    std::size_t totalCount;
    bool operator==(const ReceiveTruncated&) const = default;
};
// A received message was discarded: unterminated, cut by a status byte, nested, oversized or an
// end byte without a start. `reason` is the framing failure's sentence; `totalCount` counts the
// messages discarded on this input since it was selected, this one included.
struct MalformedReceive {
    std::optional<int32_t> sourceEndpointID;
    std::string reason;
    std::size_t discardedByteCount;
    std::size_t totalCount;
    bool operator==(const MalformedReceive&) const = default;
};
}  // namespace midi_transport_issue

// An asynchronous receive problem, reported through the transport-issue callback.
struct MIDITransportIssue {
    using ReceiveTruncated = midi_transport_issue::ReceiveTruncated;
    using MalformedReceive = midi_transport_issue::MalformedReceive;
    using Case = std::variant<ReceiveTruncated, MalformedReceive>;

    Case issueCase;

    static MIDITransportIssue receiveTruncated(std::size_t totalCount) { return {ReceiveTruncated{totalCount}}; }
    static MIDITransportIssue malformedReceive(std::optional<int32_t> sourceEndpointID, std::string reason,
                                               std::size_t discardedByteCount, std::size_t totalCount) {
        return {MalformedReceive{sourceEndpointID, std::move(reason), discardedByteCount, totalCount}};
    }

    template <typename T>
    const T* as() const noexcept {
        return std::get_if<T>(&issueCase);
    }

    // The user-facing text.
    std::string description() const;

    bool operator==(const MIDITransportIssue&) const = default;
};

}  // namespace k7

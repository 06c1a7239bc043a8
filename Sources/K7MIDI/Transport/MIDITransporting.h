#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "K7Core/Support/Bytes.h"
#include "K7MIDI/Transport/MIDICallback.h"
#include "K7MIDI/Transport/MIDIEndpointSnapshot.h"
#include "K7MIDI/Transport/MIDIRawReceiveBatch.h"
#include "K7MIDI/Transport/MIDIReceiveDrainResult.h"
#include "K7MIDI/Transport/MIDITransportDiagnosticEvent.h"
#include "K7MIDI/Transport/MIDITransportError.h"
#include "K7MIDI/Transport/MIDITransportIssue.h"

namespace k7 {

// Called as a send hands bytes to the system: bytes handed so far and the message's total.
using MIDISendProgress = std::function<void(std::size_t sentBytes, std::size_t totalBytes)>;

// The one interface for sending and receiving MIDI. Every implementation keeps this contract:
//
// Callbacks
// - Install callbacks before selecting endpoints; they may be replaced at any time (each slot is
//   guarded by a lock) and run on the transport's own queues, never synchronously inside a
//   caller's select, send, cancel or drain call.
// - onReceiveBytes gets each complete SysEx message once, in arrival order, on the receive queue.
//   onRawReceiveBatch gets the input bytes exactly as received (real-time bytes and all) on the
//   same queue, before the messages framed from them.
//
// Receiving never alters or silently drops a byte
// - Real-time bytes (F8-FF) inside a message are removed without breaking it; other channel and
//   system common traffic outside SysEx is ignored without an issue.
// - A malformed or unterminated message is discarded and reported as malformedReceive with its
//   byte counts; an overflow of the bounded ingress ring is reported as receiveTruncated, and the
//   message it cut is discarded rather than delivered with a hole in it.
//
// Sending
// - send(sysEx:) takes exactly one complete F0 ... F7 message of data bytes (else invalidSysEx),
//   is safe from any thread, serialises concurrent senders, keeps each caller's messages in
//   order, and blocks its caller until the message has been handed to the system at the output's
//   maximum SysEx speed.
// - cancelPendingSends() wakes every blocked or waiting send at once (it throws cancelled); sends
//   started after it work normally.
// - configureMaximumSysExSpeed applies to every send to the selected output; nullopt restores the
//   speed the output had before the first change. The default speed is 3125 bytes per second.
class MIDITransporting {
public:
    using Duration = std::chrono::nanoseconds;
    using DrainCompletion = std::function<void(MIDIReceiveDrainResult)>;

    static constexpr int defaultMaximumSysExBytesPerSecond = 3125;

    virtual ~MIDITransporting() = default;

    MIDICallback<const MIDIEndpointSnapshot&> onEndpointsChanged;
    MIDICallback<const Bytes&> onReceiveBytes;
    MIDICallback<const MIDIRawReceiveBatch&> onRawReceiveBatch;
    MIDICallback<const MIDITransportIssue&> onTransportIssue;
    MIDICallback<const MIDITransportDiagnosticEvent&> onDiagnostic;

    virtual MIDIEndpointSnapshot endpointSnapshot() const = 0;

    // nullopt selects nothing. Re-selecting the selected id changes nothing. Throws
    // endpointUnavailable for an id the snapshot does not hold (or holds offline).
    virtual void selectInput(std::optional<int32_t> id) = 0;
    virtual void selectOutput(std::optional<int32_t> id) = 0;

    virtual void send(ByteView sysEx, const MIDISendProgress& progress) = 0;
    void send(ByteView sysEx) { send(sysEx, MIDISendProgress()); }

    virtual void cancelPendingSends() = 0;

    // Nothing received before the call is delivered after it; a message in progress is dropped.
    virtual void cancelPendingReceives() = 0;

    // Completes on the receive queue once no SysEx has arrived for `quietFor` since the later of
    // the call and its last byte, or when `timeout` has passed; real-time bytes (a clock, active
    // sensing) and other traffic between messages do not count. A final message still open then
    // is discarded and its byte count reported.
    virtual void drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) = 0;

    virtual void configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) = 0;
};

}  // namespace k7

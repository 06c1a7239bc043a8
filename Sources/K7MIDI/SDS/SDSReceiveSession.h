#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "K7Core/SDS/SDSReceiverConfiguration.h"
#include "K7Core/SDS/SDSReceiverStatus.h"
#include "K7Dispatch/Executor.h"
#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/SDS/SDSDiagnosticFields.h"
#include "K7MIDI/SDS/SDSReceiveCompletion.h"
#include "K7MIDI/SDS/SDSReceiveFormat.h"
#include "K7MIDI/SDS/SDSReceiveProgress.h"
#include "K7MIDI/SDS/SDSReceiveSessionFailure.h"
#include "K7MIDI/SDS/SDSReceivedSampleMetadata.h"
#include "K7MIDI/Transport/MIDICallback.h"
#include "K7MIDI/Transport/MIDITransporting.h"

namespace k7 {

// Receives SDS dumps from the messages its owner hands it: runs an SDSReceiverStateMachine on the
// session's own queue, answers the sender through the transport, and runs the receiver's timers,
// each capped at `maximumScheduledTimeout`.
//
// After a dump's last packet the session waits `trailingEndOfFileGracePeriod` for the sender's
// end-of-file message, which then belongs to the dump's raw messages; a repeat of that packet
// (answered again) starts the wait anew, and any other message, the end of the wait or cancel()
// delivers the completion first. Callbacks, diagnostic events ("sds.receiver.*") among them, run
// on the callback queue in the order the receiver produced them. Releasing a session stops its
// timers and delivers nothing more, except the diagnostic events of what happened before and of
// a cancel asked for before it.
class SDSReceiveSession {
    // Declared first: the callback references below point into it.
    struct Core;
    std::shared_ptr<Core> core_;

public:
    using Duration = std::chrono::nanoseconds;

    // `scheduler` runs the timers (by default one timer queue shared by every session); `queue` is
    // where the session's state lives (by default a serial queue of its own). Tests pass one
    // ManualScheduler for both.
    SDSReceiveSession(std::shared_ptr<MIDITransporting> transport, const SDSReceiverConfiguration& configuration,
                      SDSReceiveFormat receiveFormat, std::shared_ptr<Executor> callbackQueue,
                      std::shared_ptr<Scheduler> scheduler = nullptr,
                      Duration maximumScheduledTimeout = std::chrono::seconds(5),
                      Duration trailingEndOfFileGracePeriod = std::chrono::milliseconds(50),
                      std::shared_ptr<Executor> queue = nullptr);
    ~SDSReceiveSession();

    SDSReceiveSession(const SDSReceiveSession&) = delete;
    SDSReceiveSession& operator=(const SDSReceiveSession&) = delete;

    // One complete SysEx message from the input, any thread; messages are taken in call order.
    void receive(ByteView sysEx);
    // Delivers a completion still waiting for its end-of-file, then ends a dump under way with
    // transfer(localCancelled) (telling a handshaking sender). The session stays usable. Runs even
    // when the session is released before the session's queue gets to it: the CANCEL still goes
    // out, once, and nothing after it.
    void cancel();

    SDSReceiveFormat receiveFormat() const;
    // Both safe from any thread while the session runs.
    SDSReceiverStatus receiverStatus() const;
    std::vector<SDSReceivedSampleMetadata> receivedSampleMetadata() const;

    MIDICallback<const SDSDumpHeaderMessage&>& onHeader;
    MIDICallback<const SDSSampleNameMessage&>& onSampleName;
    MIDICallback<const SPS1UWFileNameMessage&>& onSPS1UWName;
    MIDICallback<const SDSReceiveProgress&>& onProgress;
    MIDICallback<const SDSReceiveCompletion&>& onCompleted;
    MIDICallback<const SDSReceiveSessionFailure&>& onFailure;
    // Messages that are not part of a dump being received, and timers no longer current.
    MIDICallback<const Bytes&>& onIgnoredMessage;
    MIDICallback<uint64_t>& onIgnoredTimeout;
    MIDICallback<const std::string&, const SDSDiagnosticFields&>& onDiagnosticEvent;
};

}  // namespace k7

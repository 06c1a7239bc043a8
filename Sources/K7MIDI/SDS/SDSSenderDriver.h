#pragma once

#include <memory>
#include <string>
#include <variant>

#include "K7Core/SDS/SDSSenderStateMachine.h"
#include "K7Core/Support/Bytes.h"
#include "K7Dispatch/Executor.h"
#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/SDS/SDSDiagnosticFields.h"
#include "K7MIDI/SDS/SDSSenderDriverCompletion.h"
#include "K7MIDI/SDS/SDSSenderDriverError.h"
#include "K7MIDI/SDS/SDSSenderDriverProgress.h"
#include "K7MIDI/Transport/MIDICallback.h"
#include "K7MIDI/Transport/MIDITransporting.h"

namespace k7 {

using SDSSenderDriverResult = std::variant<SDSSenderDriverCompletion, SDSSenderDriverError>;

// Runs one SDSSenderStateMachine at a time over a transport: sends its messages, turns its timeouts
// into timers and feeds the device's handshake replies and the timers' expiries back to it.
//
// The transfer's state lives on the driver's queue (by default a serial queue of its own); sends
// block that queue, never the caller. Progress and the completion are posted to the callback queue;
// exactly one completion follows every successful start(). Diagnostic events ("sds.sender.*") are
// reported on the thread that produces them.
//
// cancel() may be called any number of times from any thread; a running transfer then ends in
// transfer(localCancelled), also when the cancel makes a blocked send fail. Without a cancel, a send
// the transport cancels ends in transport(cancelled). Releasing the driver stops its timers and its
// sends after the one under way, and delivers nothing more.
class SDSSenderDriver {
    // Declared first: the callback references below point into it.
    struct Core;
    std::shared_ptr<Core> core_;

public:
    // `scheduler` runs the timers (by default the driver's queue); `queue` is where the transfer's
    // state lives (by default a serial queue of its own). Tests pass one ManualScheduler for both.
    //
    // With automatic routing the driver takes the transport's onReceiveBytes slot for itself and
    // empties it when released: only for owners that have nothing else listening. Otherwise the
    // owner hands the device's replies to receive().
    SDSSenderDriver(std::shared_ptr<MIDITransporting> transport, std::shared_ptr<Executor> callbackQueue,
                    bool automaticallyRouteIncomingControls = false, std::shared_ptr<Scheduler> scheduler = nullptr,
                    std::shared_ptr<Scheduler> queue = nullptr);
    ~SDSSenderDriver();

    SDSSenderDriver(const SDSSenderDriver&) = delete;
    SDSSenderDriver& operator=(const SDSSenderDriver&) = delete;

    // Throws SDSSenderDriverError alreadyActive while a transfer runs (until its completion is
    // posted). A machine that was already started ends in invalidStateMachineOutput.
    void start(SDSSenderStateMachine machine);
    // One received SysEx message; anything but an SDS handshake message is ignored. Any thread.
    void receive(ByteView message);
    void cancel();
    bool isActive() const;

    MIDICallback<const SDSSenderDriverProgress&>& onProgress;
    MIDICallback<const SDSSenderDriverResult&>& onCompletion;
    MIDICallback<const std::string&, const SDSDiagnosticFields&>& onDiagnosticEvent;

private:
    bool routesIncomingControls_;
};

}  // namespace k7

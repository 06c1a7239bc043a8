#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/Transport/MIDIOutputSpeedTable.h"
#include "K7MIDI/Transport/MIDIReceivePath.h"
#include "K7MIDI/Transport/MIDISendGate.h"
#include "K7MIDI/Transport/MIDITransporting.h"

namespace k7 {

struct MockMIDITransportOptions {
    // Receive queue and clock. Without one the mock runs a SerialQueue of its own.
    std::shared_ptr<Scheduler> scheduler;
    MIDIReceivePathConfiguration receivePath = withoutWorker();

    static MIDIReceivePathConfiguration withoutWorker() {
        MIDIReceivePathConfiguration configuration;
        configuration.usesWorkerThread = false;
        return configuration;
    }
};

// An in-memory transport: the application's fallback when there is no MIDI system, and the test
// double of everything above the transport.
//
// Received bytes take the real receive path (ring, framing, drain). With an injected
// ManualScheduler as its queue, and without an ingress worker (the default), everything it
// delivers happens while the test pumps that scheduler, in virtual time.
class MockMIDITransport final : public MIDITransporting {
public:
    using MIDITransporting::send;

    using Options = MockMIDITransportOptions;

    enum class Operation { send, selectInput, selectOutput, configureMaximumSysExSpeed, cancelPendingSends };

    struct SentMessage {
        Bytes bytes;
        Scheduler::TimePoint time;
        int32_t outputID = 0;
        int bytesPerSecond = 0;  // the output's maximum SysEx speed when it was sent
    };

    // What the device at the output answers to one message: bytes arriving `delay` after it.
    struct PeerReply {
        Bytes bytes;
        Duration delay{};
    };
    using Peer = std::function<std::vector<PeerReply>(const SentMessage&)>;

    explicit MockMIDITransport(MIDIEndpointSnapshot snapshot = {}, Options options = {});
    ~MockMIDITransport() override;

    MIDIEndpointSnapshot endpointSnapshot() const override;
    void selectInput(std::optional<int32_t> id) override;
    void selectOutput(std::optional<int32_t> id) override;
    void send(ByteView sysEx, const MIDISendProgress& progress) override;
    void cancelPendingSends() override;
    void cancelPendingReceives() override;
    void drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) override;
    void configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) override;

    // --- Scripting ---

    // Sees every sent message (on the sending thread) and may answer with delayed bytes.
    void setPeer(Peer peer);
    // Raw bytes arriving at the selected input now, as one chunk of the system's input; false when
    // no input is selected or the ring refused them (a receiveTruncated follows).
    bool inject(ByteView chunk);
    // Several chunks in a row, as a device's message split by the system.
    void inject(const std::vector<Bytes>& chunks);
    void injectAfter(Duration delay, Bytes chunk);
    // While held, injected bytes stay in the ring, so a small ring can be made to overflow.
    void holdIngress();
    void releaseIngress();

    // A new endpoint list, announced through onEndpointsChanged on the queue.
    void setEndpoints(MIDIEndpointSnapshot snapshot);

    // The next call of `operation` throws `error` (failures queue up in order).
    void failNext(Operation operation, MIDITransportError error);
    // Every call of `operation` throws `error` until cleared with nullopt.
    void failAlways(Operation operation, std::optional<MIDITransportError> error);

    // While set, a send lasts as long as its bytes take on the wire at the output's maximum SysEx
    // speed, as on a hardware output: once the message is handed over, `wait` gets that time and
    // returns when it has passed (a virtual-time test moves its scheduler on there). The output is
    // free meanwhile, so that a send made by a task that runs during the wait cannot deadlock.
    void setWireTimeWait(std::function<void(Duration)> wait);

    // While on, each send blocks after its checks until released or cancelled.
    void setBlockingSends(bool blocking);
    // Waits, in real time, until `count` sends are blocked; false on timeout.
    bool waitForBlockedSends(std::size_t count, std::chrono::milliseconds timeout);
    void releaseBlockedSends();

    // --- Inspection ---

    std::vector<SentMessage> sentMessages() const;
    void clearSentMessages();
    std::optional<int32_t> selectedInput() const;
    std::optional<int32_t> selectedOutput() const;
    // The maximum SysEx speed of an output (of the selected one by default).
    int maximumSysExSpeed(std::optional<int32_t> output = std::nullopt) const;
    std::size_t cancelPendingSendsCount() const;
    std::size_t cancelPendingReceivesCount() const;
    K7MIDIIngressMetrics ingressMetrics() const;
    Scheduler& scheduler() const { return *scheduler_; }

private:
    struct Lifetime;

    void throwScriptedFailure(Operation operation);  // with mutex_ held
    // The send within the output's turn; returns the speed it went out at.
    int sendInTurn(ByteView sysEx, const MIDISendProgress& progress);
    void deliverLater(Duration delay, Bytes bytes);

    std::shared_ptr<Scheduler> scheduler_;
    std::shared_ptr<Lifetime> lifetime_;

    mutable std::mutex mutex_;
    std::condition_variable blockedChanged_;
    MIDIEndpointSnapshot snapshot_;
    std::optional<int32_t> selectedInput_;
    std::optional<int32_t> selectedOutput_;
    MIDIOutputSpeedTable speeds_{defaultMaximumSysExBytesPerSecond};
    std::vector<SentMessage> sent_;
    Peer peer_;
    std::function<void(Duration)> wireTimeWait_;
    std::map<Operation, std::deque<MIDITransportError>> nextFailures_;
    std::map<Operation, MIDITransportError> standingFailures_;
    bool blockingSends_ = false;
    std::size_t blockedSends_ = 0;
    uint64_t releases_ = 0;
    std::size_t cancelSendCount_ = 0;
    std::size_t cancelReceiveCount_ = 0;

    // One producer at a time for the ring.
    std::mutex injectMutex_;
    bool ingressHeld_ = false;

    MIDISendGate gate_;
    std::unique_ptr<MIDIReceivePath> receivePath_;
};

}  // namespace k7

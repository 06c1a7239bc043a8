#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "K7Core/Support/Bytes.h"
#include "K7Core/SysEx/SysExStreamParser.h"
#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/Transport/MIDIRawReceiveBatch.h"
#include "K7MIDI/Transport/MIDIReceiveDrainResult.h"
#include "K7MIDI/Transport/MIDITransportDiagnosticEvent.h"
#include "K7MIDI/Transport/MIDITransportIssue.h"
#include "K7MIDIIngress/K7MIDIIngress.h"

namespace k7 {

struct MIDIReceivePathConfiguration {
    std::size_t ringCapacity = std::size_t{1} << 20;  // 16 s of the fastest Turbo rate
    std::size_t maximumMessageBytes = SysExStreamParser::defaultMaximumMessageBytes;
    // Without a worker the producer's thread hands batches over itself (pump), which keeps a
    // mock transport deterministic under virtual time.
    bool usesWorkerThread = true;
};

// The receive path every transport shares: the ingress ring and its worker, then the receive
// queue that frames batches into complete SysEx messages and delivers them in arrival order.
//
// Handlers run on the receive queue, one at a time. The producer side (write, markLoss, and pump
// without a worker) belongs to one thread at a time and takes no lock; everything else may be
// called from any thread.
class MIDIReceivePath {
public:
    using Duration = Scheduler::Duration;

    struct Handlers {
        std::function<void(const Bytes&)> message;
        std::function<void(const MIDIRawReceiveBatch&)> rawBatch;
        std::function<void(const MIDITransportIssue&)> issue;
        std::function<void(const MIDITransportDiagnosticEvent&)> diagnostic;
    };

    MIDIReceivePath(std::shared_ptr<Scheduler> receiveQueue, Handlers handlers,
                    MIDIReceivePathConfiguration configuration = {});
    // Joins the worker; tasks still queued afterwards do nothing.
    ~MIDIReceivePath();

    MIDIReceivePath(const MIDIReceivePath&) = delete;
    MIDIReceivePath& operator=(const MIDIReceivePath&) = delete;

    // Opens a new stream for the source: a fresh ring, worker and framing state.
    void connect(int32_t sourceEndpointID);
    void disconnect();
    std::optional<int32_t> connectedSource() const;

    // Producer: copies bytes into the ring; false when they were dropped or nothing is connected.
    bool write(ByteView bytes);
    // Producer: the system lost input here (its size unknown when 0); reported like an overflow.
    void markLoss(std::size_t byteCount);
    // Without a worker: hands everything waiting in the ring to the receive queue now.
    void pump();

    void cancelPending();
    void drain(Duration quietFor, Duration timeout, std::function<void(MIDIReceiveDrainResult)> completion);

    K7MIDIIngressMetrics metrics() const;

    struct State;

private:
    struct Connection;

    // The producer's side of the connection handshake: announces itself, then reads the live
    // connection; returns what `use` returns for it (nullptr when none).
    template <typename Use>
    auto produce(Use use);
    // Owner's side, under controlMutex_: stops producers from reaching the current connection
    // and waits for one that may still use it.
    void retireLiveConnection();

    std::shared_ptr<Scheduler> queue_;
    MIDIReceivePathConfiguration configuration_;
    std::shared_ptr<State> state_;
    // Connecting, disconnecting and the queries, among themselves.
    mutable std::mutex controlMutex_;
    std::unique_ptr<Connection> connection_;
    uint64_t nextConnectionID_ = 1;
    // Writes take no lock: the owner replaces the connection the producer reads, and waits while
    // a producer is inside (see ProcessBarrier.h).
    bool processBarrier_ = false;
    std::atomic<Connection*> live_{nullptr};
    std::atomic<uint64_t> producerSequence_{0};
};

}  // namespace k7

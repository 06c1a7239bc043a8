#include "K7MIDI/Transport/MockMIDITransport.h"

#include "K7Dispatch/QueueLabel.h"
#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/Transport/MIDISendPacer.h"

namespace k7 {

// Delayed replies must not reach a mock that is gone.
struct MockMIDITransport::Lifetime {
    explicit Lifetime(MockMIDITransport* owner) : transport(owner) {}
    std::mutex mutex;
    MockMIDITransport* transport;
};

MockMIDITransport::MockMIDITransport(MIDIEndpointSnapshot snapshot, Options options)
    : scheduler_(options.scheduler ? std::move(options.scheduler) : std::make_shared<SerialQueue>(queueLabel(".midi.mock"))),
      lifetime_(std::make_shared<Lifetime>(this)),
      snapshot_(std::move(snapshot)) {
    MIDIReceivePath::Handlers handlers;
    handlers.message = [this](const Bytes& message) { onReceiveBytes(message); };
    handlers.rawBatch = [this](const MIDIRawReceiveBatch& batch) { onRawReceiveBatch(batch); };
    handlers.issue = [this](const MIDITransportIssue& issue) { onTransportIssue(issue); };
    handlers.diagnostic = [this](const MIDITransportDiagnosticEvent& event) { onDiagnostic(event); };
    receivePath_ = std::make_unique<MIDIReceivePath>(scheduler_, std::move(handlers), options.receivePath);
}

MockMIDITransport::~MockMIDITransport() {
    {
        std::lock_guard lock(lifetime_->mutex);
        lifetime_->transport = nullptr;
    }
    gate_.cancel();
    receivePath_.reset();
}

MIDIEndpointSnapshot MockMIDITransport::endpointSnapshot() const {
    std::lock_guard lock(mutex_);
    return snapshot_;
}

void MockMIDITransport::throwScriptedFailure(Operation operation) {
    if (auto queued = nextFailures_.find(operation); queued != nextFailures_.end() && !queued->second.empty()) {
        MIDITransportError error = std::move(queued->second.front());
        queued->second.pop_front();
        throw error;
    }
    if (auto standing = standingFailures_.find(operation); standing != standingFailures_.end()) {
        throw standing->second;
    }
}

void MockMIDITransport::selectInput(std::optional<int32_t> id) {
    {
        std::lock_guard lock(mutex_);
        throwScriptedFailure(Operation::selectInput);
        if (id == selectedInput_) return;
        if (id) {
            const MIDIEndpoint* endpoint = snapshot_.input(*id);
            if (!endpoint || !endpoint->isOnline) throw MIDITransportError::endpointUnavailable();
        }
        selectedInput_ = id;
    }
    std::lock_guard producer(injectMutex_);
    if (id) {
        receivePath_->connect(*id);
    } else {
        receivePath_->disconnect();
    }
}

void MockMIDITransport::selectOutput(std::optional<int32_t> id) {
    std::lock_guard lock(mutex_);
    throwScriptedFailure(Operation::selectOutput);
    if (id == selectedOutput_) return;
    if (id) {
        const MIDIEndpoint* endpoint = snapshot_.output(*id);
        if (!endpoint || !endpoint->isOnline) throw MIDITransportError::endpointUnavailable();
    }
    selectedOutput_ = id;
}

void MockMIDITransport::send(ByteView sysEx, const MIDISendProgress& progress) {
    const int bytesPerSecond = sendInTurn(sysEx, progress);
    std::function<void(Duration)> wait;
    {
        std::lock_guard lock(mutex_);
        wait = wireTimeWait_;
    }
    if (wait) wait(MIDISendPacer::wireTime(sysEx.size(), bytesPerSecond));
}

void MockMIDITransport::setWireTimeWait(std::function<void(Duration)> wait) {
    std::lock_guard lock(mutex_);
    wireTimeWait_ = std::move(wait);
}

int MockMIDITransport::sendInTurn(ByteView sysEx, const MIDISendProgress& progress) {
    if (!isFramedSysEx(sysEx)) throw MIDITransportError(MIDITransportError::InvalidSysEx{sysEx.size()});
    auto turn = gate_.enter();

    bool blocks = false;
    uint64_t releasesSeen = 0;
    {
        std::lock_guard lock(mutex_);
        if (!selectedOutput_) throw MIDITransportError::noOutputSelected();
        throwScriptedFailure(Operation::send);
        const MIDIEndpoint* endpoint = snapshot_.output(*selectedOutput_);
        if (!endpoint || !endpoint->isOnline) throw MIDITransportError::endpointUnavailable();
        blocks = blockingSends_;
        releasesSeen = releases_;
        if (blocks) ++blockedSends_;
    }
    if (blocks) {
        blockedChanged_.notify_all();
        auto unblock = [this] {
            std::lock_guard lock(mutex_);
            --blockedSends_;
        };
        try {
            turn.waitUntil(std::nullopt, [this, releasesSeen] {
                std::lock_guard lock(mutex_);
                return releases_ != releasesSeen;
            });
        } catch (...) {
            unblock();
            throw;
        }
        unblock();
    }

    SentMessage record;
    Peer peer;
    {
        std::lock_guard lock(mutex_);
        record = SentMessage{Bytes(sysEx.begin(), sysEx.end()), scheduler_->now(), *selectedOutput_,
                             speeds_.speed(*selectedOutput_)};
        sent_.push_back(record);
        peer = peer_;
    }
    if (progress) {
        const std::size_t chunk = MIDISendPacer::chunkSize(record.bytesPerSecond);
        for (std::size_t sent = std::min(chunk, sysEx.size());; sent = std::min(sent + chunk, sysEx.size())) {
            progress(sent, sysEx.size());
            if (sent == sysEx.size()) break;
        }
    }
    if (peer) {
        for (auto& reply : peer(record)) deliverLater(reply.delay, std::move(reply.bytes));
    }
    return record.bytesPerSecond;
}

void MockMIDITransport::deliverLater(Duration delay, Bytes bytes) {
    auto task = [lifetime = std::weak_ptr<Lifetime>(lifetime_), bytes = std::move(bytes)] {
        auto locked = lifetime.lock();
        if (!locked) return;
        std::lock_guard lock(locked->mutex);
        if (locked->transport) locked->transport->inject(bytes);
    };
    if (delay > Duration::zero()) {
        scheduler_->postAfter(delay, std::move(task));
    } else {
        scheduler_->post(std::move(task));
    }
}

void MockMIDITransport::cancelPendingSends() {
    {
        std::lock_guard lock(mutex_);
        throwScriptedFailure(Operation::cancelPendingSends);
        ++cancelSendCount_;
    }
    gate_.cancel();
}

void MockMIDITransport::cancelPendingReceives() {
    {
        std::lock_guard lock(mutex_);
        ++cancelReceiveCount_;
    }
    receivePath_->cancelPending();
}

void MockMIDITransport::drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) {
    receivePath_->drain(quietFor, timeout, std::move(completion));
}

void MockMIDITransport::configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) {
    std::lock_guard lock(mutex_);
    throwScriptedFailure(Operation::configureMaximumSysExSpeed);
    if (!selectedOutput_) throw MIDITransportError::noOutputSelected();
    speeds_.configure(*selectedOutput_, bytesPerSecond);
}

void MockMIDITransport::setPeer(Peer peer) {
    std::lock_guard lock(mutex_);
    peer_ = std::move(peer);
}

bool MockMIDITransport::inject(ByteView chunk) {
    std::lock_guard producer(injectMutex_);
    const bool accepted = receivePath_->write(chunk);
    if (!ingressHeld_) receivePath_->pump();
    return accepted;
}

void MockMIDITransport::inject(const std::vector<Bytes>& chunks) {
    for (const auto& chunk : chunks) inject(chunk);
}

void MockMIDITransport::injectAfter(Duration delay, Bytes chunk) { deliverLater(delay, std::move(chunk)); }

void MockMIDITransport::holdIngress() {
    std::lock_guard producer(injectMutex_);
    ingressHeld_ = true;
}

void MockMIDITransport::releaseIngress() {
    std::lock_guard producer(injectMutex_);
    ingressHeld_ = false;
    receivePath_->pump();
}

void MockMIDITransport::setEndpoints(MIDIEndpointSnapshot snapshot) {
    {
        std::lock_guard lock(mutex_);
        snapshot_ = snapshot;
    }
    scheduler_->post([lifetime = std::weak_ptr<Lifetime>(lifetime_), snapshot = std::move(snapshot)] {
        auto locked = lifetime.lock();
        if (!locked) return;
        std::lock_guard lock(locked->mutex);
        if (locked->transport) locked->transport->onEndpointsChanged(snapshot);
    });
}

void MockMIDITransport::failNext(Operation operation, MIDITransportError error) {
    std::lock_guard lock(mutex_);
    nextFailures_[operation].push_back(std::move(error));
}

void MockMIDITransport::failAlways(Operation operation, std::optional<MIDITransportError> error) {
    std::lock_guard lock(mutex_);
    if (error) {
        standingFailures_.insert_or_assign(operation, std::move(*error));
    } else {
        standingFailures_.erase(operation);
    }
}

void MockMIDITransport::setBlockingSends(bool blocking) {
    std::lock_guard lock(mutex_);
    blockingSends_ = blocking;
}

bool MockMIDITransport::waitForBlockedSends(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return blockedChanged_.wait_for(lock, timeout, [&] { return blockedSends_ >= count; });
}

void MockMIDITransport::releaseBlockedSends() {
    {
        std::lock_guard lock(mutex_);
        ++releases_;
    }
    gate_.notify();
}

std::vector<MockMIDITransport::SentMessage> MockMIDITransport::sentMessages() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

void MockMIDITransport::clearSentMessages() {
    std::lock_guard lock(mutex_);
    sent_.clear();
}

std::optional<int32_t> MockMIDITransport::selectedInput() const {
    std::lock_guard lock(mutex_);
    return selectedInput_;
}

std::optional<int32_t> MockMIDITransport::selectedOutput() const {
    std::lock_guard lock(mutex_);
    return selectedOutput_;
}

int MockMIDITransport::maximumSysExSpeed(std::optional<int32_t> output) const {
    std::lock_guard lock(mutex_);
    const auto id = output ? output : selectedOutput_;
    return id ? speeds_.speed(*id) : defaultMaximumSysExBytesPerSecond;
}

std::size_t MockMIDITransport::cancelPendingSendsCount() const {
    std::lock_guard lock(mutex_);
    return cancelSendCount_;
}

std::size_t MockMIDITransport::cancelPendingReceivesCount() const {
    std::lock_guard lock(mutex_);
    return cancelReceiveCount_;
}

K7MIDIIngressMetrics MockMIDITransport::ingressMetrics() const { return receivePath_->metrics(); }

}  // namespace k7

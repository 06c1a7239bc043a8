#include "K7MIDI/Alsa/AlsaMIDITransport.h"

#include "K7Dispatch/QueueLabel.h"
#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/Transport/MIDISendPacer.h"

namespace k7 {

namespace {
int64_t packed(AlsaPortAddress address) { return (int64_t{address.client} << 16) | (address.port & 0xFFFF); }
}  // namespace

// Queue tasks reach the transport through this, so none outlives it.
struct AlsaMIDITransport::Lifetime {
    explicit Lifetime(AlsaMIDITransport* owner) : owner(owner) {}
    std::mutex mutex;
    AlsaMIDITransport* owner;
};

AlsaMIDITransport::AlsaMIDITransport() : AlsaMIDITransport(openAlsaSequencer(clientName)) {}

AlsaMIDITransport::AlsaMIDITransport(std::unique_ptr<AlsaSequencing> sequencer, std::shared_ptr<Scheduler> receiveQueue,
                                     MIDIReceivePathConfiguration receivePath)
    : sequencer_(std::move(sequencer)),
      queue_(receiveQueue ? std::move(receiveQueue) : std::make_shared<SerialQueue>(queueLabel(".midi.receive"))),
      lifetime_(std::make_shared<Lifetime>(this)),
      pumpsIngress_(!receivePath.usesWorkerThread) {
    MIDIReceivePath::Handlers handlers;
    handlers.message = [this](const Bytes& message) { onReceiveBytes(message); };
    handlers.rawBatch = [this](const MIDIRawReceiveBatch& batch) { onRawReceiveBatch(batch); };
    handlers.issue = [this](const MIDITransportIssue& issue) { onTransportIssue(issue); };
    handlers.diagnostic = [this](const MIDITransportDiagnosticEvent& event) { onDiagnostic(event); };
    receivePath_ = std::make_unique<MIDIReceivePath>(queue_, std::move(handlers), receivePath);
    catalog_ = AlsaEndpointCatalog::build(sequencer_->ports(), sequencer_->clientID());
    inputThread_ = std::thread([this] { readInput(); });
}

AlsaMIDITransport::~AlsaMIDITransport() {
    stopping_.store(true);
    sequencer_->wake();
    inputThread_.join();
    {
        std::lock_guard lock(lifetime_->mutex);
        lifetime_->owner = nullptr;
    }
    gate_.cancel();
    receivePath_.reset();
}

void AlsaMIDITransport::readInput() {
    Bytes bytes;
    while (!stopping_.load()) {
        const auto events = sequencer_->readEvents();
        std::lock_guard inputSwitch(inputSwitchMutex_);
        const int64_t selected = inputAddress_.load();
        bool endpointsChanged = false;
        bytes.clear();
        for (const auto& event : events) {
            switch (event.kind) {
                case AlsaInputEvent::Kind::endpointsChanged: endpointsChanged = true; break;
                case AlsaInputEvent::Kind::inputOverrun:
                    // Bytes before the loss go first, so the gap sits where it happened.
                    if (!bytes.empty()) receivePath_->write(bytes);
                    bytes.clear();
                    receivePath_->markLoss(0);
                    if (pumpsIngress_) receivePath_->pump();
                    break;
                default:
                    // Events of a source we just left may still be on their way.
                    if (packed(event.source) == selected) event.appendMIDIBytes(bytes);
                    break;
            }
        }
        if (!bytes.empty()) receivePath_->write(bytes);
        if (pumpsIngress_) receivePath_->pump();
        if (endpointsChanged) {
            queue_->post([lifetime = std::weak_ptr<Lifetime>(lifetime_)] {
                auto locked = lifetime.lock();
                if (!locked) return;
                std::lock_guard lock(locked->mutex);
                if (locked->owner) locked->owner->refreshEndpoints();
            });
        }
    }
}

void AlsaMIDITransport::diagnose(std::string name, std::map<std::string, std::string> fields) {
    onDiagnostic(MIDITransportDiagnosticEvent{std::move(name), std::move(fields)});
}

void AlsaMIDITransport::refreshEndpoints() {
    AlsaEndpointCatalog catalog;
    try {
        catalog = AlsaEndpointCatalog::build(sequencer_->ports(), sequencer_->clientID());
    } catch (const std::exception& error) {
        diagnose("midi.endpoints.refreshFailed", {{"error", error.what()}});
        return;
    }
    bool changed = false;
    std::vector<std::string> failures;
    {
        std::lock_guard lock(mutex_);
        changed = catalog.snapshot != catalog_.snapshot;
        catalog_ = catalog;
        // A re-plugged device comes back under a new client number but the same id: follow it.
        auto follow = [&](std::optional<Selection>& selection, auto disconnect, auto connect) {
            if (!selection) return;
            const auto address = catalog_.address(selection->id);
            if (!address || *address == selection->address) return;
            try {
                (sequencer_.get()->*disconnect)(selection->address);
            } catch (const std::exception&) {
                // The old port is gone with its subscription.
            }
            try {
                (sequencer_.get()->*connect)(*address);
                selection->address = *address;
            } catch (const std::exception& error) {
                failures.push_back(error.what());
            }
        };
        follow(input_, &AlsaSequencing::disconnectInput, &AlsaSequencing::connectInput);
        if (input_) inputAddress_.store(packed(input_->address));
        follow(output_, &AlsaSequencing::disconnectOutput, &AlsaSequencing::connectOutput);
    }
    for (const auto& failure : failures) diagnose("midi.endpoints.reconnectFailed", {{"error", failure}});
    if (changed) onEndpointsChanged(catalog.snapshot);
}

MIDIEndpointSnapshot AlsaMIDITransport::endpointSnapshot() const {
    std::lock_guard lock(mutex_);
    return catalog_.snapshot;
}

void AlsaMIDITransport::selectInput(std::optional<int32_t> id) {
    std::lock_guard lock(mutex_);
    if (id ? (input_ && input_->id == *id) : !input_) return;
    std::optional<AlsaPortAddress> address;
    if (id) {
        address = catalog_.address(*id);
        if (!address || !catalog_.snapshot.input(*id)) throw MIDITransportError::endpointUnavailable();
    }
    std::lock_guard inputSwitch(inputSwitchMutex_);
    if (input_) {
        inputAddress_.store(-1);
        try {
            sequencer_->disconnectInput(input_->address);
        } catch (const std::exception&) {
            // A vanished source has no subscription left to remove.
        }
        receivePath_->disconnect();
        input_.reset();
    }
    if (!id) return;
    sequencer_->connectInput(*address);
    receivePath_->connect(*id);
    input_ = Selection{*id, *address};
    inputAddress_.store(packed(*address));
}

void AlsaMIDITransport::selectOutput(std::optional<int32_t> id) {
    std::lock_guard lock(mutex_);
    if (id ? (output_ && output_->id == *id) : !output_) return;
    std::optional<AlsaPortAddress> address;
    if (id) {
        address = catalog_.address(*id);
        if (!address || !catalog_.snapshot.output(*id)) throw MIDITransportError::endpointUnavailable();
    }
    if (output_) {
        try {
            sequencer_->disconnectOutput(output_->address);
        } catch (const std::exception&) {
            // A vanished destination has no subscription left to remove.
        }
        output_.reset();
    }
    if (!id) return;
    sequencer_->connectOutput(*address);
    output_ = Selection{*id, *address};
}

void AlsaMIDITransport::send(ByteView sysEx, const MIDISendProgress& progress) {
    if (!isFramedSysEx(sysEx)) throw MIDITransportError(MIDITransportError::InvalidSysEx{sysEx.size()});
    auto turn = gate_.enter();
    int bytesPerSecond = 0;
    {
        std::lock_guard lock(mutex_);
        if (!output_) throw MIDITransportError::noOutputSelected();
        // Events to a port that is gone vanish without an error; say so instead.
        if (!catalog_.snapshot.output(output_->id)) throw MIDITransportError::endpointUnavailable();
        bytesPerSecond = speeds_.speed(output_->id);
    }
    const std::size_t chunk = MIDISendPacer::chunkSize(bytesPerSecond);
    const auto start = MIDISendGate::Clock::now();
    for (std::size_t sent = 0; sent < sysEx.size();) {
        turn.waitUntil(start + MIDISendPacer::wireTime(sent, bytesPerSecond));
        const std::size_t count = std::min(chunk, sysEx.size() - sent);
        sequencer_->sendSysEx(sysEx.subspan(sent, count));
        sent += count;
        if (progress) progress(sent, sysEx.size());
    }
    // The caller learns the message is out when its last byte has left at the output's speed.
    turn.waitUntil(start + MIDISendPacer::wireTime(sysEx.size(), bytesPerSecond));
}

void AlsaMIDITransport::cancelPendingSends() { gate_.cancel(); }

void AlsaMIDITransport::cancelPendingReceives() { receivePath_->cancelPending(); }

void AlsaMIDITransport::drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) {
    receivePath_->drain(quietFor, timeout, std::move(completion));
}

void AlsaMIDITransport::configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) {
    std::lock_guard lock(mutex_);
    if (!output_) throw MIDITransportError::noOutputSelected();
    speeds_.configure(output_->id, bytesPerSecond);
}

}  // namespace k7

#include "K7MIDI/Transport/MIDITracingTransport.h"

#include <shared_mutex>

namespace k7 {

namespace {

std::string idText(std::optional<int32_t> id) { return id ? std::to_string(*id) : "none"; }

std::string endpointList(const std::vector<MIDIEndpoint>& endpoints) {
    std::string text;
    for (const auto& endpoint : endpoints) {
        if (!text.empty()) text += ", ";
        text += std::to_string(endpoint.id) + ":" + endpoint.name;
        if (!endpoint.isOnline) text += " (offline)";
    }
    return text;
}

std::string seconds(std::chrono::nanoseconds duration) {
    return std::to_string(std::chrono::duration<double>(duration).count());
}

}  // namespace

// The base's callbacks reach the wrapper through this, so a callback racing with the wrapper's
// destruction finds no wrapper instead of a dangling one.
struct MIDITracingTransport::Forwarder {
    std::shared_mutex mutex;
    MIDITracingTransport* owner;

    template <typename Call>
    void operator()(Call&& call) {
        std::shared_lock lock(mutex);
        if (owner) call(*owner);
    }
};

MIDITracingTransport::MIDITracingTransport(std::shared_ptr<MIDITransporting> base)
    : base_(std::move(base)), forwarder_(std::make_shared<Forwarder>()) {
    forwarder_->owner = this;
    auto forwarder = forwarder_;
    base_->onReceiveBytes = [forwarder](const Bytes& message) {
        (*forwarder)([&](MIDITracingTransport& self) { self.receiveMessage(message); });
    };
    base_->onRawReceiveBatch = [forwarder](const MIDIRawReceiveBatch& batch) {
        (*forwarder)([&](MIDITracingTransport& self) { self.receiveRawBatch(batch); });
    };
    base_->onTransportIssue = [forwarder](const MIDITransportIssue& issue) {
        (*forwarder)([&](MIDITracingTransport& self) { self.receiveIssue(issue); });
    };
    base_->onEndpointsChanged = [forwarder](const MIDIEndpointSnapshot& snapshot) {
        (*forwarder)([&](MIDITracingTransport& self) { self.receiveEndpoints(snapshot); });
    };
    base_->onDiagnostic = [forwarder](const MIDITransportDiagnosticEvent& event) {
        (*forwarder)([&](MIDITracingTransport& self) { self.receiveDiagnostic(event); });
    };
}

MIDITracingTransport::~MIDITracingTransport() {
    {
        std::unique_lock lock(forwarder_->mutex);
        forwarder_->owner = nullptr;
    }
    base_->onReceiveBytes = nullptr;
    base_->onRawReceiveBatch = nullptr;
    base_->onTransportIssue = nullptr;
    base_->onEndpointsChanged = nullptr;
    base_->onDiagnostic = nullptr;
    stopRecording();
}

std::shared_ptr<MIDIDiagnosticRecorder> MIDITracingTransport::recorder() const {
    std::lock_guard lock(recorderMutex_);
    return recorder_;
}

bool MIDITracingTransport::isRecording() const {
    std::lock_guard lock(recorderMutex_);
    return recorder_ != nullptr;
}

void MIDITracingTransport::startRecording(std::shared_ptr<MIDIDiagnosticRecorder> recorder) {
    std::shared_ptr<MIDIDiagnosticRecorder> previous;
    {
        std::lock_guard lock(recorderMutex_);
        previous = std::exchange(recorder_, std::move(recorder));
    }
    if (previous && previous != recorder_) traceWith([&] { previous->finish(); });
    const auto snapshot = base_->endpointSnapshot();
    trace("midi.trace.started",
          {{"inputs", endpointList(snapshot.inputs)}, {"outputs", endpointList(snapshot.outputs)}});
}

void MIDITracingTransport::stopRecording() {
    std::shared_ptr<MIDIDiagnosticRecorder> previous;
    {
        std::lock_guard lock(recorderMutex_);
        previous = std::move(recorder_);
        recorder_ = nullptr;
    }
    if (previous) traceWith([&] { previous->finish(); });
}

template <typename Action>
void MIDITracingTransport::traceWith(Action&& action) {
    try {
        action();
    } catch (const std::exception& error) {
        onDiagnostic(MIDITransportDiagnosticEvent{"midi.trace.failed", {{"error", error.what()}}});
    }
}

void MIDITracingTransport::trace(const std::string& event, const std::map<std::string, std::string>& fields) {
    if (auto current = recorder()) traceWith([&] { current->record(event, fields); });
}

MIDIEndpointSnapshot MIDITracingTransport::endpointSnapshot() const { return base_->endpointSnapshot(); }

void MIDITracingTransport::selectInput(std::optional<int32_t> id) {
    try {
        base_->selectInput(id);
    } catch (const std::exception& error) {
        trace("midi.input.selectFailed", {{"id", idText(id)}, {"error", error.what()}});
        throw;
    }
    trace("midi.input.selected", {{"id", idText(id)}});
}

void MIDITracingTransport::selectOutput(std::optional<int32_t> id) {
    try {
        base_->selectOutput(id);
    } catch (const std::exception& error) {
        trace("midi.output.selectFailed", {{"id", idText(id)}, {"error", error.what()}});
        throw;
    }
    trace("midi.output.selected", {{"id", idText(id)}});
}

void MIDITracingTransport::send(ByteView sysEx, const MIDISendProgress& progress) {
    std::string file;
    if (auto current = recorder()) {
        traceWith([&] { file = current->recordMessage(MIDIDiagnosticRecorder::Direction::sent, sysEx); });
    }
    try {
        base_->send(sysEx, progress);
    } catch (const std::exception& error) {
        trace("midi.send.failed", {{"file", file}, {"byteCount", std::to_string(sysEx.size())}, {"error", error.what()}});
        throw;
    }
    trace("midi.send.completed", {{"file", file}, {"byteCount", std::to_string(sysEx.size())}});
}

void MIDITracingTransport::cancelPendingSends() {
    trace("midi.send.cancelRequested", {});
    base_->cancelPendingSends();
}

void MIDITracingTransport::cancelPendingReceives() {
    trace("midi.receive.cancelRequested", {});
    base_->cancelPendingReceives();
}

void MIDITracingTransport::drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) {
    trace("midi.receive.drainStarted", {{"quietForSeconds", seconds(quietFor)}, {"timeoutSeconds", seconds(timeout)}});
    auto forwarder = forwarder_;
    base_->drainPendingReceives(
        quietFor, timeout, [forwarder, completion = std::move(completion)](MIDIReceiveDrainResult result) {
            (*forwarder)([&](MIDITracingTransport& self) {
                self.trace("midi.receive.drainCompleted",
                           {{"didReachQuiescence", result.didReachQuiescence ? "true" : "false"},
                            {"incompleteMessageByteCount", std::to_string(result.incompleteMessageByteCount)}});
            });
            if (completion) completion(result);
        });
}

void MIDITracingTransport::configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) {
    const std::string value = bytesPerSecond ? std::to_string(*bytesPerSecond) : "default";
    try {
        base_->configureMaximumSysExSpeed(bytesPerSecond);
    } catch (const std::exception& error) {
        trace("midi.output.speedFailed", {{"bytesPerSecond", value}, {"error", error.what()}});
        throw;
    }
    trace("midi.output.speedConfigured", {{"bytesPerSecond", value}});
}

void MIDITracingTransport::receiveMessage(const Bytes& message) {
    if (auto current = recorder()) {
        traceWith([&] { current->recordMessage(MIDIDiagnosticRecorder::Direction::received, message); });
    }
    onReceiveBytes(message);
}

void MIDITracingTransport::receiveRawBatch(const MIDIRawReceiveBatch& batch) {
    if (auto current = recorder()) {
        traceWith([&] {
            current->recordRawInput(batch.bytes,
                                    {{"source", idText(batch.sourceEndpointID)},
                                     {"streamOffset", std::to_string(batch.streamOffset)},
                                     {"droppedByteCountAfter", std::to_string(batch.droppedByteCountAfter)},
                                     {"timestampNanoseconds", std::to_string(batch.timestampNanoseconds)}});
        });
    }
    onRawReceiveBatch(batch);
}

void MIDITracingTransport::receiveIssue(const MIDITransportIssue& issue) {
    trace("midi.receive.issue", {{"description", issue.description()}});
    onTransportIssue(issue);
}

void MIDITracingTransport::receiveEndpoints(const MIDIEndpointSnapshot& snapshot) {
    trace("midi.endpoints.changed",
          {{"inputs", endpointList(snapshot.inputs)}, {"outputs", endpointList(snapshot.outputs)}});
    onEndpointsChanged(snapshot);
}

void MIDITracingTransport::receiveDiagnostic(const MIDITransportDiagnosticEvent& event) {
    trace(event.name, event.fields);
    onDiagnostic(event);
}

}  // namespace k7

#pragma once

#include <memory>
#include <mutex>

#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/Transport/MIDITransporting.h"

namespace k7 {

// Wraps any transport: forwards every call to it and every callback from it, and while a
// recorder is attached records every exchange (sent and received messages as .syx files, the raw
// input bytes, issues, selections, speed changes, drains and the base's own diagnostics).
//
// A recorder that fails never disturbs MIDI: the failure is reported as a "midi.trace.failed"
// diagnostic and the operation goes on.
class MIDITracingTransport final : public MIDITransporting {
public:
    using MIDITransporting::send;

    explicit MIDITracingTransport(std::shared_ptr<MIDITransporting> base);
    ~MIDITracingTransport() override;

    MIDIEndpointSnapshot endpointSnapshot() const override;
    void selectInput(std::optional<int32_t> id) override;
    void selectOutput(std::optional<int32_t> id) override;
    void send(ByteView sysEx, const MIDISendProgress& progress) override;
    void cancelPendingSends() override;
    void cancelPendingReceives() override;
    void drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) override;
    void configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) override;

    // Attaches a recorder; one already attached is finished first.
    void startRecording(std::shared_ptr<MIDIDiagnosticRecorder> recorder);
    // Detaches the recorder and finishes its capture.
    void stopRecording();
    bool isRecording() const;

    MIDITransporting& base() const { return *base_; }

private:
    struct Forwarder;

    std::shared_ptr<MIDIDiagnosticRecorder> recorder() const;
    void trace(const std::string& event, const std::map<std::string, std::string>& fields);
    template <typename Action>
    void traceWith(Action&& action);
    void receiveMessage(const Bytes& message);
    void receiveRawBatch(const MIDIRawReceiveBatch& batch);
    void receiveIssue(const MIDITransportIssue& issue);
    void receiveEndpoints(const MIDIEndpointSnapshot& snapshot);
    void receiveDiagnostic(const MIDITransportDiagnosticEvent& event);

    std::shared_ptr<MIDITransporting> base_;
    std::shared_ptr<Forwarder> forwarder_;
    mutable std::mutex recorderMutex_;
    std::shared_ptr<MIDIDiagnosticRecorder> recorder_;
};

}  // namespace k7

// Starting and stopping a receive: the SDS session and its callbacks, the messages taken in, the
// DigiPRO fragment assembler, and the drain of the input before the received data becomes items.
#include <algorithm>
#include <chrono>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Support/Overloaded.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Models/DigiPROFinalFragmentConsolidator.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelDiagnosticSink.h"
#include "V7Aruviv/Support/AppIdentity.h"
#include "V7Aruviv/Support/DecimalText.h"

namespace k7 {

namespace {

constexpr auto packetTimeout = std::chrono::seconds(5);
constexpr auto maximumScheduledTimeout = std::chrono::seconds(5);
constexpr auto trailingEndOfFileGracePeriod = std::chrono::milliseconds(50);
constexpr auto drainQuietInterval = std::chrono::milliseconds(500);
constexpr auto drainTimeout = std::chrono::seconds(3);

SDSReceiveFormat sessionFormat(AppPreferences::ReceiveFormat format) {
    switch (format) {
    case AppPreferences::ReceiveFormat::rawSDS: return SDSReceiveFormat::rawSDS;
    case AppPreferences::ReceiveFormat::wav: return SDSReceiveFormat::wav;
    case AppPreferences::ReceiveFormat::aiff: return SDSReceiveFormat::aiff;
    case AppPreferences::ReceiveFormat::none: return SDSReceiveFormat::none;
    }
    return SDSReceiveFormat::rawSDS;
}

SDSReceiverConfiguration receiverConfiguration(const AppPreferences& preferences) {
    SDSReceiverConfiguration configuration;
    configuration.mode = preferences.useHandshake ? SDSTransferMode::handshake : SDSTransferMode::openLoop;
    configuration.deviceID = std::min<uint8_t>(preferences.deviceNumber, 127);
    configuration.deviceMatchPolicy = SDSDeviceMatchPolicy::exactOrBroadcast;
    configuration.maximumRetries = 2;
    configuration.packetTimeout = packetTimeout;
    configuration.emitEndOfFile = false;
    configuration.maximumSampleWords = 0x1000000;
    return configuration;
}

std::string positionText(const std::optional<int>& position) {
    return position ? std::to_string(*position) : "unavailable";
}

}  // namespace

void AppModel::startReceiving() {
    if (preferences_.useHandshake && !preferences_.outputEndpointID) {
        setAlertMessage("Select a MIDI output before receiving with SDS handshake enabled.");
        return;
    }
    transport().cancelPendingReceives();
    const SDSReceiverConfiguration configuration = receiverConfiguration(preferences_);
    const uint64_t generation = ++receive_.receiveGeneration;

    receive_.receiveFallbackMessages.clear();
    receive_.digiPROFramedFragmentAssembler.reset();
    receive_.receiveCreatedItemIDs.clear();
    receive_.receiveFailures.clear();
    repair_.backupRepairState.reset();
    repair_.backupRepairTimeoutGeneration += 1;
    repair_.recordsBesideBank.clear();
    repair_.recoveredSummary.reset();
    setReceivedByteCount(0);
    setOverallProgress(0);
    setReceiveProgressIsDeterminate(false);

    // Tests make the session's own queue the virtual main thread too; the program gives it a
    // serial queue of its own, where its blocking handshake replies cannot stall the main thread.
    std::shared_ptr<Executor> sessionQueue;
    if (configuration_.makeWorkQueue) sessionQueue = configuration_.makeWorkQueue(queueLabel(".sds.receive-session"));
    auto session = std::make_shared<SDSReceiveSession>(
        tracingTransport_, configuration, sessionFormat(preferences_.receiveFormat), main_, main_,
        maximumScheduledTimeout, trailingEndOfFileGracePeriod, std::move(sessionQueue));

    recordDiagnostic("sds.receive.started",
                     {{"generation", std::to_string(generation)},
                      {"mode", caseName(configuration.mode)},
                      {"deviceID", std::to_string(configuration.deviceID)},
                      {"maximumRetries", std::to_string(configuration.maximumRetries)},
                      {"packetTimeout", decimalText(std::chrono::duration<double>(packetTimeout).count())},
                      {"format", caseName(session->receiveFormat())}});
    installReceiveSessionCallbacks(session, generation);

    // A session of an earlier receive is let go without a cancel: it was finalized already.
    receive_.receiveSession = std::move(session);
    setIsReceiving(true);
    setStatusText("Receiving");
}

bool AppModel::isCurrentReceiveSession(const std::weak_ptr<SDSReceiveSession>& session, uint64_t generation) const {
    const auto current = session.lock();
    return current && current == receive_.receiveSession && receive_.receiveGeneration == generation;
}

void AppModel::installReceiveSessionCallbacks(const std::shared_ptr<SDSReceiveSession>& session,
                                              uint64_t generation) {
    const std::weak_ptr<int> lifetime = lifetime_;
    const std::weak_ptr<SDSReceiveSession> weakSession = session;

    // Forwarded while the model exists, also after the session was let go: the events of a stop's
    // cancel come after finalization.
    session->onDiagnosticEvent = detachedDiagnosticRecorder();
    session->onHeader = [this, lifetime, weakSession, generation](const SDSDumpHeaderMessage& header) {
        if (!lifetime.lock() || !isCurrentReceiveSession(weakSession, generation)) return;
        if (receive_.receiveFailures.empty()) {
            setStatusText("Receiving SDS sample " + std::to_string(header.sampleNumber()));
        }
        setReceiveProgressIsDeterminate(true);
        setOverallProgress(header.announcedSampleWords() != 0 ? 0 : 1);
        recordDiagnostic("sds.receive.headerAccepted",
                         {{"deviceID", std::to_string(header.deviceID())},
                          {"sampleNumber", std::to_string(header.sampleNumber())},
                          {"expectedSampleWords", std::to_string(header.announcedSampleWords())}});
    };
    session->onProgress = [this, lifetime, weakSession, generation](const SDSReceiveProgress& progress) {
        if (!lifetime.lock() || !isCurrentReceiveSession(weakSession, generation)) return;
        if (progress.totalSampleWords >= 1) {
            setOverallProgress(static_cast<double>(progress.receivedSampleWords) /
                               static_cast<double>(progress.totalSampleWords));
        }
        recordDiagnostic("sds.receive.packetAccepted",
                         {{"packetNumber", std::to_string(progress.packetNumber)},
                          {"receivedSampleWords", std::to_string(progress.receivedSampleWords)},
                          {"totalSampleWords", std::to_string(progress.totalSampleWords)}});
    };
    session->onCompleted = [this, lifetime, weakSession, generation](const SDSReceiveCompletion& completion) {
        if (!lifetime.lock() || !isCurrentReceiveSession(weakSession, generation)) return;
        handleReceiveCompletion(completion);
        recordDiagnostic("sds.receive.completed",
                         {{"sampleNumber", std::to_string(completion.header.sampleNumber())},
                          {"sampleWords", std::to_string(completion.samples.size())},
                          {"rawByteCount", std::to_string(completion.rawData.size())}});
    };
    session->onFailure = [this, lifetime, weakSession, generation](const SDSReceiveSessionFailure& failure) {
        if (!lifetime.lock() || !isCurrentReceiveSession(weakSession, generation)) return;
        handleReceiveSessionFailure(failure);
    };
}

void AppModel::handleReceiveSessionFailure(const SDSReceiveSessionFailure& failure) {
    const auto* transfer = failure.as<SDSReceiveSessionFailure::Transfer>();
    const bool cancelled = transfer && std::holds_alternative<sds_failure::LocalCancelled>(transfer->failure);
    if (receive_.receiveStopPending && cancelled) return;  // the stop cancelled the session itself
    const std::string text = std::visit(
        Overloaded{[](const SDSReceiveSessionFailure::Transfer& f) { return describeTransferFailure(f.failure); },
                   [](const SDSReceiveSessionFailure::Transport& f) {
                       return "MIDI communication failed: " + f.description;
                   },
                   [](const SDSReceiveSessionFailure::InvalidCompletion&) {
                       return std::string("SDS completed without a valid header");
                   }},
        failure.errorCase());
    // The dump's messages stay in the received data; the receive goes on.
    receive_.receiveFailures.push_back(text);
    setReceiveProgressIsDeterminate(false);
    setStatusText("Receive error: " + text + "; raw bytes retained");
    recordDiagnostic("sds.receive.failed", {{"error", text}});
}

void AppModel::handleReceived(const Bytes& message) {
    if (!isReceiving_ || !receive_.receiveSession) return;
    setReceivedByteCount(receivedByteCount_ + static_cast<int64_t>(message.size()));
    auto output = receive_.digiPROFramedFragmentAssembler.consume(message);
    recordDigiPROFramedFragmentTransition(output.transition);
    for (Bytes& released : output.messages) {
        receive_.receiveSession->receive(released);
        receive_.receiveFallbackMessages.push_back(std::move(released));
    }
}

void AppModel::recordDigiPROFramedFragmentTransition(const DigiPROFramedFragmentAssembler::Transition& transition) {
    using T = DigiPROFramedFragmentAssembler::Transition;
    const auto common = [](const std::optional<int>& position, int64_t fragments, int64_t bytes) {
        return DiagnosticFields{{"position", positionText(position)},
                                {"fragmentCount", std::to_string(fragments)},
                                {"rawByteCount", std::to_string(bytes)}};
    };
    std::visit(Overloaded{
                   [&](const T::Buffered& t) {
                       auto fields = common(t.position, t.fragmentCount, t.rawByteCount);
                       fields["assembledByteCount"] = std::to_string(t.assembledByteCount);
                       recordDiagnostic("digipro.receive.fragmentBuffered", fields);
                   },
                   [&](const T::Joined& t) {
                       auto fields = common(t.position, t.fragmentCount, t.rawByteCount);
                       fields["messageByteCount"] = "7027";
                       recordDiagnostic("digipro.receive.fragmentsJoined", fields);
                   },
                   [&](const T::Rejected& t) {
                       auto fields = common(t.position, t.fragmentCount, t.rawByteCount);
                       fields["reason"] = t.reason;
                       recordDiagnostic("digipro.receive.fragmentJoinRejected", fields);
                   },
                   [&](const T::Flushed& t) {
                       auto fields = common(t.position, t.fragmentCount, t.rawByteCount);
                       fields["reason"] = "receive finalized before the fixed-size frame completed";
                       recordDiagnostic("digipro.receive.fragmentJoinFlushed", fields);
                   },
                   [](const T::None&) {},
               },
               transition.value());
}

void AppModel::appendReceiveFailure(const std::string& text) {
    auto& failures = receive_.receiveFailures;
    if (std::find(failures.begin(), failures.end(), text) == failures.end()) failures.push_back(text);
}

void AppModel::stopReceiving() {
    if (!isReceiving_) return;
    if (receive_.receiveStopPending) {
        // A second stop gives up the automatic repair.
        if (repair_.backupRepairState) cancelBackupRepair("operator cancelled repair");
        return;
    }
    receive_.receiveStopPending = true;
    setIsFinishingReceive(true);
    setStatusText("Finishing receive\u2026");
    setReceiveProgressIsDeterminate(false);
    const uint64_t generation = receive_.receiveGeneration;
    recordDiagnostic("receive.drain.started", {{"generation", std::to_string(generation)},
                                               {"quietIntervalSeconds", "0.5"},
                                               {"timeoutSeconds", "3.0"}});
    // Completes on the transport's queue.
    transport().drainPendingReceives(drainQuietInterval, drainTimeout,
                                     [this, toMain = mainThreadPoster(), generation](MIDIReceiveDrainResult result) {
                                         toMain([this, generation, result] {
                                             finishReceivingAfterDrain(result, generation);
                                         });
                                     });
}

void AppModel::finishReceivingAfterDrain(const MIDIReceiveDrainResult& result, uint64_t generation) {
    if (generation != receive_.receiveGeneration || !receive_.receiveStopPending || !isReceiving_) return;
    setIsFinishingReceive(false);
    if (!result.didReachQuiescence) {
        appendReceiveFailure(
            "MIDI input did not become quiet before the receive-finalization timeout; complete messages were "
            "retained, but the final message may be incomplete.");
    }
    if (const std::size_t n = result.incompleteMessageByteCount; n > 0) {
        appendReceiveFailure("The final SysEx message stopped after " + std::to_string(n) + " byte" +
                             (n == 1 ? "" : "s") +
                             " without an F7 terminator and was discarded. Re-receive the final item.");
    }

    auto flushed = receive_.digiPROFramedFragmentAssembler.flush();
    recordDigiPROFramedFragmentTransition(flushed.transition);
    for (Bytes& released : flushed.messages) {
        if (receive_.receiveSession) receive_.receiveSession->receive(released);
        receive_.receiveFallbackMessages.push_back(std::move(released));
    }
    validatePendingDigiPROMessagesBeforeCancellation();
    recordDiagnostic("receive.drain.completed",
                     {{"generation", std::to_string(generation)},
                      {"didReachQuiescence", result.didReachQuiescence ? "true" : "false"},
                      {"incompleteMessageByteCount", std::to_string(result.incompleteMessageByteCount)}});
    transport().cancelPendingReceives();

    if (!receive_.receiveSession) {
        finalizeReceiving(generation);
        return;
    }
    if (std::holds_alternative<sds_receiver_status::Receiving>(receive_.receiveSession->receiverStatus())) {
        receive_.receiveSession->cancel();
    }
    if (!beginBackupRepairIfNeeded(generation)) finalizeReceiving(generation);
}

void AppModel::validatePendingDigiPROMessagesBeforeCancellation() {
    // Judged as finalization will see them: a first piece that arrived after its continuation is
    // joined there, and is no failure.
    const auto messages = DigiPROFinalFragmentConsolidator::consolidate(receive_.receiveFallbackMessages).messages;
    for (const Bytes& message : messages) {
        const auto family = ElektronSysEx::family(message);
        if (!family || !std::holds_alternative<elektron_family::DigiPROWaveform>(*family)) continue;
        try {
            DigiPROWaveform::decode(message);
        } catch (const std::exception& error) {
            const std::string text = digiPROReceiveFailure(message, error);
            appendReceiveFailure(text);
            setAlertMessage(text);
            recordDiagnostic("digipro.receive.invalid",
                             {{"byteCount", std::to_string(message.size())}, {"error", error.what()}});
        }
    }
}

}  // namespace k7

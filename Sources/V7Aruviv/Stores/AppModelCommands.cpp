#include <algorithm>

#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelDiagnosticSink.h"

namespace k7 {

void AppModel::sendSelected() {
    if (isSending_ || turbo_.isTurboDetecting || TurboNegotiation::isWaiting(turbo_.turboState) || isImporting_ ||
        isExporting_ || isConverting_) {
        return;
    }
    if (selection_.empty()) {
        setAlertMessage("Select one or more items to send. Use Add Files\u2026 to import WAV, AIFF, or SysEx files first.");
        return;
    }
    auto plan = liveTransferPlan();
    if (!plan) return;
    if (plan->warning) {
        setAlertMessage(plan->warning->message);
        return;
    }
    std::vector<TransferItem> ordered;
    for (const QUuid& id : plan->orderedItemIDs()) {
        const auto found = std::find_if(items_.begin(), items_.end(), [&](const auto& item) { return item.id == id; });
        if (found != items_.end()) ordered.push_back(*found);
    }
    if (ordered.size() != plan->entries.size()) {
        setAlertMessage("The selection changed before Send could start. Select the files again and retry.");
        return;
    }
    if (!ensureTurboTransportForSend()) return;

    const SendOptions options = SendOptions::from(plan->preferences);
    std::optional<TransferProgressPlan> progressPlan;
    try {
        progressPlan = makeSendProgressPlan(*plan, ordered, options);
    } catch (const std::exception& error) {
        setAlertMessage(std::string(error.what()));
        return;
    }

    // Committed: an older send's leftover waits end now.
    send_.sendCancellation->cancel();
    send_.sendCancellation = std::make_shared<CancellationFlag>();
    send_.sendGeneration += 1;
    send_.sendIDs = plan->orderedItemIDs();
    send_.frozenProgressPlan = std::move(progressPlan);
    send_.sendItemSnapshots = std::move(ordered);
    send_.sendCompletedWireBytes = 0;
    send_.sendProgressEstimator = TransferProgressEstimator();
    send_.sendProgressEstimator.update(0, static_cast<double>(send_.frozenProgressPlan->totalWireBytes), uptime());
    setTransferRateBytesPerSecond(std::nullopt);
    setEstimatedSendTimeRemaining(std::nullopt);
    send_.sendIndex = 0;
    send_.sendSessionPosition = static_cast<uint16_t>(plan->startingSamplePosition);
    send_.sendAcknowledgedCount = 0;
    send_.sendSubmittedCount = 0;
    send_.sendOptions = options;
    send_.activeSDSSender.reset();
    const auto itemCount = send_.sendIDs.size();
    setFrozenTransferPlan(std::move(plan));

    setIsSending(true);
    setStatusText("Sending");
    setOverallProgress(0);
    recordDiagnostic("transfer.send.started", {{"generation", std::to_string(send_.sendGeneration)},
                                               {"itemCount", std::to_string(itemCount)},
                                               {"samplePosition", std::to_string(send_.sendSessionPosition)}});
    processNextSendItem(send_.sendGeneration);
}

void AppModel::stopSending() {
    if (!isSending_) return;
    recordDiagnostic("transfer.send.cancelRequested", {{"generation", std::to_string(send_.sendGeneration)}});
    send_.sendCancellation->cancel();
    if (send_.activeSDSSender) send_.activeSDSSender->cancel();
    try {
        transport().cancelPendingSends();
        setStatusText("Cancelling\u2026");
    } catch (const std::exception& error) {
        const std::string text =
            std::string("V7/64 could not finish cancelling the MIDI send. Disconnect the MIDI device before "
                        "retrying. ") +
            error.what();
        setStatusText(text);
        setAlertMessage(text);
    }
}

void AppModel::toggleReceiving() {
    if (isReceiving_) {
        stopReceiving();
        return;
    }
    if (receive_.receiveStopPending || turbo_.isTurboDetecting || TurboNegotiation::isWaiting(turbo_.turboState) ||
        isImporting_ || isExporting_) {
        return;
    }
    startReceiving();
}

void AppModel::negotiateTurbo() {
    // A speed switch in the middle of a transfer would corrupt it.
    if (isSending_ || isReceiving_ || turbo_.isTurboDetecting || TurboNegotiation::isWaiting(turbo_.turboState) ||
        isImporting_ || isExporting_) {
        return;
    }
    if (!preferences_.outputEndpointID) {
        setAlertMessage(MIDITransportError::noOutputSelected().message());
        return;
    }
    if (turbo_.turboTransportOverrideApplied && !restoreTurboTransport()) return;
    applyTurboTransition(TurboNegotiation::reduce(
        turbo_.turboState, TurboNegotiation::Start{turboSpeed(preferences_.turboLimit)}));
}

void AppModel::toggleDiagnosticCapture() {
    if (tracingTransport_->isRecording()) {
        recordDiagnostic("session.operatorStopped");
        // Detached before it finishes, so that reporters on other threads stop reaching it first.
        diagnostics_->setRecorder(nullptr);
        tracingTransport_->stopRecording();
        setDiagnosticCaptureStatus("Off");
        setStatusText("Diagnostic capture stopped");
        return;
    }

    UserInteraction::Alert confirmation;
    confirmation.message = "Start lossless MIDI diagnostic capture?";
    confirmation.informativeText =
        "This records the exact incoming MIDI 1 byte stream before SysEx decoding, incoming and outgoing SysEx "
        "records, callback/ring counters, endpoint names, protocol states, and timing to the folder you choose. Use "
        "a dedicated folder and stop capture before handling unrelated MIDI data.";
    confirmation.buttons = {"Choose Folder\u2026", "Cancel"};
    if (interaction_->runAlert(confirmation) != std::optional<std::size_t>(0)) return;

    UserInteraction::FolderPanel panel;
    panel.title = "Choose Empty or Dedicated Diagnostic Capture Folder";
    panel.prompt = "Use Folder";
    panel.allowsFolderCreation = true;
    const auto folder = interaction_->chooseFolder(panel);
    if (!folder || folder->empty()) return;

    const auto route = promptForDiagnosticMetadata();
    if (!route) return;
    DiagnosticFields metadata = diagnosticSessionMetadata();
    metadata.insert(route->begin(), route->end());

    std::shared_ptr<MIDIDiagnosticRecorder> recorder;
    try {
        recorder = std::make_shared<MIDIDiagnosticRecorder>(*folder, metadata);
    } catch (const std::exception& error) {
        setAlertMessage("Could not start diagnostic capture: " + std::string(error.what()));
        return;
    }
    diagnostics_->setRecorder(recorder);
    tracingTransport_->startRecording(recorder);
    const auto name = folder->has_filename() ? folder->filename() : folder->parent_path().filename();
    setDiagnosticCaptureStatus("Recording: " + name.string());
    setStatusText("Diagnostic capture active");
    recordDiagnostic("session.operatorStarted");
}

bool AppModel::shouldTerminateAfterUserConfirmation() {
    if (isSending_ || isReceiving_ || isImporting_ || isExporting_ || turbo_.isTurboDetecting ||
        TurboNegotiation::isWaiting(turbo_.turboState)) {
        setAlertMessage(
            "Stop the active transfer, Turbo negotiation, or import before quitting so V7/64 can finish cleanup "
            "safely.");
        setStatusText("Quit cancelled; stop the active operation first");
        return false;
    }
    const auto unsaved = std::count_if(items_.begin(), items_.end(), [](const auto& item) { return !item.sourceURL; });
    if (unsaved == 0) return true;

    UserInteraction::Alert alert;
    alert.message = "Quit with " + std::to_string(unsaved) + " unsaved item" + (unsaved == 1 ? "" : "s") + "?";
    alert.informativeText =
        "Received or generated items that have not been saved will be lost. Save them first if you need a copy.";
    alert.buttons = {"Quit Without Saving", "Cancel"};
    alert.cancelButton = 1;
    return interaction_->runAlert(alert) == std::optional<std::size_t>(0);
}

}  // namespace k7

#include <algorithm>

#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

bool listsEndpoint(const std::vector<MIDIEndpoint>& endpoints, const std::optional<int32_t>& id) {
    // Only the id counts: a listed endpoint that is offline is still the user's device.
    return !id || MIDIEndpointSnapshot::find(endpoints, *id) != nullptr;
}

}  // namespace

bool AppModel::routingBusy() const {
    return isSending_ || isReceiving_ || TurboNegotiation::isWaiting(turbo_.turboState);
}

void AppModel::preferencesDidChange(const AppPreferences& previous) {
    if (routing_.isRevertingEndpointPreferences) {
        preferences_.save(*preferencesStore_);
        return;
    }
    const bool routeChanged = preferences_.inputEndpointID != previous.inputEndpointID ||
                              preferences_.outputEndpointID != previous.outputEndpointID;
    const bool reloadFilesChanged = preferences_.reloadFiles != previous.reloadFiles;

    if (routingBusy() && !routing_.isApplyingEndpointInvalidation && routeChanged) {
        AppPreferences reverted = preferences_;
        reverted.inputEndpointID = previous.inputEndpointID;
        reverted.outputEndpointID = previous.outputEndpointID;
        routing_.isRevertingEndpointPreferences = true;
        setPreferences(reverted);
        routing_.isRevertingEndpointPreferences = false;
        preferences_.save(*preferencesStore_);
        if (reloadFilesChanged) persistOpenFiles();
        setStatusText("MIDI routing cannot change during an active transfer or Turbo negotiation.");
        return;
    }

    preferences_.save(*preferencesStore_);
    if (routeChanged) {
        resetTurboForRouteChange();
        applyEndpointSelection(false);
    }
    if (reloadFilesChanged) persistOpenFiles();
}

void AppModel::applyEndpointSelection(bool allowWhileLocked) {
    if (!allowWhileLocked && routingBusy()) return;
    try {
        transport().selectInput(preferences_.inputEndpointID);
        transport().selectOutput(preferences_.outputEndpointID);
    } catch (const std::exception& error) {
        setStatusText(error.what());
        return;
    }
    detectExistingTurboIfPossible();
}

void AppModel::samplePositionDidChange() {
    const int64_t limited = std::clamp<int64_t>(samplePosition_, 0, 16383);
    if (limited != samplePosition_) setSamplePosition(limited);
}

void AppModel::handleEndpointSnapshot(const MIDIEndpointSnapshot& snapshot) {
    setEndpoints(snapshot);
    if (systemMIDIUnavailable_) return;  // the empty fallback lists nothing of the user's devices
    const bool inputRemoved = !listsEndpoint(snapshot.inputs, preferences_.inputEndpointID);
    const bool outputRemoved = !listsEndpoint(snapshot.outputs, preferences_.outputEndpointID);

    if (!inputRemoved && !outputRemoved) {
        if (routingBusy()) return;
        applyEndpointSelection(false);
        return;
    }

    std::string status;
    if (isSending_) {
        status = missingMIDISelectionStatus(inputRemoved, outputRemoved, true);
        routing_.interruptedRouteStatus = status;
    } else {
        status = missingMIDISelectionStatus(inputRemoved, outputRemoved, isReceiving_);
        if (isReceiving_) routing_.interruptedRouteStatus = status;
    }
    if (isSending_) stopSending();
    if (isReceiving_) stopReceiving();

    AppPreferences cleared = preferences_;
    if (inputRemoved) cleared.inputEndpointID.reset();
    if (outputRemoved) cleared.outputEndpointID.reset();
    routing_.isApplyingEndpointInvalidation = true;
    setPreferences(cleared);
    routing_.isApplyingEndpointInvalidation = false;

    applyEndpointSelection(true);
    setStatusText(status);
}

std::string AppModel::missingMIDISelectionStatus(bool inputRemoved, bool outputRemoved, bool interruptedTransfer) {
    if (!inputRemoved && !outputRemoved) return "Ready";
    std::string subject;
    std::string clearing = "Its selection was cleared.";
    std::string advice;
    if (inputRemoved && outputRemoved) {
        subject = "the previously selected MIDI input and output";
        clearing = "Their selections were cleared.";
        advice = "Reconnect the MIDI device or choose available ports in Settings.";
    } else if (inputRemoved) {
        subject = "the previously selected MIDI input";
        advice = "Reconnect the MIDI device or choose another input in Settings.";
    } else {
        subject = "the previously selected MIDI output";
        advice = "Reconnect the MIDI device or choose another output in Settings.";
    }
    std::string text = "V7/64 can\u2019t find " + subject + ".";
    if (interruptedTransfer) text += " The active transfer was stopped.";
    return text + " " + clearing + " " + advice;
}

}  // namespace k7

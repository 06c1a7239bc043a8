#include <algorithm>
#include <cstdio>

#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Core/Turbo/TurboFrame.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Support/DecimalText.h"

namespace k7 {

namespace {

bool isActive(const TurboNegotiation::State& state) {
    return std::holds_alternative<TurboNegotiation::Active>(state);
}

// Only a speed above 1x keeps its text while a detection runs; every other state shows "Checking…"
// then, and must get "1x" back when the detection ends without an answer.
bool isActiveAboveNormalSpeed(const TurboNegotiation::State& state) {
    const auto* active = std::get_if<TurboNegotiation::Active>(&state);
    return active && active->negotiated > TurboSpeed::x1;
}

std::string multiplierText(TurboSpeed speed) { return decimalText(multiplier(speed)); }

std::string describeEffects(const std::vector<TurboNegotiation::Effect>& effects) {
    std::string text = "[";
    for (std::size_t index = 0; index < effects.size(); ++index) {
        if (index > 0) text += ", ";
        std::visit(Overloaded{[&](const TurboNegotiation::Send& send) {
                                  text += "send(";
                                  for (std::size_t byte = 0; byte < send.frame.size(); ++byte) {
                                      char hex[4];
                                      std::snprintf(hex, sizeof hex, byte == 0 ? "%02X" : " %02X", send.frame[byte]);
                                      text += hex;
                                  }
                                  text += ")";
                              },
                              [&](const TurboNegotiation::ArmTimeout&) { text += "armTimeout"; },
                              [&](const TurboNegotiation::DisarmTimeout&) { text += "disarmTimeout"; }},
                   effects[index]);
    }
    return text + "]";
}

}  // namespace

std::optional<TurboSpeed> AppModel::turboSpeed(AppPreferences::TurboLimit limit) {
    if (limit == AppPreferences::TurboLimit::none) return std::nullopt;
    const auto index = std::find(AppPreferences::allTurboLimits.begin(), AppPreferences::allTurboLimits.end(), limit) -
                       AppPreferences::allTurboLimits.begin();
    return turboSpeedFromCode(static_cast<uint8_t>(12 - index));
}

std::string AppModel::turboStatus(TurboSpeed speed) {
    if (speed == TurboSpeed::legacy || speed == TurboSpeed::x1) return "1x";
    return multiplierText(speed) + "x";
}

std::string AppModel::turboActivationStatus(TurboSpeed speed) {
    if (speed == TurboSpeed::legacy || speed == TurboSpeed::x1) return "Normal MIDI active at 1x";
    return "Turbo active at " + multiplierText(speed) + "x";
}

void AppModel::reduceTurbo(const TurboNegotiation::Input& input) {
    applyTurboTransition(TurboNegotiation::reduce(turbo_.turboState, input));
}

void AppModel::applyTurboTransition(const TurboNegotiation::Transition& transition) {
    const TurboNegotiation::State old = turbo_.turboState;
    recordDiagnostic("turbo.transition", {{"from", TurboNegotiation::describe(old)},
                                          {"to", TurboNegotiation::describe(transition.state)},
                                          {"effects", describeEffects(transition.effects)}});
    if (const auto* active = std::get_if<TurboNegotiation::Active>(&transition.state)) {
        turbo_.turboTransportOverrideApplied = true;  // also when the call fails: restore to be sure
        try {
            transport().configureMaximumSysExSpeed(nominalBytesPerSecond(active->negotiated));
        } catch (const std::exception&) {
            restoreTurboTransport();
            setTurboState(old);
            reduceTurbo(TurboNegotiation::TransportFailed{});
            return;
        }
    }
    setTurboState(transition.state);
    performTurboEffects(transition.effects);
    publishTurboTexts();
}

void AppModel::performTurboEffects(const std::vector<TurboNegotiation::Effect>& effects) {
    for (const auto& effect : effects) {
        if (const auto* send = std::get_if<TurboNegotiation::Send>(&effect)) {
            try {
                transport().send(send->frame);
            } catch (const std::exception&) {
                reduceTurbo(TurboNegotiation::TransportFailed{});
                continue;
            }
            if (std::holds_alternative<TurboNegotiation::WaitingForLimitTransmission>(turbo_.turboState)) {
                reduceTurbo(TurboNegotiation::LimitTransmissionSucceeded{});
            }
        } else if (std::holds_alternative<TurboNegotiation::ArmTimeout>(effect)) {
            const uint64_t generation = ++turbo_.turboTimeoutGeneration;
            // A query that could not be sent has ended the negotiation and said so already.
            if (!TurboNegotiation::isWaiting(turbo_.turboState)) continue;
            afterOnMain(turbo_.turboResponseTimeout, [this, generation] {
                if (turbo_.turboTimeoutGeneration == generation) reduceTurbo(TurboNegotiation::Timeout{});
            });
        } else {
            turbo_.turboTimeoutGeneration += 1;
        }
    }
}

void AppModel::publishTurboTexts() {
    const auto& state = turbo_.turboState;
    if (std::holds_alternative<TurboNegotiation::WaitingForResponse>(state)) {
        setTurboStatus("Searching\u2026");
        setStatusText("Looking for a TM-1 Turbo response\u2026");
        return;
    }
    if (std::holds_alternative<TurboNegotiation::WaitingForLimitTransmission>(state)) {
        setTurboStatus("Applying limit\u2026");
        return;
    }
    if (const auto* active = std::get_if<TurboNegotiation::Active>(&state)) {
        setTurboStatus(turboStatus(active->negotiated));
        setStatusText(turboActivationStatus(active->negotiated));
        return;
    }
    if (!restoreTurboTransport()) return;  // the restore has said why
    setTurboStatus("1x");
    if (std::holds_alternative<TurboNegotiation::Failed>(state)) {
        setStatusText("Turbo negotiation failed");
    } else if (std::holds_alternative<TurboNegotiation::TimedOut>(state)) {
        setStatusText("No TM-1 responded; using normal 1x speed");
    }
}

void AppModel::detectExistingTurboIfPossible() {
    if (!turbo_.automaticallyDetectTurbo || isSending_ || isReceiving_ || turbo_.isTurboDetecting ||
        !preferences_.inputEndpointID || !preferences_.outputEndpointID ||
        TurboNegotiation::isWaiting(turbo_.turboState)) {
        return;
    }
    const uint64_t generation = ++turbo_.turboDetectionGeneration;
    setIsTurboDetecting(true);
    if (!isActiveAboveNormalSpeed(turbo_.turboState)) setTurboStatus("Checking\u2026");
    recordDiagnostic("turbo.detection.started", {{"timeoutSeconds", decimalText(turbo_.turboDetectionTimeout)}});
    try {
        transport().send(TurboFrame::query());
    } catch (const std::exception& error) {
        setIsTurboDetecting(false);
        turbo_.turboDetectionGeneration += 1;
        if (!isActiveAboveNormalSpeed(turbo_.turboState)) setTurboStatus("1x");
        recordDiagnostic("turbo.detection.sendFailed", {{"error", error.what()}});
        return;
    }
    afterOnMain(turbo_.turboDetectionTimeout, [this, generation] {
        if (!turbo_.isTurboDetecting || turbo_.turboDetectionGeneration != generation) return;
        setIsTurboDetecting(false);
        if (!isActiveAboveNormalSpeed(turbo_.turboState)) setTurboStatus("1x");
        recordDiagnostic("turbo.detection.timedOut");
    });
}

bool AppModel::handleTurboFrame(const Bytes& message) {
    const auto& prefix = ElektronSysEx::turboPrefix;
    if (message.size() < prefix.size() || !std::equal(prefix.begin(), prefix.end(), message.begin())) return false;
    const std::string length = std::to_string(message.size());

    if (TurboNegotiation::isWaiting(turbo_.turboState)) {
        if (turbo_.isTurboDetecting) {
            setIsTurboDetecting(false);
            turbo_.turboDetectionGeneration += 1;
        }
        recordDiagnostic("turbo.frame.received",
                         {{"state", TurboNegotiation::describe(turbo_.turboState)}, {"messageLength", length}});
        reduceTurbo(TurboNegotiation::ReceivedFrame{message});
        return true;
    }
    if (!turbo_.allowsUnsolicitedTurboSync) {
        recordDiagnostic("turbo.frame.ignoredDuringOfflineVerification", {{"messageLength", length}});
        return true;
    }
    std::optional<TurboSpeed> speed;
    try {
        const TurboMessage decoded = TurboFrame::decode(message);
        if (const auto* response = std::get_if<turbo_message::Response>(&decoded)) speed = response->speed;
    } catch (const TurboFrameError&) {
        // Reported below as an ignored frame.
    }
    if (!speed) {
        recordDiagnostic("turbo.frame.ignored", {{"messageLength", length}});
        return true;
    }
    if (isSending_) {
        recordDiagnostic("turbo.frame.ignoredDuringSend", {{"speedCode", std::to_string(code(*speed))}});
        return true;
    }
    std::string source = "unsolicited";
    if (turbo_.isTurboDetecting) {
        source = "automaticQuery";
        setIsTurboDetecting(false);
        turbo_.turboDetectionGeneration += 1;
    }
    synchronizeDetectedTurbo(*speed, source);
    return true;
}

void AppModel::synchronizeDetectedTurbo(TurboSpeed speed, const std::string& source) {
    const std::string previousStatus = turboStatus_;
    const TurboNegotiation::State previousState = turbo_.turboState;
    try {
        transport().configureMaximumSysExSpeed(nominalBytesPerSecond(speed));
    } catch (const std::exception& error) {
        if (isActive(previousState)) {
            setTurboState(previousState);
            // A check at normal speed had put "Checking…" in place of the speed.
            setTurboStatus(isActiveAboveNormalSpeed(previousState) ? previousStatus : turboStatus(TurboSpeed::x1));
        } else {
            setTurboState(TurboNegotiation::Failed{{TurboNegotiation::Failure::Transport{}}});
            setTurboStatus("Failed");
        }
        setStatusText("TM-1 reported " + multiplierText(speed) +
                      "x, but V7/64 could not configure the selected MIDI output for that speed. Reconnect the TM-1 "
                      "and try again. " +
                      error.what());
        recordDiagnostic("turbo.detection.transportFailed",
                         {{"source", source}, {"speedCode", std::to_string(code(speed))}, {"error", error.what()}});
        return;
    }
    turbo_.turboTransportOverrideApplied = true;
    setTurboState(TurboNegotiation::Active{speed, speed});
    setTurboStatus(turboStatus(speed));
    setStatusText(turboActivationStatus(speed));
    recordDiagnostic("turbo.detection.completed", {{"source", source},
                                                   {"speedCode", std::to_string(code(speed))},
                                                   {"multiplier", multiplierText(speed)}});
}

bool AppModel::ensureTurboTransportForSend() {
    const auto* active = std::get_if<TurboNegotiation::Active>(&turbo_.turboState);
    if (!active) return true;
    const TurboSpeed negotiated = active->negotiated;
    try {
        transport().configureMaximumSysExSpeed(nominalBytesPerSecond(negotiated));
    } catch (const std::exception& error) {
        setTurboState(TurboNegotiation::Failed{{TurboNegotiation::Failure::Transport{}}});
        setTurboStatus("Unknown");
        setStatusText("Turbo send speed could not be verified");
        setAlertMessage(
            "V7/64 did not start the transfer because the selected MIDI output could not confirm the active " +
            multiplierText(negotiated) + "x Turbo speed. Reconnect the TM-1 and negotiate Turbo again. " +
            error.what());
        recordDiagnostic("turbo.preSend.verificationFailed",
                         {{"speedCode", std::to_string(code(negotiated))}, {"error", error.what()}});
        return false;
    }
    turbo_.turboTransportOverrideApplied = true;
    recordDiagnostic("turbo.preSend.verified",
                     {{"speedCode", std::to_string(code(negotiated))},
                      {"nominalBytesPerSecond", std::to_string(nominalBytesPerSecond(negotiated))}});
    return true;
}

void AppModel::setTurboLimitFromUser(AppPreferences::TurboLimit limit) {
    if (preferences_.turboLimit == limit) return;
    // A speed switch in the middle of a transfer or negotiation would corrupt it.
    if (isSending_ || isReceiving_ || TurboNegotiation::isWaiting(turbo_.turboState)) {
        setStatusText("Turbo speed cannot change during an active transfer or Turbo negotiation.");
        return;
    }
    AppPreferences changed = preferences_;
    changed.turboLimit = limit;
    setPreferences(changed);
    recordDiagnostic("turbo.userLimit.changed", {{"limit", std::string(rawValue(limit))}});

    const auto* active = std::get_if<TurboNegotiation::Active>(&turbo_.turboState);
    if (!active) {
        setStatusText(limit == AppPreferences::TurboLimit::none
                          ? std::string("Turbo will follow the device-reported speed")
                          : "Turbo speed limit set to " + std::string(rawValue(limit)) + "; press Turbo to negotiate");
        return;
    }
    const TurboSpeed peer = active->peer;
    const TurboSpeed negotiated = active->negotiated;
    const TurboSpeed target = std::min(turboSpeed(limit).value_or(peer), peer);
    if (target == negotiated) {
        setStatusText(turboActivationStatus(negotiated));
        return;
    }
    try {
        transport().send(TurboFrame::limit(target));
    } catch (const std::exception& error) {
        setAlertMessage("V7/64 could not send the requested Turbo speed change. The active speed remains " +
                        multiplierText(negotiated) + "x. " + error.what());
        recordDiagnostic("turbo.userLimit.sendFailed", {{"fromSpeedCode", std::to_string(code(negotiated))},
                                                        {"toSpeedCode", std::to_string(code(target))},
                                                        {"error", error.what()}});
        return;
    }
    try {
        transport().configureMaximumSysExSpeed(nominalBytesPerSecond(target));
    } catch (const std::exception& error) {
        setTurboState(TurboNegotiation::Failed{{TurboNegotiation::Failure::Transport{}}});
        setTurboStatus("Unknown");
        setStatusText("Turbo speed changed on the TM-1, but this computer did not retain the matching send speed");
        setAlertMessage(
            "Turbo speed is not synchronized between the TM-1 and this computer. Reconnect the TM-1, then negotiate "
            "Turbo again before sending. " +
            std::string(error.what()));
        recordDiagnostic("turbo.userLimit.transportFailed",
                         {{"speedCode", std::to_string(code(target))}, {"error", error.what()}});
        return;
    }
    turbo_.turboTransportOverrideApplied = true;
    setTurboState(TurboNegotiation::Active{peer, target});
    setTurboStatus(turboStatus(target));
    setStatusText(turboActivationStatus(target));
    recordDiagnostic("turbo.userLimit.applied",
                     {{"peerSpeedCode", std::to_string(code(peer))},
                      {"speedCode", std::to_string(code(target))},
                      {"nominalBytesPerSecond", std::to_string(nominalBytesPerSecond(target))}});
}

bool AppModel::restoreTurboTransport() {
    if (!turbo_.turboTransportOverrideApplied) return true;
    try {
        transport().configureMaximumSysExSpeed(std::nullopt);
    } catch (const std::exception& error) {
        setTurboStatus("Restore failed");
        setStatusText(
            "V7/64 could not return the MIDI output to normal speed. Reconnect the device before another transfer. " +
            std::string(error.what()));
        return false;
    }
    turbo_.turboTransportOverrideApplied = false;
    return true;
}

void AppModel::resetTurboForRouteChange() {
    if (turbo_.isTurboDetecting) {
        setIsTurboDetecting(false);
        turbo_.turboDetectionGeneration += 1;
    }
    const bool restored = restoreTurboTransport();
    setTurboState(TurboNegotiation::reduce(turbo_.turboState, TurboNegotiation::Reset{}).state);
    turbo_.turboTimeoutGeneration += 1;
    setTurboStatus(restored ? "1x" : "Restore failed");
}

}  // namespace k7

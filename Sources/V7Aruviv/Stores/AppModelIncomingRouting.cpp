// Where every complete SysEx message from the input goes: the handshake of a running SDS send,
// the Turbo coordinator, a running backup repair, or the running receive.
#include "K7Core/SDS/SDSControlMessage.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

void AppModel::handleIncoming(const Bytes& message) {
    if (send_.activeSDSSender) {
        try {
            SDSControlMessage::decode(message);
            send_.activeSDSSender->receive(message);
            return;
        } catch (const std::exception&) {
            // Not a handshake message: routed on below.
        }
    }
    if (handleTurboFrame(message)) return;
    if (!repair_.backupRepairState) {
        if (isReceiving_) {
            handleReceived(message);
            return;
        }
        recordDiagnostic("midi.message.ignoredWhileReceiveStopped",
                         {{"messageByteCount", std::to_string(message.size())}});
        return;
    }
    if (handleBackupRepairResponse(message)) return;
    // Kept with the capture, but no longer fed to the session or the fragment assembler.
    receive_.receiveFallbackMessages.push_back(message);
    setReceivedByteCount(receivedByteCount_ + static_cast<int64_t>(message.size()));
}

void AppModel::handleTransportIssue(const MIDITransportIssue& issue) {
    const bool listening = isReceiving_ || send_.activeSDSSender || repair_.backupRepairState ||
                           turbo_.isTurboDetecting || TurboNegotiation::isWaiting(turbo_.turboState);
    if (!listening) {
        recordDiagnostic("midi.receiveIssue.ignoredWhileReceiveStopped", {{"description", issue.description()}});
        return;
    }
    setStatusText("Incomplete MIDI message discarded");
    setAlertMessage(issue.description());
}

}  // namespace k7

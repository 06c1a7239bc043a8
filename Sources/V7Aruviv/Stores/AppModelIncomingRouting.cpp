#include "K7Core/SDS/SDSControlMessage.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelUnbuilt.h"

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
            unbuiltOperation("Receiving");
        }
        recordDiagnostic("midi.message.ignoredWhileReceiveStopped",
                         {{"messageByteCount", std::to_string(message.size())}});
        return;
    }
    unbuiltOperation("Backup repair");
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

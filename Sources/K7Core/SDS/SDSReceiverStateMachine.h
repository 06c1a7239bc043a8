#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "K7Core/SDS/SDSReceiverAction.h"
#include "K7Core/SDS/SDSReceiverConfiguration.h"
#include "K7Core/SDS/SDSReceiverEvent.h"
#include "K7Core/SDS/SDSReceiverStatus.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// The pure logic of receiving SDS dumps: one event in, the ordered actions to perform out.
//
// A dump header whose device ID matches the configuration (by its policy) starts a dump; one that
// announces more than `maximumSampleWords` is refused (CANCEL in handshake mode, failed with
// protocolError tooManySampleWords). An SPS-1UW name message directly before the header, and SPS-1UW
// and SDS sample-name messages for the dump after it, are its metadata. Data packets must come
// in order with good checksums and the dump's device ID.
//
// Handshake mode: the header and every good packet are answered with ACK; a damaged or out-of-
// order packet with a NAK for the packet expected; a repeat of the packet just acknowledged (its
// ACK was lost) with its ACK again, without storing it twice; no packet within `packetTimeout`
// with a NAK. More than `maximumRetries` NAKs for one packet fail the dump with retryExhausted
// (cause invalidPacket or timeout) after a CANCEL. A repeat of the header before any packet (the
// sender missed its ACK) is answered again, not taken as a new dump.
//
// Open-loop mode: nothing is sent; a damaged packet fails with protocolError checksumMismatch
// and a missing one with protocolError packetOutOfSequence, since neither can be asked for again.
//
// Either mode: a different header mid-dump fails the dump with interruptedByNewHeader and starts
// the new one; the sender's end-of-file before the last packet fails with unexpectedEndOfFile,
// its CANCEL with remoteCancelled, a local cancel with localCancelled (telling a handshaking
// sender with a CANCEL). After a dump completes or fails, the next header starts a new one.
class SDSReceiverStateMachine {
public:
    explicit SDSReceiverStateMachine(const SDSReceiverConfiguration& configuration);

    const SDSReceiverConfiguration& configuration() const { return configuration_; }
    const SDSReceiverStatus& status() const { return status_; }

    std::vector<SDSReceiverAction> handle(const SDSReceiverEvent& event);

private:
    using Actions = std::vector<SDSReceiverAction>;

    bool isReceiving() const { return std::holds_alternative<sds_receiver_status::Receiving>(status_); }
    bool handshake() const { return configuration_.mode == SDSTransferMode::handshake; }
    int64_t receivedWords() const { return static_cast<int64_t>(samples_.size()); }
    uint8_t expectedPacketNumber() const { return static_cast<uint8_t>(acceptedPackets_ & 0x7F); }

    void onMessage(const Bytes& message, Actions& actions);
    void onHeader(const Bytes& message, const SDSDumpHeaderMessage& header, Actions& actions);
    void onPacket(const Bytes& message, Actions& actions);
    void onControl(const Bytes& message, Actions& actions);
    void onTimeout(uint64_t id, Actions& actions);
    void onCancel(Actions& actions);

    void keepPreambleMessage(const Bytes& message);
    void refusePacket(SDSRetryCause cause, Actions& actions);
    void reply(uint8_t kind, uint8_t packetNumber, Actions& actions);
    void armTimer(Actions& actions);
    void cancelTimer(Actions& actions);
    void updateStatus();
    void complete(Actions& actions);
    void fail(SDSTransferFailure failure, bool tellSender, Actions& actions);

    SDSReceiverConfiguration configuration_;
    SDSReceiverStatus status_ = sds_receiver_status::Idle{};

    std::optional<SDSDumpHeaderMessage> header_;
    Bytes headerBytes_;
    std::optional<SDSSampleNameMessage> sampleName_;
    std::optional<SPS1UWFileNameMessage> sps1UWName_;
    std::optional<Bytes> heldSPS1UWName_;
    std::vector<int32_t> samples_;
    std::vector<Bytes> messages_;
    int64_t acceptedPackets_ = 0;
    int retries_ = 0;
    bool awaitingTrailingEndOfFile_ = false;

    std::optional<uint64_t> activeTimer_;
    uint64_t nextTimerID_ = 1;
};

}  // namespace k7

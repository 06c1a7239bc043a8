#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSFileTransfer.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSSenderAction.h"
#include "K7Core/SDS/SDSSenderConfiguration.h"
#include "K7Core/SDS/SDSSenderEvent.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// The pure logic of sending one SDS dump: one event in, the ordered actions to perform out.
//
// Frames, in order: the opening group (the header, the supplemental preamble messages, the
// sample-name message; for a stored dump its stored preamble), the data packets, and the closing
// group (the end-of-file message when configured; for a stored dump its stored completion).
//
// Handshake mode: the opening group and then each packet is sent and answered before the next
// goes out. An ACK sends the next; a NAK resends; WAIT holds until the next handshake message
// or `waitTimeout`; a missing answer after `acknowledgementTimeout` (for the opening group
// `headerAcknowledgementTimeout` when set) resends. Each group may be resent `maximumRetries`
// times; one more resend fails with retryExhausted (the opening group counts as packet 0). The
// opening group accepts an answer with any packet number, a packet only one with its own. The
// closing group is sent after the last ACK, unanswered. When the sender gives up (retries, local
// cancel) it tells the device with a CANCEL.
//
// Open-loop mode: every message but the first waits for a timer of `openLoopInterMessageDelay`
// scheduled after the one before; answers are ignored except a CANCEL.
//
// Either mode: a CANCEL from the device fails with remoteCancelled, a local cancel with
// localCancelled; messages from another device (by `deviceMatchPolicy`) or for another packet
// come back as ignoredControl, timers no longer current as ignoredTimeout. Progress follows
// every packet sent; completed (sample number + 1) follows the last message. After completed or
// failed, nothing more is sent.
//
// Copies are cheap (the frames are shared) and independent.
class SDSSenderStateMachine {
public:
    // Throws SDSError: sampleCountMismatch when the samples are not the header's sample length,
    // sampleOutOfRange for a word beyond the header's significant bits, sampleNameMismatch when
    // the name message is for another device or sample, invalidPreambleMessage for a supplemental
    // message that is not framed SysEx of data bytes.
    SDSSenderStateMachine(const SDSDumpHeaderMessage& header, std::span<const int32_t> samples,
                          const std::optional<SDSSampleNameMessage>& sampleName,
                          const std::vector<Bytes>& supplementalPreambleMessages,
                          const SDSSenderConfiguration& configuration);

    // Re-emits the stored dump's messages unchanged and in stored order; `emitEndOfFile` is not
    // consulted, the stored completion messages are what is sent.
    SDSSenderStateMachine(const SDSFileTransfer& fileTransfer, const SDSSenderConfiguration& configuration);

    const SDSDumpHeaderMessage& header() const { return plan_->header; }
    const SDSSenderConfiguration& configuration() const { return configuration_; }
    int64_t totalSampleWords() const { return plan_->totalSampleWords; }
    // Every byte of every frame sent when nothing is resent.
    int64_t totalWireBytes() const { return plan_->totalWireBytes; }
    bool isFinished() const { return phase_ == Phase::finished; }

    std::vector<SDSSenderAction> handle(const SDSSenderEvent& event);

private:
    struct Plan {
        SDSDumpHeaderMessage header;
        std::vector<Bytes> frames;
        std::size_t openingCount = 0;
        std::size_t packetCount = 0;
        std::vector<uint8_t> packetNumbers;
        std::vector<int64_t> packetSampleWords;
        int64_t totalSampleWords = 0;
        int64_t totalWireBytes = 0;
    };
    enum class Phase { idle, awaitingAnswer, waiting, openLoop, finished };
    using Actions = std::vector<SDSSenderAction>;

    static std::shared_ptr<const Plan> finish(Plan plan);

    // Handshake units: 0 is the opening group, 1...packetCount the packets.
    std::size_t unitCount() const { return plan_->packetCount + 1; }
    uint8_t unitPacketNumber(std::size_t unit) const { return unit == 0 ? 0 : plan_->packetNumbers[unit - 1]; }

    void start(Actions& actions);
    void onTimeout(uint64_t id, Actions& actions);
    void onControl(const SDSControlMessage& message, Actions& actions);
    void onCancel(Actions& actions);

    void sendNextOpenLoopFrame(Actions& actions);
    void sendFrame(std::size_t index, Actions& actions);
    void sendUnit(std::size_t unit, Actions& actions);
    void advanceUnit(Actions& actions);
    void resendUnit(SDSRetryCause cause, Actions& actions);
    void scheduleTimer(std::chrono::nanoseconds delay, Actions& actions);
    void cancelTimer(Actions& actions);
    void complete(Actions& actions);
    void fail(SDSTransferFailure failure, bool tellDevice, Actions& actions);

    std::shared_ptr<const Plan> plan_;
    SDSSenderConfiguration configuration_;
    Phase phase_ = Phase::idle;
    std::size_t currentUnit_ = 0;
    std::size_t nextFrame_ = 0;
    std::size_t framesSent_ = 0;
    int retries_ = 0;
    int64_t sentSampleWords_ = 0;
    int64_t completedWireBytes_ = 0;
    std::optional<uint64_t> activeTimer_;
    uint64_t nextTimerID_ = 1;
};

}  // namespace k7

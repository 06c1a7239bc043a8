#include "K7Core/SDS/SDSSenderStateMachine.h"

#include <algorithm>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace act = sds_sender_action;
namespace ev = sds_sender_event;
using Kind = SDSControlMessage::Kind;

SDSSenderStateMachine::SDSSenderStateMachine(const SDSDumpHeaderMessage& header, std::span<const int32_t> samples,
                                             const std::optional<SDSSampleNameMessage>& sampleName,
                                             const std::vector<Bytes>& supplementalPreambleMessages,
                                             const SDSSenderConfiguration& configuration)
    : configuration_(configuration) {
    const int64_t announced = header.announcedSampleWords();
    if (static_cast<int64_t>(samples.size()) != announced) {
        throw SDSError(SDSError::SampleCountMismatch{announced, static_cast<int64_t>(samples.size())});
    }
    const int bits = header.significantBits();
    const int32_t lowest = SDSSamplePacking::minimumWord(bits);
    const int32_t highest = SDSSamplePacking::maximumWord(bits);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (samples[i] < lowest || samples[i] > highest) {
            throw SDSError(SDSError::SampleOutOfRange{static_cast<int64_t>(i), samples[i], header.significantBits()});
        }
    }
    if (sampleName &&
        (sampleName->deviceID() != header.deviceID() || sampleName->sampleNumber() != header.sampleNumber())) {
        throw SDSError(SDSError::SampleNameMismatch{sampleName->deviceID(), sampleName->sampleNumber()});
    }
    for (std::size_t i = 0; i < supplementalPreambleMessages.size(); ++i) {
        if (!isFramedSysEx(supplementalPreambleMessages[i])) throw SDSError(SDSError::InvalidPreambleMessage{i});
    }

    Plan plan{header, {}, 0, 0, {}, {}, announced, 0};
    const auto packets = static_cast<std::size_t>(SDSSamplePacking::packetCount(announced, bits));
    plan.frames.reserve(2 + supplementalPreambleMessages.size() + packets + 1);
    plan.frames.push_back(header.encode());
    plan.frames.insert(plan.frames.end(), supplementalPreambleMessages.begin(), supplementalPreambleMessages.end());
    if (sampleName) plan.frames.push_back(sampleName->encode());
    plan.openingCount = plan.frames.size();

    const std::size_t perPacket = SDSSamplePacking::wordsPerPacket(bits);
    SDSDataPacket::Payload payload{};
    for (std::size_t p = 0; p < packets; ++p) {
        const auto words = samples.subspan(p * perPacket, std::min(perPacket, samples.size() - p * perPacket));
        payload.fill(0);
        SDSSamplePacking::pack(words, bits, payload);
        const auto number = static_cast<uint8_t>(p & 0x7F);
        plan.frames.push_back(SDSDataPacket::make(header.deviceID(), number, payload).encode());
        plan.packetNumbers.push_back(number);
        plan.packetSampleWords.push_back(static_cast<int64_t>(words.size()));
    }
    plan.packetCount = packets;
    if (configuration.emitEndOfFile) {
        // The packet number of an end-of-file is ignored by receivers; the next one is sent.
        const auto next = static_cast<uint8_t>(packets & 0x7F);
        plan.frames.push_back(SDSControlMessage::make(Kind::endOfFile, header.deviceID(), next).encode());
    }
    plan_ = finish(std::move(plan));
}

SDSSenderStateMachine::SDSSenderStateMachine(const SDSFileTransfer& fileTransfer,
                                             const SDSSenderConfiguration& configuration)
    : configuration_(configuration) {
    Plan plan{fileTransfer.header, {}, 0, 0, {}, {}, 0, 0};
    plan.frames = fileTransfer.preambleMessages;
    plan.openingCount = plan.frames.size();
    for (std::size_t p = 0; p < fileTransfer.packetMessages.size(); ++p) {
        const Bytes& packet = fileTransfer.packetMessages[p];
        plan.frames.push_back(packet);
        plan.packetNumbers.push_back(packet.size() > 4 ? packet[4] : 0);
        const int64_t words =
            p < fileTransfer.packetSampleWordCounts.size() ? fileTransfer.packetSampleWordCounts[p] : 0;
        plan.packetSampleWords.push_back(words);
        plan.totalSampleWords += words;
    }
    plan.packetCount = fileTransfer.packetMessages.size();
    plan.frames.insert(plan.frames.end(), fileTransfer.completionMessages.begin(),
                       fileTransfer.completionMessages.end());
    plan_ = finish(std::move(plan));
}

std::shared_ptr<const SDSSenderStateMachine::Plan> SDSSenderStateMachine::finish(Plan plan) {
    for (const Bytes& frame : plan.frames) plan.totalWireBytes += static_cast<int64_t>(frame.size());
    return std::make_shared<const Plan>(std::move(plan));
}

std::vector<SDSSenderAction> SDSSenderStateMachine::handle(const SDSSenderEvent& event) {
    Actions actions;
    std::visit(Overloaded{
                   [&](const ev::Start&) { start(actions); },
                   [&](const ev::Timeout& e) { onTimeout(e.id, actions); },
                   [&](const ev::Control& e) { onControl(e.message, actions); },
                   [&](const ev::Cancel&) { onCancel(actions); },
               },
               event);
    return actions;
}

void SDSSenderStateMachine::start(Actions& actions) {
    if (phase_ != Phase::idle) return;
    if (plan_->frames.empty()) {
        complete(actions);
    } else if (configuration_.mode == SDSTransferMode::handshake) {
        currentUnit_ = 0;
        sendUnit(0, actions);
    } else {
        phase_ = Phase::openLoop;
        sendNextOpenLoopFrame(actions);
    }
}

void SDSSenderStateMachine::sendNextOpenLoopFrame(Actions& actions) {
    sendFrame(nextFrame_++, actions);
    if (nextFrame_ < plan_->frames.size()) {
        scheduleTimer(configuration_.openLoopInterMessageDelay, actions);
    } else {
        complete(actions);
    }
}

void SDSSenderStateMachine::onTimeout(uint64_t id, Actions& actions) {
    if (activeTimer_ != id || phase_ == Phase::idle || phase_ == Phase::finished) {
        actions.push_back(act::IgnoredTimeout{id});
        return;
    }
    activeTimer_.reset();
    if (phase_ == Phase::openLoop) {
        sendNextOpenLoopFrame(actions);
    } else {
        resendUnit(SDSRetryCause::timeout, actions);
    }
}

void SDSSenderStateMachine::onControl(const SDSControlMessage& message, Actions& actions) {
    const bool fromDevice =
        sdsDeviceMatches(configuration_.deviceMatchPolicy, plan_->header.deviceID(), message.deviceID);
    const bool running = phase_ != Phase::idle && phase_ != Phase::finished;
    if (!fromDevice || !running) {
        actions.push_back(act::IgnoredControl{message});
        return;
    }
    if (message.kind == Kind::cancel) {
        cancelTimer(actions);
        fail(sds_failure::RemoteCancelled{}, false, actions);
        return;
    }
    const bool answersCurrent = currentUnit_ == 0 || message.packetNumber == unitPacketNumber(currentUnit_);
    if (phase_ == Phase::openLoop || message.kind == Kind::endOfFile || !answersCurrent) {
        actions.push_back(act::IgnoredControl{message});
        return;
    }
    cancelTimer(actions);
    switch (message.kind) {
        case Kind::acknowledge:
            advanceUnit(actions);
            return;
        case Kind::negativeAcknowledge:
            resendUnit(SDSRetryCause::negativeAcknowledgement, actions);
            return;
        case Kind::wait:
            phase_ = Phase::waiting;
            if (configuration_.waitTimeout) scheduleTimer(*configuration_.waitTimeout, actions);
            return;
        default:
            return;
    }
}

void SDSSenderStateMachine::onCancel(Actions& actions) {
    if (phase_ == Phase::finished) return;
    const bool deviceListens = phase_ == Phase::awaitingAnswer || phase_ == Phase::waiting;
    cancelTimer(actions);
    fail(sds_failure::LocalCancelled{}, deviceListens, actions);
}

void SDSSenderStateMachine::sendFrame(std::size_t index, Actions& actions) {
    const Bytes& frame = plan_->frames[index];
    actions.push_back(act::Send{frame});
    if (index != framesSent_) return;  // a resend: progress already counted it
    ++framesSent_;
    completedWireBytes_ += static_cast<int64_t>(frame.size());
    if (index < plan_->openingCount || index >= plan_->openingCount + plan_->packetCount) return;
    sentSampleWords_ += plan_->packetSampleWords[index - plan_->openingCount];
    actions.push_back(act::Progress{sentSampleWords_, plan_->totalSampleWords, completedWireBytes_,
                                    plan_->totalWireBytes});
}

void SDSSenderStateMachine::sendUnit(std::size_t unit, Actions& actions) {
    phase_ = Phase::awaitingAnswer;
    if (unit == 0) {
        for (std::size_t i = 0; i < plan_->openingCount; ++i) sendFrame(i, actions);
    } else {
        sendFrame(plan_->openingCount + unit - 1, actions);
    }
    const auto& timeout = unit == 0 && configuration_.headerAcknowledgementTimeout
                              ? configuration_.headerAcknowledgementTimeout
                              : configuration_.acknowledgementTimeout;
    if (timeout) scheduleTimer(*timeout, actions);
}

void SDSSenderStateMachine::advanceUnit(Actions& actions) {
    retries_ = 0;
    if (++currentUnit_ < unitCount()) {
        sendUnit(currentUnit_, actions);
        return;
    }
    for (std::size_t i = plan_->openingCount + plan_->packetCount; i < plan_->frames.size(); ++i) {
        sendFrame(i, actions);
    }
    complete(actions);
}

void SDSSenderStateMachine::resendUnit(SDSRetryCause cause, Actions& actions) {
    if (retries_ >= std::max(configuration_.maximumRetries, 0)) {
        fail(sds_failure::RetryExhausted{cause, unitPacketNumber(currentUnit_)}, true, actions);
        return;
    }
    ++retries_;
    sendUnit(currentUnit_, actions);
}

void SDSSenderStateMachine::scheduleTimer(std::chrono::nanoseconds delay, Actions& actions) {
    activeTimer_ = nextTimerID_++;
    actions.push_back(act::ScheduleTimeout{*activeTimer_, std::max(delay, std::chrono::nanoseconds(0))});
}

void SDSSenderStateMachine::cancelTimer(Actions& actions) {
    if (!activeTimer_) return;
    actions.push_back(act::CancelTimeout{*activeTimer_});
    activeTimer_.reset();
}

void SDSSenderStateMachine::complete(Actions& actions) {
    phase_ = Phase::finished;
    actions.push_back(act::Completed{static_cast<uint16_t>(plan_->header.sampleNumber() + 1)});
}

void SDSSenderStateMachine::fail(SDSTransferFailure failure, bool tellDevice, Actions& actions) {
    if (tellDevice && configuration_.mode == SDSTransferMode::handshake) {
        const auto cancel = SDSControlMessage{Kind::cancel, plan_->header.deviceID(), unitPacketNumber(currentUnit_)};
        actions.push_back(act::Send{cancel.encode()});
    }
    phase_ = Phase::finished;
    actions.push_back(act::Failed{std::move(failure)});
}

std::string describe(const SDSSenderAction& action) {
    return std::visit(
        Overloaded{
            [](const act::Send& a) { return sds_wire_action::describe(a); },
            [](const act::ScheduleTimeout& a) { return sds_wire_action::describe(a); },
            [](const act::CancelTimeout& a) { return sds_wire_action::describe(a); },
            [](const act::Progress& a) {
                return describeCase("progress", {labelled("sentSampleWords", a.sentSampleWords),
                                                 labelled("totalSampleWords", a.totalSampleWords),
                                                 labelled("completedWireBytes", a.completedWireBytes),
                                                 labelled("totalWireBytes", a.totalWireBytes)});
            },
            [](const act::Completed& a) {
                return describeCase("completed", {labelled("nextSamplePosition", a.nextSamplePosition)});
            },
            [](const act::Failed& a) { return sds_wire_action::describe(a); },
            [](const act::IgnoredControl& a) {
                return describeCase("ignoredControl", {field("", caseName(a.message.kind)),
                                                       labelled("deviceID", a.message.deviceID),
                                                       labelled("packetNumber", a.message.packetNumber)});
            },
            [](const act::IgnoredTimeout& a) { return sds_wire_action::describe(a); },
        },
        action);
}

}  // namespace k7

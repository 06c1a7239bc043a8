#include "K7Core/SDS/SDSReceiverStateMachine.h"

#include <algorithm>
#include <utility>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace act = sds_receiver_action;
namespace ev = sds_receiver_event;
namespace st = sds_receiver_status;
using Kind = SDSControlMessage::Kind;

namespace {
// Words are stored as they arrive; reserving for the announced length up front would let a
// header alone claim memory.
constexpr std::size_t maximumInitialReserve = std::size_t{1} << 20;
}  // namespace

SDSReceiverStateMachine::SDSReceiverStateMachine(const SDSReceiverConfiguration& configuration)
    : configuration_(configuration) {}

std::vector<SDSReceiverAction> SDSReceiverStateMachine::handle(const SDSReceiverEvent& event) {
    Actions actions;
    std::visit(Overloaded{
                   [&](const ev::Message& e) { onMessage(e.message, actions); },
                   [&](const ev::Timeout& e) { onTimeout(e.id, actions); },
                   [&](const ev::Cancel&) { onCancel(actions); },
               },
               event);
    return actions;
}

void SDSReceiverStateMachine::onMessage(const Bytes& message, Actions& actions) {
    const bool trailing = std::exchange(awaitingTrailingEndOfFile_, false);
    std::optional<Bytes> held;
    heldSPS1UWName_.swap(held);

    if (SDSDumpHeaderMessage::hasHeaderShape(message)) {
        try {
            const auto header = SDSDumpHeaderMessage::decode(message);
            if (sdsDeviceMatches(configuration_.deviceMatchPolicy, configuration_.deviceID, header.deviceID())) {
                heldSPS1UWName_ = std::move(held);
                onHeader(message, header, actions);
                return;
            }
        } catch (const SDSError&) {
        }
        actions.push_back(act::IgnoredMessage{message});
        return;
    }
    if (const auto name = SPS1UWFileNameMessage::decode(message)) {
        if (isReceiving()) {
            sps1UWName_ = *name;
            keepPreambleMessage(message);
            actions.push_back(act::SPS1UWNameReceived{*name});
        } else {
            // It may name the dump whose header comes next.
            heldSPS1UWName_ = message;
        }
        return;
    }
    if (SDSSampleNameMessage::hasNameShape(message) && isReceiving()) {
        try {
            auto name = SDSSampleNameMessage::decode(message);
            if (name.deviceID() == header_->deviceID() && name.sampleNumber() == header_->sampleNumber()) {
                sampleName_ = name;
                keepPreambleMessage(message);
                actions.push_back(act::SampleNameReceived{std::move(name)});
                return;
            }
        } catch (const SDSError&) {
        }
        actions.push_back(act::IgnoredMessage{message});
        return;
    }
    if (SDSDataPacket::hasPacketShape(message)) {
        onPacket(message, actions);
        return;
    }
    if (message.size() == SDSControlMessage::byteCount) {
        try {
            const auto control = SDSControlMessage::decode(message);
            if (trailing && control.kind == Kind::endOfFile && control.deviceID == header_->deviceID()) {
                actions.push_back(act::TrailingEndOfFile{message});
                return;
            }
            onControl(message, actions);
            return;
        } catch (const SDSError&) {
        }
    }
    actions.push_back(act::IgnoredMessage{message});
}

void SDSReceiverStateMachine::onHeader(const Bytes& message, const SDSDumpHeaderMessage& header,
                                       Actions& actions) {
    if (isReceiving()) {
        if (acceptedPackets_ == 0 && message == headerBytes_) {
            // The sender missed our answer and sent its opening messages again.
            heldSPS1UWName_.reset();
            cancelTimer(actions);
            if (handshake()) reply(static_cast<uint8_t>(Kind::acknowledge), 0, actions);
            armTimer(actions);
            return;
        }
        cancelTimer(actions);
        fail(sds_failure::InterruptedByNewHeader{receivedWords(), header_->announcedSampleWords()}, false, actions);
    }
    header_ = header;
    headerBytes_ = message;
    sampleName_.reset();
    sps1UWName_.reset();
    samples_.clear();
    messages_.clear();
    acceptedPackets_ = 0;
    retries_ = 0;

    const int64_t total = header.announcedSampleWords();
    if (total > configuration_.maximumSampleWords) {
        heldSPS1UWName_.reset();
        status_ = st::Receiving{0, total, 0};
        fail(sds_failure::ProtocolError{SDSError(SDSError::TooManySampleWords{total, configuration_.maximumSampleWords})},
             true, actions);
        return;
    }
    if (heldSPS1UWName_) {
        sps1UWName_ = SPS1UWFileNameMessage::decode(*heldSPS1UWName_);
        messages_.push_back(std::move(*heldSPS1UWName_));
        heldSPS1UWName_.reset();
    }
    messages_.push_back(message);
    samples_.reserve(static_cast<std::size_t>(std::min<int64_t>(total, maximumInitialReserve)));
    status_ = st::Receiving{0, total, 0};
    actions.push_back(act::HeaderAccepted{header});
    if (sps1UWName_) actions.push_back(act::SPS1UWNameReceived{*sps1UWName_});
    if (handshake()) reply(static_cast<uint8_t>(Kind::acknowledge), 0, actions);
    if (total == 0) {
        complete(actions);
        return;
    }
    armTimer(actions);
}

void SDSReceiverStateMachine::keepPreambleMessage(const Bytes& message) {
    // Opening messages sent again with a repeated header are kept once.
    if (acceptedPackets_ == 0 && std::find(messages_.begin(), messages_.end(), message) != messages_.end()) return;
    messages_.push_back(message);
}

void SDSReceiverStateMachine::onPacket(const Bytes& message, Actions& actions) {
    std::optional<SDSDataPacket> packet;
    try {
        packet = SDSDataPacket::decode(message);
    } catch (const SDSError&) {
    }
    if (packet && handshake() && std::holds_alternative<st::Completed>(status_) && acceptedPackets_ > 0 &&
        packet->packetNumber == static_cast<uint8_t>((acceptedPackets_ - 1) & 0x7F) &&
        sdsDeviceMatches(configuration_.deviceMatchPolicy, header_->deviceID(), packet->deviceID)) {
        // The sender missed the ACK of the last packet: answer again, or it fails a complete dump.
        reply(static_cast<uint8_t>(Kind::acknowledge), packet->packetNumber, actions);
        awaitingTrailingEndOfFile_ = true;
        actions.push_back(act::LastPacketRepeated{message});
        return;
    }
    if (!isReceiving() || !packet ||
        !sdsDeviceMatches(configuration_.deviceMatchPolicy, header_->deviceID(), packet->deviceID)) {
        actions.push_back(act::IgnoredMessage{message});
        return;
    }
    const uint8_t expected = expectedPacketNumber();
    const auto previous = static_cast<uint8_t>((acceptedPackets_ - 1) & 0x7F);
    if (packet->packetNumber != expected) {
        if (acceptedPackets_ > 0 && packet->packetNumber == previous) {
            // A repeat of the packet just taken: our ACK was lost.
            if (handshake()) {
                cancelTimer(actions);
                reply(static_cast<uint8_t>(Kind::acknowledge), previous, actions);
                armTimer(actions);
            } else {
                actions.push_back(act::IgnoredMessage{message});
            }
            return;
        }
        if (!handshake()) {
            fail(sds_failure::ProtocolError{SDSError(SDSError::PacketOutOfSequence{expected, packet->packetNumber})},
                 false, actions);
            return;
        }
        refusePacket(SDSRetryCause::invalidPacket, actions);
        return;
    }
    if (!packet->hasValidChecksum()) {
        if (!handshake()) {
            const uint8_t computed = SDSDataPacket::computeChecksum(packet->deviceID, packet->packetNumber,
                                                                    packet->payload);
            fail(sds_failure::ProtocolError{
                     SDSError(SDSError::ChecksumMismatch{packet->packetNumber, computed, packet->checksum})},
                 false, actions);
            return;
        }
        refusePacket(SDSRetryCause::invalidPacket, actions);
        return;
    }

    const int bits = header_->significantBits();
    const auto perPacket = static_cast<int64_t>(SDSSamplePacking::wordsPerPacket(bits));
    const int64_t total = header_->announcedSampleWords();
    const auto count = static_cast<std::size_t>(std::min(perPacket, total - receivedWords()));
    const std::size_t start = samples_.size();
    samples_.resize(start + count);
    SDSSamplePacking::unpack(packet->payload, bits, std::span<int32_t>(samples_).subspan(start));
    messages_.push_back(message);
    ++acceptedPackets_;
    retries_ = 0;
    updateStatus();
    cancelTimer(actions);
    if (handshake()) reply(static_cast<uint8_t>(Kind::acknowledge), packet->packetNumber, actions);
    actions.push_back(act::Progress{packet->packetNumber, receivedWords(), total});
    if (receivedWords() >= total) {
        complete(actions);
        return;
    }
    armTimer(actions);
}

void SDSReceiverStateMachine::refusePacket(SDSRetryCause cause, Actions& actions) {
    cancelTimer(actions);
    if (retries_ >= std::max(configuration_.maximumRetries, 0)) {
        fail(sds_failure::RetryExhausted{cause, expectedPacketNumber()}, true, actions);
        return;
    }
    ++retries_;
    reply(static_cast<uint8_t>(Kind::negativeAcknowledge), expectedPacketNumber(), actions);
    armTimer(actions);
}

void SDSReceiverStateMachine::onControl(const Bytes& message, Actions& actions) {
    const auto control = SDSControlMessage::decode(message);
    if (!isReceiving() ||
        !sdsDeviceMatches(configuration_.deviceMatchPolicy, header_->deviceID(), control.deviceID)) {
        actions.push_back(act::IgnoredMessage{message});
        return;
    }
    switch (control.kind) {
        case Kind::cancel:
            cancelTimer(actions);
            fail(sds_failure::RemoteCancelled{}, false, actions);
            return;
        case Kind::endOfFile:
            cancelTimer(actions);
            fail(sds_failure::UnexpectedEndOfFile{}, false, actions);
            return;
        default:
            actions.push_back(act::IgnoredMessage{message});
            return;
    }
}

void SDSReceiverStateMachine::onTimeout(uint64_t id, Actions& actions) {
    if (!isReceiving() || activeTimer_ != id) {
        actions.push_back(act::IgnoredTimeout{id});
        return;
    }
    activeTimer_.reset();
    refusePacket(SDSRetryCause::timeout, actions);
}

void SDSReceiverStateMachine::onCancel(Actions& actions) {
    heldSPS1UWName_.reset();
    awaitingTrailingEndOfFile_ = false;
    if (!isReceiving()) return;
    cancelTimer(actions);
    fail(sds_failure::LocalCancelled{}, true, actions);
}

void SDSReceiverStateMachine::reply(uint8_t kind, uint8_t packetNumber, Actions& actions) {
    const SDSControlMessage message{static_cast<Kind>(kind), header_->deviceID(), packetNumber};
    actions.push_back(act::Send{message.encode()});
}

void SDSReceiverStateMachine::armTimer(Actions& actions) {
    if (!handshake() || !configuration_.packetTimeout) return;
    activeTimer_ = nextTimerID_++;
    actions.push_back(
        act::ScheduleTimeout{*activeTimer_, std::max(*configuration_.packetTimeout, std::chrono::nanoseconds(0))});
}

void SDSReceiverStateMachine::cancelTimer(Actions& actions) {
    if (!activeTimer_) return;
    actions.push_back(act::CancelTimeout{*activeTimer_});
    activeTimer_.reset();
}

void SDSReceiverStateMachine::updateStatus() {
    status_ = st::Receiving{receivedWords(), header_->announcedSampleWords(), expectedPacketNumber()};
}

void SDSReceiverStateMachine::complete(Actions& actions) {
    if (handshake() && configuration_.emitEndOfFile) {
        reply(static_cast<uint8_t>(Kind::endOfFile), expectedPacketNumber(), actions);
    }
    status_ = st::Completed{};
    awaitingTrailingEndOfFile_ = true;
    actions.push_back(act::Completed{
        SDSReceivedDump{*header_, sampleName_, sps1UWName_, std::move(samples_), std::move(messages_)}});
    samples_.clear();
    messages_.clear();
}

void SDSReceiverStateMachine::fail(SDSTransferFailure failure, bool tellSender, Actions& actions) {
    if (tellSender && handshake()) reply(static_cast<uint8_t>(Kind::cancel), expectedPacketNumber(), actions);
    status_ = st::Failed{failure};
    samples_.clear();
    messages_.clear();
    actions.push_back(act::Failed{std::move(failure)});
}

std::string describe(const SDSReceiverAction& action) {
    return std::visit(
        Overloaded{
            [](const act::Send& a) { return sds_wire_action::describe(a); },
            [](const act::ScheduleTimeout& a) { return sds_wire_action::describe(a); },
            [](const act::CancelTimeout& a) { return sds_wire_action::describe(a); },
            [](const act::HeaderAccepted& a) {
                return describeCase("headerAccepted", {labelled("sampleNumber", a.header.sampleNumber())});
            },
            [](const act::SampleNameReceived& a) {
                return describeCase("sampleNameReceived", {labelled("", a.name.asciiName())});
            },
            [](const act::SPS1UWNameReceived& a) {
                return describeCase("sps1UWNameReceived", {labelled("", a.name.fileName.text())});
            },
            [](const act::Progress& a) {
                return describeCase("progress", {labelled("packetNumber", a.packetNumber),
                                                 labelled("receivedSampleWords", a.receivedSampleWords),
                                                 labelled("totalSampleWords", a.totalSampleWords)});
            },
            [](const act::Completed& a) {
                return describeCase("completed", {labelled("sampleWords", a.dump.samples.size())});
            },
            [](const act::Failed& a) { return sds_wire_action::describe(a); },
            [](const act::IgnoredMessage& a) {
                return describeCase("ignoredMessage", {labelled("byteCount", a.message.size())});
            },
            [](const act::IgnoredTimeout& a) { return sds_wire_action::describe(a); },
            [](const act::TrailingEndOfFile& a) {
                return describeCase("trailingEndOfFile", {labelled("byteCount", a.message.size())});
            },
            [](const act::LastPacketRepeated& a) {
                return describeCase("lastPacketRepeated", {labelled("byteCount", a.message.size())});
            },
        },
        action);
}

}  // namespace k7

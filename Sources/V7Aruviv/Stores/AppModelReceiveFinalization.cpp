// What a receive leaves behind: an item for each completed SDS dump as it arrives, and at the end
// an item for each DigiPRO waveform and one raw item for everything else, then the status.
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"
#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "V7Aruviv/Models/DigiPROFinalFragmentConsolidator.h"
#include "V7Aruviv/Models/TransferSendAnalyzer.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7 {

namespace {

TransferItem receivedItem(std::string displayName, TransferItem::Kind kind, TransferItem::Device device, Bytes data,
                          std::optional<AudioSample> audio, TransferItem::State state, std::string detail) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = std::move(displayName);
    item.kind = kind;
    item.device = device;
    item.byteCount = static_cast<int64_t>(data.size());
    const auto analysis = TransferSendAnalyzer::analyze(kind, data, audio.has_value());
    item.data = std::move(data);
    item.audioSample = std::move(audio);
    item.loopMode = TransferItem::LoopMode::file;
    item.stereoMode = TransferItem::StereoMode::mix;
    item.state = std::move(state);
    item.progress = 0;
    item.detail = std::move(detail);
    item.sendMethod = analysis.sendMethod;
    item.wireWorkload = analysis.wireWorkload;
    item.digiPROFrames = analysis.digiPROFrames;
    item.messageCount = analysis.messageCount;
    return item;
}

std::string twoDigits(int position) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", position);
    return text;
}

bool isIncomplete(const std::exception& error) {
    const auto* decoding = dynamic_cast<const DigiPRODecodingError*>(&error);
    const auto* length = decoding ? decoding->as<DigiPRODecodingError::InvalidLength>() : nullptr;
    return length && length->actual < length->expected;
}

std::string joined(const std::vector<std::string>& texts, const std::string& separator) {
    std::string text;
    for (const auto& part : texts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

std::string plural(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

void AppModel::appendReceivedItem(TransferItem item) {
    receive_.receiveCreatedItemIDs.push_back(item.id);
    editItems([&item](std::vector<TransferItem>& list) { list.push_back(std::move(item)); });
}

void AppModel::handleReceiveCompletion(const SDSReceiveCompletion& completion) {
    // Kept as plain SysEx by choice: the dump stays in the received data and becomes part of the
    // raw item, which is no failure.
    if (completion.format == SDSReceiveFormat::none) return;
    try {
        TransferItem item = makeReceivedItem(completion);
        claimReceiveMessages(completion.rawMessages);
        const std::string name = item.displayName;
        appendReceivedItem(std::move(item));
        setOverallProgress(1);
        setReceiveProgressIsDeterminate(false);
        setStatusText("Received " + name);
    } catch (const std::exception& error) {
        const std::string text = "Could not convert received SDS: " + std::string(error.what());
        receive_.receiveFailures.push_back(text);
        setStatusText(text + "; raw bytes retained");
    }
}

TransferItem AppModel::makeReceivedItem(const SDSReceiveCompletion& completion) const {
    const auto& header = completion.header;
    const std::string base = receivedHardwareName(completion.sampleName, completion.sps1UWName)
                                 .value_or("Sample " + std::to_string(header.sampleNumber()));
    const bool fromMachinedrum = completion.sps1UWName.has_value();
    switch (completion.format) {
    case SDSReceiveFormat::rawSDS:
        return receivedItem(uniqueReceivedDisplayName(base, "syx"), TransferItem::Kind::sysEx,
                            fromMachinedrum ? TransferItem::Device::machinedrum : TransferItem::Device::unknown,
                            completion.rawData, std::nullopt, TransferItem::State::Received{},
                            "Complete raw SDS sample " + std::to_string(header.sampleNumber()) + ", " +
                                std::to_string(completion.samples.size()) + " sample words.");
    case SDSReceiveFormat::wav:
    case SDSReceiveFormat::aiff: {
        if (!completion.audioSample) throw AppModelError(AppModelError::ReceivedAudioUnsupported{});
        const bool wav = completion.format == SDSReceiveFormat::wav;
        const int bits = header.significantBits();
        Bytes encoded = wav ? AudioFileEncoder::wav(*completion.audioSample,
                                                    AudioFileEncoder::WAVEncoding::integerPCM((bits + 7) / 8 * 8),
                                                    header.samplePeriodNanoseconds())
                            : AudioFileEncoder::aiff(*completion.audioSample,
                                                     AudioFileEncoder::AIFFEncoding::integerPCM(bits));
        AudioSample decoded = AudioFileDecoder::decode(encoded);
        const std::size_t channels = decoded.channelCount();
        std::string detail = "SDS sample " + std::to_string(header.sampleNumber()) + ": " +
                             std::to_string(decoded.frameCount()) + " frames, " + plural(channels, "channel") + ", " +
                             std::to_string(decoded.sampleRate) + " Hz. Export was decoded again successfully.";
        return receivedItem(uniqueReceivedDisplayName(base, wav ? "wav" : "aiff"),
                            wav ? TransferItem::Kind::wav : TransferItem::Kind::aiff,
                            fromMachinedrum ? TransferItem::Device::machinedrum : TransferItem::Device::notApplicable,
                            std::move(encoded), std::move(decoded), TransferItem::State::Received{}, std::move(detail));
    }
    case SDSReceiveFormat::none: break;
    }
    throw AppModelError(AppModelError::ReceivedAudioUnsupported{});
}

void AppModel::claimReceiveMessages(const std::vector<Bytes>& messages) {
    auto& kept = receive_.receiveFallbackMessages;
    for (const Bytes& message : messages) {
        const auto found = std::find(kept.begin(), kept.end(), message);
        if (found != kept.end()) kept.erase(found);
    }
}

std::vector<Bytes> AppModel::materializeReceivedDigiPROItems(const std::vector<Bytes>& messages) {
    std::vector<Bytes> rest;
    for (const Bytes& message : messages) {
        const auto family = ElektronSysEx::family(message);
        if (!family || !std::holds_alternative<elektron_family::DigiPROWaveform>(*family)) {
            rest.push_back(message);
            continue;
        }
        try {
            const auto waveform = DigiPROWaveform::decode(message);
            const auto name = sanitizedReceivedName(waveform.name.text());
            const std::string base = "DigiPRO " + twoDigits(waveform.position) + (name ? " - " + *name : "");
            appendReceivedItem(receivedItem(uniqueReceivedDisplayName(base, "syx"), TransferItem::Kind::sysEx,
                                            TransferItem::Device::monomachine, message, std::nullopt,
                                            TransferItem::State::Received{},
                                            "DigiPRO position " + std::to_string(waveform.position) + ": " +
                                                std::to_string(message.size()) +
                                                " bytes; length, checksum, and payload packing verified."));
            recordDiagnostic("digipro.receive.validated", {{"position", std::to_string(waveform.position)},
                                                           {"byteCount", std::to_string(message.size())},
                                                           {"name", name.value_or("")}});
        } catch (const std::exception& error) {
            const auto identity = receivedDigiPROIdentity(message);
            const std::string label = isIncomplete(error) ? "incomplete" : "invalid";
            const std::string base = identity.position ? "DigiPRO " + twoDigits(*identity.position) +
                                                             (identity.name ? " - " + *identity.name : "") + " (" +
                                                             label + ")"
                                                       : "DigiPRO response (invalid)";
            const std::string text = digiPROReceiveFailure(message, error);
            appendReceiveFailure(text);
            appendReceivedItem(receivedItem(uniqueReceivedDisplayName(base, "syx"), TransferItem::Kind::sysEx,
                                            TransferItem::Device::monomachine, message, std::nullopt,
                                            TransferItem::State::failed(text), text));
        }
    }
    return rest;
}

void AppModel::finalizeReceiving(uint64_t generation) {
    if (generation != receive_.receiveGeneration || !receive_.receiveStopPending) return;
    const std::size_t earlierCount = receive_.receiveCreatedItemIDs.size();
    std::vector<SDSReceivedSampleMetadata> metadata;
    if (preferences_.receiveFormat == AppPreferences::ReceiveFormat::none && receive_.receiveSession) {
        metadata = receive_.receiveSession->receivedSampleMetadata();
    }

    auto consolidated = DigiPROFinalFragmentConsolidator::consolidate(std::move(receive_.receiveFallbackMessages));
    receive_.receiveFallbackMessages.clear();
    for (const auto& join : consolidated.joins) {
        recordDiagnostic("digipro.receive.finalFragmentsConsolidated",
                         {{"position", std::to_string(join.position)},
                          {"fragmentCount", std::to_string(join.fragmentCount)},
                          {"rawByteCount", std::to_string(join.rawByteCount)},
                          {"messageByteCount", "7027"}});
    }
    const std::vector<Bytes> remaining = materializeReceivedDigiPROItems(consolidated.messages);
    Bytes raw = SysExFileCodec::join(remaining);

    const auto machinedrum = MachinedrumDumpValidator::validate(remaining);
    const auto monomachine = MonomachineDumpValidator::validate(remaining);
    std::vector<std::string> warnings;
    if (machinedrum.correctiveWarning) warnings.push_back(*machinedrum.correctiveWarning);
    if (monomachine.correctiveWarning) warnings.push_back(*monomachine.correctiveWarning);
    const std::optional<std::string> warning =
        warnings.empty() ? std::nullopt : std::optional(joined(warnings, " "));
    for (const auto& [name, report] : {std::pair{"machinedrum.receive.summary", &machinedrum},
                                       std::pair{"monomachine.receive.summary", &monomachine}}) {
        recordDiagnostic(name, {{"recognizedRecordCount", std::to_string(report->recognizedRecordCount)},
                                {"invalidRecordCount", std::to_string(report->invalidRecordCount)},
                                {"missingRecordCount", std::to_string(report->missingRecordCount)},
                                {"duplicateRecordCount", std::to_string(report->duplicateRecordCount)},
                                {"unexpectedRecordCount", std::to_string(report->unexpectedRecordCount)}});
    }

    const auto& failures = receive_.receiveFailures;
    const bool rawCreated = !raw.empty();
    if (rawCreated) {
        std::string name;
        if (metadata.size() == 1) {
            name = receivedHardwareName(metadata[0].sampleName, metadata[0].sps1UWName)
                       .value_or("Sample " + std::to_string(metadata[0].header.sampleNumber()));
        } else {
            name = "Received data " + std::to_string(receive_.receiveSequence++);
        }
        std::string detail = warning ? *warning + " Captured bytes were kept unchanged for diagnosis."
                             : !failures.empty()
                                 ? "SysEx received; bytes were kept unchanged after an SDS receive issue."
                                 : "SysEx received; bytes were kept unchanged.";
        if (!failures.empty()) {
            // Most failure texts are sentences already; their full stop is not doubled.
            const std::string list = joined(failures, "; ");
            detail += " " + list + (list.ends_with('.') ? "" : ".");
        }
        appendReceivedItem(receivedItem(uniqueReceivedDisplayName(name, "syx"), TransferItem::Kind::sysEx,
                                        device(remaining), std::move(raw), std::nullopt,
                                        warning ? TransferItem::State::failed(*warning)
                                                : TransferItem::State(TransferItem::State::Received{}),
                                        std::move(detail)));
    }

    // Kept apart so that the bank above repeats no position.
    const auto& beside = repair_.recordsBesideBank;
    if (!beside.empty()) {
        appendReceivedItem(receivedItem(
            uniqueReceivedDisplayName("Received data " + std::to_string(receive_.receiveSequence++), "syx"),
            TransferItem::Kind::sysEx, device(beside), SysExFileCodec::join(beside), std::nullopt,
            TransferItem::State::Received{},
            plural(beside.size(), "valid record") +
                " received in another version than the bank keeps; the bank does not hold these copies. Bytes "
                "were kept unchanged."));
    }

    const auto& created = receive_.receiveCreatedItemIDs;
    if (!created.empty()) {
        setSelection(std::set<QUuid>(created.begin(), created.end()));
        if (warning) {
            setStatusText(*warning + repair_.recoveredSummary.value_or(""));
            setAlertMessage(*warning);
        } else if (failures.empty()) {
            const bool rawOnly = rawCreated && earlierCount == 0 && beside.empty();
            setStatusText(rawOnly ? std::string("SysEx received.")
                                  : "Received " + plural(created.size(), "item") + ", " +
                                        std::to_string(receivedByteCount_) + " bytes");
        } else {
            setStatusText("Receive error: " + failures.back() + (rawCreated ? "; raw SysEx retained" : ""));
        }
    } else {
        setStatusText(failures.empty() ? std::string("Ready") : "Receive stopped: " + failures.back());
    }

    receive_.receiveSession.reset();
    repair_.backupRepairState.reset();
    repair_.backupRepairTimeoutGeneration += 1;
    repair_.recordsBesideBank.clear();
    repair_.recoveredSummary.reset();
    receive_.receiveFallbackMessages.clear();
    receive_.digiPROFramedFragmentAssembler.reset();
    setIsReceiving(false);
    setIsFinishingReceive(false);
    setReceiveProgressIsDeterminate(false);
    if (routing_.interruptedRouteStatus) {
        setStatusText(*routing_.interruptedRouteStatus);
        routing_.interruptedRouteStatus.reset();
    }
    receive_.receiveStopPending = false;
    receive_.receiveGeneration += 1;
}

}  // namespace k7

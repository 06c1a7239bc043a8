#include "V7Aruviv/Models/TransferSendAnalyzer.h"

#include <algorithm>

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSFileTransferError.h"
#include "K7Core/SysEx/SysExFileCodec.h"

namespace k7 {

namespace {

using Method = TransferSendMethod;
using Workload = TransferWireWorkload;

constexpr uint8_t firmwareBlockMarker = 0x7E;
constexpr uint8_t firmwareLastBlockMarker = 0x7F;
constexpr std::size_t firmwareMarkerIndex = 6;

TransferSendAnalysis invalid(std::string reason, int64_t messageCount) {
    return {Method::invalid(std::move(reason)), Workload::Unavailable{}, {}, messageCount};
}

std::optional<ElektronProduct> validatedProduct(const Bytes& message) {
    const auto family = ElektronSysEx::validatedFamily(message);
    if (!family) return std::nullopt;
    if (const auto* product = std::get_if<elektron_family::Product>(&*family)) return product->product;
    return std::nullopt;
}

bool isValidatedDigiPRO(const Bytes& message) {
    const auto family = ElektronSysEx::validatedFamily(message);
    return family && std::holds_alternative<elektron_family::DigiPROWaveform>(*family);
}

// An Elektron firmware upload: blocks of one product marked 0x7E, the last one 0x7F.
bool isFirmware(const std::vector<Bytes>& messages) {
    if (messages.size() < 2) return false;
    std::optional<ElektronProduct> product;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Bytes& message = messages[i];
        const auto messageProduct = validatedProduct(message);
        if (!messageProduct || (product && *product != *messageProduct)) return false;
        product = messageProduct;
        const uint8_t marker = i + 1 < messages.size() ? firmwareBlockMarker : firmwareLastBlockMarker;
        if (message.size() <= firmwareMarkerIndex || message[firmwareMarkerIndex] != marker) return false;
    }
    return true;
}

}  // namespace

TransferSendAnalysis TransferSendAnalyzer::storedDumpAnalysis(const std::vector<SDSFileTransfer>& transfers,
                                                             int64_t messageCount) {
    if (transfers.empty()) return invalid("the file holds no complete SDS dump", messageCount);
    std::vector<SDSDumpWireWorkload> dumps;
    dumps.reserve(transfers.size());
    for (const auto& transfer : transfers) dumps.push_back({transfer.totalSampleWords(), transfer.wireByteCount()});
    return {Method::sdsFile(static_cast<int64_t>(transfers.size())), Workload::sdsFile(std::move(dumps)), {},
            messageCount};
}

TransferSendAnalysis TransferSendAnalyzer::analyze(TransferItem::Kind kind, ByteView data, bool hasAudioSample) {
    if (kind == TransferItem::Kind::wav || kind == TransferItem::Kind::aiff) {
        if (hasAudioSample) return {Method::AudioSDS{}, Workload::AudioSDS{}, {}, 0};
        return invalid("the audio conversion data is unavailable; re-import the file", 0);
    }
    if (kind != TransferItem::Kind::sysEx) return {Method::Unsupported{}, Workload::Unavailable{}, {}, 0};

    SysExFileCodec::ParseResult parsed;
    try {
        parsed = SysExFileCodec::parse(data, maximumMessageBytes, maximumMessages);
    } catch (const SysExParseError& error) {
        return invalid(error.what(), 0);
    }
    const std::vector<Bytes>& messages = parsed.messages;
    const auto count = static_cast<int64_t>(messages.size());

    if (auto warning = MachinedrumDumpValidator::validate(messages).correctiveWarning) {
        return invalid(std::move(*warning), count);
    }
    if (auto warning = MonomachineDumpValidator::validate(messages).correctiveWarning) {
        return invalid(std::move(*warning), count);
    }

    std::optional<std::vector<SDSFileTransfer>> transfers;
    try {
        transfers = SDSFileTransferCodec::transfers(messages);
    } catch (const SDSFileTransferError& error) {
        return invalid(error.what(), 0);
    }
    if (transfers) return storedDumpAnalysis(*transfers, count);

    const auto wireBytes = Workload::rawSysEx(static_cast<int64_t>(parsed.wireByteCount));
    if (messages.empty()) return {Method::RawGenericSysEx{}, wireBytes, {}, count};

    std::vector<DigiPROFrameMetadata> frames;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const auto family = ElektronSysEx::family(messages[i]);
        if (!family || !std::holds_alternative<elektron_family::DigiPROWaveform>(*family)) continue;
        try {
            const auto waveform = DigiPROWaveform::decode(messages[i]);
            frames.push_back({waveform.position, waveform.name.text()});
        } catch (const DigiPRODecodingError& error) {
            return invalid("DigiPRO message " + std::to_string(i + 1) + " failed validation: " + error.what() +
                               " Replace or re-export the file",
                           count);
        }
    }
    if (std::all_of(messages.begin(), messages.end(), isValidatedDigiPRO)) {
        return {Method::RawDigiPRO{}, wireBytes, std::move(frames), count};
    }
    if (isFirmware(messages)) return {Method::RawFirmware{}, wireBytes, {}, count};
    if (std::all_of(messages.begin(), messages.end(), [](const Bytes& m) { return validatedProduct(m).has_value(); })) {
        return {Method::RawElektronData{}, wireBytes, {}, count};
    }
    return {Method::RawGenericSysEx{}, wireBytes, {}, count};
}

}  // namespace k7

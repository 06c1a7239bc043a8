// How received items are named and how their failures read.
#include <QChar>
#include <QString>
#include <algorithm>
#include <exception>

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/SPS1UW/SPS1UWFileName.h"
#include "K7Core/Support/Overloaded.h"
#include "V7Aruviv/Models/DigiPROFragmentShape.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Support/FileNameParts.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

namespace {

constexpr std::size_t maximumReceivedNameLength = 64;

bool isControl(char32_t scalar) { return QChar::category(scalar) == QChar::Other_Control; }

bool isTrimmed(char32_t scalar) { return QChar::isSpace(scalar) || isControl(scalar); }

}  // namespace

AppModel::ReceivedDigiPROIdentity AppModel::receivedDigiPROIdentity(ByteView message) {
    ReceivedDigiPROIdentity identity;
    if (message.size() < 10) return identity;
    identity.position = DigiPROFragmentShape::position(message);
    if (message.size() >= DigiPROWaveform::payloadIndex) {
        try {
            const SPS1UWFileName name(message.subspan(DigiPROWaveform::nameIndex, SPS1UWFileName::byteCount));
            identity.name = sanitizedReceivedName(name.text());
        } catch (const std::exception&) {
            // No readable name: the label goes without one.
        }
    }
    return identity;
}

std::optional<std::string> AppModel::sanitizedReceivedName(const std::string& text) {
    std::u32string scalars = QString::fromStdString(text).toStdU32String();
    const auto first = std::find_if_not(scalars.begin(), scalars.end(), isTrimmed);
    const auto last = std::find_if_not(scalars.rbegin(), std::make_reverse_iterator(first), isTrimmed).base();
    std::u32string trimmed(first, last);
    if (trimmed.empty() || trimmed == U"----") return std::nullopt;
    for (char32_t& scalar : trimmed) {
        if (isControl(scalar) || scalar == U'/' || scalar == U'\\' || scalar == U':') scalar = U'_';
    }
    if (trimmed.size() > maximumReceivedNameLength) trimmed.resize(maximumReceivedNameLength);
    if (trimmed.empty()) return std::nullopt;
    return QString::fromStdU32String(trimmed).toStdString();
}

std::optional<std::string> AppModel::receivedHardwareName(const std::optional<SDSSampleNameMessage>& sampleName,
                                                          const std::optional<SPS1UWFileNameMessage>& sps1UWName) {
    if (sampleName) {
        const std::string& name = sampleName->asciiName();
        const bool ascii =
            std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (ascii) {
            if (auto sanitized = sanitizedReceivedName(name)) return sanitized;
        }
    }
    if (sps1UWName) return sanitizedReceivedName(sps1UWName->fileName.text());
    return std::nullopt;
}

std::string AppModel::uniqueReceivedDisplayName(const std::string& baseName, const std::string& fileExtension) const {
    std::string base = baseName;
    const FileNameParts parts = FileNameParts::split(baseName);
    if (parts.extension && foldedName(*parts.extension) == foldedName(fileExtension)) base = parts.baseName;
    const std::string suffix = "." + fileExtension;
    const auto available = [this](const std::string& candidate) {
        const std::string folded = foldedName(candidate);
        return std::none_of(items_.begin(), items_.end(),
                            [&](const TransferItem& item) { return foldedName(item.displayName) == folded; });
    };
    std::string candidate = base + suffix;
    for (int number = 2; !available(candidate); ++number) candidate = base + " " + std::to_string(number) + suffix;
    return candidate;
}

std::string AppModel::digiPROReceiveFailure(ByteView message, const std::exception& error) {
    const ReceivedDigiPROIdentity identity = receivedDigiPROIdentity(message);
    std::string label = "DigiPRO";
    if (identity.position) label += " position " + std::to_string(*identity.position);
    if (identity.name) label += " (" + *identity.name + ")";
    const std::string advice = " Captured bytes were retained unchanged; sending is blocked. Re-receive this slot.";
    if (const auto* decoding = dynamic_cast<const DigiPRODecodingError*>(&error)) {
        if (const auto* length = decoding->as<DigiPRODecodingError::InvalidLength>();
            length && length->actual < length->expected) {
            return label + " is incomplete: expected " + std::to_string(length->expected) + " bytes, received " +
                   std::to_string(length->actual) + "." + advice;
        }
    }
    return label + " failed validation: " + error.what() + advice;
}

std::string AppModel::describeTransferFailure(const SDSTransferFailure& failure) {
    using namespace sds_failure;
    return std::visit(
        Overloaded{
            [](const ProtocolError& f) { return "SDS protocol error: " + f.error.describe(); },
            [](const RetryExhausted& f) {
                return "SDS retry limit reached for packet " + std::to_string(f.packetNumber) + " (" +
                       caseName(f.cause) + ")";
            },
            [](const InterruptedByNewHeader& f) {
                return "A new SDS header replaced an incomplete dump after " + std::to_string(f.receivedSampleWords) +
                       " of " + std::to_string(f.totalSampleWords) + " sample words";
            },
            [](const LocalCancelled&) { return std::string("SDS receive cancelled"); },
            [](const RemoteCancelled&) { return std::string("The remote SDS sender cancelled"); },
            [](const UnexpectedEndOfFile&) { return std::string("SDS ended before all sample data arrived"); },
        },
        failure);
}

}  // namespace k7

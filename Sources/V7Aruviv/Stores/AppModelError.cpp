#include "V7Aruviv/Stores/AppModelError.h"

#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"

namespace k7 {

namespace {

std::string number(int64_t value) { return std::to_string(value); }

std::string joined(const std::vector<std::string>& parts, std::string_view separator, std::string_view before = {}) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += separator;
        text += before;
        text += parts[i];
    }
    return text;
}

std::string describeList(const std::vector<std::string>& values) {
    std::vector<std::string> quoted;
    quoted.reserve(values.size());
    for (const auto& value : values) quoted.push_back(describeValue(value));
    return "[" + joined(quoted, ", ") + "]";
}

}  // namespace

std::string AppModelError::messageFor(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const MissingAudioPayload& e) {
                return e.itemName + " no longer contains decoded audio for conversion.";
            },
            [](const SPS1UWPositionOutOfRange& e) {
                return "SPS-1UW naming positions are limited to 0\u2026" "127; sample position " + number(e.position) +
                       " was not sent.";
            },
            [](const UnsavedProjectItem& e) {
                return "Entry " + number(e.index + 1) +
                       " has received data that must be saved before it can be referenced by a K7 project.";
            },
            [](const InvalidItemName& e) { return e.message; },
            [](const DuplicateItemName& e) {
                return "Another item is already named " + e.name + ". Choose a unique name.";
            },
            [](const ImportFileTooLarge& e) {
                return "The file is " + number(e.actual) + " bytes, exceeding the bounded " + number(e.maximum) +
                       "-byte import limit.";
            },
            [](const ImportItemLimit& e) {
                return "The batch reached the bounded " + number(e.maximum) +
                       "-item limit. This item was not read; split the import into smaller batches.";
            },
            [](const ImportPayloadLimit& e) {
                return "The batch reached the bounded " + number(e.maximum) +
                       "-byte retained-data limit. This item was not read; remove items or split the import into "
                       "smaller batches.";
            },
            [](const FileContentMismatch& e) {
                const std::string what = e.extension.empty() ? "name" : "." + e.extension + " extension";
                return "The file does not match its " + what + "; its contents are " + e.detectedType +
                       ". Rename it to the correct type or choose the intended file.";
            },
            [](const InvalidExportDirectory& e) {
                return e.path + " is not a folder. Choose an existing writable folder.";
            },
            [](const ExportNameCollision& e) {
                return e.first + " and " + e.second +
                       " resolve to the same destination name. Rename one item before saving; nothing was written.";
            },
            [](const ExportDestinationExists& e) {
                return e.name +
                       " already exists in the chosen folder. Move it, rename the item, or choose another folder; "
                       "nothing was overwritten.";
            },
            [](const ExportCommitFailed& e) {
                return "The batch could not be completed (" + e.reason +
                       "). Files created by this attempt were removed and item metadata was preserved.";
            },
            [](const ExportRollbackFailed& e) {
                return "The batch failed and these new files could not be removed: " + joined(e.fileNames, ", ") +
                       ". Existing files and item metadata were preserved; inspect the folder before retrying.";
            },
            [](const InvalidExportExtension& e) {
                return e.name + " needs a matching " + joined(e.expected, ", ", ".") +
                       " extension. Nothing was written; correct the name and retry.";
            },
            [](const AudioConversionPending&) -> std::string {
                return "This audio item could not be converted to SDS.";
            },
            [](const AudioTooLarge&) -> std::string {
                return "The audio item is too large for a classic SDS header.";
            },
            [](const SDSFileEncodingFailed&) -> std::string {
                return "The audio item could not be encoded as an SDS SysEx file.";
            },
            [](const SDSFileRecognitionChanged&) -> std::string {
                return "The selected file no longer contains the recognised SDS transfer shown in the preflight plan. "
                       "Re-import it and retry.";
            },
            [](const ProgressPlanMismatch&) -> std::string {
                return "The transfer workload no longer matches the frozen preflight plan. Select the files again "
                       "and retry.";
            },
            [](const SDSHandshakeInputRequired&) -> std::string {
                return "Select a MIDI input before sending SDS with handshake enabled. Closed-loop SDS needs ACK/NAK "
                       "responses; turn handshake off for open-loop sending.";
            },
            [](const ReceivedAudioUnsupported&) -> std::string {
                return "The received SDS header cannot be represented as supported WAV or AIFF audio.";
            },
            [](const UnsupportedSendType&) -> std::string {
                return "Only SysEx, received data, WAV, and AIFF items can be sent.";
            },
            [](const NoSelectedItems&) -> std::string { return "Select at least one item to save."; },
            [](const InvalidImportURL&) -> std::string { return "Choose a local file with an absolute path."; },
            [](const ImportRequiresRegularFile&) -> std::string {
                return "Only regular files can be imported; folders, packages, pipes, and devices are not "
                       "supported.";
            },
            [](const UnsupportedImportContent&) -> std::string {
                return "The file contents are not supported SysEx, WAV, AIFF, AIFC, or K7 project data.";
            },
            [](const NestedProjectNotSupported&) -> std::string {
                return "A K7 file list cannot load another K7 file list. Open the nested project separately.";
            },
            [](const MissingExportItem&) -> std::string {
                return "An item changed before export began. Select the files again and retry.";
            },
            [](const UnsupportedExportType&) -> std::string {
                return "This item has no supported export type. Re-import it as SysEx, WAV, AIFF, or AIFC.";
            },
        },
        errorCase);
}

std::string AppModelError::describeCase(const Case& errorCase) {
    return std::visit(
        Overloaded{
            [](const MissingAudioPayload& e) { return k7::describeCase("missingAudioPayload", {labelled("", e.itemName)}); },
            [](const SPS1UWPositionOutOfRange& e) {
                return k7::describeCase("sps1UWPositionOutOfRange", {labelled("", e.position)});
            },
            [](const UnsavedProjectItem& e) { return k7::describeCase("unsavedProjectItem", {labelled("index", e.index)}); },
            [](const InvalidItemName& e) { return k7::describeCase("invalidItemName", {labelled("", e.message)}); },
            [](const DuplicateItemName& e) { return k7::describeCase("duplicateItemName", {labelled("", e.name)}); },
            [](const ImportFileTooLarge& e) {
                return k7::describeCase("importFileTooLarge",
                                        {labelled("actual", e.actual), labelled("maximum", e.maximum)});
            },
            [](const ImportItemLimit& e) { return k7::describeCase("importItemLimit", {labelled("maximum", e.maximum)}); },
            [](const ImportPayloadLimit& e) {
                return k7::describeCase("importPayloadLimit", {labelled("maximum", e.maximum)});
            },
            [](const FileContentMismatch& e) {
                return k7::describeCase("fileContentMismatch",
                                        {labelled("extension", e.extension), labelled("detectedType", e.detectedType)});
            },
            [](const InvalidExportDirectory& e) {
                return k7::describeCase("invalidExportDirectory", {labelled("", e.path)});
            },
            [](const ExportNameCollision& e) {
                return k7::describeCase("exportNameCollision", {labelled("", e.first), labelled("", e.second)});
            },
            [](const ExportDestinationExists& e) {
                return k7::describeCase("exportDestinationExists", {labelled("", e.name)});
            },
            [](const ExportCommitFailed& e) { return k7::describeCase("exportCommitFailed", {labelled("", e.reason)}); },
            [](const ExportRollbackFailed& e) {
                return k7::describeCase("exportRollbackFailed", {field("", describeList(e.fileNames))});
            },
            [](const InvalidExportExtension& e) {
                return k7::describeCase("invalidExportExtension",
                                        {labelled("name", e.name), field("expected", describeList(e.expected))});
            },
            [](const AudioConversionPending&) { return k7::describeCase("audioConversionPending"); },
            [](const AudioTooLarge&) { return k7::describeCase("audioTooLarge"); },
            [](const SDSFileEncodingFailed&) { return k7::describeCase("sdsFileEncodingFailed"); },
            [](const SDSFileRecognitionChanged&) { return k7::describeCase("sdsFileRecognitionChanged"); },
            [](const ProgressPlanMismatch&) { return k7::describeCase("progressPlanMismatch"); },
            [](const SDSHandshakeInputRequired&) { return k7::describeCase("sdsHandshakeInputRequired"); },
            [](const ReceivedAudioUnsupported&) { return k7::describeCase("receivedAudioUnsupported"); },
            [](const UnsupportedSendType&) { return k7::describeCase("unsupportedSendType"); },
            [](const NoSelectedItems&) { return k7::describeCase("noSelectedItems"); },
            [](const InvalidImportURL&) { return k7::describeCase("invalidImportURL"); },
            [](const ImportRequiresRegularFile&) { return k7::describeCase("importRequiresRegularFile"); },
            [](const UnsupportedImportContent&) { return k7::describeCase("unsupportedImportContent"); },
            [](const NestedProjectNotSupported&) { return k7::describeCase("nestedProjectNotSupported"); },
            [](const MissingExportItem&) { return k7::describeCase("missingExportItem"); },
            [](const UnsupportedExportType&) { return k7::describeCase("unsupportedExportType"); },
        },
        errorCase);
}

}  // namespace k7

#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "K7Core/Support/K7Error.h"

namespace k7 {

namespace app_model_error {
struct MissingAudioPayload {
    std::string itemName;
    bool operator==(const MissingAudioPayload&) const = default;
};
struct SPS1UWPositionOutOfRange {
    int64_t position;
    bool operator==(const SPS1UWPositionOutOfRange&) const = default;
};
struct UnsavedProjectItem {
    int64_t index;  // 0-based row
    bool operator==(const UnsavedProjectItem&) const = default;
};
// The payload is the whole message.
struct InvalidItemName {
    std::string message;
    bool operator==(const InvalidItemName&) const = default;
};
struct DuplicateItemName {
    std::string name;
    bool operator==(const DuplicateItemName&) const = default;
};
struct ImportFileTooLarge {
    int64_t actual;
    int64_t maximum;
    bool operator==(const ImportFileTooLarge&) const = default;
};
struct ImportItemLimit {
    int64_t maximum;
    bool operator==(const ImportItemLimit&) const = default;
};
struct ImportPayloadLimit {
    int64_t maximum;
    bool operator==(const ImportPayloadLimit&) const = default;
};
struct FileContentMismatch {
    std::string extension;  // without the dot; empty when the name has none
    std::string detectedType;
    bool operator==(const FileContentMismatch&) const = default;
};
struct InvalidExportDirectory {
    std::string path;
    bool operator==(const InvalidExportDirectory&) const = default;
};
struct ExportNameCollision {
    std::string first;
    std::string second;
    bool operator==(const ExportNameCollision&) const = default;
};
struct ExportDestinationExists {
    std::string name;
    bool operator==(const ExportDestinationExists&) const = default;
};
struct ExportCommitFailed {
    std::string reason;
    bool operator==(const ExportCommitFailed&) const = default;
};
struct ExportRollbackFailed {
    std::vector<std::string> fileNames;
    bool operator==(const ExportRollbackFailed&) const = default;
};
struct InvalidExportExtension {
    std::string name;
    std::vector<std::string> expected;  // without dots
    bool operator==(const InvalidExportExtension&) const = default;
};

#define K7_APP_MODEL_ERROR_EMPTY_CASE(Name) \
    struct Name {                           \
        bool operator==(const Name&) const = default; \
    };
K7_APP_MODEL_ERROR_EMPTY_CASE(AudioConversionPending)
K7_APP_MODEL_ERROR_EMPTY_CASE(AudioTooLarge)
K7_APP_MODEL_ERROR_EMPTY_CASE(SDSFileEncodingFailed)
K7_APP_MODEL_ERROR_EMPTY_CASE(SDSFileRecognitionChanged)
K7_APP_MODEL_ERROR_EMPTY_CASE(ProgressPlanMismatch)
K7_APP_MODEL_ERROR_EMPTY_CASE(SDSHandshakeInputRequired)
K7_APP_MODEL_ERROR_EMPTY_CASE(ReceivedAudioUnsupported)
K7_APP_MODEL_ERROR_EMPTY_CASE(UnsupportedSendType)
K7_APP_MODEL_ERROR_EMPTY_CASE(NoSelectedItems)
K7_APP_MODEL_ERROR_EMPTY_CASE(InvalidImportURL)
K7_APP_MODEL_ERROR_EMPTY_CASE(ImportRequiresRegularFile)
K7_APP_MODEL_ERROR_EMPTY_CASE(UnsupportedImportContent)
K7_APP_MODEL_ERROR_EMPTY_CASE(NestedProjectNotSupported)
K7_APP_MODEL_ERROR_EMPTY_CASE(MissingExportItem)
K7_APP_MODEL_ERROR_EMPTY_CASE(UnsupportedExportType)
#undef K7_APP_MODEL_ERROR_EMPTY_CASE
}  // namespace app_model_error

using AppModelErrorCase = std::variant<
    app_model_error::MissingAudioPayload, app_model_error::SPS1UWPositionOutOfRange,
    app_model_error::UnsavedProjectItem, app_model_error::InvalidItemName, app_model_error::DuplicateItemName,
    app_model_error::ImportFileTooLarge, app_model_error::ImportItemLimit, app_model_error::ImportPayloadLimit,
    app_model_error::FileContentMismatch, app_model_error::InvalidExportDirectory,
    app_model_error::ExportNameCollision, app_model_error::ExportDestinationExists,
    app_model_error::ExportCommitFailed, app_model_error::ExportRollbackFailed,
    app_model_error::InvalidExportExtension, app_model_error::AudioConversionPending,
    app_model_error::AudioTooLarge, app_model_error::SDSFileEncodingFailed,
    app_model_error::SDSFileRecognitionChanged, app_model_error::ProgressPlanMismatch,
    app_model_error::SDSHandshakeInputRequired, app_model_error::ReceivedAudioUnsupported,
    app_model_error::UnsupportedSendType, app_model_error::NoSelectedItems, app_model_error::InvalidImportURL,
    app_model_error::ImportRequiresRegularFile, app_model_error::UnsupportedImportContent,
    app_model_error::NestedProjectNotSupported, app_model_error::MissingExportItem,
    app_model_error::UnsupportedExportType>;

// Every failure the model's own import, rename, conversion, export and send preparation raise.
// Failures of the lower layers are not wrapped; the model shows their own texts.
class AppModelError : public K7Error<AppModelError, AppModelErrorCase> {
public:
    using K7Error::K7Error;
    using MissingAudioPayload = app_model_error::MissingAudioPayload;
    using SPS1UWPositionOutOfRange = app_model_error::SPS1UWPositionOutOfRange;
    using UnsavedProjectItem = app_model_error::UnsavedProjectItem;
    using InvalidItemName = app_model_error::InvalidItemName;
    using DuplicateItemName = app_model_error::DuplicateItemName;
    using ImportFileTooLarge = app_model_error::ImportFileTooLarge;
    using ImportItemLimit = app_model_error::ImportItemLimit;
    using ImportPayloadLimit = app_model_error::ImportPayloadLimit;
    using FileContentMismatch = app_model_error::FileContentMismatch;
    using InvalidExportDirectory = app_model_error::InvalidExportDirectory;
    using ExportNameCollision = app_model_error::ExportNameCollision;
    using ExportDestinationExists = app_model_error::ExportDestinationExists;
    using ExportCommitFailed = app_model_error::ExportCommitFailed;
    using ExportRollbackFailed = app_model_error::ExportRollbackFailed;
    using InvalidExportExtension = app_model_error::InvalidExportExtension;
    using AudioConversionPending = app_model_error::AudioConversionPending;
    using AudioTooLarge = app_model_error::AudioTooLarge;
    using SDSFileEncodingFailed = app_model_error::SDSFileEncodingFailed;
    using SDSFileRecognitionChanged = app_model_error::SDSFileRecognitionChanged;
    using ProgressPlanMismatch = app_model_error::ProgressPlanMismatch;
    using SDSHandshakeInputRequired = app_model_error::SDSHandshakeInputRequired;
    using ReceivedAudioUnsupported = app_model_error::ReceivedAudioUnsupported;
    using UnsupportedSendType = app_model_error::UnsupportedSendType;
    using NoSelectedItems = app_model_error::NoSelectedItems;
    using InvalidImportURL = app_model_error::InvalidImportURL;
    using ImportRequiresRegularFile = app_model_error::ImportRequiresRegularFile;
    using UnsupportedImportContent = app_model_error::UnsupportedImportContent;
    using NestedProjectNotSupported = app_model_error::NestedProjectNotSupported;
    using MissingExportItem = app_model_error::MissingExportItem;
    using UnsupportedExportType = app_model_error::UnsupportedExportType;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7

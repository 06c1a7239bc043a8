#include <optional>

#include "K7Core/FileList/K7ProjectCodec.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/ExportExecution.h"
#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {

namespace {

// The list's modes are the item's, case for case.
K7LoopMode k7LoopMode(TransferItem::LoopMode mode) {
    switch (mode) {
    case TransferItem::LoopMode::file: return K7LoopMode::useFileSetting;
    case TransferItem::LoopMode::forceOn: return K7LoopMode::enabled;
    case TransferItem::LoopMode::forceOff: return K7LoopMode::disabled;
    }
    return K7LoopMode::useFileSetting;
}

K7StereoMode k7StereoMode(TransferItem::StereoMode mode) {
    switch (mode) {
    case TransferItem::StereoMode::mix: return K7StereoMode::bothChannels;
    case TransferItem::StereoMode::left: return K7StereoMode::leftChannel;
    case TransferItem::StereoMode::right: return K7StereoMode::rightChannel;
    }
    return K7StereoMode::bothChannels;
}

}  // namespace

void AppModel::presentSaveProjectPanel() {
    if (isImporting_ || isExporting_) return;

    std::vector<K7ProjectItem> rows;
    rows.reserve(items_.size());
    for (std::size_t index = 0; index < items_.size(); ++index) {
        const auto& item = items_[index];
        if (!item.sourceURL) {
            setAlertMessage(AppModelError(AppModelError::UnsavedProjectItem{static_cast<int64_t>(index)}).message());
            return;
        }
        rows.push_back({*item.sourceURL, k7LoopMode(item.loopMode), k7StereoMode(item.stereoMode)});
    }

    UserInteraction::SavePanel panel;
    panel.title = "Save K7 File List";
    panel.proposedName = "File List.k7";
    panel.allowedExtensions = {"k7"};
    const auto destination = interaction_->chooseSaveLocation(panel);
    if (!destination) return;
    const std::string name = FileNameParts::lastPathComponent(*destination);
    try {
        // The name rules, then the one extension of a file list, whatever its case.
        validateExportName(name, TransferItem::Kind::project);
    } catch (const std::exception& error) {
        setAlertMessage(std::string(error.what()));
        return;
    }

    const K7Project project{static_cast<uint32_t>(samplePosition_), std::move(rows)};
    runSave(
        "Saving " + name + "\u2026",
        [project, destination = *destination] {
            ExportExecution::writeAtomically(destination,
                                             K7ProjectCodec::encode(project, K7ProjectFormat::legacyV0, destination));
        },
        "File-list save failed; the previous destination was preserved",
        [this, name] { setStatusText("Saved " + name); });
}

}  // namespace k7

#include <algorithm>
#include <memory>
#include <optional>
#include <set>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/ExportExecution.h"
#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {

namespace fs = std::filesystem;

namespace {

// The selected items' ids in list order; ids only, since the items hold their bytes and audio.
std::vector<QUuid> selectedIDs(const std::vector<TransferItem>& items, const std::set<QUuid>& selection) {
    std::vector<QUuid> ids;
    for (const auto& item : items) {
        if (selection.contains(item.id)) ids.push_back(item.id);
    }
    return ids;
}

}  // namespace

void AppModel::presentSavePanel() {
    if (isImporting_ || isExporting_) return;
    // Work finishing while the panel is open may replace the selection: what is saved, and
    // whether to a file or into a folder, is decided by the selection the command was given with.
    const auto selected = selectedIDs(items_, selection_);
    if (selected.empty()) {
        presentSaveProjectPanel();
        return;
    }
    std::optional<fs::path> destination;
    if (selected.size() == 1) {
        UserInteraction::SavePanel panel;
        const auto item = std::find_if(items_.begin(), items_.end(),
                                       [&](const auto& i) { return i.id == selected[0]; });
        panel.proposedName = item->displayName;
        destination = interaction_->chooseSaveLocation(panel);
    } else {
        UserInteraction::FolderPanel panel;
        panel.title = "Choose Folder for Selected Files";
        panel.allowsFolderCreation = true;
        destination = interaction_->chooseFolder(panel);
    }
    if (!destination) return;
    exportItemsFromUser(selected, *destination);
}

void AppModel::exportSelectedFromUser(const fs::path& destination) {
    exportItemsFromUser(selectedIDs(items_, selection_), destination);
}

void AppModel::exportItemsFromUser(const std::vector<QUuid>& ids, const fs::path& destination) {
    if (isExporting_) {
        setAlertMessage("A save is already in progress. Wait for it to finish before saving again.");
        return;
    }
    // One plan, shared by the write and the completion: it holds a copy of every file's bytes.
    std::shared_ptr<const ExportPlan> plan;
    try {
        plan = std::make_shared<const ExportPlan>(makeExportPlan(ids, destination));
    } catch (const std::exception& error) {
        setAlertMessage(std::string(error.what()));
        return;
    }

    const auto count = plan->entries.size();
    runSave(
        "Saving " + std::to_string(count) + (count == 1 ? " item" : " items") + "\u2026",
        [plan] { executeExport(*plan); }, "Save failed; existing files and item metadata were preserved",
        [this, plan] {
            commitExport(*plan);
            setStatusText(exportSuccessMessage(*plan));
            persistOpenFiles();
        });
}

void AppModel::runSave(const std::string& startStatus, std::function<void()> write, std::string failureStatus,
                       std::function<void()> saved) {
    files_.exportGeneration += 1;
    const uint64_t generation = files_.exportGeneration;
    setIsExporting(true);
    setStatusText(startStatus);
    exportQueue_->post([this, write = std::move(write), failureStatus = std::move(failureStatus),
                        saved = std::move(saved), generation, toMain = mainThreadPoster()] {
        std::optional<std::string> failure;
        try {
            write();
        } catch (const std::exception& error) {
            failure = error.what();
        }
        toMain([this, failureStatus, saved, generation, failure] {
            if (!isExporting_ || files_.exportGeneration != generation) return;
            setIsExporting(false);
            if (failure) {
                setStatusText(failureStatus);
                setAlertMessage(*failure);
                return;
            }
            saved();
        });
    });
}

ExportPlan AppModel::makeExportPlan(const fs::path& destination) const {
    return makeExportPlan(selectedIDs(items_, selection_), destination);
}

ExportPlan AppModel::makeExportPlan(const std::vector<QUuid>& ids, const fs::path& destination) const {
    if (ids.empty()) throw AppModelError(AppModelError::NoSelectedItems{});
    std::vector<const TransferItem*> chosen;
    for (const auto& item : items_) {
        if (std::find(ids.begin(), ids.end(), item.id) != ids.end()) chosen.push_back(&item);
    }
    if (chosen.size() != ids.size()) throw AppModelError(AppModelError::MissingExportItem{});

    ExportPlan plan;
    if (chosen.size() == 1) {
        const TransferItem& item = *chosen.front();
        const std::string name = FileNameParts::lastPathComponent(destination);
        validateExportName(name, item.kind);
        plan.entries.push_back({item.id, name, item.data, destination});
        return plan;
    }
    for (const TransferItem* item : chosen) {
        const std::string name = normalizedDisplayName(item->displayName, item->displayName);
        validateExportName(name, item->kind);
        plan.entries.push_back({item->id, name, item->data, destination / name});
    }
    plan.batchDirectory = destination;
    return plan;
}

void AppModel::executeExport(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry) {
    ExportExecution::run(plan, beforeCommittingEntry);
}

void AppModel::commitExport(const ExportPlan& plan) {
    editItems([&plan](std::vector<TransferItem>& items) {
        for (const auto& entry : plan.entries) {
            const auto item =
                std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.id == entry.id; });
            if (item == items.end()) continue;
            item->sourceURL = entry.destination;
            item->displayName = entry.name;
            item->byteCount = static_cast<int64_t>(entry.data.size());
        }
    });
}

std::string AppModel::exportSuccessMessage(const ExportPlan& plan) {
    if (plan.entries.size() == 1) return "Saved " + plan.entries.front().name;
    return "Saved " + std::to_string(plan.entries.size()) + " files";
}

}  // namespace k7

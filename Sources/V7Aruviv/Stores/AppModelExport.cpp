#include <algorithm>
#include <functional>
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

const TransferItem* itemWithID(const std::vector<TransferItem>& items, const QUuid& id) {
    const auto found = std::find_if(items.begin(), items.end(), [&id](const auto& item) { return item.id == id; });
    return found == items.end() ? nullptr : &*found;
}

std::string savingStatus(std::size_t count) {
    return "Saving " + std::to_string(count) + (count == 1 ? " item" : " items") + "\u2026";
}

constexpr const char* itemSaveFailedStatus = "Save failed; existing files and item metadata were preserved";

// What `work` throws, as the text shown to the user.
std::optional<std::string> failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        return error.what();
    }
    return std::nullopt;
}

}  // namespace

// A folder save under way. Its plan names the files but holds none of their bytes: each file's
// bytes are copied from its item just before they are written and dropped once written, so the
// save never holds more than one file beside the items.
struct AppModel::FolderSaveRun {
    std::shared_ptr<const ExportPlan> plan;
    uint64_t generation = 0;
    std::vector<int64_t> writtenSizes;                 // main thread
    std::optional<ExportExecution::FolderSave> files;  // export queue
};

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
        panel.proposedName = itemWithID(items_, selected[0])->displayName;
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
    ExportPlan plan;
    try {
        // A folder save takes each file's bytes only when it writes that file.
        plan = ids.size() > 1 ? planExport(ids, destination) : makeExportPlan(ids, destination);
    } catch (const std::exception& error) {
        setAlertMessage(std::string(error.what()));
        return;
    }
    if (plan.batchDirectory) {
        auto run = std::make_shared<FolderSaveRun>();
        run->generation = beginSave(savingStatus(plan.entries.size()));
        run->plan = std::make_shared<const ExportPlan>(std::move(plan));
        stageFolderEntry(run, 0);
        return;
    }

    // One plan, shared by the write and the completion: it holds a copy of the file's bytes.
    const auto single = std::make_shared<const ExportPlan>(std::move(plan));
    runSave(
        savingStatus(1), [single] { executeExport(*single); }, itemSaveFailedStatus,
        [this, single] {
            commitExport(*single);
            setStatusText(exportSuccessMessage(*single));
            persistOpenFiles();
        });
}

uint64_t AppModel::beginSave(const std::string& startStatus) {
    files_.exportGeneration += 1;
    setIsExporting(true);
    setStatusText(startStatus);
    return files_.exportGeneration;
}

void AppModel::endSave(uint64_t generation, const std::optional<std::string>& failure,
                       const std::string& failureStatus, const std::function<void()>& saved) {
    if (!isExporting_ || files_.exportGeneration != generation) return;
    setIsExporting(false);
    if (failure) {
        setStatusText(failureStatus);
        setAlertMessage(*failure);
        return;
    }
    saved();
}

void AppModel::runSave(const std::string& startStatus, std::function<void()> write, std::string failureStatus,
                       std::function<void()> saved) {
    const uint64_t generation = beginSave(startStatus);
    exportQueue_->post([this, write = std::move(write), failureStatus = std::move(failureStatus),
                        saved = std::move(saved), generation, toMain = mainThreadPoster()] {
        const auto failure = failureOf(write);
        toMain([this, failureStatus, saved, generation, failure] {
            endSave(generation, failure, failureStatus, saved);
        });
    });
}

void AppModel::stageFolderEntry(const std::shared_ptr<FolderSaveRun>& run, std::size_t index) {
    const auto& entries = run->plan->entries;
    const bool last = index == entries.size();
    std::function<void(ExportExecution::FolderSave&)> step;
    if (last) {
        step = [plan = run->plan](auto& files) { files.commit(*plan, {}); };
    } else if (const TransferItem* item = itemWithID(items_, entries[index].id)) {
        auto bytes = std::make_shared<const Bytes>(item->data);
        run->writtenSizes.push_back(static_cast<int64_t>(bytes->size()));
        step = [bytes, &entry = entries[index]](auto& files) { files.write(entry, *bytes); };
    } else {
        step = [](auto&) { throw AppModelError(AppModelError::MissingExportItem{}); };
    }
    exportQueue_->post([this, run, step = std::move(step), index, last, toMain = mainThreadPoster()]() mutable {
        const auto failure = failureOf([&run, &step] {
            if (!run->files) run->files.emplace(*run->plan);
            step(*run->files);
        });
        step = nullptr;  // the file's bytes go before the next file's are copied
        if (failure) run->files.reset();
        toMain([this, run, index, last, failure] {
            if (!last && !failure) {
                stageFolderEntry(run, index + 1);
                return;
            }
            endSave(run->generation, failure, itemSaveFailedStatus, [this, &run] {
                pointItemsAtSavedFiles(*run->plan, run->writtenSizes);
                setStatusText(exportSuccessMessage(*run->plan));
                persistOpenFiles();
            });
        });
    });
}

ExportPlan AppModel::makeExportPlan(const fs::path& destination) const {
    return makeExportPlan(selectedIDs(items_, selection_), destination);
}

ExportPlan AppModel::makeExportPlan(const std::vector<QUuid>& ids, const fs::path& destination) const {
    ExportPlan plan = planExport(ids, destination);
    for (auto& entry : plan.entries) entry.data = itemWithID(items_, entry.id)->data;
    return plan;
}

ExportPlan AppModel::planExport(const std::vector<QUuid>& ids, const fs::path& destination) const {
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
        plan.entries.push_back({item.id, name, {}, destination});
        return plan;
    }
    for (const TransferItem* item : chosen) {
        const std::string name = normalizedDisplayName(item->displayName, item->displayName);
        validateExportName(name, item->kind);
        plan.entries.push_back({item->id, name, {}, destination / name});
    }
    plan.batchDirectory = destination;
    return plan;
}

void AppModel::executeExport(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry) {
    ExportExecution::run(plan, beforeCommittingEntry);
}

void AppModel::commitExport(const ExportPlan& plan) {
    std::vector<int64_t> sizes;
    for (const auto& entry : plan.entries) sizes.push_back(static_cast<int64_t>(entry.data.size()));
    pointItemsAtSavedFiles(plan, sizes);
}

void AppModel::pointItemsAtSavedFiles(const ExportPlan& plan, const std::vector<int64_t>& byteCounts) {
    editItems([&plan, &byteCounts](std::vector<TransferItem>& items) {
        for (std::size_t index = 0; index < plan.entries.size(); ++index) {
            const auto& entry = plan.entries[index];
            const auto item =
                std::find_if(items.begin(), items.end(), [&](const auto& i) { return i.id == entry.id; });
            if (item == items.end()) continue;
            item->sourceURL = entry.destination;
            item->displayName = entry.name;
            item->byteCount = byteCounts[index];
        }
    });
}

std::string AppModel::exportSuccessMessage(const ExportPlan& plan) {
    if (plan.entries.size() == 1) return "Saved " + plan.entries.front().name;
    return "Saved " + std::to_string(plan.entries.size()) + " files";
}

}  // namespace k7

// Adding files to the list: the open panel, the one entry every import goes through, the queue of
// batches waiting for the running one, and the application of a prepared batch.
#include <algorithm>
#include <iterator>
#include <utility>

#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

std::string counted(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

UserInteraction::OpenPanel loadPanel() {
    UserInteraction::OpenPanel panel;
    panel.title = "Load SysEx, Audio, or K7 File List";
    panel.allowsMultipleSelection = true;
    panel.filters = {
        {"SysEx, Audio, and K7 Files", {"*.syx", "*.sysx", "*.wav", "*.wave", "*.aif", "*.aiff", "*.aifc", "*.k7"}},
        {"SysEx Files", {"*.syx", "*.sysx"}},
        {"Audio Files", {"*.wav", "*.wave", "*.aif", "*.aiff", "*.aifc"}},
        {"K7 File Lists", {"*.k7"}},
        // The content decides what a file is; any name may be chosen.
        {"All Files", {"*"}},
    };
    return panel;
}

}  // namespace

void AppModel::presentLoadPanel() {
    if (isImporting_ || isExporting_) return;
    auto urls = interaction_->chooseFilesToOpen(loadPanel());
    if (urls.empty()) return;
    importFromUser(std::move(urls));
}

void AppModel::importFromUser(std::vector<std::filesystem::path> urls, std::function<void()> afterApplying) {
    if (urls.empty()) return;
    if (isExporting_) {
        setAlertMessage("Wait for the current save to finish before importing files.");
        return;
    }
    const std::size_t count = urls.size();
    if (isImporting_) {
        files_.pendingImportBatches.push_back({std::move(urls), std::move(afterApplying)});
        setStatusText("Queued " + counted(count, "file") + " for import");
        return;
    }
    startImport({std::move(urls), std::move(afterApplying)});
}

void AppModel::startImport(PendingImportBatch batch) {
    const uint64_t generation = ++files_.importGeneration;
    setIsImporting(true);
    setImportProgress(0);
    setStatusText("Importing " + counted(batch.urls.size(), "file") + "\u2026");

    // The work reaches the model only through the main thread's lifetime-guarded poster; each result
    // is checked there against the flag and the generation, so a cancelled or superseded batch
    // changes nothing.
    const auto onMain = mainThreadPoster();
    const auto current = [this, generation] { return isImporting_ && files_.importGeneration == generation; };
    importQueue_->post([onMain, current, this, urls = std::move(batch.urls),
                        afterApplying = std::move(batch.afterApplying)]() mutable {
        auto progress = [&onMain, current, this](int64_t completed, int64_t total) {
            onMain([current, this, completed, total] {
                if (!current()) return;
                setImportProgress(static_cast<double>(completed) / static_cast<double>(std::max<int64_t>(total, 1)));
            });
        };
        PreparedImport prepared = prepareImport(urls, progress);
        onMain([current, this, prepared = std::move(prepared), afterApplying = std::move(afterApplying)]() mutable {
            if (!current()) return;
            applyPreparedImport(std::move(prepared));
            setIsImporting(false);
            setImportProgress(0);
            if (afterApplying) afterApplying();
            if (!files_.pendingImportBatches.empty()) {
                PendingImportBatch next = std::move(files_.pendingImportBatches.front());
                files_.pendingImportBatches.erase(files_.pendingImportBatches.begin());
                startImport(std::move(next));
            }
        });
    });
}

void AppModel::applyPreparedImport(PreparedImport prepared) {
    const std::size_t added = prepared.items.size();
    const std::size_t failed = prepared.failures.size();
    if (added > 0) {
        std::set<QUuid> ids;
        for (const auto& item : prepared.items) ids.insert(item.id);
        editItems([&prepared](std::vector<TransferItem>& list) {
            list.reserve(list.size() + prepared.items.size());
            std::move(prepared.items.begin(), prepared.items.end(), std::back_inserter(list));
        });
        setSelection(std::move(ids));
    }
    if (prepared.samplePosition) setSamplePosition(*prepared.samplePosition);
    // An alert from anything but an earlier batch stays until the user dismisses it; this batch's
    // failures are shown after it.
    const bool earlierBatchAlert = alertMessage_ && alertMessage_ == files_.importAlert;
    const auto standing = earlierBatchAlert ? files_.alertUnderImport : alertMessage_;
    files_.alertUnderImport = standing;
    files_.importAlert.reset();
    if (failed > 0) {
        const auto failure = batchFailureMessage("load", prepared.failures, static_cast<int64_t>(added));
        files_.importAlert = standing ? *standing + "\n\n" + failure : failure;
        setAlertMessage(files_.importAlert);
        setStatusText(added > 0 ? "Imported " + counted(added, "item") + " with " + std::to_string(failed) + " skipped"
                                : "Import failed; no invalid items were added");
    } else {
        setAlertMessage(standing);
        setStatusText(added > 0 ? "Imported " + counted(added, "item") : "Ready");
    }
    persistOpenFiles();
}

void AppModel::cancelImport() {
    if (!isImporting_) return;
    // The running preparation finishes on its queue; the new generation drops what it brings back.
    files_.importGeneration += 1;
    files_.pendingImportBatches.clear();
    setIsImporting(false);
    setImportProgress(0);
    setStatusText("Import cancelled; no files from the cancelled batch were added");
}

}  // namespace k7

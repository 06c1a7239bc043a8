// Changing the file list in place: removing, renaming, and the loop and channel modes of audio items.
#include <algorithm>
#include <iterator>
#include <string_view>
#include <type_traits>
#include <utility>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {

bool AppModel::fileListBusy() const { return isSending_ || isReceiving_ || isImporting_ || isExporting_; }

// A list that grows moves its items to the new storage; were the move allowed to throw, it would
// copy every file's bytes instead.
static_assert(std::is_nothrow_move_constructible_v<TransferItem>);

void AppModel::editItems(const std::function<void(std::vector<TransferItem>&)>& edit) {
    // Taken out and put back rather than copied: the items hold their files' bytes.
    std::vector<TransferItem> list = std::exchange(items_, {});
    try {
        edit(list);
    } catch (...) {
        // Unpublished, so no one saw it go.
        items_ = std::move(list);
        throw;
    }
    setItems(std::move(list));
}

static constexpr std::string_view removeCancelledStatus = "Remove cancelled; unsaved items were preserved";

void AppModel::removeSelected() {
    if (fileListBusy()) return;
    // The ids are fixed before asking: work that finishes while the alert is open may change the
    // selection, and only what the user saw may be removed.
    const std::set<QUuid> ids = selection_;
    std::vector<std::string> unsaved;
    for (const auto& item : items_) {
        if (ids.contains(item.id) && !item.sourceURL) unsaved.push_back(item.displayName);
    }
    if (unsaved.empty()) {
        removeSelectedAllowingUnsavedDataLoss();
        return;
    }

    UserInteraction::Alert alert;
    alert.style = UserInteraction::AlertStyle::warning;
    alert.message = unsaved.size() == 1 ? "Remove unsaved " + unsaved.front() + "?"
                                        : "Remove " + std::to_string(unsaved.size()) + " unsaved items?";
    alert.informativeText =
        "These received or generated items exist only in V7/64. Removing them cannot be undone. Save them first if "
        "you need a copy. Files already on disk will not be deleted.";
    alert.buttons = {"Remove Unsaved", "Cancel"};
    alert.cancelButton = 1;
    if (interaction_->runAlert(alert) != std::optional<std::size_t>(0)) {
        setStatusText(std::string(removeCancelledStatus));
        return;
    }
    if (fileListBusy()) return;  // something started while the alert was open
    removeItems(ids);
}

bool AppModel::removeSelectedAllowingUnsavedDataLoss() {
    if (fileListBusy()) return false;
    removeItems(selection_);
    return true;
}

void AppModel::removeItems(std::set<QUuid> ids) {
    editItems([&ids](std::vector<TransferItem>& list) {
        std::erase_if(list, [&ids](const TransferItem& item) { return ids.contains(item.id); });
    });
    // What was selected meanwhile, and not confirmed for removal, stays selected.
    std::set<QUuid> remaining;
    std::set_difference(selection_.begin(), selection_.end(), ids.begin(), ids.end(),
                        std::inserter(remaining, remaining.end()));
    setSelection(std::move(remaining));
    // An earlier cancel's status would now say the opposite of what happened.
    if (statusText_ == removeCancelledStatus) setStatusText("Ready");
    persistOpenFiles();
}

bool AppModel::renameItem(const QUuid& id, const std::string& name) {
    if (fileListBusy()) {
        setAlertMessage("Names cannot be edited during an active transfer.");
        return false;
    }
    const auto found = std::find_if(items_.begin(), items_.end(), [&id](const auto& item) { return item.id == id; });
    if (found == items_.end()) return false;
    std::string normalized;
    try {
        normalized = normalizedDisplayName(name, found->displayName);
    } catch (const AppModelError& error) {
        setAlertMessage(error.message());
        return false;
    }
    const std::string folded = foldedName(normalized);
    for (const auto& other : items_) {
        if (other.id != id && foldedName(other.displayName) == folded) {
            setAlertMessage(AppModelError(AppModelError::DuplicateItemName{normalized}).message());
            return false;
        }
    }
    editItems([&id, &normalized](std::vector<TransferItem>& list) {
        for (auto& item : list) {
            if (item.id == id) item.displayName = normalized;
        }
    });
    setStatusText("Renamed item to " + normalized);
    persistOpenFiles();
    return true;
}

void AppModel::updateSelectedLoopMode(TransferItem::LoopMode mode) {
    if (configurationLocked()) return;
    editItems([this, mode](std::vector<TransferItem>& list) {
        for (auto& item : list) {
            if (selection_.contains(item.id) && item.isAudio()) item.loopMode = mode;
        }
    });
    persistOpenFiles();
}

void AppModel::updateSelectedStereoMode(TransferItem::StereoMode mode) {
    if (configurationLocked()) return;
    editItems([this, mode](std::vector<TransferItem>& list) {
        for (auto& item : list) {
            if (selection_.contains(item.id) && item.isAudio()) item.stereoMode = mode;
        }
    });
    persistOpenFiles();
}

}  // namespace k7

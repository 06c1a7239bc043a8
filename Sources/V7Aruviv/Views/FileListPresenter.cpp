#include "V7Aruviv/Views/FileListPresenter.h"

#include <algorithm>
#include <cmath>

#include "V7Aruviv/Support/K7Formatters.h"
#include "V7Aruviv/Views/ContentPresenter.h"

namespace k7 {

StateCellPresentation FileListPresenter::stateCell(const TransferItem::State& state, double progress) {
    using S = TransferItem::State;
    if (state.is<S::Sending>()) {
        const double shown = std::isnan(progress) ? 0 : std::clamp(progress, 0.0, 1.0);
        return {true, shown, std::to_string(ContentPresenter::percent(progress)) + "%", StateTone::secondary};
    }
    if (state.is<S::Ready>()) return {false, 0, "Ready", StateTone::secondary};
    if (state.is<S::Submitted>()) return {false, 0, "Submitted", StateTone::blue};
    if (state.is<S::Received>()) return {false, 0, "Received", StateTone::green};
    if (state.is<S::Cancelled>()) return {false, 0, "Cancelled", StateTone::orange};
    return {false, 0, "Failed", StateTone::red};
}

FileListRowPresentation FileListPresenter::present(const TransferItem::ListPresentation& row) {
    FileListRowPresentation p;
    p.name = row.displayName;
    p.size = K7Formatters::bytes(row.byteCount);
    p.type = row.typeLabel;
    p.device = std::string(rawValue(row.device));
    p.deviceAccessibleName = p.device == "\u2014" ? "Not applicable" : p.device;
    p.state = stateCell(row.state, row.progress);
    return p;
}

std::vector<ContextMenuEntry> FileListPresenter::contextMenu(std::size_t targetCount, bool singleRowExists,
                                                             bool singleRowHasFile, const FileListBusyState& busy) {
    std::vector<ContextMenuEntry> entries;
    if (targetCount == 1 && singleRowExists) {
        entries.push_back({FileListAction::showInFileManager, "Show in File Manager", singleRowHasFile});
        entries.push_back({FileListAction::rename, "Rename\u2026", !isBusyForRename(busy)});
        entries.push_back({std::nullopt, "", false});
    }
    if (targetCount > 0) {
        entries.push_back({FileListAction::save, "Save\u2026", !(busy.isImporting || busy.isExporting)});
        entries.push_back(
            {FileListAction::remove, "Remove", !(busy.isReceiving || busy.isImporting || busy.isExporting)});
    }
    return entries;
}

namespace {

// What the opener did, by xdg-open's documented exit statuses.
std::string openerOutcome(int exitStatus) {
    switch (exitStatus) {
    case 1: return "refused the folder's address";
    case 2: return "did not find the folder";
    case 4: return "could not open the folder";
    default: return "failed";
    }
}

std::string whyNotShown(const FileManagerRevealFailure& failure) {
    using Reason = FileManagerRevealFailure::Reason;
    switch (failure.reason) {
    case Reason::noFileManager: return "no application on this system opens folders";
    case Reason::openerExited:
        return failure.opener + " " + openerOutcome(failure.exitStatus) + " (exit status " +
               std::to_string(failure.exitStatus) + ")";
    case Reason::openerCrashed: return failure.opener + " crashed";
    case Reason::openerDidNotStart: return failure.opener + " could not be started (" + failure.systemError + ")";
    }
    return "";
}

}  // namespace

std::string FileListPresenter::fileManagerFailure(const std::filesystem::path& file,
                                                  const FileManagerRevealFailure& failure) {
    return "Could not show " + file.filename().string() + " in the file manager: " + whyNotShown(failure) +
           ". The file is in " + file.parent_path().string() + ".";
}

bool RenameEditor::begin(const TransferItem::ListPresentation& row, bool busy) {
    if (busy) return false;
    draft_ = row.displayName;
    editingItemID_ = row.id;
    return true;
}

bool RenameEditor::commit(const QUuid& id, const Rename& rename) {
    if (editingItemID_ != id) return false;
    if (!rename(id, draft_)) return false;
    // Cleared before the focus, so that the focus leaving the closed field commits nothing.
    editingItemID_.reset();
    draft_.clear();
    focusedNameID_.reset();
    return true;
}

void RenameEditor::cancel() {
    editingItemID_.reset();
    draft_.clear();
    focusedNameID_.reset();
}

void RenameEditor::focusChanged(const std::optional<QUuid>& focused, const Rename& rename) {
    focusedNameID_ = focused;
    if (editingItemID_ && focused != editingItemID_) commit(*editingItemID_, rename);
}

bool RenameEditor::itemIDsChanged(const std::vector<QUuid>& ids) {
    if (!editingItemID_ || std::find(ids.begin(), ids.end(), *editingItemID_) != ids.end()) return false;
    cancel();
    return true;
}

}  // namespace k7

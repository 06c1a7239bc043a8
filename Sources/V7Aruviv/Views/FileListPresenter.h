#pragma once

#include <QUuid>
#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Views/FileManagerRevealFailure.h"

namespace k7 {

enum class StateTone { secondary, blue, green, orange, red };

struct StateCellPresentation {
    bool showsProgress = false;  // a bar of `progress` beside the text
    double progress = 0;
    std::string text;
    StateTone tone = StateTone::secondary;
    bool operator==(const StateCellPresentation&) const = default;
};

struct FileListRowPresentation {
    std::string name;
    std::string size;
    std::string type;
    std::string device;
    std::string deviceAccessibleName;
    StateCellPresentation state;
    bool operator==(const FileListRowPresentation&) const = default;
};

enum class FileListColumn { file, size, type, device, state };

// What the context menu's entries depend on besides the rows it was opened on.
struct FileListBusyState {
    bool isSending = false;
    bool isReceiving = false;
    bool isImporting = false;
    bool isExporting = false;
};

enum class FileListAction { showInFileManager, rename, save, remove };

struct ContextMenuEntry {
    std::optional<FileListAction> action;  // nothing: a separator
    std::string title;
    bool enabled = false;
    bool operator==(const ContextMenuEntry&) const = default;
};

struct FileListPresenter {
    static constexpr int columnCount = 5;
    static constexpr const char* dropInvitation = "Drop SysEx, WAV, AIFF, or K7 files here";
    static constexpr std::array<const char*, columnCount> headers{"File", "Size", "Type", "Device", "State"};
    // Fixed widths of every column but the first, which takes what is left.
    static constexpr std::array<int, columnCount> columnWidths{0, 86, 76, 112, 94};
    // The longest text each fixed column shows; no column is narrower than it needs.
    static constexpr std::array<const char*, columnCount> longestTexts{"", "999 bytes", "Elektron data", "Machinedrum",
                                                                       "Submitted"};

    static FileListRowPresentation present(const TransferItem::ListPresentation& row);
    static StateCellPresentation stateCell(const TransferItem::State& state, double progress);

    // The entries for the rows the menu was opened on (`targets`); `singleRowExists` and
    // `singleRowHasFile` describe the one target when there is exactly one.
    static std::vector<ContextMenuEntry> contextMenu(std::size_t targetCount, bool singleRowExists,
                                                     bool singleRowHasFile, const FileListBusyState& busy);

    // The alert when the file manager did not show `file`, saying why and where the file is.
    static std::string fileManagerFailure(const std::filesystem::path& file, const FileManagerRevealFailure& failure);

    static bool isBusyForRename(const FileListBusyState& busy) {
        return busy.isSending || busy.isReceiving || busy.isImporting || busy.isExporting;
    }
};

// The file list's only state of its own: the inline rename editor. Idle, or editing one item with
// a draft. Focus is tracked so that leaving the field commits the edit.
class RenameEditor {
public:
    using Rename = std::function<bool(const QUuid& id, const std::string& name)>;

    const std::optional<QUuid>& editingItemID() const { return editingItemID_; }
    const std::string& draft() const { return draft_; }
    const std::optional<QUuid>& focusedNameID() const { return focusedNameID_; }
    bool isEditing(const QUuid& id) const { return editingItemID_ == id; }

    // Starts (or moves) the edit to `row` unless `busy`; true when it did. The caller selects the
    // row. An edit of another row is replaced, neither committed nor cancelled.
    bool begin(const TransferItem::ListPresentation& row, bool busy);
    void setDraft(std::string draft) { draft_ = std::move(draft); }
    // Asks `rename` for the draft; true when the edit closed. A refusal leaves it open as typed.
    bool commit(const QUuid& id, const Rename& rename);
    void cancel();
    // The name field with the keyboard focus changed: leaving the edited field commits it.
    void focusChanged(const std::optional<QUuid>& focused, const Rename& rename);
    // The list's items changed: an edit of an item that is gone is cancelled. True when it was.
    bool itemIDsChanged(const std::vector<QUuid>& ids);

private:
    std::optional<QUuid> editingItemID_;
    std::string draft_;
    std::optional<QUuid> focusedNameID_;
};

}  // namespace k7

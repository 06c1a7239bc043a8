#pragma once

#include <QFrame>
#include <QPersistentModelIndex>
#include <QUuid>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <vector>

#include "V7Aruviv/Views/FileListPresenter.h"
#include "V7Aruviv/Views/FileManagerRevealFailure.h"

class QLabel;
class QLineEdit;
class QMenu;
class QTableView;

namespace k7 {

class AppModel;
class FileListDelegate;
class FileListTable;
class FileListTableModel;

// The table of open items: five columns, multiple selection bound to the model's, reordering by
// dragging, inline renaming and a context menu. Its only state is the rename editor.
class FileListView final : public QFrame {
    Q_OBJECT

public:
    explicit FileListView(AppModel& model, QWidget* parent = nullptr);
    ~FileListView() override;

    // Shows the model's rows and selection; signals of the table are blocked meanwhile.
    void refresh();

    QTableView* table() const;
    FileListTableModel* tableModel() const { return tableModel_; }
    const RenameEditor& renameEditor() const { return renameEditor_; }
    QLabel* dropInvitation() const { return dropInvitation_; }

    // The rows the context menu acts on when opened at `viewportPosition`: the clicked row, or the
    // whole selection when the clicked row belongs to it; none on empty space.
    std::vector<QUuid> contextMenuTargets(const QPoint& viewportPosition) const;
    // The menu for `targets`, or nothing when it would have no entries.
    QMenu* makeContextMenu(const std::vector<QUuid>& targets, QWidget* parent);
    // The selection's menu, from the keyboard: placed at the current row.
    void showSelectionContextMenu();
    // The selected items, in list order.
    std::vector<QUuid> selectedIDs() const;
    // The primary action (a double-click, F2) for `targets`.
    void primaryAction(const std::vector<QUuid>& targets);
    void beginRenaming(const QUuid& id);

    // How a file is shown in the file manager; it answers later, with why not when it could not be.
    // Replaceable so that tests stay on this computer.
    std::function<void(const std::filesystem::path&,
                       std::function<void(std::optional<FileManagerRevealFailure> failure)>)>
        showInFileManager;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    // Where the rename field's cursor and selection are, and whether it has the focus: what a
    // reset of the table, which makes the field anew, must give back.
    struct FieldState {
        int cursor = 0;
        int anchor = 0;  // the other end of the selection; the cursor when nothing is selected
        bool focused = false;
    };

    // The items the table shows selected.
    std::set<QUuid> tableSelection() const;
    void userSelectionChanged();
    void applySelection();
    void commitRename();
    void cancelRename();
    void nameFocusLeft(Qt::FocusReason reason);
    QLineEdit* nameField() const;
    std::optional<FieldState> fieldState() const;
    // Opens the field on the edited item's row; false when there is none.
    bool showEditor();
    // The field opened by the user: it takes the focus, everything selected.
    void openEditor();
    // The same edit, made anew after a reset: as typed, focused only if it was.
    void reopenEditor(const std::optional<FieldState>& state);
    void closeEditor();
    bool renameThroughModel(const QUuid& id, const std::string& name);
    void moveRows(const std::vector<int>& rows, int destination);
    void showContextMenu(const QPoint& viewportPosition);

    AppModel& model_;
    FileListTableModel* tableModel_;
    FileListTable* table_;
    FileListDelegate* delegate_;
    QLabel* dropInvitation_;
    RenameEditor renameEditor_;
    QPersistentModelIndex editorIndex_;
    bool refreshing_ = false;
    bool closingEditor_ = false;

    friend class FileListTable;
};

}  // namespace k7

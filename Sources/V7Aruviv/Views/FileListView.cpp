#include "V7Aruviv/Views/FileListView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Views/FileDrop.h"
#include "V7Aruviv/Views/FileListDelegate.h"
#include "V7Aruviv/Views/FileListTableModel.h"
#include "V7Aruviv/Views/FileManagerReveal.h"
#include "V7Aruviv/Views/ModelCommand.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

namespace {

// The rows of an internal drag, marked with the view they came from.
QByteArray encodeRows(const void* view, const std::vector<int>& rows) {
    QByteArray payload = QByteArray::number(reinterpret_cast<quintptr>(view));
    for (int row : rows) payload += ' ' + QByteArray::number(row);
    return payload;
}

std::optional<std::vector<int>> decodeRows(const void* view, const QMimeData* mime) {
    if (!mime || !mime->hasFormat(QString::fromLatin1(FileListTableModel::rowsMimeType))) return std::nullopt;
    const QList<QByteArray> parts = mime->data(QString::fromLatin1(FileListTableModel::rowsMimeType)).split(' ');
    if (parts.isEmpty() || parts.front() != QByteArray::number(reinterpret_cast<quintptr>(view))) return std::nullopt;
    std::vector<int> rows;
    for (qsizetype index = 1; index < parts.size(); ++index) {
        bool ok = false;
        const int row = parts[index].toInt(&ok);
        if (ok) rows.push_back(row);
    }
    return rows;
}

}  // namespace

// The table itself: drags of rows reorder the list, dropped files go to the import.
class FileListTable final : public QTableView {
public:
    explicit FileListTable(FileListView& owner) : QTableView(&owner), owner_(owner) {}

    // The position in the list (before the move) that a drop at `position` points to.
    int dropDestination(const QPoint& position) const {
        const QModelIndex index = indexAt(position);
        if (!index.isValid()) return model()->rowCount();
        const QRect rect = visualRect(index);
        return position.y() > rect.center().y() ? index.row() + 1 : index.row();
    }

    // Makes `index` current and where the next Shift+key or Shift+click extends from, leaving the
    // selection as it is.
    void startExtensionAt(const QModelIndex& index) { setCurrentIndexWith(index, QItemSelectionModel::NoUpdate); }

protected:
    bool event(QEvent* event) override {
        // The Menu key: the selection's menu at the current row, as Shift+F10 opens it.
        if (event->type() == QEvent::ContextMenu &&
            static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
            owner_.showSelectionContextMenu();
            return true;
        }
        return QTableView::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
        if (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier) {
            owner_.showSelectionContextMenu();
            return;
        }
        if (event->key() == Qt::Key_F2 && modifiers == Qt::NoModifier) {
            owner_.primaryAction(owner_.selectedIDs());
            return;
        }
        const auto action = verticalMove(event->key());
        if (!action) {
            QTableView::keyPressEvent(event);
            return;
        }
        // Ctrl would only move the current row; with Home and End it selects as they do alone.
        const bool homeOrEnd = *action == MoveHome || *action == MoveEnd;
        const auto moveModifiers = homeOrEnd ? event->modifiers() & ~Qt::ControlModifier : event->modifiers();
        if (!(moveModifiers & (Qt::ShiftModifier | Qt::ControlModifier))) {
            const QModelIndex target = moveCursor(*action, moveModifiers);
            if (target.isValid() && target == currentIndex()) {
                // The view acts only when the cursor moves; at an end the key still selects where it stays.
                landOn(target);
                return;
            }
        }
        if (moveModifiers == event->modifiers()) {
            QTableView::keyPressEvent(event);
            return;
        }
        QKeyEvent plain(event->type(), event->key(), moveModifiers, event->text(), event->isAutoRepeat(),
                        static_cast<ushort>(event->count()));
        QTableView::keyPressEvent(&plain);
        event->setAccepted(plain.isAccepted());
    }

    // Home and End go to the first and the last row, keeping the column.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override {
        const int rows = model()->rowCount();
        if ((action == MoveHome || action == MoveEnd) && rows > 0) {
            const int column = std::max(currentIndex().column(), 0);
            return model()->index(action == MoveHome ? 0 : rows - 1, column);
        }
        return QTableView::moveCursor(action, modifiers);
    }

    // Where the keyboard is: the whole current row outlined while the list has the focus, in a
    // colour that stands out on the selection's highlight as on the plain rows.
    void paintEvent(QPaintEvent* event) override {
        QTableView::paintEvent(event);
        const QModelIndex current = currentIndex();
        if (!hasFocus() || !current.isValid()) return;
        const bool selected = selectionModel()->isRowSelected(current.row(), current.parent());
        QPainter painter(viewport());
        painter.setPen(QPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Highlight), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rowRect(current.row()).adjusted(1, 1, -2, -2));
    }

    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override {
        QTableView::currentChanged(current, previous);
        for (const QModelIndex& index : {current, previous}) {
            if (index.isValid()) viewport()->update(rowRect(index.row()));
        }
    }

    void focusInEvent(QFocusEvent* event) override {
        QTableView::focusInEvent(event);
        viewport()->update();
    }

    void focusOutEvent(QFocusEvent* event) override {
        QTableView::focusOutEvent(event);
        viewport()->update();
    }

    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override {
        if (fixedCommand_) return *fixedCommand_;
        // A rename field taking the focus makes its row current; the selection stays the model's.
        if (!event && index.isValid() && indexWidget(index) && indexWidget(index) == QApplication::focusWidget()) {
            return QItemSelectionModel::NoUpdate;
        }
        return QTableView::selectionCommand(index, event);
    }

    void startDrag(Qt::DropActions) override {
        std::vector<int> rows;
        for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
        if (rows.empty()) return;
        std::sort(rows.begin(), rows.end());
        auto* mime = new QMimeData;
        mime->setData(QString::fromLatin1(FileListTableModel::rowsMimeType), encodeRows(this, rows));
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->exec(Qt::MoveAction);
    }

    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!droppedFiles(event->mimeData()).empty()) {
            event->acceptProposedAction();
        } else if (decodeRows(this, event->mimeData())) {
            QTableView::dragEnterEvent(event);
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!droppedFiles(event->mimeData()).empty()) {
            event->acceptProposedAction();
        } else if (decodeRows(this, event->mimeData())) {
            QTableView::dragMoveEvent(event);  // scrolling and the drop indicator
            event->setDropAction(Qt::MoveAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    void dropEvent(QDropEvent* event) override {
        setState(NoState);
        viewport()->update();
        if (auto files = droppedFiles(event->mimeData()); !files.empty()) {
            event->acceptProposedAction();
            runModelCommand(owner_.model_, [&] { owner_.model_.importFromUser(std::move(files)); });
            return;
        }
        if (const auto rows = decodeRows(this, event->mimeData())) {
            // Accepted as a copy: the rows were moved here, nothing is to be removed at the source.
            event->setDropAction(Qt::CopyAction);
            event->accept();
            owner_.moveRows(*rows, dropDestination(event->position().toPoint()));
            return;
        }
        event->ignore();
    }

private:
    static std::optional<CursorAction> verticalMove(int key) {
        switch (key) {
        case Qt::Key_Up: return MoveUp;
        case Qt::Key_Down: return MoveDown;
        case Qt::Key_Home: return MoveHome;
        case Qt::Key_End: return MoveEnd;
        case Qt::Key_PageUp: return MovePageUp;
        case Qt::Key_PageDown: return MovePageDown;
        default: return std::nullopt;
        }
    }

    // Leaves exactly `index`'s row selected and makes it where the next Shift+key extends from.
    void landOn(const QModelIndex& index) {
        setCurrentIndexWith(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(index);
    }

    // Through the view's own call, the only one that also moves the start of a Shift extension; its
    // selection command is fixed here, as it would otherwise follow the keys held now and toggle the
    // row under Ctrl.
    void setCurrentIndexWith(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) {
        const QScopedValueRollback<std::optional<QItemSelectionModel::SelectionFlags>> fixed(fixedCommand_, command);
        setCurrentIndex(index);
    }

    QRect rowRect(int row) const {
        return visualRect(model()->index(row, 0)).united(visualRect(model()->index(row, model()->columnCount() - 1)));
    }

    FileListView& owner_;
    std::optional<QItemSelectionModel::SelectionFlags> fixedCommand_;
};

FileListView::FileListView(AppModel& model, QWidget* parent)
    : QFrame(parent),
      model_(model),
      tableModel_(new FileListTableModel(this)),
      table_(new FileListTable(*this)),
      delegate_(new FileListDelegate(renameEditor_, this)),
      dropInvitation_(new QLabel(QString::fromUtf8(FileListPresenter::dropInvitation), table_->viewport())) {
    showInFileManager = [this](const std::filesystem::path& file, FileManagerReveal::Done done) {
        FileManagerReveal().show(file, this, std::move(done));
    };

    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    QPalette framePalette = palette();
    framePalette.setColor(QPalette::WindowText, palette().color(QPalette::Mid));
    setPalette(framePalette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(0);
    layout->addWidget(table_);

    table_->setModel(tableModel_);
    table_->setItemDelegate(delegate_);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab leaves the list for the next control, as in any desktop list; the arrows move within it.
    table_->setTabKeyNavigation(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setDragEnabled(true);
    table_->setAcceptDrops(true);
    table_->setDragDropMode(QAbstractItemView::DragDrop);
    table_->setDropIndicatorShown(true);
    table_->setDragDropOverwriteMode(false);
    table_->setDefaultDropAction(Qt::MoveAction);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setTextElideMode(Qt::ElideRight);

    auto* rows = table_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(table_->fontMetrics().height() + 8);

    auto* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setSectionsClickable(false);
    header->setDefaultAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    header->setMinimumSectionSize(40);
    header->setFixedHeight(24);
    QFont headerFont = header->font();
    headerFont.setWeight(QFont::Medium);
    header->setFont(headerFont);
    header->setStyleSheet(QStringLiteral("QHeaderView::section { padding-left: 8px; padding-right: 8px; }"));
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    // The given widths, widened where this computer's font would clip the longest text a column
    // shows ("Elektron data", "Analog Rytm", "Submitted").
    const QFontMetrics metrics(table_->font());
    for (int column = 1; column < FileListPresenter::columnCount; ++column) {
        const auto index = static_cast<std::size_t>(column);
        const int needed = metrics.horizontalAdvance(qt(FileListPresenter::longestTexts[index])) +
                           2 * FileListDelegate::padding(column) + 2;
        header->setSectionResizeMode(column, QHeaderView::Fixed);
        header->resizeSection(column, std::max(FileListPresenter::columnWidths[index], needed));
    }

    setCaptionFont(dropInvitation_);
    setTextColor(dropInvitation_, tertiaryTextColor(palette()));
    dropInvitation_->setAlignment(Qt::AlignCenter);
    dropInvitation_->setAttribute(Qt::WA_TransparentForMouseEvents);
    table_->viewport()->installEventFilter(this);

    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &FileListView::userSelectionChanged);
    connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (const auto* row = tableModel_->row(index.row())) primaryAction({row->id});
    });
    connect(table_, &QWidget::customContextMenuRequested, this, &FileListView::showContextMenu);
    connect(delegate_, &FileListDelegate::nameEdited, this, [this](const QString& text) {
        renameEditor_.setDraft(text.toStdString());
    });
    connect(delegate_, &FileListDelegate::nameSubmitted, this, &FileListView::commitRename);
    connect(delegate_, &FileListDelegate::nameEscaped, this, &FileListView::cancelRename);
    connect(delegate_, &FileListDelegate::nameFocusEntered, this, [this] {
        if (renameEditor_.editingItemID()) renameEditor_.focusChanged(renameEditor_.editingItemID(), {});
    });
    connect(delegate_, &FileListDelegate::nameFocusLeft, this, &FileListView::nameFocusLeft);
}

FileListView::~FileListView() = default;

QTableView* FileListView::table() const { return table_; }

bool FileListView::eventFilter(QObject* object, QEvent* event) {
    if (object == table_->viewport() && event->type() == QEvent::Resize) {
        dropInvitation_->setGeometry(table_->viewport()->rect());
    }
    return QFrame::eventFilter(object, event);
}

void FileListView::refresh() {
    const auto field = fieldState();
    refreshing_ = true;
    const bool reset = tableModel_->refresh(model_.listItems());
    dropInvitation_->setVisible(model_.items().empty());
    dropInvitation_->setGeometry(table_->viewport()->rect());
    applySelection();
    refreshing_ = false;

    std::vector<QUuid> ids;
    ids.reserve(tableModel_->rows().size());
    for (const auto& row : tableModel_->rows()) ids.push_back(row.id);
    if (renameEditor_.itemIDsChanged(ids)) {
        closeEditor();
    } else if (reset && renameEditor_.editingItemID()) {
        // A reset closes every editor: the edit goes on at the item's new row.
        reopenEditor(field);
    }
}

void FileListView::applySelection() {
    const auto& selection = model_.selection();
    // What the table shows already is the user's own doing; anything else the model chose.
    const bool chosenByModel = tableSelection() != selection;
    QItemSelection rows;
    const int lastColumn = FileListPresenter::columnCount - 1;
    const auto& all = tableModel_->rows();
    int runStart = -1;  // the first row of the current run of selected rows
    for (std::size_t index = 0; index <= all.size(); ++index) {
        const bool selected = index < all.size() && selection.contains(all[index].id);
        const int row = static_cast<int>(index);
        if (selected && runStart < 0) runStart = row;
        if (!selected && runStart >= 0) {
            rows.select(tableModel_->index(runStart, 0), tableModel_->index(row - 1, lastColumn));
            runStart = -1;
        }
    }
    {
        const QSignalBlocker blocker(table_->selectionModel());
        table_->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    }
    if (chosenByModel && !rows.isEmpty()) {
        // The keys and Shift go on from the selection the user sees, not from a row left behind.
        const QModelIndex current = table_->currentIndex();
        const bool currentSelected = current.isValid() && table_->selectionModel()->isRowSelected(current.row());
        const int row = currentSelected ? current.row() : rows.front().top();
        table_->startExtensionAt(tableModel_->index(row, std::max(current.column(), 0)));
    }
    table_->viewport()->update();
}

std::set<QUuid> FileListView::tableSelection() const {
    std::set<QUuid> selection;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        if (const auto* row = tableModel_->row(index.row())) selection.insert(row->id);
    }
    return selection;
}

void FileListView::userSelectionChanged() {
    if (refreshing_) return;
    auto selection = tableSelection();
    runModelCommand(model_, [&] { model_.setSelection(std::move(selection)); });
}

std::vector<QUuid> FileListView::contextMenuTargets(const QPoint& viewportPosition) const {
    const QModelIndex index = table_->indexAt(viewportPosition);
    const auto* clicked = tableModel_->row(index.row());
    if (!index.isValid() || !clicked) return {};
    if (!model_.selection().contains(clicked->id)) return {clicked->id};
    return selectedIDs();
}

QMenu* FileListView::makeContextMenu(const std::vector<QUuid>& targets, QWidget* parent) {
    const FileListBusyState busy{model_.isSending(), model_.isReceiving(), model_.isImporting(), model_.isExporting()};
    const auto single = targets.size() == 1 ? tableModel_->rowOf(targets.front()) : std::nullopt;
    const bool hasFile = single && model_.fileURL(targets.front()).has_value();
    const auto entries = FileListPresenter::contextMenu(targets.size(), single.has_value(), hasFile, busy);
    if (entries.empty()) return nullptr;

    auto* menu = new QMenu(parent);
    const std::set<QUuid> targetSet(targets.begin(), targets.end());
    for (const auto& entry : entries) {
        if (!entry.action) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(qt(entry.title));
        action->setEnabled(entry.enabled);
        switch (*entry.action) {
        case FileListAction::showInFileManager:
            connect(action, &QAction::triggered, this, [this, id = targets.front()] {
                // Looked up again: the item may have lost its file meanwhile.
                const auto file = model_.fileURL(id);
                if (!file) return;
                showInFileManager(*file, [this, file = *file](std::optional<FileManagerRevealFailure> failure) {
                    if (failure) model_.setAlertMessage(FileListPresenter::fileManagerFailure(file, *failure));
                });
            });
            break;
        case FileListAction::rename:
            connect(action, &QAction::triggered, this, [this, id = targets.front()] { beginRenaming(id); });
            break;
        case FileListAction::save:
            connect(action, &QAction::triggered, this, [this, targetSet] {
                runModelCommand(model_, [&] {
                    model_.setSelection(targetSet);
                    model_.presentSavePanel();
                });
            });
            break;
        case FileListAction::remove:
            connect(action, &QAction::triggered, this, [this, targetSet] {
                runModelCommand(model_, [&] {
                    model_.setSelection(targetSet);
                    model_.removeSelected();
                });
            });
            break;
        }
    }
    return menu;
}

void FileListView::showContextMenu(const QPoint& viewportPosition) {
    QMenu* menu = makeContextMenu(contextMenuTargets(viewportPosition), this);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(table_->viewport()->mapToGlobal(viewportPosition));
}

std::vector<QUuid> FileListView::selectedIDs() const {
    std::vector<QUuid> ids;
    for (const auto& row : tableModel_->rows()) {
        if (model_.selection().contains(row.id)) ids.push_back(row.id);
    }
    return ids;
}

void FileListView::showSelectionContextMenu() {
    const auto targets = selectedIDs();
    QMenu* menu = makeContextMenu(targets, this);
    if (!menu) return;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // At the current row when it is in view, else at the first selected row.
    QRect at = table_->visualRect(table_->currentIndex());
    if (!at.intersects(table_->viewport()->rect())) {
        const auto first = tableModel_->rowOf(targets.front());
        at = first ? table_->visualRect(tableModel_->index(*first, 0)) : QRect();
    }
    const QPoint position = at.isValid() ? at.center() : QPoint(0, 0);
    menu->popup(table_->viewport()->mapToGlobal(position));
}

void FileListView::primaryAction(const std::vector<QUuid>& targets) {
    if (targets.size() == 1) beginRenaming(targets.front());
}

void FileListView::beginRenaming(const QUuid& id) {
    const auto row = tableModel_->rowOf(id);
    if (!row) return;
    const FileListBusyState busy{model_.isSending(), model_.isReceiving(), model_.isImporting(), model_.isExporting()};
    const auto presentation = *tableModel_->row(*row);
    if (FileListPresenter::isBusyForRename(busy)) return;
    runModelCommand(model_, [&] { model_.setSelection({id}); });
    closeEditor();  // another row's field, if any, closes without a commit
    renameEditor_.begin(presentation, false);
    openEditor();
}

QLineEdit* FileListView::nameField() const {
    return editorIndex_.isValid() ? qobject_cast<QLineEdit*>(table_->indexWidget(editorIndex_)) : nullptr;
}

std::optional<FileListView::FieldState> FileListView::fieldState() const {
    const QLineEdit* field = nameField();
    if (!field) return std::nullopt;
    const int cursor = field->cursorPosition();
    int anchor = cursor;
    if (field->hasSelectedText()) {
        anchor = field->selectionStart() == cursor ? field->selectionEnd() : field->selectionStart();
    }
    return FieldState{cursor, anchor, field->hasFocus()};
}

bool FileListView::showEditor() {
    const auto id = renameEditor_.editingItemID();
    const auto row = id ? tableModel_->rowOf(*id) : std::nullopt;
    if (!row) return false;
    editorIndex_ = tableModel_->index(*row, 0);
    table_->openPersistentEditor(editorIndex_);
    return nameField() != nullptr;
}

void FileListView::reopenEditor(const std::optional<FieldState>& state) {
    if (!showEditor() || !state) return;
    QLineEdit* field = nameField();
    field->setSelection(state->anchor, state->cursor - state->anchor);
    if (state->focused) field->setFocus(Qt::OtherFocusReason);
}

void FileListView::openEditor() {
    if (!showEditor()) return;
    table_->scrollTo(editorIndex_);
    // The field exists only after this event: it takes the focus on the next turn of the loop.
    QTimer::singleShot(0, this, [this] {
        if (QLineEdit* field = nameField()) {
            field->setFocus(Qt::OtherFocusReason);
            field->selectAll();
        }
    });
}

void FileListView::closeEditor() {
    if (!editorIndex_.isValid()) return;
    closingEditor_ = true;
    const QModelIndex index = editorIndex_;
    editorIndex_ = QPersistentModelIndex();
    const bool hadFocus = table_->indexWidget(index) && table_->indexWidget(index)->hasFocus();
    table_->closePersistentEditor(index);
    if (hadFocus) table_->setFocus(Qt::OtherFocusReason);
    closingEditor_ = false;
}

bool FileListView::renameThroughModel(const QUuid& id, const std::string& name) {
    bool renamed = false;
    runModelCommand(model_, [&] { renamed = model_.renameItem(id, name); });
    return renamed;
}

void FileListView::commitRename() {
    const auto id = renameEditor_.editingItemID();
    if (!id) return;
    const auto rename = [this](const QUuid& item, const std::string& name) { return renameThroughModel(item, name); };
    if (renameEditor_.commit(*id, rename)) closeEditor();
}

void FileListView::cancelRename() {
    renameEditor_.cancel();
    closeEditor();
}

void FileListView::nameFocusLeft(Qt::FocusReason reason) {
    // Focus going to another window (an alert, a menu) does not leave the field within the window.
    if (closingEditor_ || reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return;
    const auto rename = [this](const QUuid& item, const std::string& name) { return renameThroughModel(item, name); };
    renameEditor_.focusChanged(std::nullopt, rename);
    if (!renameEditor_.editingItemID()) closeEditor();
}

void FileListView::moveRows(const std::vector<int>& rows, int destination) {
    std::set<std::size_t> positions;
    for (int row : rows) {
        if (row >= 0) positions.insert(static_cast<std::size_t>(row));
    }
    runModelCommand(model_, [&] { model_.moveItems(positions, static_cast<std::size_t>(std::max(destination, 0))); });
}

}  // namespace k7

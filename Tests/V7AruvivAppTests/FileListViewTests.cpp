#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "V7Aruviv/Views/FileInfoView.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

QLineEdit* nameField(WindowRig& w) {
    const auto& editor = w.list().renameEditor();
    if (!editor.editingItemID()) return nullptr;
    const auto row = w.list().tableModel()->rowOf(*editor.editingItemID());
    return row ? qobject_cast<QLineEdit*>(w.table().indexWidget(w.table().model()->index(*row, 0))) : nullptr;
}

void doubleClickRow(WindowRig& w, int row) {
    // QTest delivers the double-click only after a first click in the view, as a user's press would be.
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(row));
    QTest::mouseDClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(row));
    w.pump();
}

std::vector<int> selectedRows(WindowRig& w) {
    std::vector<int> rows;
    for (const auto& index : w.table().selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

class FileListViewTest : public ::testing::Test {
protected:
    WindowRig w;
    std::vector<TransferItem> items = w.show(threeSysExItems());
};

TEST_F(FileListViewTest, RowsShowTheirCells) {
    items.push_back(SampleItems::audio("tone.wav", TransferItem::Kind::wav, 0.01));
    items[1].state = TransferItem::State::Sending{};
    items[1].progress = 0.125;
    w.show(items);
    const auto* model = w.table().model();
    const auto text = [&](int row, int column, int role = Qt::DisplayRole) {
        return model->index(row, column).data(role).toString().toStdString();
    };
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "File");
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), "State");
    EXPECT_EQ(text(0, 0), "kick.syx");
    EXPECT_EQ(text(0, 1), "47 bytes");
    EXPECT_EQ(text(0, 3), "Machinedrum");
    EXPECT_EQ(text(0, 3, Qt::AccessibleTextRole), "Machinedrum");
    EXPECT_EQ(text(1, 4), "13%");
    EXPECT_EQ(text(2, 4), "Ready");
    EXPECT_EQ(text(3, 2), "WAV");
    EXPECT_EQ(text(3, 3), "\u2014");
    EXPECT_EQ(text(3, 3, Qt::AccessibleTextRole), "Not applicable");
    EXPECT_EQ(text(0, 0, Qt::ToolTipRole), "Double-click to rename");
    for (int column = 1; column < 5; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(w.table().horizontalHeader()->sectionResizeMode(column), QHeaderView::Fixed);
        EXPECT_GE(w.table().columnWidth(column), FileListPresenter::columnWidths[static_cast<std::size_t>(column)]);
    }
}

TEST_F(FileListViewTest, SelectionIsBoundBothWays) {
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[1].id}));
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ControlModifier, w.rowCenter(2));
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[1].id, items[2].id}));

    // The model's selection shows in the view, and showing it writes nothing back.
    QSignalSpy published(&w.model(), &AppModel::selectionChanged);
    w.rig->setSelection({items[0].id, items[2].id});
    w.pump();
    EXPECT_EQ(published.count(), 1);
    EXPECT_EQ(selectedRows(w), (std::vector<int>{0, 2}));
}

TEST_F(FileListViewTest, ProgressTicksKeepTheSelectionAndTheTable) {
    w.rig->setSelection({items[0].id});
    w.pump();
    QSignalSpy reset(w.table().model(), &QAbstractItemModel::modelReset);
    QSignalSpy changed(w.table().model(), &QAbstractItemModel::dataChanged);
    items[2].state = TransferItem::State::Sending{};
    items[2].progress = 0.5;
    w.show(items);
    EXPECT_EQ(reset.count(), 0);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.front().at(0).value<QModelIndex>().row(), 2);
    EXPECT_EQ(selectedRows(w), (std::vector<int>{0}));
}

TEST_F(FileListViewTest, DoubleClickOpensTheNameFieldUnlessBusyAndRenamesOnReturnOrFocusLoss) {
    w.rig->setIsReceiving(true);
    w.pump();
    doubleClickRow(w, 1);
    EXPECT_FALSE(w.list().renameEditor().editingItemID());
    w.rig->setIsReceiving(false);
    w.pump();

    doubleClickRow(w, 1);
    ASSERT_EQ(w.list().renameEditor().editingItemID(), items[1].id);
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[1].id}));
    QLineEdit* field = nameField(w);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), "mono.syx");
    EXPECT_EQ(field->accessibleName(), "File name");
    EXPECT_TRUE(field->hasFocus());
    field->selectAll();
    QTest::keyClicks(field, "bass.syx");
    QTest::keyClick(field, Qt::Key_Return);
    w.pump();
    EXPECT_EQ(w.names()[1], "bass.syx");
    EXPECT_FALSE(w.list().renameEditor().editingItemID());

    // A name another item has is refused: the field stays, as typed, and the model says why.
    doubleClickRow(w, 0);
    field = nameField(w);
    ASSERT_NE(field, nullptr);
    field->selectAll();
    QTest::keyClicks(field, "bass.syx");
    QTest::keyClick(field, Qt::Key_Return);
    w.pump();
    EXPECT_EQ(w.list().renameEditor().editingItemID(), items[0].id);
    ASSERT_NE(nameField(w), nullptr);
    EXPECT_EQ(nameField(w)->text(), "bass.syx");
    EXPECT_TRUE(w.rig->alertMessage());
    EXPECT_EQ(w.names()[0], "kick.syx");
    w.window->alertBox()->accept();
    w.pump();

    // Moving the focus out of the field commits it.
    QApplication::setActiveWindow(w.window.get());
    field = nameField(w);
    ASSERT_NE(field, nullptr);
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    QTest::keyClicks(field, "lead.syx");
    w.content().fileInfo()->samplePosition()->setFocus(Qt::MouseFocusReason);
    w.pump();
    EXPECT_EQ(w.names()[0], "lead.syx");
    EXPECT_FALSE(w.list().renameEditor().editingItemID());
}

TEST_F(FileListViewTest, TheNameFieldClosesOnEscapeOrRemovalAndSurvivesAReorder) {
    doubleClickRow(w, 0);
    ASSERT_NE(nameField(w), nullptr);
    QTest::keyClicks(nameField(w), "renamed");
    QTest::keyClick(nameField(w), Qt::Key_Escape);
    w.pump();
    EXPECT_FALSE(w.list().renameEditor().editingItemID());
    EXPECT_EQ(nameField(w), nullptr);
    EXPECT_EQ(w.names()[0], "kick.syx");
    EXPECT_FALSE(w.rig->alertMessage());  // the model was not asked

    doubleClickRow(w, 2);
    QTest::keyClicks(nameField(w), "x");
    std::swap(items[0], items[2]);
    w.show(items);
    ASSERT_EQ(w.list().renameEditor().editingItemID(), items[0].id);
    ASSERT_NE(nameField(w), nullptr);
    EXPECT_EQ(nameField(w)->text(), QString::fromStdString(w.list().renameEditor().draft()));

    items.erase(items.begin());
    w.show(items);
    EXPECT_FALSE(w.list().renameEditor().editingItemID());
    EXPECT_EQ(nameField(w), nullptr);
}

// What the list becomes while a name is typed, and the row of the edited item before.
struct ListChange {
    const char* name;
    int rows;  // in the list before the change
    int editedRow;
    std::function<void(std::vector<TransferItem>&)> change;
    bool resets = false;  // too many separate runs of rows for steps
};

TransferItem numbered(int n) {
    return SampleItems::sysEx("item " + std::to_string(n) + ".syx", {SampleItems::genericMessage(4)});
}

TEST_F(FileListViewTest, TypingGoesOnWhileItemsComeGoAndMove) {
    const ListChange changes[] = {
        {"an item appended", 3, 1, [](auto& list) { list.push_back(numbered(9)); }},
        {"items inserted above", 3, 1,
         [](auto& list) { list.insert(list.begin(), {numbered(7), numbered(8)}); }},
        {"the item above removed", 3, 1, [](auto& list) { list.erase(list.begin()); }},
        {"the edited item moved down", 3, 0,
         [](auto& list) { std::rotate(list.begin(), list.begin() + 1, list.end()); }},
        {"every other item removed", 140, 71,
         [](auto& list) {
             for (std::size_t index = 0; index < list.size(); ++index) {
                 list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
             }
         },
         true},
    };
    for (const auto& c : changes) {
        SCOPED_TRACE(c.name);
        std::vector<TransferItem> list;
        for (int n = 0; n < c.rows; ++n) list.push_back(numbered(n));
        w.show(list);
        const QUuid edited = list[static_cast<std::size_t>(c.editedRow)].id;
        w.table().scrollTo(w.table().model()->index(c.editedRow, 0));
        doubleClickRow(w, c.editedRow);
        QLineEdit* field = nameField(w);
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, "Kick 9");
        QTest::keyClick(field, Qt::Key_Left, Qt::ShiftModifier);  // "9" selected, the cursor before it

        QSignalSpy reset(w.table().model(), &QAbstractItemModel::modelReset);
        c.change(list);
        w.show(list);
        EXPECT_EQ(reset.count(), c.resets ? 1 : 0);
        field = nameField(w);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->text().toStdString(), "Kick 9");
        EXPECT_EQ(field->selectedText().toStdString(), "9");
        EXPECT_EQ(field->cursorPosition(), 5);
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(w.rig->selection(), std::set<QUuid>{edited});

        QTest::keyClicks(field, "909.syx");  // in place of the selected "9"
        QTest::keyClick(field, Qt::Key_Return);
        w.pump();
        const auto renamed = std::find_if(w.rig->items().begin(), w.rig->items().end(),
                                          [&](const TransferItem& item) { return item.id == edited; });
        ASSERT_NE(renamed, w.rig->items().end());
        EXPECT_EQ(renamed->displayName, "Kick 909.syx");
    }
}

// The first row's name field left open with a name another item has, the second row selected and
// the table focused, as the user gets there.
void leaveARefusedEditForTheNextRow(WindowRig& w, const std::vector<TransferItem>& items) {
    doubleClickRow(w, 0);
    ASSERT_NE(nameField(w), nullptr);
    QTest::keyClicks(nameField(w), "mono.syx");
    QTest::keyClick(nameField(w), Qt::Key_Return);
    w.pump();
    ASSERT_TRUE(w.window->alertBox()->isVisible());
    w.window->alertBox()->accept();
    w.pump();
    QApplication::setActiveWindow(w.window.get());
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));  // refused again
    w.pump();
    w.window->alertBox()->accept();
    w.pump();
    QApplication::setActiveWindow(w.window.get());
    w.table().setFocus();
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
    w.pump();
    ASSERT_EQ(w.list().renameEditor().editingItemID(), items[0].id);
    ASSERT_EQ(w.rig->selection(), std::set<QUuid>{items[1].id});
    ASSERT_TRUE(w.table().hasFocus());
}

// A refused name leaves the field open; a later change of the list neither gives it the focus
// back nor selects its row.
TEST_F(FileListViewTest, ARemovalWhileARefusedEditIsOpenLeavesTheSelectionAndTheFocusAlone) {
    leaveARefusedEditForTheNextRow(w, items);
    if (HasFatalFailure()) return;

    items.erase(items.begin() + 2);
    w.show(items);
    EXPECT_EQ(w.rig->selection(), std::set<QUuid>{items[1].id});
    EXPECT_EQ(selectedRows(w), std::vector<int>{1});
    EXPECT_TRUE(w.table().hasFocus());
    ASSERT_NE(nameField(w), nullptr);
    EXPECT_EQ(nameField(w)->text().toStdString(), "mono.syx");
    EXPECT_FALSE(w.rig->alertMessage());
}

// Where the file manager could not show the file, the window's alert says why and names the file.
TEST_F(FileListViewTest, ShowInFileManagerThatCannotBeDoneSaysSo) {
    using Failure = std::optional<FileManagerRevealFailure>;
    const Failure openerFailed = FileManagerRevealFailure{FileManagerRevealFailure::Reason::openerExited,
                                                          "xdg-open", 4, {}};
    for (const Failure& failure : {Failure{}, openerFailed}) {
        SCOPED_TRACE(failure ? "the opener failed" : "shown");
        w.list().showInFileManager = [failure](const std::filesystem::path&, std::function<void(Failure)> done) {
            done(failure);
        };
        std::unique_ptr<QMenu> menu(w.list().makeContextMenu({items[0].id}, w.window.get()));
        actionTitled(menu->actions(), "Show in File Manager")->trigger();
        w.pump();
        QMessageBox* box = w.window->alertBox();
        EXPECT_EQ(box->isVisible(), failure.has_value());
        EXPECT_EQ(box->text().toStdString(), failure ? "Could not show kick.syx in the file manager: xdg-open could "
                                                       "not open the folder (exit status 4). The file is in /tmp."
                                                     : "");
    }
}

// Going back into the open name field, by a click or by the keyboard, keeps the selection the user
// made meanwhile.
TEST_F(FileListViewTest, TheNameFieldTakingTheFocusLeavesTheSelectionAlone) {
    const struct {
        const char* name;
        std::function<void(QLineEdit*)> focus;
    } ways[] = {
        {"a click", [](QLineEdit* field) { QTest::mouseClick(field, Qt::LeftButton); }},
        {"the keyboard", [](QLineEdit* field) { field->setFocus(Qt::TabFocusReason); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        w.show(items = threeSysExItems());
        leaveARefusedEditForTheNextRow(w, items);
        if (HasFatalFailure()) return;
        QLineEdit* field = nameField(w);
        ASSERT_NE(field, nullptr);
        way.focus(field);
        w.pump();
        EXPECT_TRUE(field->hasFocus());
        EXPECT_EQ(w.rig->selection(), std::set<QUuid>{items[1].id});
        EXPECT_EQ(selectedRows(w), std::vector<int>{1});
        EXPECT_EQ(w.list().renameEditor().editingItemID(), items[0].id);
        QTest::keyClick(field, Qt::Key_Escape);
        w.pump();
    }
}

// Drags `rows` (an internal drag of this list) and drops them at `position`.
bool dropRows(WindowRig& w, const std::vector<int>& rows, QPoint position) {
    QByteArray payload = QByteArray::number(reinterpret_cast<quintptr>(&w.table()));
    for (int row : rows) payload += ' ' + QByteArray::number(row);
    QMimeData mime;
    mime.setData(QString::fromLatin1(FileListTableModel::rowsMimeType), payload);
    QWidget* viewport = w.table().viewport();
    QDragEnterEvent enter(position, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(position, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(position), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    w.pump();
    return drop.isAccepted();
}

TEST_F(FileListViewTest, DraggingRowsReordersTheList) {
    const QRect last = w.table().visualRect(w.table().model()->index(2, 0));
    EXPECT_TRUE(dropRows(w, {0}, QPoint(last.center().x(), last.bottom() - 2)));
    EXPECT_EQ(w.names(), (std::vector<std::string>{"mono.syx", "other.syx", "kick.syx"}));
    EXPECT_FALSE(w.rig->alertMessage());

    // Onto the upper half of the first row: to the top.
    const QRect first = w.table().visualRect(w.table().model()->index(0, 0));
    dropRows(w, {1, 2}, QPoint(first.center().x(), first.top() + 2));
    EXPECT_EQ(w.names(), (std::vector<std::string>{"other.syx", "kick.syx", "mono.syx"}));

    // Refused while importing: the rows stay.
    w.rig->setIsImporting(true);
    dropRows(w, {0}, QPoint(last.center().x(), last.bottom() - 2));
    EXPECT_EQ(w.names(), (std::vector<std::string>{"other.syx", "kick.syx", "mono.syx"}));
    w.rig->setIsImporting(false);

    // A drag from elsewhere (another list) is not a move.
    QMimeData foreign;
    foreign.setData(QString::fromLatin1(FileListTableModel::rowsMimeType), "12345 0");
    QDragEnterEvent enter(last.center(), Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.table().viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

TEST_F(FileListViewTest, ContextMenuTargetsEntriesAndActions) {
    w.rig->setSelection({items[0].id, items[1].id});
    w.pump();

    EXPECT_EQ(w.list().contextMenuTargets(w.rowCenter(1)), (std::vector<QUuid>{items[0].id, items[1].id}));
    EXPECT_EQ(w.list().contextMenuTargets(w.rowCenter(2)), (std::vector<QUuid>{items[2].id}));
    const QPoint below(10, w.table().viewport()->height() - 4);
    EXPECT_TRUE(w.list().contextMenuTargets(below).empty());
    EXPECT_EQ(w.list().makeContextMenu({}, w.window.get()), nullptr);

    std::unique_ptr<QMenu> single(w.list().makeContextMenu({items[0].id}, w.window.get()));
    EXPECT_EQ(menuEntries(single.get()),
              (std::vector<std::string>{"Show in File Manager", "Rename\u2026", "---", "Save\u2026", "Remove"}));
    std::unique_ptr<QMenu> received(w.list().makeContextMenu({items[2].id}, w.window.get()));
    EXPECT_EQ(menuEntries(received.get())[0], "Show in File Manager (off)");
    std::unique_ptr<QMenu> several(w.list().makeContextMenu({items[0].id, items[2].id}, w.window.get()));
    EXPECT_EQ(menuEntries(several.get()), (std::vector<std::string>{"Save\u2026", "Remove"}));

    std::vector<std::filesystem::path> shown;
    w.list().showInFileManager = [&](const std::filesystem::path& file,
                                     std::function<void(std::optional<FileManagerRevealFailure>)> done) {
        shown.push_back(file);
        done(std::nullopt);
    };
    actionTitled(single->actions(), "Show in File Manager")->trigger();
    EXPECT_EQ(shown, (std::vector<std::filesystem::path>{"/tmp/kick.syx"}));

    actionTitled(single->actions(), "Rename\u2026")->trigger();
    w.pump();
    EXPECT_EQ(w.list().renameEditor().editingItemID(), items[0].id);
    QTest::keyClick(nameField(w), Qt::Key_Escape);
    w.pump();

    // "Save…" acts on the menu's rows by selecting them first; they stay selected.
    actionTitled(several->actions(), "Save\u2026")->trigger();
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[0].id, items[2].id}));
    // Two rows: a folder is asked for.
    EXPECT_EQ(w.rig.interaction->folderPanelsShown.size(), 1u);

    // "Remove" likewise acts on its own rows, whatever the selection was.
    std::unique_ptr<QMenu> firstTwo(w.list().makeContextMenu({items[0].id, items[1].id}, w.window.get()));
    actionTitled(firstTwo->actions(), "Remove")->trigger();
    w.pump();
    EXPECT_EQ(w.names(), (std::vector<std::string>{"other.syx"}));
}

// A selection the model makes (a conversion, a receive, an import) brings the list's current row
// onto it, so the arrow keys go on from what is shown; one the user makes leaves it where the user put it.
TEST_F(FileListViewTest, TheModelsSelectionBringsTheCurrentRowAlong) {
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(0));
    w.pump();
    w.rig->setSelection({items[2].id});
    w.pump();
    EXPECT_EQ(w.table().currentIndex().row(), 2);
    QTest::keyClick(&w.table(), Qt::Key_Up);
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[1].id}));

    w.rig->setSelection({items[0].id, items[2].id});
    w.pump();
    EXPECT_EQ(w.table().currentIndex().row(), 0);

    // Ctrl+click takes a row out of the selection and stays on it.
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ControlModifier, w.rowCenter(0));
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[2].id}));
    EXPECT_EQ(w.table().currentIndex().row(), 0);
}

// The focused list shows where the keyboard is: the whole current row is outlined, selected or
// not, and the outline goes with the focus.
TEST_F(FileListViewTest, TheFocusedListOutlinesItsCurrentRow) {
    const struct {
        const char* name;
        Qt::KeyboardModifiers click;  // on the current row, after a plain click on it
        bool selected;
    } cases[] = {{"selected", Qt::NoModifier, true}, {"not selected", Qt::ControlModifier, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
        if (c.click != Qt::NoModifier) QTest::mouseClick(w.table().viewport(), Qt::LeftButton, c.click, w.rowCenter(1));
        w.pump();
        ASSERT_EQ(w.table().currentIndex().row(), 1);
        ASSERT_EQ(w.table().selectionModel()->isRowSelected(1, {}), c.selected);
        // Points on the row's edges far from the first cell, where a cell's own focus frame is not.
        const QRect row = w.table().visualRect(w.table().model()->index(1, 2))
                              .united(w.table().visualRect(w.table().model()->index(1, 4)));
        const QPoint edges[] = {{row.center().x(), row.top() + 1},
                                {row.center().x(), row.bottom() - 1},
                                {row.right() - 1, row.center().y()}};
        const auto look = [&] {
            w.pump();
            return w.table().viewport()->grab().toImage();
        };
        ASSERT_TRUE(w.table().hasFocus());
        const QImage focused = look();
        w.content().fileInfo()->samplePosition()->setFocus();
        const QImage unfocused = look();
        for (const QPoint& at : edges) {
            SCOPED_TRACE(at.x());
            SCOPED_TRACE(at.y());
            EXPECT_NE(focused.pixelColor(at), unfocused.pixelColor(at)) << "no outline";
        }
        w.table().setFocus();
    }
}

// Keyboards without a Menu key open the menu with Shift+F10; either opens it for the selection, at
// the current row.
TEST_F(FileListViewTest, ShiftF10AndTheMenuKeyOpenTheContextMenuAtTheCurrentRow) {
    const struct {
        const char* name;
        std::function<void()> press;
    } keys[] = {
        {"Shift+F10", [&] { QTest::keyClick(w.window->windowHandle(), Qt::Key_F10, Qt::ShiftModifier); }},
        // The X server's Menu key reaches a widget as Qt's window hands it on: a keyboard
        // context-menu event at the focus widget's cursor.
        {"Menu",
         [] {
             QWidget* focus = QApplication::focusWidget();
             const QPoint at = focus->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
             QContextMenuEvent event(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
             QApplication::sendEvent(focus, &event);
         }},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(k.name);
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
        w.pump();
        ASSERT_EQ(QApplication::focusWidget(), &w.table());
        k.press();
        w.pump();
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr) << "no menu opened";
        EXPECT_EQ(menuEntries(menu),
                  (std::vector<std::string>{"Show in File Manager", "Rename\u2026", "---", "Save\u2026", "Remove"}));
        const QRect row = w.table().visualRect(w.table().model()->index(1, 0));
        const QPoint at = w.table().viewport()->mapFromGlobal(menu->pos());
        EXPECT_GE(at.y(), row.top()) << "the menu opened above the current row";
        EXPECT_LE(at.y(), row.bottom() + 1) << "the menu opened below the current row";
        menu->close();
        w.pump();

        // Two rows selected: the menu is the selection's.
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ShiftModifier, w.rowCenter(2));
        w.pump();
        k.press();
        w.pump();
        menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menuEntries(menu), (std::vector<std::string>{"Save\u2026", "Remove"}));
        menu->close();
        w.pump();
    }
}

// F2 is the list's primary action, as a double-click: the name field of the one selected item.
TEST_F(FileListViewTest, F2RenamesTheOneSelectedItem) {
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(0));
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ControlModifier, w.rowCenter(2));
    w.pump();
    QTest::keyClick(w.window->windowHandle(), Qt::Key_F2);
    w.pump();
    EXPECT_FALSE(w.list().renameEditor().editingItemID()) << "two items selected";

    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(2));
    w.pump();
    QTest::keyClick(w.window->windowHandle(), Qt::Key_F2);
    w.pump();
    ASSERT_EQ(w.list().renameEditor().editingItemID(), items[2].id);
    QLineEdit* field = nameField(w);
    ASSERT_NE(field, nullptr);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), "other.syx");
}

// Home and End go to the first and the last item, as in any list, not to the ends of the row.
TEST_F(FileListViewTest, HomeAndEndSelectTheFirstAndTheLastItem) {
    const struct {
        const char* name;
        int from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> selected;
    } cases[] = {
        {"Home", 1, Qt::Key_Home, Qt::NoModifier, {0}},
        {"End", 1, Qt::Key_End, Qt::NoModifier, {2}},
        {"Ctrl+Home", 2, Qt::Key_Home, Qt::ControlModifier, {0}},
        {"Ctrl+End", 0, Qt::Key_End, Qt::ControlModifier, {2}},
        {"Shift+Home", 1, Qt::Key_Home, Qt::ShiftModifier, {0, 1}},
        {"Shift+End", 1, Qt::Key_End, Qt::ShiftModifier, {1, 2}},
        {"Ctrl+Shift+End", 0, Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, {0, 1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(c.from));
        w.pump();
        QTest::keyClick(&w.table(), c.key, c.modifiers);
        w.pump();
        EXPECT_EQ(selectedRows(w), c.selected);
        const std::set<QUuid> expected = [&] {
            std::set<QUuid> ids;
            for (int row : c.selected) ids.insert(items[static_cast<std::size_t>(row)].id);
            return ids;
        }();
        EXPECT_EQ(w.rig->selection(), expected);
        EXPECT_EQ(w.table().currentIndex().row(), c.key == Qt::Key_Home ? 0 : 2);
    }
}

// A move key without Shift leaves the item it lands on alone selected, also where the cursor
// cannot move, and Shift extends from there; Ctrl with the arrows and pages moves the cursor alone.
// The keys go through the window, so Qt also sees them held while it handles them.
TEST_F(FileListViewTest, AMoveKeySelectsWhereItLandsAlsoAtTheEnds) {
    const struct {
        KeyPress press;
        std::vector<int> selected;
        int current;
    } steps[] = {
        {{"Home on the first", Qt::Key_Home, Qt::NoModifier}, {0}, 0},
        {{"Shift+End", Qt::Key_End, Qt::ShiftModifier}, {0, 1, 2}, 2},
        {{"End on the last", Qt::Key_End, Qt::NoModifier}, {2}, 2},
        {{"Shift+Home", Qt::Key_Home, Qt::ShiftModifier}, {0, 1, 2}, 0},
        {{"Ctrl+Home on the first", Qt::Key_Home, Qt::ControlModifier}, {0}, 0},
        {{"Shift+End", Qt::Key_End, Qt::ShiftModifier}, {0, 1, 2}, 2},
        {{"Ctrl+End on the last", Qt::Key_End, Qt::ControlModifier}, {2}, 2},
        {{"Shift+Home", Qt::Key_Home, Qt::ShiftModifier}, {0, 1, 2}, 0},
        {{"Up on the first", Qt::Key_Up, Qt::NoModifier}, {0}, 0},
        {{"Shift+End", Qt::Key_End, Qt::ShiftModifier}, {0, 1, 2}, 2},
        {{"Down on the last", Qt::Key_Down, Qt::NoModifier}, {2}, 2},
        {{"Shift+Home", Qt::Key_Home, Qt::ShiftModifier}, {0, 1, 2}, 0},
        {{"Page Up on the first", Qt::Key_PageUp, Qt::NoModifier}, {0}, 0},
        {{"Shift+End", Qt::Key_End, Qt::ShiftModifier}, {0, 1, 2}, 2},
        {{"Page Down on the last", Qt::Key_PageDown, Qt::NoModifier}, {2}, 2},
        {{"Shift+Up", Qt::Key_Up, Qt::ShiftModifier}, {1, 2}, 1},
        {{"Ctrl+Down", Qt::Key_Down, Qt::ControlModifier}, {1, 2}, 2},
        {{"Ctrl+Down on the last", Qt::Key_Down, Qt::ControlModifier}, {1, 2}, 2},
        {{"Ctrl+Page Down on the last", Qt::Key_PageDown, Qt::ControlModifier}, {1, 2}, 2},
        {{"Home", Qt::Key_Home, Qt::NoModifier}, {0}, 0},
        {{"Ctrl+Up on the first", Qt::Key_Up, Qt::ControlModifier}, {0}, 0},
    };
    w.rig->setSelection({items[0].id, items[1].id, items[2].id});
    w.pump();
    ASSERT_EQ(w.table().currentIndex().row(), 0);
    ASSERT_TRUE(w.table().hasFocus());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.press.name);
        QTest::keyClick(w.window->windowHandle(), step.press.key, step.press.modifiers);
        w.pump();
        EXPECT_EQ(selectedRows(w), step.selected);
        std::set<QUuid> expected;
        for (int row : step.selected) expected.insert(items[static_cast<std::size_t>(row)].id);
        EXPECT_EQ(w.rig->selection(), expected);
        EXPECT_EQ(w.table().currentIndex().row(), step.current);
    }
}

// After the program chooses the selection (a conversion, a load), Shift extends from what it chose,
// not from a row clicked before it.
TEST(FileListShiftExtension, StartsAtTheItemsTheProgramSelected) {
    WindowRig w;
    const auto items = w.show({SampleItems::audio("tone.wav", TransferItem::Kind::wav, 0.01),
                               SampleItems::sysEx("kick.syx", {SampleItems::elektronMessage(2, 40)}, "/tmp/kick.syx"),
                               SampleItems::sysEx("mono.syx", {SampleItems::elektronMessage(3, 40)}, "/tmp/mono.syx"),
                               SampleItems::sysEx("other.syx", {SampleItems::genericMessage(20)})});
    const auto expectSelected = [&](const std::vector<int>& rows) {
        EXPECT_EQ(selectedRows(w), rows);
        std::set<QUuid> ids;
        for (int row : rows) ids.insert(w.rig->items()[static_cast<std::size_t>(row)].id);
        EXPECT_EQ(w.rig->selection(), ids);
    };
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(0));
    w.pump();
    QTest::mouseClick(w.content().fileInfo()->sdsButton(), Qt::LeftButton);
    ASSERT_TRUE(w.runUntil([&] { return !w.rig->isConverting() && w.rig->items().size() == 5; }));
    expectSelected({4});
    w.table().setFocus();

    QTest::keyClick(w.window->windowHandle(), Qt::Key_Up, Qt::ShiftModifier);
    w.pump();
    {
        SCOPED_TRACE("Shift+Up after the conversion");
        expectSelected({3, 4});
        EXPECT_EQ(w.table().currentIndex().row(), 3);
    }
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ShiftModifier, w.rowCenter(2));
    w.pump();
    {
        SCOPED_TRACE("Shift+click two rows up");
        expectSelected({2, 3, 4});
    }

    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(0));
    w.pump();
    w.rig->setSelection({items[2].id, items[3].id});
    w.pump();
    QTest::keyClick(w.window->windowHandle(), Qt::Key_Up, Qt::ShiftModifier);
    w.pump();
    {
        SCOPED_TRACE("Shift+Up after a load");
        expectSelected({1, 2});
        EXPECT_EQ(w.table().currentIndex().row(), 1);
    }
}

// A receive and an import select what they add through the model, as a conversion does.
TEST(FileListShiftExtension, StartsAtTheItemsAReceiveOrAnImportAdded) {
    using namespace std::chrono_literals;
    struct Case {
        const char* name;
        std::function<void(WindowRig&)> add;
        std::size_t added;
    };
    QTemporaryDir folder;
    const std::vector<Case> cases{
        {"a receive", [](WindowRig& w) {
             QTest::mouseClick(w.content().receiveButton(), Qt::LeftButton);
             w.rig.wire().injectAfter(10ms, SampleItems::genericMessage(20));
             w.rig.runFor(20ms);
             QTest::mouseClick(w.content().receiveButton(), Qt::LeftButton);
         }, 1},
        {"an import", [&](WindowRig& w) { w.rig->importFromUser(writeSysExFiles(folder, 2)); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WindowRig w;
        w.show(threeSysExItems());
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(0));
        w.pump();
        c.add(w);
        ASSERT_TRUE(w.runUntil([&] {
            return !w.rig->isReceiving() && !w.rig->isImporting() && w.rig->items().size() == 3 + c.added;
        }));
        ASSERT_EQ(w.rig->selection().size(), c.added);
        ASSERT_EQ(selectedRows(w).front(), 3);
        w.table().setFocus();

        QTest::keyClick(w.window->windowHandle(), Qt::Key_Up, Qt::ShiftModifier);
        w.pump();
        EXPECT_EQ(selectedRows(w), (std::vector<int>{2, 3}));
        EXPECT_EQ(w.table().currentIndex().row(), 2);
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::ShiftModifier, w.rowCenter(1));
        w.pump();
        EXPECT_EQ(selectedRows(w), (std::vector<int>{1, 2, 3}));
        EXPECT_EQ(w.rig->selection().size(), 3u);
    }
}

}  // namespace
}  // namespace k7::testing

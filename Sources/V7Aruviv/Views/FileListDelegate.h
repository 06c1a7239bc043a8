#pragma once

#include <QStyledItemDelegate>

namespace k7 {

class RenameEditor;

// Draws the file list's cells with their paddings and the state cell with its progress bar, and
// makes the rename field. The field's keys and focus are reported, not acted on: the file list
// decides whether an edit closes.
class FileListDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    FileListDelegate(const RenameEditor& renameEditor, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Left and right padding of a column's text.
    static int padding(int column);

signals:
    void nameEdited(const QString& text);
    void nameSubmitted();
    void nameEscaped();
    void nameFocusEntered();
    void nameFocusLeft(Qt::FocusReason reason);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void paintState(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;

    const RenameEditor& renameEditor_;
};

}  // namespace k7

#include "V7Aruviv/Views/FileListDelegate.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <array>

#include "V7Aruviv/Views/FileDrop.h"
#include "V7Aruviv/Views/FileListPresenter.h"
#include "V7Aruviv/Views/FileListTableModel.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

namespace {
constexpr std::array<int, FileListPresenter::columnCount> paddings{8, 6, 7, 7, 6};
constexpr int progressSpacing = 4;
}  // namespace

FileListDelegate::FileListDelegate(const RenameEditor& renameEditor, QObject* parent)
    : QStyledItemDelegate(parent), renameEditor_(renameEditor) {}

int FileListDelegate::padding(int column) {
    return column >= 0 && column < FileListPresenter::columnCount ? paddings[static_cast<std::size_t>(column)] : 0;
}

void FileListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // The list outlines the whole current row itself.
    opt.state &= ~QStyle::State_HasFocus;
    const QString text = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    if (index.column() == static_cast<int>(FileListColumn::state)) {
        paintState(painter, opt, index);
        return;
    }
    const int pad = padding(index.column());
    const QRect textRect = opt.rect.adjusted(pad, 0, -pad, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                      selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                      opt.fontMetrics.elidedText(text, Qt::ElideRight, textRect.width()));
    painter->restore();
}

void FileListDelegate::paintState(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const auto cell = index.data(FileListTableModel::stateCellRole).value<StateCellPresentation>();
    const int pad = padding(index.column());
    QRect rect = option.rect.adjusted(pad, 0, -pad, 0);
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->setFont(option.font);
    // On the selection's highlight every tone reads as the highlighted text.
    painter->setPen(selected ? option.palette.color(QPalette::HighlightedText) : toneColor(cell.tone, option.palette));
    if (cell.showsProgress) {
        const QString percent = qt(cell.text);
        const int textWidth = option.fontMetrics.horizontalAdvance(QStringLiteral("100%"));
        QStyleOptionProgressBar bar;
        bar.initFrom(option.widget);
        bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
        const int barHeight = std::min(rect.height() - 4, 8);
        bar.rect = QRect(rect.left(), rect.center().y() - barHeight / 2 + 1, rect.width() - textWidth - progressSpacing,
                         barHeight);
        bar.minimum = 0;
        bar.maximum = 1000;
        bar.progress = static_cast<int>(cell.progress * 1000);
        bar.textVisible = false;
        const QWidget* widget = option.widget;
        (widget ? widget->style() : QApplication::style())->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
        rect.setLeft(bar.rect.right() + 1 + progressSpacing);
        painter->drawText(rect, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, percent);
    } else {
        painter->drawText(rect, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, qt(cell.text));
    }
    painter->restore();
}

QWidget* FileListDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const {
    auto* field = new QLineEdit(parent);
    field->setFrame(false);
    field->setPlaceholderText(QStringLiteral("File name"));
    field->setAccessibleName(QStringLiteral("File name"));
    field->setTextMargins(padding(0) - 2, 0, padding(0) - 2, 0);
    connect(field, &QLineEdit::textEdited, this, &FileListDelegate::nameEdited);
    new FileDragPassThrough(field);
    return field;
}

void FileListDelegate::setEditorData(QWidget* editor, const QModelIndex&) const {
    auto* field = qobject_cast<QLineEdit*>(editor);
    const QString draft = qt(renameEditor_.draft());
    // The row redraws while the user types (progress of other items): keep what is typed.
    if (field && field->text() != draft) field->setText(draft);
}

void FileListDelegate::setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const {
    // Names change only through the model's rename, which the file list calls.
}

void FileListDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const {
    editor->setGeometry(option.rect);
}

bool FileListDelegate::eventFilter(QObject* object, QEvent* event) {
    if (!qobject_cast<QLineEdit*>(object)) return QStyledItemDelegate::eventFilter(object, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            emit nameSubmitted();
            return true;
        }
        if (key == Qt::Key_Escape) {
            emit nameEscaped();
            return true;
        }
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) return false;
        return false;
    }
    case QEvent::FocusIn:
        emit nameFocusEntered();
        return false;
    case QEvent::FocusOut:
        emit nameFocusLeft(static_cast<QFocusEvent*>(event)->reason());
        return false;
    default:
        return false;
    }
}

}  // namespace k7

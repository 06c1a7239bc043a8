#include "V7Aruviv/Views/FileListTableModel.h"

#include <QMimeData>

#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/RowChangePlan.h"

namespace k7 {

namespace {

bool sameIDs(const std::vector<TransferItem::ListPresentation>& a, const std::vector<TransferItem::ListPresentation>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t index = 0; index < a.size(); ++index) {
        if (a[index].id != b[index].id) return false;
    }
    return true;
}

}  // namespace

bool FileListTableModel::refresh(std::vector<TransferItem::ListPresentation> rows) {
    if (!sameIDs(rows_, rows) && !reshape(rows)) {
        beginResetModel();
        rows_ = std::move(rows);
        presented_.clear();
        presented_.reserve(rows_.size());
        for (const auto& row : rows_) presented_.push_back(FileListPresenter::present(row));
        endResetModel();
        return true;
    }
    // Runs of changed rows are reported together, so a progress tick costs one signal.
    int runStart = -1;  // the first row of the current run of changed rows
    auto flush = [&](int end) {
        if (runStart >= 0) emit dataChanged(index(runStart, 0), index(end - 1, FileListPresenter::columnCount - 1));
        runStart = -1;
    };
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const int row = static_cast<int>(index);
        if (rows[index] == rows_[index]) {
            flush(row);
            continue;
        }
        rows_[index] = std::move(rows[index]);
        presented_[index] = FileListPresenter::present(rows_[index]);
        if (runStart < 0) runStart = row;
    }
    flush(static_cast<int>(rows_.size()));
    return false;
}

bool FileListTableModel::reshape(const std::vector<TransferItem::ListPresentation>& target) {
    std::vector<QUuid> from;
    std::vector<QUuid> to;
    from.reserve(rows_.size());
    to.reserve(target.size());
    for (const auto& row : rows_) from.push_back(row.id);
    for (const auto& row : target) to.push_back(row.id);
    const auto steps = planRowChanges(from, to, maximumRowSteps);
    if (!steps) return false;
    for (const auto& step : *steps) {
        const auto first = static_cast<std::ptrdiff_t>(step.first);
        const auto end = first + step.count;
        switch (step.kind) {
        case RowChangeStep::Kind::remove:
            beginRemoveRows({}, step.first, step.first + step.count - 1);
            rows_.erase(rows_.begin() + first, rows_.begin() + end);
            presented_.erase(presented_.begin() + first, presented_.begin() + end);
            endRemoveRows();
            break;
        case RowChangeStep::Kind::move:
            beginMoveRows({}, step.first, step.first + step.count - 1, {}, step.destination);
            applyMove(rows_, step);
            applyMove(presented_, step);
            endMoveRows();
            break;
        case RowChangeStep::Kind::insert: {
            beginInsertRows({}, step.first, step.first + step.count - 1);
            std::vector<FileListRowPresentation> presented;
            presented.reserve(static_cast<std::size_t>(step.count));
            for (auto row = target.begin() + first; row != target.begin() + end; ++row) {
                presented.push_back(FileListPresenter::present(*row));
            }
            rows_.insert(rows_.begin() + first, target.begin() + first, target.begin() + end);
            presented_.insert(presented_.begin() + first, std::make_move_iterator(presented.begin()),
                              std::make_move_iterator(presented.end()));
            endInsertRows();
            break;
        }
        }
    }
    return true;
}

const TransferItem::ListPresentation* FileListTableModel::row(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= rows_.size()) return nullptr;
    return &rows_[static_cast<std::size_t>(index)];
}

std::optional<int> FileListTableModel::rowOf(const QUuid& id) const {
    for (std::size_t index = 0; index < rows_.size(); ++index) {
        if (rows_[index].id == id) return static_cast<int>(index);
    }
    return std::nullopt;
}

int FileListTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FileListPresenter::columnCount;
}

QVariant FileListTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || static_cast<std::size_t>(index.row()) >= presented_.size()) return {};
    const auto& row = presented_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<FileListColumn>(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (column) {
        case FileListColumn::file: return qt(row.name);
        case FileListColumn::size: return qt(row.size);
        case FileListColumn::type: return qt(row.type);
        case FileListColumn::device: return qt(row.device);
        case FileListColumn::state: return qt(row.state.text);
        }
        return {};
    case Qt::AccessibleTextRole:
        if (column == FileListColumn::device) return qt(row.deviceAccessibleName);
        if (column == FileListColumn::state) return qt(row.state.text);
        return {};
    case Qt::ToolTipRole:
        if (column == FileListColumn::file) return QStringLiteral("Double-click to rename");
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::Alignment(Qt::AlignLeading | Qt::AlignVCenter));
    case stateCellRole:
        if (column == FileListColumn::state) return QVariant::fromValue(row.state);
        return {};
    default:
        return {};
    }
}

QVariant FileListTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= FileListPresenter::columnCount) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(FileListPresenter::headers[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignLeading | Qt::AlignVCenter));
    return {};
}

Qt::ItemFlags FileListTableModel::flags(const QModelIndex& index) const {
    // Rows are dropped between rows, never onto one.
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == 0) flags |= Qt::ItemIsEditable;
    return flags;
}

QStringList FileListTableModel::mimeTypes() const { return {QString::fromLatin1(rowsMimeType)}; }

Qt::DropActions FileListTableModel::supportedDropActions() const { return Qt::MoveAction; }

}  // namespace k7

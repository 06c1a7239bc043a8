#pragma once

#include <QAbstractTableModel>
#include <QUuid>
#include <optional>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Views/FileListPresenter.h"

namespace k7 {

// The file list's rows: the model's `listItems`, each with its presented cells.
class FileListTableModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr const char* rowsMimeType = "application/x-org.v764.file-list-rows";
    // The state cell's presentation, for the delegate that draws it.
    static constexpr int stateCellRole = Qt::UserRole + 1;

    using QAbstractTableModel::QAbstractTableModel;

    // Takes the new rows. Rows that came, went or moved are reported as inserted, removed or
    // moved, then the rows that changed; a change of too many separate runs resets the table
    // instead. True when it was reset.
    bool refresh(std::vector<TransferItem::ListPresentation> rows);

    const std::vector<TransferItem::ListPresentation>& rows() const { return rows_; }
    const TransferItem::ListPresentation* row(int index) const;
    std::optional<int> rowOf(const QUuid& id) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    // Beyond this many inserted, removed or moved runs of rows, one reset costs the views less.
    static constexpr std::size_t maximumRowSteps = 64;

    // Brings the rows to the ids of `target` by steps that keep every row's identity; false,
    // changing nothing, when that takes too many steps.
    bool reshape(const std::vector<TransferItem::ListPresentation>& target);

    std::vector<TransferItem::ListPresentation> rows_;
    std::vector<FileListRowPresentation> presented_;
};

}  // namespace k7

Q_DECLARE_METATYPE(k7::StateCellPresentation)

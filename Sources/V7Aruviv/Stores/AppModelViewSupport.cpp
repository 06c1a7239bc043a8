// Operations the views need beyond the model's commands.
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Support/ListMove.h"

namespace k7 {

void AppModel::moveItems(const std::set<std::size_t>& rows, std::size_t destination) {
    if (isImporting_ || isExporting_) return;
    // Nothing observes the list between the two lines: it changes once, by the setter.
    std::vector<TransferItem> reordered = std::move(items_);
    moveElements(reordered, rows, destination);
    setItems(std::move(reordered));
    persistOpenFiles();
}

}  // namespace k7

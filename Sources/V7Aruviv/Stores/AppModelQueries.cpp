#include "V7Aruviv/Models/DigiPROConversionPlan.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

std::vector<const TransferItem*> selectedPointers(const std::vector<TransferItem>& items,
                                                  const std::set<QUuid>& selection) {
    std::vector<const TransferItem*> selected;
    if (selection.empty()) return selected;
    for (const auto& item : items) {
        if (selection.contains(item.id)) selected.push_back(&item);
    }
    return selected;
}

std::string typeLabel(const TransferItem& item) {
    if (item.sendMethod.is<TransferSendMethod::RawDigiPRO>()) return "DigiPRO";
    if (item.sendMethod.is<TransferSendMethod::RawFirmware>()) return "Firmware";
    if (item.sendMethod.is<TransferSendMethod::RawElektronData>()) return "Elektron data";
    switch (item.kind) {
    case TransferItem::Kind::sysEx: return "SysEx";
    case TransferItem::Kind::wav: return "WAV";
    case TransferItem::Kind::aiff: return "AIFF";
    case TransferItem::Kind::project: return "K7";
    case TransferItem::Kind::unknown: return "-";
    }
    return "-";
}

}  // namespace

std::vector<TransferItem> AppModel::selectedItems() const {
    std::vector<TransferItem> selected;
    for (const TransferItem* item : selectedPointers(items_, selection_)) selected.push_back(*item);
    return selected;
}

std::optional<TransferItem> AppModel::selectedItem() const {
    if (selection_.size() != 1) return std::nullopt;
    const QUuid& id = *selection_.begin();
    for (const auto& item : items_) {
        if (item.id == id) return item;
    }
    return std::nullopt;
}

std::optional<TransferItem> AppModel::selectedAudioSettingsItem() const {
    const auto selected = selectedPointers(items_, selection_);
    if (selected.empty()) return std::nullopt;
    for (const TransferItem* item : selected) {
        if (item->kind != TransferItem::Kind::wav && item->kind != TransferItem::Kind::aiff) return std::nullopt;
    }
    return *selected.front();
}

bool AppModel::canConvertSelectionToDigiPRO() const {
    if (configurationLocked()) return false;
    const auto plan = DigiPROConversionPlan::make(selectedPointers(items_, selection_), samplePosition_);
    return plan && !plan->warning;
}

std::string AppModel::digiPROConversionHelp() const {
    if (const auto plan = DigiPROConversionPlan::make(selectedPointers(items_, selection_), samplePosition_)) {
        return plan->help;
    }
    return "Select one or more WAV or AIFF files to create DigiPRO SysEx files. Conversion does not transmit them.";
}

std::string AppModel::fileInfoText() const {
    const auto plan = DigiPROConversionPlan::make(selectedPointers(items_, selection_), samplePosition_);
    if (const auto item = selectedItem()) {
        if (item->isAudio() && plan) return plan->summary + "\n" + item->detail;
        return item->fileInfoDetail();
    }
    if (plan) return plan->summary;
    if (!selection_.empty()) {
        return std::to_string(selection_.size()) + " items selected. Transfer details are shown below.";
    }
    return "Select an item to inspect its file and transfer information.";
}

std::optional<TransferPlan> AppModel::liveTransferPlan() const {
    const auto selected = selectedPointers(items_, selection_);
    if (selected.empty()) return std::nullopt;
    return TransferPlan::make(selected, preferences_, samplePosition_, endpoints_.inputs, endpoints_.outputs,
                              turboStatus_);
}

std::vector<TransferItem::ListPresentation> AppModel::listItems() const {
    std::vector<TransferItem::ListPresentation> rows;
    rows.reserve(items_.size());
    for (const auto& item : items_) {
        rows.push_back({item.id, item.displayName, item.byteCount, item.kind, typeLabel(item), item.device,
                        item.state, item.progress});
    }
    return rows;
}

std::vector<QUuid> AppModel::itemIDs() const {
    std::vector<QUuid> ids;
    ids.reserve(items_.size());
    for (const auto& item : items_) ids.push_back(item.id);
    return ids;
}

int64_t AppModel::totalMessageCount() const {
    int64_t total = 0;
    for (const auto& item : items_) total += item.messageCount;
    return total;
}

int64_t AppModel::totalByteCount() const {
    int64_t total = 0;
    for (const auto& item : items_) total += item.byteCount;
    return total;
}

std::optional<std::filesystem::path> AppModel::fileURL(const QUuid& itemID) const {
    for (const auto& item : items_) {
        if (item.id == itemID) return item.sourceURL;
    }
    return std::nullopt;
}

}  // namespace k7

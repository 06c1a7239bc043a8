// Operations whose coordinators come next; each file that builds one removes its entries here.
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelUnbuilt.h"

namespace k7 {


void AppModel::presentLoadPanel() { unbuiltOperation("Import"); }
void AppModel::importFromUser(std::vector<std::filesystem::path>, std::function<void()>) {
    unbuiltOperation("Import");
}
void AppModel::cancelImport() { unbuiltOperation("Import"); }
void AppModel::persistOpenFiles() { unbuiltOperation("The open-file library"); }
void AppModel::restoreOpenFiles() { unbuiltOperation("The open-file library"); }

void AppModel::removeSelected() { unbuiltOperation("Editing"); }
bool AppModel::removeSelectedAllowingUnsavedDataLoss() { unbuiltOperation("Editing"); }
bool AppModel::renameItem(const QUuid&, const std::string&) { unbuiltOperation("Editing"); }
void AppModel::updateSelectedLoopMode(TransferItem::LoopMode) { unbuiltOperation("Editing"); }
void AppModel::updateSelectedStereoMode(TransferItem::StereoMode) { unbuiltOperation("Editing"); }

}  // namespace k7

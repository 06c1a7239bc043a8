// Operations whose coordinators come next; each file that builds one removes its entries here.
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelUnbuilt.h"

namespace k7 {

void AppModel::convertSelectedToDigiPRO() { unbuiltOperation("Conversion"); }
void AppModel::convertSelectedToSDS() { unbuiltOperation("Conversion"); }
void AppModel::presentSavePanel() { unbuiltOperation("Saving"); }
void AppModel::presentSaveProjectPanel() { unbuiltOperation("Saving"); }

}  // namespace k7

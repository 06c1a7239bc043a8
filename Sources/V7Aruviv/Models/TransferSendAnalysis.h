#pragma once

#include <cstdint>
#include <vector>

#include "V7Aruviv/Models/DigiPROFrameMetadata.h"
#include "V7Aruviv/Models/TransferSendMethod.h"
#include "V7Aruviv/Models/TransferWireWorkload.h"

namespace k7 {

// What the send analysis found, copied one to one into the item.
struct TransferSendAnalysis {
    TransferSendMethod sendMethod;
    TransferWireWorkload wireWorkload;
    std::vector<DigiPROFrameMetadata> digiPROFrames;
    int64_t messageCount = 0;
    bool operator==(const TransferSendAnalysis&) const = default;
};

}  // namespace k7

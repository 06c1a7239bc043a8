#pragma once

#include <QUuid>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Models/TransferProgressPlan.h"
#include "V7Aruviv/Stores/CancellationFlag.h"
#include "V7Aruviv/Stores/SendOptions.h"
#include "V7Aruviv/Support/TransferProgressEstimator.h"

namespace k7 {

class SDSSenderDriver;

// What the send coordinator keeps of the one running send session.
struct AppModelSendState {
    // Shared with the send queue, whose timed waits it wakes.
    std::shared_ptr<CancellationFlag> sendCancellation = std::make_shared<CancellationFlag>();
    uint64_t sendGeneration = 0;
    std::vector<QUuid> sendIDs;
    std::vector<TransferItem> sendItemSnapshots;
    std::optional<TransferProgressPlan> frozenProgressPlan;
    double sendCompletedWireBytes = 0;
    TransferProgressEstimator sendProgressEstimator;
    int64_t sendIndex = 0;
    uint16_t sendSessionPosition = 0;
    int64_t sendAcknowledgedCount = 0;
    int64_t sendSubmittedCount = 0;
    std::optional<SendOptions> sendOptions;
    std::shared_ptr<SDSSenderDriver> activeSDSSender;
};

}  // namespace k7

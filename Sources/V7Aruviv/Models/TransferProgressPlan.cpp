#include "V7Aruviv/Models/TransferProgressPlan.h"

#include <algorithm>

namespace k7 {

std::optional<TransferProgressPlan> TransferProgressPlan::make(const std::vector<ItemUnits>& itemUnits) {
    if (itemUnits.empty()) return std::nullopt;
    TransferProgressPlan plan;
    plan.items.reserve(itemUnits.size());
    int64_t running = 0;
    for (const auto& entry : itemUnits) {
        if (entry.unitWireBytes.empty()) return std::nullopt;
        int64_t itemTotal = 0;
        for (int64_t unit : entry.unitWireBytes) {
            if (unit < 1 || __builtin_add_overflow(itemTotal, unit, &itemTotal)) return std::nullopt;
        }
        plan.items.push_back(Item{entry.id, entry.unitWireBytes, running, itemTotal});
        if (__builtin_add_overflow(running, itemTotal, &running)) return std::nullopt;
    }
    if (running <= 0) return std::nullopt;
    plan.totalWireBytes = running;
    return plan;
}

std::optional<TransferProgressPlan::Snapshot> TransferProgressPlan::snapshot(std::size_t itemIndex,
                                                                           std::size_t unitIndex,
                                                                           int64_t completedUnitWireBytes) const {
    if (itemIndex >= items.size()) return std::nullopt;
    const Item& item = items[itemIndex];
    if (unitIndex >= item.unitWireBytes.size()) return std::nullopt;
    int64_t done = 0;
    for (std::size_t i = 0; i < unitIndex; ++i) done += item.unitWireBytes[i];
    done += std::clamp<int64_t>(completedUnitWireBytes, 0, item.unitWireBytes[unitIndex]);
    const int64_t itemDone = std::clamp<int64_t>(done, 0, item.totalWireBytes);
    const int64_t overall = item.precedingWireBytes + itemDone;
    return Snapshot{static_cast<double>(itemDone) / static_cast<double>(item.totalWireBytes),
                    static_cast<double>(overall) / static_cast<double>(totalWireBytes),
                    static_cast<double>(overall)};
}

std::optional<TransferProgressPlan::Snapshot> TransferProgressPlan::completedItemSnapshot(std::size_t itemIndex) const {
    if (itemIndex >= items.size()) return std::nullopt;
    const Item& item = items[itemIndex];
    const int64_t overall = item.precedingWireBytes + item.totalWireBytes;
    return Snapshot{1, static_cast<double>(overall) / static_cast<double>(totalWireBytes),
                    static_cast<double>(overall)};
}

}  // namespace k7

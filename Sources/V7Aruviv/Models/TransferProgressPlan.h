#pragma once

#include <QUuid>
#include <cstdint>
#include <optional>
#include <vector>

namespace k7 {

// Maps each item's units of work (one SysEx message of a raw item, one SDS dump) to its share of
// the whole send, by wire bytes.
struct TransferProgressPlan {
    struct ItemUnits {
        QUuid id;
        std::vector<int64_t> unitWireBytes;  // in send order
        bool operator==(const ItemUnits&) const = default;
    };
    struct Item {
        QUuid id;
        std::vector<int64_t> unitWireBytes;
        int64_t precedingWireBytes = 0;  // all earlier items
        int64_t totalWireBytes = 0;      // this item's units
        bool operator==(const Item&) const = default;
    };
    struct Snapshot {
        double itemFraction = 0;
        double overallFraction = 0;
        double overallCompletedWireBytes = 0;
        bool operator==(const Snapshot&) const = default;
    };

    std::vector<Item> items;
    int64_t totalWireBytes = 0;  // always above 0

    // Nothing for an empty list, an item without units, a unit below 1 byte or a sum beyond
    // 64 bits.
    static std::optional<TransferProgressPlan> make(const std::vector<ItemUnits>& itemUnits);

    // Nothing for an index outside its list; the unit's completed bytes are clamped to the unit.
    std::optional<Snapshot> snapshot(std::size_t itemIndex, std::size_t unitIndex,
                                     int64_t completedUnitWireBytes) const;
    std::optional<Snapshot> completedItemSnapshot(std::size_t itemIndex) const;

    bool operator==(const TransferProgressPlan&) const = default;
};

}  // namespace k7

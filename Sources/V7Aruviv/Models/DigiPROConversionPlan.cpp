#include "V7Aruviv/Models/DigiPROConversionPlan.h"

#include <limits>

#include "V7Aruviv/Models/DigiPROPresentation.h"

namespace k7 {

namespace {
constexpr int64_t highestDigiPROPosition = 63;
}  // namespace

std::optional<DigiPROConversionPlan> DigiPROConversionPlan::make(const std::vector<const TransferItem*>& items,
                                                                 int64_t samplePosition) {
    if (items.empty()) return std::nullopt;
    for (const auto* item : items) {
        if (!item->isAudio()) return std::nullopt;
    }
    const auto n = static_cast<int64_t>(items.size());
    const int64_t first = samplePosition;
    int64_t last = 0;
    const bool overflows = __builtin_add_overflow(first, n - 1, &last);

    std::string positionText;
    if (overflows) {
        positionText = "Positions " + std::to_string(first) + " and above";
    } else {
        std::vector<int64_t> positions;
        positions.reserve(items.size());
        for (int64_t i = 0; i < n; ++i) positions.push_back(first + i);
        positionText = DigiPROPresentation::positionDescription(positions);
    }

    DigiPROConversionPlan plan;
    plan.itemCount = n;
    plan.startingPosition = first;
    plan.endingPosition = overflows ? std::numeric_limits<int64_t>::max() : last;
    plan.summary = "Create " + std::to_string(n) + " DigiPRO " + (n == 1 ? "file" : "files") + " \u2022 " + positionText;
    if (n != 1) plan.summary += " \u2022 List order";

    const auto refuse = [&plan](std::string text) {
        plan.summary = text;
        plan.help = text;
        plan.warning = std::move(text);
        return plan;
    };
    for (const auto* item : items) {
        if (!item->audioSample) {
            return refuse("The selected audio conversion data is unavailable. Re-import the affected file.");
        }
    }
    if (first < 0 || overflows || last > highestDigiPROPosition) {
        return refuse("DigiPRO positions are limited to 0\u202663; this ordered batch would use positions " +
                      std::to_string(first) + "\u2026" + (overflows ? std::string("above 63") : std::to_string(last)) +
                      ". Lower Sample Position or select fewer audio files.");
    }
    plan.help = plan.summary +
                ". Creates files only; it does not transmit. Each selected file uses its current loop and channel "
                "choices. Sample Position is the first Monomachine position. The created DigiPRO SysEx files send "
                "later as raw open loop.";
    return plan;
}

std::optional<DigiPROConversionPlan> DigiPROConversionPlan::make(const std::vector<TransferItem>& orderedItems,
                                                                 int64_t samplePosition) {
    std::vector<const TransferItem*> items;
    items.reserve(orderedItems.size());
    for (const auto& item : orderedItems) items.push_back(&item);
    return make(items, samplePosition);
}

}  // namespace k7

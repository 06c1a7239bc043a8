#include "K7Core/Elektron/ElektronBackupRepairPlan.h"

#include <algorithm>
#include <map>

#include "K7Core/Elektron/ElektronBackupRecordValidation.h"
#include "K7Core/Elektron/ElektronBackupAnalysis.h"

namespace k7 {

std::optional<ElektronBackupRepairPlan> ElektronBackupRepairPlan::make(std::span<const Bytes> messages,
                                                                       uint8_t fallbackDeviceID) {
    for (auto machine : {ElektronBackupMachine::machinedrum, ElektronBackupMachine::monomachine}) {
        const auto analysis = detail::analyzeElektronBackup(messages, detail::detectProfile(machine, messages));
        if (!analysis.isBackup) continue;
        auto targets = analysis.repairTargets();
        if (targets.empty()) continue;
        // Requests carry data bytes only; the instruments send 00 there themselves.
        const uint8_t deviceID = analysis.firstValidDeviceID.value_or(fallbackDeviceID <= 0x7F ? fallbackDeviceID : 0);
        return ElektronBackupRepairPlan(analysis.profile, std::move(targets), deviceID);
    }
    return std::nullopt;
}

bool ElektronBackupRepairPlan::isValidReplacement(ByteView message) const {
    const auto record = ElektronBackupRecordValidation::validate(message, machine());
    return record && record->isValid() && *record->encodedPosition < positionCount(profile_, record->command);
}

std::vector<Bytes> ElektronBackupRepairPlan::applying(const Replacements& replacements,
                                                      std::span<const Bytes> received) const {
    const auto analysis = detail::analyzeElektronBackup(received, profile_);

    std::vector<std::pair<std::size_t, const Bytes*>> usable;  // slot, replacement
    for (const auto& target : targets_) {
        const auto found = replacements.find(target);
        if (found == replacements.end()) continue;
        const auto record = ElektronBackupRecordValidation::validate(found->second, machine());
        if (!record || !record->isValid() || record->key() != target) continue;
        usable.emplace_back(detail::ElektronBackupAnalysis::slotOf(target.command(), target.position()),
                            &found->second);
    }

    // Where a missing record goes: before the message at this index (received.size() = at the end).
    std::map<std::size_t, std::size_t> firstMessageBySlot;
    for (std::size_t slot = 0; slot < detail::ElektronBackupAnalysis::slotCount; ++slot) {
        if (analysis.slots[slot].records > 0) firstMessageBySlot.emplace(slot, analysis.slots[slot].firstMessage);
    }
    std::vector<const Bytes*> replacementBySlot(detail::ElektronBackupAnalysis::slotCount, nullptr);
    std::multimap<std::size_t, std::size_t> insertionsBefore;  // message index -> slot, slots ascending
    for (const auto& [slot, bytes] : usable) {
        replacementBySlot[slot] = bytes;
        if (analysis.slots[slot].records > 0) continue;
        const auto after = firstMessageBySlot.lower_bound(slot);
        std::size_t before = received.size();
        if (after != firstMessageBySlot.begin()) {
            before = std::prev(after)->second + 1;
        } else if (after != firstMessageBySlot.end()) {
            before = after->second;
        }
        insertionsBefore.emplace(before, slot);
    }

    std::vector<Bytes> merged;
    merged.reserve(received.size() + insertionsBefore.size());
    const auto insertAt = [&](std::size_t index) {
        const auto [first, last] = insertionsBefore.equal_range(index);
        for (auto it = first; it != last; ++it) merged.push_back(*replacementBySlot[it->second]);
    };
    for (std::size_t index = 0; index < received.size(); ++index) {
        insertAt(index);
        const int slot = analysis.messageSlots[index];
        if (slot == detail::ElektronBackupAnalysis::noSlot || !replacementBySlot[slot]) {
            merged.push_back(received[index]);
        } else if (analysis.slots[slot].firstMessage == index) {
            merged.push_back(*replacementBySlot[slot]);
        }
    }
    insertAt(received.size());
    return merged;
}

ElektronBackupValidationSummary ElektronBackupRepairPlan::validationSummary(std::span<const Bytes> messages) const {
    const auto report = detail::makeValidationReport(detail::analyzeElektronBackup(messages, profile_), true);
    return {!report.correctiveWarning.has_value(), report.recognizedRecordCount};
}

}  // namespace k7

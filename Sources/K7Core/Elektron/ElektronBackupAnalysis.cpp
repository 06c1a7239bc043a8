#include "K7Core/Elektron/ElektronBackupAnalysis.h"

#include <algorithm>
#include <string>

#include "K7Core/Elektron/ElektronBackupRecordValidation.h"
#include "K7Core/Elektron/ElektronSysEx.h"

namespace k7::detail {

namespace {

constexpr std::size_t namesShown = 5;

std::string countedRecords(std::size_t count, std::string_view singularVerb, std::string_view pluralVerb) {
    std::string text = std::to_string(count) + (count == 1 ? " record " : " records ");
    text += count == 1 ? singularVerb : pluralVerb;
    return text;
}

std::string nameList(const std::vector<std::string>& names) {
    std::string text;
    const std::size_t shown = std::min(names.size(), namesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += (i + 1 == shown && shown == names.size()) ? " and " : ", ";
        text += names[i];
    }
    if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " more";
    return text;
}

std::vector<std::string> namesOf(std::vector<ElektronBackupRecordKey> keys) {
    std::sort(keys.begin(), keys.end());
    std::vector<std::string> names;
    names.reserve(keys.size());
    for (const auto& key : keys) names.push_back(key.displayName());
    return names;
}

std::string joinClauses(const std::vector<std::string>& clauses) {
    std::string text;
    for (std::size_t i = 0; i < clauses.size(); ++i) {
        if (i > 0) text += i + 1 == clauses.size() ? " and " : ", ";
        text += clauses[i];
    }
    return text;
}

}  // namespace

std::size_t ElektronBackupAnalysis::recognizedCount() const {
    return static_cast<std::size_t>(
        std::count_if(slots.begin(), slots.end(), [](const Slot& slot) { return slot.validRecords > 0; }));
}

std::vector<ElektronBackupRecordKey> ElektronBackupAnalysis::missingKeys() const {
    std::vector<ElektronBackupRecordKey> keys;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (inProfile(slot) && slots[slot].records == 0) keys.push_back(keyOf(slot));
    }
    return keys;
}

std::vector<ElektronBackupRecordKey> ElektronBackupAnalysis::duplicateKeys() const {
    std::vector<ElektronBackupRecordKey> keys;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        if (slots[slot].records > 1) keys.push_back(keyOf(slot));
    }
    return keys;
}

std::vector<ElektronBackupRecordKey> ElektronBackupAnalysis::repairTargets() const {
    std::vector<ElektronBackupRecordKey> keys;
    for (std::size_t slot = 0; slot < slotCount; ++slot) {
        const Slot& s = slots[slot];
        if (inProfile(slot) && (s.records != 1 || s.validRecords != 1)) keys.push_back(keyOf(slot));
    }
    return keys;
}

bool carriesMonomachineEMSData(std::span<const Bytes> messages) {
    return std::any_of(messages.begin(), messages.end(), [](const Bytes& message) {
        return message.size() >= 8 && ElektronSysEx::hasManufacturerID(message) &&
               message[4] == static_cast<uint8_t>(ElektronProduct::monomachine) &&
               (message[6] == 0x63 || message[6] == 0x6F);
    });
}

ElektronBackupProfile detectProfile(ElektronBackupMachine machine, std::span<const Bytes> messages) {
    if (machine == ElektronBackupMachine::machinedrum) return ElektronBackupProfile::machinedrum;
    return carriesMonomachineEMSData(messages) ? ElektronBackupProfile::monomachineEMS
                                               : ElektronBackupProfile::monomachineStock;
}

ElektronBackupAnalysis analyzeElektronBackup(std::span<const Bytes> messages, ElektronBackupProfile profile) {
    ElektronBackupAnalysis analysis;
    analysis.machine = machineOf(profile);
    analysis.profile = profile;
    analysis.messageSlots.assign(messages.size(), ElektronBackupAnalysis::noSlot);
    std::array<bool, 4> commandsSeen{};

    for (std::size_t index = 0; index < messages.size(); ++index) {
        const auto record = ElektronBackupRecordValidation::validate(messages[index], analysis.machine);
        if (!record) continue;
        commandsSeen[static_cast<std::size_t>(record->command)] = true;
        if (!record->encodedPosition) {
            ++analysis.invalidCount;
            analysis.positionlessRecords.push_back(record->command);
            continue;
        }
        const std::size_t slot = ElektronBackupAnalysis::slotOf(record->command, *record->encodedPosition);
        if (!analysis.inProfile(slot)) {
            analysis.unexpectedKeys.push_back(*record->key());
            continue;
        }
        auto& s = analysis.slots[slot];
        if (s.records == 0) s.firstMessage = index;
        if (++s.records > 1) ++analysis.duplicateCount;
        analysis.messageSlots[index] = static_cast<int>(slot);
        if (record->isValid()) {
            ++s.validRecords;
            if (!analysis.firstValidDeviceID) analysis.firstValidDeviceID = record->deviceID;
        } else {
            ++analysis.invalidCount;
            analysis.invalidKeys.push_back(*record->key());
        }
    }
    analysis.isBackup = commandsSeen[0] && (commandsSeen[1] || commandsSeen[2] || commandsSeen[3]);
    return analysis;
}

ElektronBackupValidationReport makeValidationReport(const ElektronBackupAnalysis& analysis, bool forceBackup) {
    ElektronBackupValidationReport report;
    report.isBackup = analysis.isBackup;
    report.profile = analysis.profile;
    report.recognizedRecordCount = analysis.recognizedCount();
    report.invalidRecordCount = analysis.invalidCount;
    report.duplicateRecordCount = analysis.duplicateCount;
    report.unexpectedRecordCount = analysis.unexpectedKeys.size();
    const bool asBackup = analysis.isBackup || forceBackup;
    const auto missing = asBackup ? analysis.missingKeys() : std::vector<ElektronBackupRecordKey>{};
    report.missingRecordCount = missing.size();

    const std::string machine(displayName(analysis.machine));
    std::vector<std::string> clauses;
    if (!missing.empty()) {
        clauses.push_back(countedRecords(missing.size(), "is missing", "are missing") + " (" +
                          nameList(namesOf(missing)) + ")");
    }
    if (analysis.invalidCount > 0) {
        auto names = namesOf(analysis.invalidKeys);
        for (auto command : analysis.positionlessRecords) {
            names.push_back(std::string(displayName(command)) + " without a position");
        }
        clauses.push_back(countedRecords(analysis.invalidCount, "fails", "fail") +
                          " the length, checksum or data check (" + nameList(names) + ")");
    }
    if (analysis.duplicateCount > 0) {
        clauses.push_back(countedRecords(analysis.duplicateCount, "repeats a position", "repeat positions") +
                          " already received (" + nameList(namesOf(analysis.duplicateKeys())) + ")");
    }
    if (!analysis.unexpectedKeys.empty()) {
        clauses.push_back(countedRecords(analysis.unexpectedKeys.size(), "has a position", "have positions") +
                          " the " + machine + " does not have (" + nameList(namesOf(analysis.unexpectedKeys)) + ")");
    }
    if (clauses.empty()) return report;

    std::string warning = asBackup ? "This " + machine + " backup is not complete and valid: "
                                   : "These " + machine + " dumps are not all valid: ";
    warning += joinClauses(clauses);
    warning += asBackup ? "; receive the backup again with a MIDI output selected, so that the affected records are "
                          "requested from the " + machine + " again."
                        : "; dump the affected records from the " + machine + " again before sending them.";
    report.correctiveWarning = std::move(warning);
    return report;
}

}  // namespace k7::detail

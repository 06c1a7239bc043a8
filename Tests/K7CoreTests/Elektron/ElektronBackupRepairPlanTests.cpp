#include <gtest/gtest.h>

#include <functional>

#include "ElektronBackupRecordBuilder.h"
#include "K7Core/Elektron/ElektronBackupRepairPlan.h"
#include "K7Core/Elektron/MachinedrumBackupRepairPlan.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineBackupRepairPlan.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"

namespace k7 {
namespace {

using Builder = testing::ElektronBackupRecordBuilder;
using Command = ElektronBackupCommand;
using Profile = ElektronBackupProfile;

ElektronBackupValidationReport validate(Profile profile, const std::vector<Bytes>& messages) {
    return profile == Profile::machinedrum ? MachinedrumDumpValidator::validate(messages)
                                           : MonomachineDumpValidator::validate(messages);
}

std::size_t indexOf(Profile profile, Command command, uint8_t position) {
    std::size_t index = position;
    for (auto earlier : allElektronBackupCommands) {
        if (earlier == command) break;
        index += positionCount(profile, earlier);
    }
    return index;
}

ElektronBackupRecordKey key(Profile profile, Command command, uint8_t position) {
    return ElektronBackupRecordKey(machineOf(profile), command, position);
}

// One way a received backup goes wrong, and what the validator and the plan must make of it.
struct Damage {
    const char* name;
    std::function<void(Profile, std::vector<Bytes>&)> apply;
    std::vector<std::pair<Command, uint8_t>> targets;
    std::size_t missing, invalid, duplicate;
    const char* warningPart;
};

std::vector<Bytes>::iterator at(Profile p, std::vector<Bytes>& m, Command c, std::size_t position) {
    return m.begin() + static_cast<std::ptrdiff_t>(indexOf(p, c, static_cast<uint8_t>(position)));
}

std::vector<Damage> damages() {
    using M = std::vector<Bytes>;
    return {
        {"missingFirstGlobal", [](Profile p, M& m) { m.erase(at(p, m, Command::global, 0)); }, {{Command::global, 0}},
         1, 0, 0, "1 record is missing (global 0)"},
        {"missingLastSongAndAKit",
         [](Profile p, M& m) {
             m.erase(at(p, m, Command::song, positionCount(p, Command::song) - 1));
             m.erase(at(p, m, Command::kit, 17));
         },
         {{Command::kit, 17}, {Command::song, 0xFF}}, 2, 0, 0, "2 records are missing (kit 17 and song "},
        {"corruptedPattern",
         [](Profile p, M& m) {
             auto record = at(p, m, Command::pattern, 40);
             *record = Builder::withCorruptedPayload(*record);
         },
         {{Command::pattern, 40}}, 0, 1, 0, "1 record fails the length, checksum or data check (pattern 40)"},
        {"duplicatedKitAppended", [](Profile p, M& m) { m.push_back(*at(p, m, Command::kit, 2)); }, {{Command::kit, 2}},
         0, 0, 1, "1 record repeats a position already received (kit 2)"},
        {"kitReceivedTwiceOnceDamaged",
         [](Profile p, M& m) {
             const auto record = at(p, m, Command::kit, 9);
             m.insert(record, Builder::withCorruptedPayload(*record));
         },
         {{Command::kit, 9}}, 0, 1, 1, "(kit 9)"},
        {"allPatternsMissing",
         [](Profile p, M& m) { m.erase(at(p, m, Command::pattern, 0), at(p, m, Command::pattern, 128)); },
         {}, 128, 0, 0, "128 records are missing (pattern 0, pattern 1, pattern 2, pattern 3, pattern 4 and 123 more)"},
    };
}

struct RepairCase {
    Profile profile;
    Damage damage;
    friend void PrintTo(const RepairCase& c, std::ostream* out) { *out << displayName(c.profile) << " " << c.damage.name; }
};

class ElektronBackupRepairTests : public ::testing::TestWithParam<RepairCase> {};

TEST_P(ElektronBackupRepairTests, DamageIsReportedPlannedAndRepaired) {
    const auto& [profile, damage] = GetParam();
    const auto complete = Builder::backup(profile);
    auto received = complete;
    damage.apply(profile, received);

    const auto report = validate(profile, received);
    EXPECT_TRUE(report.isBackup);
    EXPECT_EQ(report.profile, profile);
    EXPECT_EQ(report.missingRecordCount, damage.missing);
    EXPECT_EQ(report.invalidRecordCount, damage.invalid);
    EXPECT_EQ(report.duplicateRecordCount, damage.duplicate);
    ASSERT_TRUE(report.correctiveWarning);
    EXPECT_NE(report.correctiveWarning->find(damage.warningPart), std::string::npos) << *report.correctiveWarning;

    const auto plan = ElektronBackupRepairPlan::make(received, 0x05);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->profile(), profile);
    EXPECT_EQ(plan->expectedRecordCount(), expectedRecordCount(profile));
    EXPECT_EQ(plan->deviceID(), 0x00);  // what the records carry, not the fallback
    std::vector<ElektronBackupRecordKey> expectedTargets;
    for (auto [command, position] : damage.targets) {
        if (position == 0xFF) position = static_cast<uint8_t>(positionCount(profile, command) - 1);
        expectedTargets.push_back(key(profile, command, position));
    }
    if (damage.targets.empty()) {
        for (uint8_t position = 0; position < 128; ++position) {
            expectedTargets.push_back(key(profile, Command::pattern, position));
        }
    }
    EXPECT_EQ(plan->targets(), expectedTargets);
    EXPECT_FALSE(plan->validationSummary(received).isValid);

    ElektronBackupRepairPlan::Replacements replacements;
    for (const auto& target : plan->targets()) {
        const Bytes& fresh = complete[indexOf(profile, target.command(), target.position())];
        EXPECT_TRUE(plan->isValidReplacement(fresh));
        replacements.emplace(target, fresh);
    }
    const auto merged = plan->applying(replacements, received);
    EXPECT_EQ(plan->validationSummary(merged), (ElektronBackupValidationSummary{true, expectedRecordCount(profile)}));
    // Every replacement lands where its record belongs.
    EXPECT_EQ(merged, complete);
    // The community firmware's extended-data dumps choose its profile and are not counted as records.
    const auto whole = validate(profile, merged);
    EXPECT_EQ(whole.correctiveWarning, std::nullopt);
    const std::size_t records = profile == Profile::machinedrum ? 232 : profile == Profile::monomachineEMS ? 276 : 288;
    EXPECT_EQ(whole.recognizedRecordCount, records);
}

std::vector<RepairCase> repairCases() {
    std::vector<RepairCase> cases;
    for (auto profile : {Profile::machinedrum, Profile::monomachineStock, Profile::monomachineEMS}) {
        for (const auto& damage : damages()) cases.push_back({profile, damage});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Profiles, ElektronBackupRepairTests, ::testing::ValuesIn(repairCases()),
                         [](const auto& info) {
                             return std::string(displayName(info.param.profile)) + "_" + info.param.damage.name;
                         });

TEST(ElektronBackupRepairPlanTests, NoPlanWithoutABackupOrWithoutWorkToDo) {
    const std::vector<std::vector<Bytes>> lists{
        {},
        Builder::backup(Profile::machinedrum),
        Builder::backup(Profile::monomachineEMS),
        // A damaged kit on its own is reported, but is no backup to complete.
        {Builder::withCorruptedPayload(Builder::machinedrum(Command::kit, 1))},
    };
    for (const auto& list : lists) EXPECT_FALSE(ElektronBackupRepairPlan::make(list, 0));

    // Only a record at a position the instrument lacks: nothing can be requested for it.
    auto extra = Builder::backup(Profile::machinedrum);
    extra.push_back(Builder::machinedrum(Command::kit, 64));
    EXPECT_TRUE(MachinedrumDumpValidator::validate(extra).correctiveWarning);
    EXPECT_FALSE(ElektronBackupRepairPlan::make(extra, 0));
}

TEST(ElektronBackupRepairPlanTests, DeviceIDComesFromTheRecordsElseTheSevenBitFallback) {
    std::vector<Bytes> received{Builder::monomachine(Command::global, 0), Builder::monomachine(Command::kit, 0)};
    received[0][5] = 0x03;
    received[0] = Builder::resealed(received[0]);
    EXPECT_EQ(ElektronBackupRepairPlan::make(received, 9)->deviceID(), 0x03);

    for (auto& message : received) message = Builder::withCorruptedPayload(message);
    EXPECT_EQ(ElektronBackupRepairPlan::make(received, 9)->deviceID(), 9);
    EXPECT_EQ(ElektronBackupRepairPlan::make(received, 0x80)->deviceID(), 0);
}

TEST(ElektronBackupRepairPlanTests, ReplacementsThatDoNotMatchTheirTargetAreNotMerged) {
    const auto complete = Builder::backup(Profile::machinedrum);
    auto received = complete;
    const std::size_t kit5 = indexOf(Profile::machinedrum, Command::kit, 5);
    received[kit5] = Builder::withCorruptedPayload(received[kit5]);
    const auto plan = ElektronBackupRepairPlan::make(received, 0);
    ASSERT_TRUE(plan);
    const auto kit5Key = key(Profile::machinedrum, Command::kit, 5);

    // Another position, damaged again, the other instrument's.
    const std::vector<Bytes> wrongReplies{complete[kit5 + 1], Builder::withCorruptedPayload(complete[kit5]),
                                          Builder::monomachine(Command::kit, 5)};
    for (const auto& reply : wrongReplies) {
        const auto merged = plan->applying({{kit5Key, reply}}, received);
        EXPECT_EQ(merged, received);
        EXPECT_FALSE(plan->validationSummary(merged).isValid);
    }
    EXPECT_FALSE(plan->isValidReplacement(wrongReplies[1]));
    EXPECT_FALSE(plan->isValidReplacement(wrongReplies[2]));
    // A valid record that is not a target is a valid reply, yet merging leaves its record alone.
    EXPECT_TRUE(plan->isValidReplacement(complete[kit5 + 1]));
    EXPECT_EQ(plan->applying({{key(Profile::machinedrum, Command::kit, 6), complete[kit5 + 1]}}, received), received);
    EXPECT_FALSE(plan->isValidReplacement(Builder::machinedrum(Command::kit, 64)));
}

TEST(ElektronBackupRepairPlanTests, MergeKeepsOtherMessagesAndPlacesMissingRecordsByBackupOrder) {
    const Bytes other{0xF0, 0x7E, 0x00, 0x01, 0xF7};
    const auto mnm = [](Command c, uint8_t position) { return Builder::monomachine(c, position); };
    const std::vector<Bytes> received{other, mnm(Command::kit, 9), mnm(Command::global, 0), other, mnm(Command::kit, 4)};
    const auto plan = ElektronBackupRepairPlan::make(received, 0);
    ASSERT_TRUE(plan);
    ElektronBackupRepairPlan::Replacements replacements;
    for (auto [c, position] : {std::pair{Command::kit, 5}, {Command::kit, 0}, {Command::song, 0}}) {
        replacements.emplace(key(Profile::monomachineStock, c, static_cast<uint8_t>(position)), mnm(c, position));
    }
    // kit 0 follows global 0, kit 5 follows kit 4, song 0 follows the last record before it (kit 9).
    EXPECT_EQ(plan->applying(replacements, received),
              (std::vector<Bytes>{other, mnm(Command::kit, 9), mnm(Command::song, 0), mnm(Command::global, 0),
                                  mnm(Command::kit, 0), other, mnm(Command::kit, 4), mnm(Command::kit, 5)}));
}

TEST(ElektronBackupRepairPlanTests, RequestsAreNineBytesForTheirOwnInstrumentOnly) {
    using MD = MachinedrumRecordKey;
    using MNM = MonomachineRecordKey;
    const auto request = [](uint8_t product, uint8_t device, uint8_t id, uint8_t position) {
        return Bytes{0xF0, 0x00, 0x20, 0x3C, product, device, id, position, 0xF7};
    };
    const std::vector<std::tuple<ElektronBackupRecordKey, uint8_t, std::optional<Bytes>>> cases{
        {MD{Command::global, 7}, 0, request(0x02, 0, 0x51, 0x07)},
        {MD{Command::kit, 5}, 0, request(0x02, 0, 0x53, 0x05)},
        {MD{Command::pattern, 127}, 1, request(0x02, 1, 0x68, 0x7F)},
        {MD{Command::song, 31}, 0, request(0x02, 0, 0x6A, 0x1F)},
        {MD{Command::kit, 64}, 0, std::nullopt},
        {MD{Command::song, 32}, 0, std::nullopt},
        {MD{Command::kit, 1}, 0x80, std::nullopt},
        {MNM{Command::kit, 127}, 0, request(0x03, 0, 0x53, 0x7F)},
        {MNM{Command::song, 23}, 0, request(0x03, 0, 0x6A, 0x17)},
        {MNM{Command::song, 24}, 0, std::nullopt},
        {MNM{Command::global, 8}, 0, std::nullopt},
    };
    for (const auto& [key, device, bytes] : cases) {
        EXPECT_EQ(key.machine() == ElektronBackupMachine::machinedrum ? MachinedrumBackupRepairPlan::request(key, device)
                                                                     : MonomachineBackupRepairPlan::request(key, device),
                  bytes)
            << key.displayName();
    }
    EXPECT_FALSE(MachinedrumBackupRepairPlan::request(MNM{Command::kit, 1}, 0));
    EXPECT_FALSE(MonomachineBackupRepairPlan::request(MD{Command::kit, 1}, 0));
}

TEST(ElektronBackupRepairPlanTests, WarningIsOneSentenceForAFullyDamagedBackup) {
    auto received = Builder::backup(Profile::machinedrum);
    received.erase(received.begin() + 8, received.begin() + 15);  // kits 0...6
    received[0] = Builder::withCorruptedPayload(received[0]);
    received.push_back(received[1]);
    received.push_back(Builder::machinedrum(Command::song, 40));
    EXPECT_EQ(MachinedrumDumpValidator::validate(received).correctiveWarning,
              "This Machinedrum backup is not complete and valid: 7 records are missing (kit 0, kit 1, kit 2, kit 3, "
              "kit 4 and 2 more), 1 record fails the length, checksum or data check (global 0), 1 record repeats a "
              "position already received (global 1) and 1 record has a position the Machinedrum does not have "
              "(song 40); receive the backup again with a MIDI output selected, so that the affected records are "
              "requested from the Machinedrum again.");
}

}  // namespace
}  // namespace k7

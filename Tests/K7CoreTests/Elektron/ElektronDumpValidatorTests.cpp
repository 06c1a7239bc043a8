#include <gtest/gtest.h>

#include "ElektronBackupRecordBuilder.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using Builder = testing::ElektronBackupRecordBuilder;
using Command = ElektronBackupCommand;
using Fault = ElektronBackupRecordFault;
using Profile = ElektronBackupProfile;

// Files written by instruments: lengths vary with the packing, and one Monomachine kit closes its
// 7-bit block with an empty group.
TEST(ElektronDumpValidators, RealDumpsValidateCleanAsSingleRecords) {
    const auto folder = test::sharedTestData();
    if (!folder) GTEST_SKIP() << "shared test data folder not found beside the project";
    const std::vector<std::pair<std::string, std::vector<std::pair<Command, uint8_t>>>> dumps{
        {"md-kit-distorted.syx", {{Command::kit, 44}}},       {"mnm-global-99.syx", {{Command::global, 7}}},
        {"mnm-global-102.syx", {{Command::global, 0}}},       {"mnm-kit-598.syx", {{Command::kit, 0}}},
        {"mnm-kit-667.syx", {{Command::kit, 0}}},             {"mnm-pat-243.syx", {{Command::pattern, 0}}},
        {"mnm-pat-full-a01-569.syx", {{Command::pattern, 0}}}, {"mnm-song-1698.syx", {{Command::song, 0}}},
        {"mnm-pat-kit-841.syx", {{Command::kit, 0}, {Command::pattern, 0}}},
        {"mnm-patkit-1249.syx", {{Command::kit, 5}, {Command::pattern, 0}}},
    };
    for (const auto& [file, records] : dumps) {
        SCOPED_TRACE(file);
        const bool md = file.starts_with("md-");
        const auto validate = [&](ByteView m) {
            return md ? MachinedrumDumpValidator::validate(m) : MonomachineDumpValidator::validate(m);
        };
        const auto messages = SysExFileCodec::parse(test::readFile(*folder / "elektron" / file)).messages;
        ASSERT_EQ(messages.size(), records.size());
        for (std::size_t i = 0; i < messages.size(); ++i) {
            const Bytes& message = messages[i];
            EXPECT_EQ((message[message.size() - 3] << 7 | message[message.size() - 2]), int(message.size() - 10));
            const auto record = validate(message);
            ASSERT_TRUE(record);
            EXPECT_EQ(std::pair(record->command, *record->encodedPosition), records[i]);
            EXPECT_EQ(record->fault, std::nullopt) << describe(*record->fault);
            // The checksum starts at the position byte; counted from the byte after it, it fails.
            if (*record->encodedPosition != 0) {
                EXPECT_EQ(validate(Builder::resealed(message, 10))->fault, Fault::checksumMismatch);
            }
        }
        const auto report = md ? MachinedrumDumpValidator::validate(messages) : MonomachineDumpValidator::validate(messages);
        EXPECT_EQ(report.correctiveWarning, std::nullopt);
        EXPECT_FALSE(report.isBackup);
        EXPECT_EQ(report.recognizedRecordCount, messages.size());
    }
}

TEST(MachinedrumDumpValidator, EveryKindValidatesAtItsSizeAndNoOther) {
    const std::vector<std::pair<Bytes, std::size_t>> cases{
        {Builder::machinedrum(Command::global, 7), 197},       {Builder::machinedrum(Command::kit, 63), 1233},
        {Builder::machinedrum(Command::pattern, 0), 2763},     {Builder::machinedrum(Command::pattern, 127, true), 5410},
        {Builder::machinedrum(Command::song, 31, false, 9), 139},
    };
    for (const auto& [record, size] : cases) {
        ASSERT_EQ(record.size(), size);
        EXPECT_TRUE(MachinedrumDumpValidator::validate(ByteView(record))->isValid()) << size;
        // One song row (12 bytes) longer or shorter, resealed so only the size is wrong: only songs vary.
        const bool isSong = record[6] == 0x69;
        const Bytes longer = test::concat({Bytes(record.begin(), record.end() - 5), Bytes(12, 0x11)});
        const Bytes shorter(record.begin(), record.end() - 17);
        EXPECT_EQ(MachinedrumDumpValidator::validate(ByteView(Builder::sealed(longer)))->isValid(), isSong) << size;
        EXPECT_EQ(MachinedrumDumpValidator::validate(ByteView(Builder::sealed(shorter)))->fault,
                  isSong ? std::nullopt : std::optional(Fault::unexpectedSize)) << size;
    }
}

Bytes kit(uint8_t position) { return Builder::machinedrum(Command::kit, position); }
Bytes withByte(Bytes message, std::size_t offset, uint8_t value) {
    message[offset] = value;
    return message;
}

TEST(MachinedrumDumpValidator, ReportsTheFirstFaultAndThePositionByte) {
    const std::vector<std::tuple<Bytes, std::optional<uint8_t>, std::optional<Fault>>> cases{
        {withByte(kit(5), 5, 0x09), 5, std::nullopt},  // another device byte
        {Builder::withCorruptedPayload(kit(5)), 5, Fault::checksumMismatch},
        {Builder::resealed(kit(5), 10), 5, Fault::checksumMismatch},
        {withByte(kit(5), 9, 6), 6, Fault::checksumMismatch},  // the position is in the checksum
        {Builder::withLengthField(kit(5), 1224), 5, Fault::lengthMismatch},
        {withByte(kit(5), 100, 0x90), 5, Fault::malformedFrame},
        {withByte(kit(5), 1232, 0x00), 5, Fault::malformedFrame},
        {Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0x04, 0x01, 0x05, 0xF7}, 5, Fault::truncated},
        {Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0x04, 0x01, 0xF7}, std::nullopt, Fault::truncated},
    };
    for (const auto& [message, position, fault] : cases) {
        const auto record = MachinedrumDumpValidator::validate(ByteView(message));
        ASSERT_TRUE(record);
        EXPECT_EQ(record->encodedPosition, position);
        EXPECT_EQ(record->fault, fault) << (fault ? describe(*fault) : "valid");
    }
}

TEST(ElektronDumpValidators, IgnoreMessagesThatAreNoDumpOfTheirInstrument) {
    const std::vector<Bytes> others{
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53, 0x05, 0xF7},  // a kit request
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, 0x01, 0x41, 0x42, 0x43, 0x44, 0xF7},
        Builder::monomachine(Command::kit, 1),
        {0xF0, 0x7E, 0x00, 0x01, 0xF7},
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00},
    };
    for (const auto& message : others) EXPECT_FALSE(MachinedrumDumpValidator::validate(ByteView(message)));
    EXPECT_EQ(MachinedrumDumpValidator::validate(others), ElektronBackupValidationReport{});
    ElektronBackupValidationReport nothing;
    nothing.profile = Profile::monomachineStock;
    EXPECT_EQ(MonomachineDumpValidator::validate(Builder::backup(Profile::machinedrum)), nothing);
}

TEST(MachinedrumDumpValidator, SingleDumpsAreNeverAnIncompleteBackupYetTheirProblemsAreReported) {
    for (const auto& list : {std::vector<Bytes>{kit(3), kit(4), Builder::machinedrum(Command::pattern, 9)},
                             std::vector<Bytes>{Builder::machinedrum(Command::global, 0)}}) {
        const auto report = MachinedrumDumpValidator::validate(list);
        EXPECT_FALSE(report.isBackup);
        EXPECT_EQ(report.missingRecordCount, 0u);
        EXPECT_EQ(report.correctiveWarning, std::nullopt);
    }
    // A global and one other kind make a backup, and everything else is then missing.
    const auto report = MachinedrumDumpValidator::validate(std::vector{Builder::machinedrum(Command::global, 0), kit(0)});
    EXPECT_TRUE(report.isBackup);
    EXPECT_EQ(report.missingRecordCount, 230u);
    // Problems outside a backup are still reported.
    const auto loose = MachinedrumDumpValidator::validate(
        std::vector{kit(3), Builder::withCorruptedPayload(kit(4)), kit(3), kit(64)});
    EXPECT_FALSE(loose.isBackup);
    EXPECT_EQ(std::tuple(loose.recognizedRecordCount, loose.invalidRecordCount, loose.duplicateRecordCount,
                         loose.unexpectedRecordCount),
              std::tuple(1u, 1u, 1u, 1u));
    EXPECT_EQ(loose.correctiveWarning,
              "These Machinedrum dumps are not all valid: 1 record fails the length, checksum or data check (kit 4), "
              "1 record repeats a position already received (kit 3) and 1 record has a position the Machinedrum "
              "does not have (kit 64); dump the affected records from the Machinedrum again before sending them.");
}

// A kit record around the given 7-bit-encoded payload, sealed.
Bytes kitWithEncodedPayload(const Bytes& encoded) {
    return Builder::sealed(test::concat({Bytes{0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x02, 0x01, 0x03}, encoded}));
}
Bytes kitWithPackedPayload(const Bytes& packed) { return kitWithEncodedPayload(ElektronSevenBit::encode(packed)); }

TEST(MonomachineDumpValidator, PayloadMustDecodeAndUnpack) {
    const std::vector<std::pair<Bytes, bool>> cases{
        {kitWithPackedPayload({0x01, 0x02, 0x03}), true},
        {kitWithPackedPayload({0xFF, 0x00, 0x05}), true},  // the longest run
        {kitWithPackedPayload({0x81, 0xC0, 0x01}), true},  // a high byte written as a run of one
        {kitWithPackedPayload({0x80, 0x11, 0x01}), false},  // a run of zero
        {kitWithPackedPayload({0x01, 0x02, 0x85}), false},  // a run marker without its byte
        // Real kits end with a lone zero byte: it carries nothing, so only a zero is accepted.
        {kitWithEncodedPayload({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00}), true},
        {kitWithEncodedPayload({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x40}), false},
        {Builder::monomachine(Command::pattern, 127, true), true},
    };
    for (const auto& [message, valid] : cases) {
        const auto record = MonomachineDumpValidator::validate(ByteView(message));
        ASSERT_TRUE(record);
        EXPECT_EQ(record->fault, valid ? std::nullopt : std::optional(Fault::undecodablePayload))
            << ::testing::PrintToString(Bytes(message.begin() + 10, message.end() - 5));
    }
}

TEST(MonomachineDumpValidator, SongSlotsTheCommunityFirmwareReusesAreUnexpectedThere) {
    auto backup = Builder::backup(Profile::monomachineEMS);
    backup.push_back(Builder::monomachine(Command::song, 12));
    const auto report = MonomachineDumpValidator::validate(backup);
    EXPECT_EQ(report.unexpectedRecordCount, 1u);
    EXPECT_NE(report.correctiveWarning->find("(song 12)"), std::string::npos);

    // The stock firmware has 24 songs; it was the extended data that chose the smaller profile.
    auto stock = Builder::backup(Profile::monomachineStock);
    const auto stockReport = MonomachineDumpValidator::validate(stock);
    EXPECT_EQ(stockReport.correctiveWarning, std::nullopt);
    stock.push_back(Builder::monomachine(Command::song, 24));
    EXPECT_EQ(MonomachineDumpValidator::validate(stock).unexpectedRecordCount, 1u);
}

}  // namespace
}  // namespace k7

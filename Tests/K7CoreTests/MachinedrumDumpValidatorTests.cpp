#include <gtest/gtest.h>

#include "ElektronBackupRecordBuilder.h"
#include "ElektronBackupTestData.h"
#include "K7Core/MachinedrumDumpValidator.h"
#include "K7Core/SysExFileCodec.h"

namespace k7 {
namespace {

using testing::ElektronBackupRecordBuilder;
using Command = ElektronBackupCommand;
using Fault = ElektronBackupRecordFault;

TEST(MachinedrumDumpValidatorTests, RealKitDumpHasTheRecordedSizeChecksumAndPosition) {
    const auto file = testing::readElektronTestData("md-kit-distorted.syx");
    if (!file) GTEST_SKIP() << "real dump not found in " << testing::elektronTestDataFolder();
    const auto messages = SysExFileCodec::parse(*file).messages;
    ASSERT_EQ(messages.size(), 1u);
    const Bytes& kit = messages[0];
    EXPECT_EQ(kit.size(), 1233u);
    EXPECT_EQ((kit[kit.size() - 3] << 7 | kit[kit.size() - 2]), 1223);

    const auto record = MachinedrumDumpValidator::validate(ByteView(kit));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->command, Command::kit);
    EXPECT_EQ(record->encodedPosition, 44);
    EXPECT_TRUE(record->isValid());
    // The checksum runs from the position byte: counted from the next byte, this kit fails.
    EXPECT_EQ(MachinedrumDumpValidator::validate(ByteView(ElektronBackupRecordBuilder::resealed(kit, 10)))->fault,
              Fault::checksumMismatch);

    const auto report = MachinedrumDumpValidator::validate(messages);
    EXPECT_EQ(report.correctiveWarning, std::nullopt);
    EXPECT_FALSE(report.isBackup);
    EXPECT_EQ(report.recognizedRecordCount, 1u);
}

struct SizeCase {
    const char* name;
    Bytes record;
    std::size_t expectedSize;
    friend void PrintTo(const SizeCase& c, std::ostream* out) { *out << c.name; }
};

class MachinedrumRecordSizeTests : public ::testing::TestWithParam<SizeCase> {};

TEST_P(MachinedrumRecordSizeTests, EveryKindValidatesAtItsSizeAndNoOther) {
    const auto& [name, record, expectedSize] = GetParam();
    ASSERT_EQ(record.size(), expectedSize) << name;
    EXPECT_TRUE(MachinedrumDumpValidator::validate(ByteView(record))->isValid());

    // A record one song row (12 bytes) longer or shorter, resealed so only its size is wrong.
    for (const int delta : {-12, 12}) {
        Bytes resized(record.begin(), record.end() - 5);
        if (delta < 0) {
            resized.resize(resized.size() - 12);
        } else {
            resized.insert(resized.end(), 12, 0x11);
        }
        const auto result = MachinedrumDumpValidator::validate(ByteView(ElektronBackupRecordBuilder::sealed(resized)));
        const bool isSong = record[6] == 0x69;
        EXPECT_EQ(result->fault, isSong ? std::nullopt : std::optional(Fault::unexpectedSize)) << name << delta;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MachinedrumRecordSizeTests,
    ::testing::Values(SizeCase{"global", ElektronBackupRecordBuilder::machinedrum(Command::global, 7), 197},
                      SizeCase{"kit", ElektronBackupRecordBuilder::machinedrum(Command::kit, 63), 1233},
                      SizeCase{"pattern", ElektronBackupRecordBuilder::machinedrum(Command::pattern, 0), 2763},
                      SizeCase{"longPattern", ElektronBackupRecordBuilder::machinedrum(Command::pattern, 127, true),
                               5410},
                      SizeCase{"song", ElektronBackupRecordBuilder::machinedrum(Command::song, 31, false, 9), 139}),
    [](const auto& info) { return std::string(info.param.name); });

struct FaultCase {
    const char* name;
    Bytes message;
    std::optional<uint8_t> position;
    std::optional<Fault> fault;
    friend void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }
};

class MachinedrumRecordFaultTests : public ::testing::TestWithParam<FaultCase> {};

TEST_P(MachinedrumRecordFaultTests, ReportsTheFirstFault) {
    const auto& param = GetParam();
    const auto record = MachinedrumDumpValidator::validate(ByteView(param.message));
    ASSERT_TRUE(record) << param.name;
    EXPECT_EQ(record->encodedPosition, param.position);
    EXPECT_EQ(record->fault, param.fault);
}

Bytes kit(uint8_t position) { return ElektronBackupRecordBuilder::machinedrum(Command::kit, position); }

Bytes withByte(Bytes message, std::size_t offset, uint8_t value) {
    message[offset] = value;
    return message;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MachinedrumRecordFaultTests,
    ::testing::Values(
        FaultCase{"valid", kit(5), 5, std::nullopt},
        FaultCase{"otherDeviceByteStillValid", withByte(kit(5), 5, 0x09), 5, std::nullopt},
        FaultCase{"corruptedPayload", ElektronBackupRecordBuilder::withCorruptedPayload(kit(5)), 5,
                  Fault::checksumMismatch},
        FaultCase{"checksumFromOffset10", ElektronBackupRecordBuilder::resealed(kit(5), 10), 5, Fault::checksumMismatch},
        FaultCase{"positionChangedWithoutNewChecksum", withByte(kit(5), 9, 6), 6, Fault::checksumMismatch},
        FaultCase{"lengthFieldOffByOne", ElektronBackupRecordBuilder::withLengthField(kit(5), 1224), 5,
                  Fault::lengthMismatch},
        FaultCase{"lengthFieldCountsWholeMessage", ElektronBackupRecordBuilder::withLengthField(kit(5), 1233), 5,
                  Fault::lengthMismatch},
        FaultCase{"statusByteInside", withByte(kit(5), 100, 0x90), 5, Fault::malformedFrame},
        FaultCase{"noEndByte", withByte(kit(5), 1232, 0x00), 5, Fault::malformedFrame},
        FaultCase{"headerOnly", Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0x04, 0x01, 0x05, 0xF7}, 5,
                  Fault::truncated},
        FaultCase{"noPosition", Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52, 0x04, 0x01, 0xF7}, std::nullopt,
                  Fault::truncated}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MachinedrumDumpValidatorTests, IgnoresMessagesThatAreNoMachinedrumDump) {
    const std::vector<Bytes> others{
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53, 0x05, 0xF7},  // a kit request
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, 0x01, 0x41, 0x42, 0x43, 0x44, 0xF7},
        ElektronBackupRecordBuilder::monomachine(Command::kit, 1),
        {0xF0, 0x7E, 0x00, 0x01, 0xF7},
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00},
    };
    for (const auto& message : others) EXPECT_FALSE(MachinedrumDumpValidator::validate(ByteView(message)));
    const auto report = MachinedrumDumpValidator::validate(others);
    EXPECT_EQ(report, ElektronBackupValidationReport{});
}

TEST(MachinedrumDumpValidatorTests, FullBackupValidatesClean) {
    const auto backup = ElektronBackupRecordBuilder::backup(ElektronBackupProfile::machinedrum);
    ASSERT_EQ(backup.size(), 232u);
    const auto report = MachinedrumDumpValidator::validate(backup);
    EXPECT_EQ(report.correctiveWarning, std::nullopt);
    EXPECT_TRUE(report.isBackup);
    EXPECT_EQ(report.recognizedRecordCount, 232u);
    EXPECT_EQ(report.invalidRecordCount + report.missingRecordCount + report.duplicateRecordCount +
                  report.unexpectedRecordCount,
              0u);
}

TEST(MachinedrumDumpValidatorTests, SingleDumpsAreNeverAnIncompleteBackup) {
    const std::vector<std::vector<Bytes>> lists{
        {kit(3)},
        {kit(3), kit(4), ElektronBackupRecordBuilder::machinedrum(Command::pattern, 9)},
        {ElektronBackupRecordBuilder::machinedrum(Command::song, 2)},
        {ElektronBackupRecordBuilder::machinedrum(Command::global, 0)},
    };
    for (const auto& list : lists) {
        const auto report = MachinedrumDumpValidator::validate(list);
        EXPECT_FALSE(report.isBackup);
        EXPECT_EQ(report.missingRecordCount, 0u);
        EXPECT_EQ(report.correctiveWarning, std::nullopt);
    }
    // A global and one other kind make a backup, and everything else is then missing.
    const auto report = MachinedrumDumpValidator::validate(
        std::vector<Bytes>{ElektronBackupRecordBuilder::machinedrum(Command::global, 0), kit(0)});
    EXPECT_TRUE(report.isBackup);
    EXPECT_EQ(report.missingRecordCount, 230u);
}

TEST(MachinedrumDumpValidatorTests, ProblemsOutsideABackupAreStillReported) {
    const std::vector<Bytes> list{kit(3), ElektronBackupRecordBuilder::withCorruptedPayload(kit(4)), kit(3),
                                  kit(64)};
    const auto report = MachinedrumDumpValidator::validate(list);
    EXPECT_FALSE(report.isBackup);
    EXPECT_EQ(report.recognizedRecordCount, 1u);
    EXPECT_EQ(report.invalidRecordCount, 1u);
    EXPECT_EQ(report.duplicateRecordCount, 1u);
    EXPECT_EQ(report.unexpectedRecordCount, 1u);
    EXPECT_EQ(report.correctiveWarning,
              "These Machinedrum dumps are not all valid: 1 record fails the length, checksum or data check (kit 4), "
              "1 record repeats a position already received (kit 3) and 1 record has a position the Machinedrum "
              "does not have (kit 64); dump the affected records from the Machinedrum again before sending them.");
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>

#include "ElektronBackupRecordBuilder.h"
#include "ElektronBackupTestData.h"
#include "K7Core/MonomachineDumpValidator.h"
#include "K7Core/SysExFileCodec.h"

namespace k7 {
namespace {

using testing::ElektronBackupRecordBuilder;
using Command = ElektronBackupCommand;
using Fault = ElektronBackupRecordFault;

struct RealDump {
    const char* file;
    std::vector<std::pair<Command, uint8_t>> records;  // command and position of each message
    friend void PrintTo(const RealDump& c, std::ostream* out) { *out << c.file; }
};

class MonomachineRealDumpTests : public ::testing::TestWithParam<RealDump> {};

// Files written by instruments: lengths vary with the packing, and one closes its 7-bit block with
// an empty group.
TEST_P(MonomachineRealDumpTests, ValidatesCleanAsSingleRecords) {
    const auto& dump = GetParam();
    const auto file = testing::readElektronTestData(dump.file);
    if (!file) GTEST_SKIP() << "real dump not found in " << testing::elektronTestDataFolder();
    const auto messages = SysExFileCodec::parse(*file).messages;
    ASSERT_EQ(messages.size(), dump.records.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Bytes& message = messages[i];
        EXPECT_EQ((message[message.size() - 3] << 7 | message[message.size() - 2]),
                  static_cast<int>(message.size() - 10));
        const auto record = MonomachineDumpValidator::validate(ByteView(message));
        ASSERT_TRUE(record);
        EXPECT_EQ(record->command, dump.records[i].first);
        EXPECT_EQ(record->encodedPosition, dump.records[i].second);
        EXPECT_EQ(record->fault, std::nullopt) << describe(*record->fault);
        if (record->encodedPosition != 0) {
            // The checksum starts at the position byte; from the byte after it, it fails.
            EXPECT_FALSE(MonomachineDumpValidator::validate(ByteView(ElektronBackupRecordBuilder::resealed(message, 10)))
                             ->isValid());
        }
    }
    const auto report = MonomachineDumpValidator::validate(messages);
    EXPECT_EQ(report.correctiveWarning, std::nullopt);
    EXPECT_FALSE(report.isBackup);
    EXPECT_EQ(report.recognizedRecordCount, messages.size());
}

INSTANTIATE_TEST_SUITE_P(
    Files, MonomachineRealDumpTests,
    ::testing::Values(RealDump{"mnm-global-99.syx", {{Command::global, 7}}},
                      RealDump{"mnm-global-102.syx", {{Command::global, 0}}},
                      RealDump{"mnm-kit-598.syx", {{Command::kit, 0}}},
                      RealDump{"mnm-kit-667.syx", {{Command::kit, 0}}},
                      RealDump{"mnm-pat-243.syx", {{Command::pattern, 0}}},
                      RealDump{"mnm-pat-full-a01-569.syx", {{Command::pattern, 0}}},
                      RealDump{"mnm-pat-kit-841.syx", {{Command::kit, 0}, {Command::pattern, 0}}},
                      RealDump{"mnm-patkit-1249.syx", {{Command::kit, 5}, {Command::pattern, 0}}},
                      RealDump{"mnm-song-1698.syx", {{Command::song, 0}}}),
    [](const auto& info) {
        std::string name = info.param.file;
        std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
        return name;
    });

// A record whose packed payload is given byte for byte, correctly 7-bit encoded and sealed.
Bytes kitWithPackedPayload(const Bytes& packed) {
    Bytes body{0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x02, 0x01, 0x03};
    ElektronSevenBit::encode(packed, body);
    return ElektronBackupRecordBuilder::sealed(std::move(body));
}

Bytes kitWithEncodedPayload(const Bytes& encoded) {
    Bytes body{0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x02, 0x01, 0x03};
    body.insert(body.end(), encoded.begin(), encoded.end());
    return ElektronBackupRecordBuilder::sealed(std::move(body));
}

struct PayloadCase {
    const char* name;
    Bytes message;
    bool valid;
    friend void PrintTo(const PayloadCase& c, std::ostream* out) { *out << c.name; }
};

class MonomachinePayloadTests : public ::testing::TestWithParam<PayloadCase> {};

TEST_P(MonomachinePayloadTests, PayloadMustDecodeAndUnpack) {
    const auto& param = GetParam();
    const auto record = MonomachineDumpValidator::validate(ByteView(param.message));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->fault, param.valid ? std::nullopt : std::optional(Fault::undecodablePayload)) << param.name;
}

INSTANTIATE_TEST_SUITE_P(
    Packing, MonomachinePayloadTests,
    ::testing::Values(
        PayloadCase{"plainBytes", kitWithPackedPayload({0x01, 0x02, 0x03}), true},
        PayloadCase{"longestRun", kitWithPackedPayload({0xFF, 0x00, 0x05}), true},
        PayloadCase{"highByteWrittenAsRunOfOne", kitWithPackedPayload({0x81, 0xC0, 0x01}), true},
        PayloadCase{"runOfZero", kitWithPackedPayload({0x80, 0x11, 0x01}), false},
        PayloadCase{"markerWithoutByte", kitWithPackedPayload({0x01, 0x02, 0x85}), false},
        PayloadCase{"trailingEmptyGroup", kitWithEncodedPayload({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00}),
                    true},
        PayloadCase{"trailingGroupClaimingHighBits",
                    kitWithEncodedPayload({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x40}), false},
        PayloadCase{"generatedKit", ElektronBackupRecordBuilder::monomachine(Command::kit, 3), true},
        PayloadCase{"generatedPattern", ElektronBackupRecordBuilder::monomachine(Command::pattern, 127, true), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonomachineDumpValidatorTests, BothProfilesValidateCleanAndTheFirmwareDataIsNotCounted) {
    struct Case {
        ElektronBackupProfile profile;
        std::size_t records;
    };
    for (const auto& [profile, records] : {Case{ElektronBackupProfile::monomachineStock, 288},
                                           Case{ElektronBackupProfile::monomachineEMS, 276}}) {
        const auto backup = ElektronBackupRecordBuilder::backup(profile);
        const auto report = MonomachineDumpValidator::validate(backup);
        EXPECT_EQ(report.correctiveWarning, std::nullopt);
        EXPECT_EQ(report.profile, profile);
        EXPECT_EQ(report.recognizedRecordCount, records);
        EXPECT_EQ(report.unexpectedRecordCount, 0u);
    }
}

TEST(MonomachineDumpValidatorTests, SongSlotsTheCommunityFirmwareReusesAreUnexpectedThere) {
    auto backup = ElektronBackupRecordBuilder::backup(ElektronBackupProfile::monomachineEMS);
    backup.push_back(ElektronBackupRecordBuilder::monomachine(Command::song, 12));
    const auto report = MonomachineDumpValidator::validate(backup);
    EXPECT_EQ(report.unexpectedRecordCount, 1u);
    EXPECT_NE(report.correctiveWarning->find("(song 12)"), std::string::npos);

    // The stock firmware has 24 songs; it was the extended data that chose the smaller profile.
    auto stock = ElektronBackupRecordBuilder::backup(ElektronBackupProfile::monomachineStock);
    const auto stockReport = MonomachineDumpValidator::validate(stock);
    EXPECT_EQ(stockReport.correctiveWarning, std::nullopt);
    stock.push_back(ElektronBackupRecordBuilder::monomachine(Command::song, 24));
    EXPECT_EQ(MonomachineDumpValidator::validate(stock).unexpectedRecordCount, 1u);
}

TEST(MonomachineDumpValidatorTests, MachinedrumRecordsAreNotMonomachineRecords) {
    const auto backup = ElektronBackupRecordBuilder::backup(ElektronBackupProfile::machinedrum);
    ElektronBackupValidationReport nothing;
    nothing.profile = ElektronBackupProfile::monomachineStock;
    EXPECT_EQ(MonomachineDumpValidator::validate(backup), nothing);
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>

#include "K7Core/DigiPROWaveform.h"
#include "K7Core/ElektronBackupRecordValidation.h"
#include "K7Core/MachinedrumBackupRepairPlan.h"
#include "K7Core/MachinedrumDumpValidator.h"
#include "K7Core/MonomachineBackupRepairPlan.h"
#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSSamplePacking.h"
#include "K7Core/TurboFrame.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedDigiPROEmitter.h"
#include "Support/SimulatedElektronMachine.h"
#include "Support/SimulatedStudio.h"
#include "Support/SimulatedTM1.h"

namespace k7::testing {
namespace {

// The hand-written SDS bytes and the project's codec must agree, or the simulated samplers would
// test the codec against a mistake of their own.
TEST(SDSWireFixture, AgreesWithThePublishedExampleAndTheCodec) {
    // 44.1 kHz gives the period 22675 ns = 13 31 01; 88200 words = 08 31 05.
    const Bytes header = sds_wire::classicHeader(0, 5, 16, period44100, 88200);
    EXPECT_EQ(header, (Bytes{0xF0, 0x7E, 0x00, 0x01, 0x05, 0x00, 0x10, 0x13, 0x31, 0x01, 0x08, 0x31, 0x05, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xF7}));
    EXPECT_EQ(header, SDSDumpHeader(0, 5, 16, 44100.0, 88200, 0, 0, 0x7F).encode());

    // Signed 16-bit -1 is offset 7FFF, left-justified in 21 bits: 3F 7F 60.
    const std::vector<int32_t> minusOne{-1};
    const Bytes packet = sds_wire::packet(0, 0, minusOne, 16);
    EXPECT_EQ(Bytes(packet.begin() + 5, packet.begin() + 8), (Bytes{0x3F, 0x7F, 0x60}));

    for (int bits : {8, 12, 14, 16, 20, 24, 28}) {
        SCOPED_TRACE(bits);
        const auto words = sds_wire::testSignal(sds_wire::wordsPerPacket(bits), bits);
        const Bytes full = sds_wire::packet(3, 9, words, bits);
        const auto decoded = SDSDataPacket::decode(full);
        EXPECT_TRUE(decoded.hasValidChecksum());
        std::vector<int32_t> unpacked(words.size());
        SDSSamplePacking::unpack(decoded.payload, bits, unpacked);
        EXPECT_EQ(unpacked, words);
        EXPECT_EQ(sds_wire::words(full, bits, words.size()), words);
    }
}

TEST(SimulatedTM1, AnswersTheQueryAsScripted) {
    struct Case {
        const char* name;
        SimulatedTM1::Answer answer;
        std::chrono::nanoseconds arrivesAfter;
        std::optional<Bytes> expected;
    };
    const std::vector<Case> cases{
        {"normal", SimulatedTM1::Answer::normal, 2ms, TurboFrame::response(TurboSpeed::x8)},
        {"late", SimulatedTM1::Answer::late, 4s, TurboFrame::response(TurboSpeed::x8)},
        {"malformed", SimulatedTM1::Answer::malformed, 2ms, SimulatedTM1::malformedResponse()},
        {"none", SimulatedTM1::Answer::none, 0ms, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedStudio studio;
        SimulatedTM1::Options options;
        options.offeredSpeed = TurboSpeed::x8;
        options.answer = c.answer;
        auto tm1 = std::make_shared<SimulatedTM1>(options);
        studio.attach(tm1);
        studio.transport->send(TurboFrame::query());
        if (c.arrivesAfter > 0ms) {
            studio.runFor(c.arrivesAfter - 1ms);
            EXPECT_TRUE(studio.received().empty());
        }
        studio.runFor(1min);
        EXPECT_EQ(tm1->queriesHeard(), 1u);
        if (c.expected) {
            EXPECT_EQ(studio.received(), std::vector<Bytes>{*c.expected});
        } else {
            EXPECT_TRUE(studio.received().empty());
        }
    }
}

TEST(SimulatedTM1, RecordsLimitSwitchesAndSpeaksUnasked) {
    SimulatedStudio studio;
    auto tm1 = std::make_shared<SimulatedTM1>(SimulatedTM1::Options{});
    studio.attach(tm1);
    studio.transport->send(TurboFrame::limit(TurboSpeed::x4));
    studio.transport->send(TurboFrame::limit(TurboSpeed::x2));
    SimulatedTM1::sendUnsolicitedResponse(*studio.transport, TurboSpeed::x10, 5ms);
    studio.runFor(1s);
    EXPECT_EQ(tm1->limitsTaken(), (std::vector<TurboSpeed>{TurboSpeed::x4, TurboSpeed::x2}));
    EXPECT_EQ(tm1->queriesHeard(), 0u);
    EXPECT_EQ(studio.received(), std::vector<Bytes>{TurboFrame::response(TurboSpeed::x10)});
}

ElektronBackupRecordKey kit(ElektronBackupMachine machine, uint8_t position) {
    return ElektronBackupRecordKey(machine, ElektronBackupCommand::kit, position);
}

Bytes requestFor(const ElektronBackupRecordKey& key) {
    return *(key.machine() == ElektronBackupMachine::machinedrum ? MachinedrumBackupRepairPlan::request(key, 0)
                                                                 : MonomachineBackupRepairPlan::request(key, 0));
}

TEST(SimulatedElektronMachine, AnswersDumpRequestsWithScriptedFaults) {
    using Fault = SimulatedElektronMachine::Fault;
    struct Case {
        const char* name;
        std::optional<Fault> fault;
        std::size_t answers;
        std::optional<ElektronBackupRecordFault> recordFault;
        uint8_t answeredPosition;                 // the kit the first answer holds
        ElektronBackupMachine answeredMachine;
        std::chrono::nanoseconds arrivesAfter;
    };
    const auto md = ElektronBackupMachine::machinedrum;
    const auto mnm = ElektronBackupMachine::monomachine;
    for (const auto machine : {md, mnm}) {
        const auto other = machine == md ? mnm : md;
        const std::vector<Case> cases{
            {"valid", std::nullopt, 1, std::nullopt, 12, machine, 5ms},
            {"missing", Fault::missing, 0, std::nullopt, 0, machine, 0ms},
            {"badChecksum", Fault::badChecksum, 1, ElektronBackupRecordFault::checksumMismatch, 12, machine, 5ms},
            {"late", Fault::late, 1, std::nullopt, 12, machine, 2s},
            {"outOfTurn", Fault::outOfTurn, 1, std::nullopt, 13, machine, 5ms},
            {"repeated", Fault::repeated, 2, std::nullopt, 12, machine, 5ms},
            {"wrongMachine", Fault::wrongMachine, 1, std::nullopt, 12, other, 5ms},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(displayName(machine)) + " " + c.name);
            SimulatedStudio studio;
            SimulatedElektronMachine::Options options;
            options.profile = machine == md ? ElektronBackupProfile::machinedrum : ElektronBackupProfile::monomachineStock;
            auto instrument = std::make_shared<SimulatedElektronMachine>(options);
            if (c.fault) instrument->script(kit(machine, 12), *c.fault);
            studio.attach(instrument);
            // A request for the other instrument goes unanswered.
            studio.transport->send(requestFor(kit(other, 12)));
            studio.transport->send(requestFor(kit(machine, 12)));
            if (c.arrivesAfter > 0ms) {
                studio.runFor(c.arrivesAfter - 1ms);
                EXPECT_TRUE(studio.received().empty());
            }
            studio.runFor(1min);
            EXPECT_EQ(instrument->requestsHeard(), std::vector<ElektronBackupRecordKey>{kit(machine, 12)});
            const auto received = studio.received();
            ASSERT_EQ(received.size(), c.answers);
            if (received.empty()) continue;
            const auto record = ElektronBackupRecordValidation::validate(received.front(), c.answeredMachine);
            ASSERT_TRUE(record.has_value());
            EXPECT_EQ(record->fault, c.recordFault);
            EXPECT_EQ(record->command, ElektronBackupCommand::kit);
            EXPECT_EQ(record->encodedPosition, c.answeredPosition);
        }
    }
}

TEST(SimulatedElektronMachine, AbsentMachineAnswersNothing) {
    SimulatedStudio studio;
    SimulatedElektronMachine::Options options;
    options.absent = true;
    studio.attach(std::make_shared<SimulatedElektronMachine>(options));
    studio.transport->send(requestFor(kit(ElektronBackupMachine::machinedrum, 1)));
    studio.runFor(1min);
    EXPECT_TRUE(studio.received().empty());
}

TEST(SimulatedElektronMachine, EmitsWholeAndPartialBackups) {
    SimulatedStudio studio;
    SimulatedElektronMachine machine(SimulatedElektronMachine::Options{});
    machine.script(kit(ElektronBackupMachine::machinedrum, 3), SimulatedElektronMachine::Fault::missing);
    machine.script(kit(ElektronBackupMachine::machinedrum, 4), SimulatedElektronMachine::Fault::badChecksum);
    machine.emitBackup(*studio.transport, 2ms);
    studio.runFor(10s);
    const auto whole = studio.received();
    ASSERT_EQ(whole.size(), expectedRecordCount(ElektronBackupProfile::machinedrum) - 1);
    const auto report = MachinedrumDumpValidator::validate(whole);
    EXPECT_EQ(report.missingRecordCount, 1);
    EXPECT_EQ(report.invalidRecordCount, 1);

    const auto partial = machine.backup(100);
    EXPECT_EQ(partial.size(), 99u);
    EXPECT_EQ(MachinedrumDumpValidator::validate(partial).missingRecordCount,
              static_cast<int>(expectedRecordCount(ElektronBackupProfile::machinedrum) - 99));
}

TEST(SimulatedDigiPROEmitter, WholeAndSplitWaveformsCarryTheSameBytes) {
    const Bytes whole = SimulatedDigiPROEmitter::waveform(5, "SAW1");
    const auto decoded = DigiPROWaveform::decode(whole);
    EXPECT_EQ(decoded.position, 5);
    EXPECT_EQ(decoded.name.text(), "SAW1");

    const auto pieces = SimulatedDigiPROEmitter::split(whole, 4000, 1024);
    ASSERT_EQ(pieces.size(), 4u);  // 3999 + 1024 + 1024 + 979 body bytes
    EXPECT_EQ(pieces.front().size(), 4001u);
    Bytes rejoined(pieces.front().begin(), pieces.front().end() - 1);
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        EXPECT_TRUE(isFramedSysEx(pieces[i]));
        rejoined.insert(rejoined.end(), pieces[i].begin() + 1, pieces[i].end() - 1);
    }
    rejoined.push_back(0xF7);
    EXPECT_EQ(rejoined, whole);

    SimulatedStudio studio;
    SimulatedDigiPROEmitter::emit(*studio.transport, pieces, 3ms);
    studio.runFor(1s);
    EXPECT_EQ(studio.received(), pieces);
}

}  // namespace
}  // namespace k7::testing

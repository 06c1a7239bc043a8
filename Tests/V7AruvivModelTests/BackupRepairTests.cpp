// A Machinedrum or Monomachine backup received with records missing or damaged is completed by
// asking the instrument again, one record at a time, before it becomes an item.
#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "Support/Model/CapturedDiagnostics.h"
#include "Support/Model/ReceiveRig.h"

namespace k7::testing {
namespace {

using Fault = SimulatedElektronMachine::Fault;
using Profile = ElektronBackupProfile;
using Command = ElektronBackupCommand;

constexpr auto recordInterval = 5ms;

ElektronBackupRecordKey md(Command command, uint8_t position) {
    return ElektronBackupRecordKey::machinedrum(command, position);
}

// F0 00 20 3C <product> <device> <request ID> <position> F7, as the instruments' manuals give it.
Bytes request(const ElektronBackupRecordKey& key) {
    static constexpr uint8_t requestIDs[] = {0x51, 0x53, 0x68, 0x6A};
    const uint8_t product = key.machine() == ElektronBackupMachine::machinedrum ? 0x02 : 0x03;
    return {0xF0, 0x00, 0x20, 0x3C, product, 0x00, requestIDs[static_cast<int>(key.command())], key.position(), 0xF7};
}

struct BackupRig {
    explicit BackupRig(SimulatedElektronMachine::Options instrument = {},
                       AppModelRig::Options options = withPeer(nullptr))
        : rig(options), machine(attachElektronMachine(rig, instrument)) {
        QObject::connect(rig.model.get(), &AppModel::statusTextChanged,
                         [this] { statuses.push_back(rig->statusText()); });
    }

    // The instrument sends its backup (with the scripted faults) while the model receives.
    void receiveBackup() {
        pressReceive(rig);
        const auto sent = machine->backup();
        machine->emitBackup(rig.wire(), recordInterval);
        rig.runFor(sent.size() * recordInterval);
    }

    std::vector<Bytes> completeBackup() const {
        std::vector<Bytes> messages;
        for (const auto& key : machine->keys()) messages.push_back(machine->record(key));
        return messages;
    }

    std::vector<Bytes> requestsSent() const {
        std::vector<Bytes> sent;
        for (auto& message : rig.wire().sentMessages()) sent.push_back(std::move(message.bytes));
        return sent;
    }

    const TransferItem& item() const { return rig->items().at(0); }
    std::vector<Bytes> itemMessages() const { return SysExFileCodec::parse(item().data).messages; }

    AppModelRig rig;
    std::shared_ptr<SimulatedElektronMachine> machine;
    std::vector<std::string> statuses;
};

std::vector<Bytes> requests(const std::vector<ElektronBackupRecordKey>& keys) {
    std::vector<Bytes> messages;
    for (const auto& key : keys) messages.push_back(request(key));
    return messages;
}

TEST(BackupRepair, CompletesABackupWithMissingAndDamagedRecords) {
    struct Case {
        Profile profile;
        std::string machine;
        std::size_t records;
    };
    for (const auto& c : std::vector<Case>{{Profile::machinedrum, "Machinedrum", 232},
                                           {Profile::monomachineStock, "Monomachine", 288}}) {
        SCOPED_TRACE(c.machine);
        BackupRig b({c.profile});
        CapturedDiagnostics capture(b.rig);
        b.statuses.clear();
        const auto machine = machineOf(c.profile);
        const ElektronBackupRecordKey kit5(machine, Command::kit, 5), kit40(machine, Command::kit, 40),
            pattern17(machine, Command::pattern, 17), song3(machine, Command::song, 3);
        for (const auto& key : {kit5, pattern17, song3}) b.machine->script(key, Fault::droppedFromBackup);
        b.machine->script(kit40, Fault::damagedInBackup);
        b.receiveBackup();
        ASSERT_TRUE(b.requestsSent().empty());
        ASSERT_TRUE(stopReceiveAndFinish(b.rig));

        // One request per record, in backup order, each 80 ms after the answer to the one before.
        EXPECT_EQ(b.requestsSent(), requests({kit5, kit40, pattern17, song3}));
        const auto timed = b.rig.wire().sentMessages();
        for (std::size_t i = 1; i < timed.size(); ++i) EXPECT_EQ(timed[i].time - timed[i - 1].time, 85ms);

        ASSERT_EQ(b.rig->items().size(), 1u);
        EXPECT_EQ(b.item().displayName, "Received data 1.syx");
        EXPECT_EQ(b.item().state, TransferItem::State(TransferItem::State::Received{}));
        EXPECT_EQ(b.item().data, SysExFileCodec::join(b.completeBackup()));
        const auto messages = b.itemMessages();
        const auto report = c.profile == Profile::machinedrum ? MachinedrumDumpValidator::validate(messages)
                                                              : MonomachineDumpValidator::validate(messages);
        EXPECT_EQ(report.recognizedRecordCount, c.records);
        EXPECT_FALSE(report.correctiveWarning) << *report.correctiveWarning;

        const std::string completing = "Completing " + c.machine + " backup (";
        const std::vector<std::string> expected{"Receiving",          "Finishing receive\u2026",
                                                completing + "0 of 4)", completing + "1 of 4)",
                                                completing + "2 of 4)", completing + "3 of 4)",
                                                completing + "4 of 4)", "SysEx received."};
        EXPECT_EQ(b.statuses, expected);
        EXPECT_EQ(b.rig->overallProgress(), 1.0);
        const auto started = capture.events("elektron.backup.repair.started");
        ASSERT_EQ(started.size(), 1u);
        EXPECT_EQ(started[0].fields.at("targetCount"), "4");
        EXPECT_EQ(started[0].fields.at("expectedRecordCount"), std::to_string(c.records));
        EXPECT_EQ(started[0].fields.at("profile"), std::string(displayName(c.profile)));
        EXPECT_EQ(capture.events("elektron.backup.repair.completed").at(0).fields.at("repairedRecordCount"), "4");
    }
}

// A record the instrument never sends ends the repair after its attempts; what was received and
// recovered before stays in the item, which says what is missing.
TEST(BackupRepair, ARecordThatNeverComesEndsTheRepairKeepingEverythingElse) {
    BackupRig b;
    const auto kit2 = md(Command::kit, 2), pattern1 = md(Command::pattern, 1), song20 = md(Command::song, 20);
    b.machine->script(kit2, Fault::droppedFromBackup);
    b.machine->script(pattern1, Fault::droppedFromBackup);
    b.machine->script(song20, Fault::missing);
    b.receiveBackup();
    ASSERT_TRUE(stopReceiveAndFinish(b.rig));

    std::vector<ElektronBackupRecordKey> expected{kit2, pattern1};
    expected.insert(expected.end(), 8, song20);
    EXPECT_EQ(b.requestsSent(), requests(expected));
    const auto timed = b.rig.wire().sentMessages();
    EXPECT_EQ(timed.back().time - timed[timed.size() - 2].time, 9080ms);  // a song's reply time and the pause

    auto withoutSong = b.completeBackup();
    std::erase(withoutSong, b.machine->record(song20));
    EXPECT_EQ(b.item().data, SysExFileCodec::join(withoutSong));
    const auto report = MachinedrumDumpValidator::validate(b.itemMessages());
    EXPECT_EQ(report.recognizedRecordCount, 231u);
    EXPECT_EQ(report.missingRecordCount, 1u);
    ASSERT_TRUE(report.correctiveWarning);
    const std::string& warning = *report.correctiveWarning;
    const std::string failure =
        "Could not recover Machinedrum song 20 after 8 attempts (response timeout). The partial capture was "
        "preserved; select Receive again to retry. Recovered 2 of 3 records.";
    EXPECT_EQ(b.item().state, TransferItem::State::failed(warning));
    EXPECT_EQ(b.item().detail, warning + " Captured bytes were kept unchanged for diagnosis. " + failure);
    EXPECT_EQ(b.rig->statusText(), warning);
    EXPECT_EQ(b.rig->alertMessage(), warning);
}

TEST(BackupRepair, InstrumentRepliesOfEveryKindAreSortedOut) {
    const auto kit5 = md(Command::kit, 5), kit6 = md(Command::kit, 6);
    struct Case {
        const char* name;
        std::vector<std::pair<ElektronBackupRecordKey, Fault>> script;
        std::optional<int64_t> attempts;
        std::vector<ElektronBackupRecordKey> requested;
        std::optional<std::string> failure;  // nothing: the bank ends complete
        std::size_t itemMessages = 232;      // everything received stays
        bool refuseSends = false;
    };
    const std::string refused = MIDITransportError::endpointUnavailable().what();
    const std::vector<Case> cases{
        {"a reply later than its time", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::late}}, 8, {kit5, kit5}, {}},
        {"a later target answered first",
         {{kit5, Fault::droppedFromBackup}, {kit5, Fault::outOfTurn}, {kit6, Fault::droppedFromBackup}},
         8,
         {kit5},
         {}},
        {"a record that was fine answered first", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::outOfTurn}}, 8,
         {kit5}, {}},
        {"the answer twice", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::repeated}}, 8, {kit5}, {}},
        {"a damaged answer, then a good one", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::damagedOnce}}, 8,
         {kit5, kit5}, {}},
        {"only damaged answers",
         {{kit5, Fault::badChecksum}},
         3,
         {kit5, kit5, kit5},
         "Could not recover Machinedrum kit 5 after 3 attempts (invalid replacement). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record."},
        {"the other instrument answers",
         {{kit5, Fault::droppedFromBackup}, {kit5, Fault::wrongMachine}},
         2,
         {kit5, kit5},
         "Could not recover Machinedrum kit 5 after 2 attempts (response timeout). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record.",
         233},  // 231 records and both of the other instrument's answers
        {"a request that cannot be sent",
         {{kit5, Fault::droppedFromBackup}},
         2,
         {},
         "Could not recover Machinedrum kit 5 after 2 attempts (" + refused + "). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record.",
         231,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = withPeer(nullptr);
        options.repairMaximumAttempts = c.attempts;
        SimulatedElektronMachine::Options instrument;
        instrument.lateDelay = 7s;  // past a kit's 6 s
        BackupRig b(instrument, options);
        for (const auto& [key, fault] : c.script) b.machine->script(key, fault);
        b.receiveBackup();
        if (c.refuseSends) {
            b.rig.wire().failAlways(MockMIDITransport::Operation::send, MIDITransportError::endpointUnavailable());
        }
        ASSERT_TRUE(stopReceiveAndFinish(b.rig));

        EXPECT_EQ(b.requestsSent(), requests(c.requested));
        ASSERT_EQ(b.rig->items().size(), 1u);
        const auto messages = b.itemMessages();
        const auto report = MachinedrumDumpValidator::validate(messages);
        if (!c.failure) {
            EXPECT_EQ(b.item().data, SysExFileCodec::join(b.completeBackup()));
            EXPECT_FALSE(report.correctiveWarning) << *report.correctiveWarning;
            EXPECT_EQ(b.rig->statusText(), "SysEx received.");
            continue;
        }
        EXPECT_TRUE(report.correctiveWarning);
        EXPECT_NE(b.item().detail.find(*c.failure), std::string::npos) << b.item().detail;
        EXPECT_EQ(messages.size(), c.itemMessages);
    }
}

// How long a request waits for its answer: by record kind, shorter with Turbo above 1x, or the
// one override for every kind.
TEST(BackupRepair, ReplyTimesFollowTheRecordKindAndTheSpeed) {
    struct Case {
        const char* name;
        ElektronBackupRecordKey key;
        std::optional<TurboSpeed> turbo;
        std::optional<double> override;
        std::chrono::milliseconds wait;  // from a request to the next, 80 ms pause included
    };
    const std::vector<Case> cases{
        {"global", md(Command::global, 3), {}, {}, 4080ms},
        {"kit", md(Command::kit, 3), {}, {}, 6080ms},
        {"pattern", md(Command::pattern, 3), {}, {}, 12080ms},
        {"song", md(Command::song, 3), {}, {}, 9080ms},
        {"kit at 4x", md(Command::kit, 3), TurboSpeed::x4, {}, 2580ms},
        {"pattern at 4x", md(Command::pattern, 3), TurboSpeed::x4, {}, 7080ms},
        {"song at 20x", md(Command::song, 3), TurboSpeed::x20, {}, 5080ms},
        {"global at 2x", md(Command::global, 3), TurboSpeed::x2, {}, 2080ms},
        {"pattern at 1x", md(Command::pattern, 3), TurboSpeed::x1, {}, 12080ms},
        {"pattern with an override", md(Command::pattern, 3), {}, 0.5, 580ms},
        {"song at 4x with an override", md(Command::song, 3), TurboSpeed::x4, 0.5, 580ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = c.turbo ? withPeer(tm1(*c.turbo), true) : withPeer(nullptr);
        options.repairMaximumAttempts = 2;
        options.repairTimeout = c.override;
        BackupRig b({}, options);
        b.rig.runFor(1s);
        ASSERT_EQ(std::holds_alternative<TurboNegotiation::Active>(b.rig->turboState()), c.turbo.has_value());
        b.rig.wire().clearSentMessages();
        b.machine->script(c.key, Fault::missing);
        b.receiveBackup();
        ASSERT_TRUE(stopReceiveAndFinish(b.rig));
        const auto timed = b.rig.wire().sentMessages();
        ASSERT_EQ(timed.size(), 2u);
        EXPECT_EQ(timed[1].time - timed[0].time, c.wait);
        EXPECT_EQ(timed[1].bytes, request(c.key));
    }
}

// A second press of Receive gives the repair up; what it recovered is kept.
TEST(BackupRepair, ASecondStopCancelsTheRepairKeepingWhatCame) {
    SimulatedElektronMachine::Options instrument;
    instrument.lateDelay = 3s;
    BackupRig b(instrument);
    const auto kit2 = md(Command::kit, 2), kit9 = md(Command::kit, 9);
    b.machine->script(kit2, Fault::droppedFromBackup);
    b.machine->script(kit9, Fault::droppedFromBackup);
    b.machine->script(kit9, Fault::late);
    b.receiveBackup();
    b.rig->toggleReceiving();
    ASSERT_TRUE(b.rig.runUntil([&] { return b.requestsSent().size() == 2; }));
    const auto cancelsBefore = b.rig.wire().cancelPendingSendsCount();
    b.rig->toggleReceiving();
    EXPECT_FALSE(b.rig->isReceiving());
    EXPECT_EQ(b.rig.wire().cancelPendingSendsCount(), cancelsBefore + 1);

    auto withoutKit9 = b.completeBackup();
    std::erase(withoutKit9, b.machine->record(kit9));
    EXPECT_EQ(b.item().data, SysExFileCodec::join(withoutKit9));
    const auto warning = MachinedrumDumpValidator::validate(b.itemMessages()).correctiveWarning;
    ASSERT_TRUE(warning);
    EXPECT_EQ(b.item().detail, *warning + " Captured bytes were kept unchanged for diagnosis. Machinedrum repair "
                                          "cancelled. Recovered 1 of 2 records.");
    EXPECT_EQ(b.rig->statusText(), *warning);

    // The late answer finds no receive and changes nothing.
    const auto data = b.item().data;
    b.rig.runFor(10s);
    EXPECT_EQ(b.rig->items().size(), 1u);
    EXPECT_EQ(b.item().data, data);
    EXPECT_EQ(b.requestsSent().size(), 2u);
}

TEST(BackupRepair, OnlyAnIncompleteBackupWithAnOutputIsRepaired) {
    struct Case {
        const char* name;
        bool output;
        bool complete;
    };
    for (const auto& c : std::vector<Case>{{"no output", false, false}, {"complete", true, true}}) {
        SCOPED_TRACE(c.name);
        auto options = withPeer(nullptr);
        if (!c.output) options.preferences.outputEndpointID.reset();
        BackupRig b({}, options);
        if (!c.complete) b.machine->script(md(Command::kit, 5), Fault::droppedFromBackup);
        b.receiveBackup();
        ASSERT_TRUE(stopReceiveAndFinish(b.rig));
        EXPECT_TRUE(b.requestsSent().empty());
        EXPECT_EQ(b.item().data, SysExFileCodec::join(b.machine->backup()));
        const auto warning = MachinedrumDumpValidator::validate(b.itemMessages()).correctiveWarning;
        EXPECT_EQ(warning.has_value(), !c.complete);
        EXPECT_EQ(b.rig->statusText(), warning.value_or("SysEx received."));
        EXPECT_EQ(b.rig->alertMessage(), warning);
    }
}

// Whatever arrives during the repair and is not an answer is kept with the capture.
TEST(BackupRepair, OtherMessagesDuringTheRepairAreKept) {
    BackupRig b;
    b.machine->script(md(Command::kit, 5), Fault::droppedFromBackup);
    b.machine->script(md(Command::kit, 5), Fault::late);
    b.receiveBackup();
    b.rig->toggleReceiving();
    ASSERT_TRUE(b.rig.runUntil([&] { return b.requestsSent().size() == 1; }));
    const Bytes universal{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7};
    const auto before = b.rig->receivedByteCount();
    b.rig.wire().inject(universal);
    b.rig.settle();
    EXPECT_EQ(b.rig->receivedByteCount(), before + 6);
    ASSERT_TRUE(b.rig.runUntil([&] { return !b.rig->isReceiving(); }));
    auto expected = b.completeBackup();
    const auto messages = b.itemMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), universal), 1);
    EXPECT_EQ(messages.size(), expected.size() + 1);
    EXPECT_EQ(b.rig->receivedByteCount(), static_cast<int64_t>(b.item().data.size()));
}

}  // namespace
}  // namespace k7::testing

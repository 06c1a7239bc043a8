// A Machinedrum or Monomachine backup received with records missing or damaged is completed by
// asking the instrument again, one record at a time, before it becomes an item.
#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"
#include "../K7CoreTests/Elektron/ElektronBackupRecordBuilder.h"
#include "K7Core/Elektron/ElektronBackupRecordValidation.h"
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

// The repair's events, each with the fields that tell the steps apart.
std::vector<std::string> repairTrace(const CapturedDiagnostics& capture) {
    const std::string prefix = "elektron.backup.repair.";
    std::vector<std::string> trace;
    for (const auto& event : capture.events()) {
        if (!event.name.starts_with(prefix)) continue;
        const std::string step = event.name.substr(prefix.size());
        const auto field = [&](const char* name) { return event.fields.at(name); };
        if (step == "requested") {
            trace.push_back("requested " + field("record") + " #" + field("attempt") + " " +
                            field("completedTargetCount") + "/" + field("targetCount"));
        } else if (step == "retry") {
            trace.push_back("retry " + field("record") + " #" + field("attempt") + " (" + field("reason") + ")");
        } else if (step == "recordAccepted") {
            trace.push_back("accepted " + field("record") + " " + field("completedTargetCount") + "/" +
                            field("targetCount"));
        } else if (step == "duplicateIgnored") {
            trace.push_back("ignored " + field("record"));
        } else if (step == "failed") {
            trace.push_back("failed: " + field("error"));
        } else if (step == "cancelled") {
            trace.push_back("cancelled (" + field("reason") + ")");
        } else if (step == "completed") {
            trace.push_back("completed " + field("repairedRecordCount"));
        } else {
            trace.push_back(step);
        }
    }
    return trace;
}

bool isValidRecord(const Bytes& message) {
    for (auto machine : {ElektronBackupMachine::machinedrum, ElektronBackupMachine::monomachine}) {
        if (const auto record = ElektronBackupRecordValidation::validate(message, machine)) return record->isValid();
    }
    return false;
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
    EXPECT_EQ(b.rig->statusText(), warning + " Recovered 2 of 3 records.");
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
        std::vector<std::string> trace = {};  // after "started"
        std::vector<Bytes> alsoReceived = {};  // after the backup
    };
    const std::string refused = MIDITransportError::endpointUnavailable().what();
    const std::string request1 = "requested kit 5 #1 0/1", request2 = "requested kit 5 #2 0/1",
                      accepted = "accepted kit 5 1/1";
    const std::vector<Case> cases{
        {"a reply later than its time", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::late}}, 8, {kit5, kit5}, {},
         232, false, {request1, "retry kit 5 #1 (response timeout)", request2, accepted, "completed 1"}},
        {"a later target answered first",
         {{kit5, Fault::droppedFromBackup}, {kit5, Fault::outOfTurn}, {kit6, Fault::droppedFromBackup}},
         8,
         {kit5},
         {},
         232,
         false,
         {"requested kit 5 #1 0/2", "accepted kit 6 1/2", "accepted kit 5 2/2", "completed 2"}},
        {"a record that was fine answered first", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::outOfTurn}}, 8,
         {kit5}, {}, 232, false, {request1, "ignored kit 6", accepted, "completed 1"}},
        {"the answer twice", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::repeated}}, 8, {kit5}, {}, 232, false,
         {request1, accepted, "completed 1"}},
        {"a damaged answer, then a good one", {{kit5, Fault::droppedFromBackup}, {kit5, Fault::damagedOnce}}, 8,
         {kit5, kit5}, {}, 232, false,
         {request1, "retry kit 5 #1 (invalid replacement)", request2, accepted, "completed 1"}},
        {"only damaged answers",
         {{kit5, Fault::badChecksum}},
         3,
         {kit5, kit5, kit5},
         "Could not recover Machinedrum kit 5 after 3 attempts (invalid replacement). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record.",
         232,
         false,
         {request1, "retry kit 5 #1 (invalid replacement)", request2, "retry kit 5 #2 (invalid replacement)",
          "requested kit 5 #3 0/1",
          "failed: Could not recover Machinedrum kit 5 after 3 attempts (invalid replacement). The partial capture "
          "was preserved; select Receive again to retry."}},
        {"the other instrument answers",
         {{kit5, Fault::droppedFromBackup}, {kit5, Fault::wrongMachine}},
         2,
         {kit5, kit5},
         "Could not recover Machinedrum kit 5 after 2 attempts (response timeout). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record.",
         233,  // 231 records and both of the other instrument's answers
         false,
         {request1, "retry kit 5 #1 (response timeout)", request2,
          "failed: Could not recover Machinedrum kit 5 after 2 attempts (response timeout). The partial capture was "
          "preserved; select Receive again to retry."}},
        {"a request that cannot be sent",
         {{kit5, Fault::droppedFromBackup}},
         2,
         {},
         "Could not recover Machinedrum kit 5 after 2 attempts (" + refused + "). The partial capture was "
         "preserved; select Receive again to retry. Recovered 0 of 1 record.",
         231,
         true,
         {request1, "retry kit 5 #1 (" + refused + ")", request2,
          "failed: Could not recover Machinedrum kit 5 after 2 attempts (" + refused +
              "). The partial capture was preserved; select Receive again to retry."}},
        // Asking again cannot mend a record that has no place in the bank.
        {"a record the Machinedrum does not have",
         {{kit5, Fault::droppedFromBackup}},
         8,
         {kit5},
         "Machinedrum repair finished without a complete valid bank. Recovered 1 of 1 record.",
         233,
         false,
         {request1, accepted, "failed: Machinedrum repair finished without a complete valid bank."},
         {ElektronBackupRecordBuilder::machinedrum(Command::kit, 70)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = withPeer(nullptr);
        options.repairMaximumAttempts = c.attempts;
        SimulatedElektronMachine::Options instrument;
        instrument.lateDelay = 7s;  // past a kit's 6 s
        BackupRig b(instrument, options);
        CapturedDiagnostics capture(b.rig);
        for (const auto& [key, fault] : c.script) b.machine->script(key, fault);
        b.receiveBackup();
        for (const auto& message : c.alsoReceived) b.rig.wire().inject(message);
        b.rig.settle();
        if (c.refuseSends) {
            b.rig.wire().failAlways(MockMIDITransport::Operation::send, MIDITransportError::endpointUnavailable());
        }
        ASSERT_TRUE(stopReceiveAndFinish(b.rig));

        EXPECT_EQ(b.requestsSent(), requests(c.requested));
        ASSERT_EQ(b.rig->items().size(), 1u);
        const auto messages = b.itemMessages();
        const auto report = MachinedrumDumpValidator::validate(messages);
        if (!c.trace.empty()) {
            auto trace = c.trace;
            trace.insert(trace.begin(), "started");
            EXPECT_EQ(repairTrace(capture), trace);
        }
        for (const auto& step : c.trace) {
            if (!step.starts_with("retry ")) continue;
            const std::string record = step.substr(6, step.find(" #") - 6);
            const std::string retrying = "Completing Machinedrum backup (retrying " + record + ")";
            EXPECT_NE(std::find(b.statuses.begin(), b.statuses.end(), retrying), b.statuses.end()) << retrying;
        }
        if (!c.failure) {
            EXPECT_EQ(b.item().data, SysExFileCodec::join(b.completeBackup()));
            EXPECT_FALSE(report.correctiveWarning) << *report.correctiveWarning;
            EXPECT_EQ(b.rig->statusText(), "SysEx received.");
            continue;
        }
        ASSERT_TRUE(report.correctiveWarning);
        EXPECT_NE(b.item().detail.find(*c.failure), std::string::npos) << b.item().detail;
        EXPECT_EQ(messages.size(), c.itemMessages);
        // The warnings say what is wrong with the bank, the rest what the repair got back.
        std::string warnings = *report.correctiveWarning;
        if (const auto other = MonomachineDumpValidator::validate(messages).correctiveWarning) warnings += " " + *other;
        EXPECT_EQ(b.rig->statusText(), warnings + c.failure->substr(c.failure->find(" Recovered")));
    }
}

// A record that arrives in more than one valid version, before the stop or during the repair,
// keeps the instrument's answer in the bank and every other version in an item of its own, however
// the repair ends: the bank repeats no position and no valid record is lost.
TEST(BackupRepair, EveryValidVersionOfARecordIsKept) {
    const auto kit5 = md(Command::kit, 5), kit9 = md(Command::kit, 9), song20 = md(Command::song, 20);
    enum class End { completed, failed, cancelled };
    struct Case {
        const char* name;
        std::vector<std::pair<ElektronBackupRecordKey, Fault>> script;
        std::vector<std::pair<ElektronBackupRecordKey, int>> editedBeforeStop;  // key, edit
        std::optional<std::pair<ElektronBackupRecordKey, int>> editedDuringRepair;
        End end;
        std::vector<std::pair<ElektronBackupRecordKey, int>> besideBank;  // edit 0: the record as held
    };
    const std::vector<Case> cases{
        {"an edited copy with a complete backup", {}, {{kit5, 2}}, {}, End::completed, {{kit5, 2}}},
        {"an edited record not asked for, during the repair",
         {{kit5, Fault::droppedFromBackup}, {kit5, Fault::late}},
         {},
         std::pair{kit9, 2},
         End::completed,
         {{kit9, 2}}},
        {"versions before the stop and another in the answer, the repair fails",
         {{kit5, Fault::edited}, {song20, Fault::missing}},
         {{kit5, 2}, {kit5, 3}},
         {},
         End::failed,
         {{kit5, 0}, {kit5, 2}, {kit5, 3}}},
        {"versions before the stop and another in the answer, the repair is cancelled",
         {{kit5, Fault::edited}, {song20, Fault::missing}},
         {{kit5, 2}, {kit5, 3}},
         {},
         End::cancelled,
         {{kit5, 0}, {kit5, 2}, {kit5, 3}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto options = withPeer(nullptr);
        options.repairMaximumAttempts = 2;
        BackupRig b({}, options);
        const auto version = [&](const std::pair<ElektronBackupRecordKey, int>& v) {
            return v.second == 0 ? b.machine->record(v.first) : b.machine->edited(v.first, v.second);
        };
        for (const auto& [key, fault] : c.script) b.machine->script(key, fault);
        b.receiveBackup();
        std::vector<Bytes> arrived = b.machine->backup();
        for (const auto& v : c.editedBeforeStop) arrived.push_back(version(v));
        for (std::size_t i = b.machine->backup().size(); i < arrived.size(); ++i) b.rig.wire().inject(arrived[i]);
        b.rig.settle();
        b.rig->toggleReceiving();
        ASSERT_TRUE(b.rig.runUntil([&] { return !b.requestsSent().empty(); }));
        if (c.editedDuringRepair) {
            arrived.push_back(version(*c.editedDuringRepair));
            b.rig.wire().inject(arrived.back());
        }
        if (c.end == End::cancelled) {
            ASSERT_TRUE(b.rig.runUntil([&] { return b.requestsSent().size() == 2; }));
            b.rig->toggleReceiving();
        }
        ASSERT_TRUE(b.rig.runUntil([&] { return !b.rig->isReceiving(); }, 5min));
        b.rig.runFor(1min);  // late answers find no receive
        for (auto& answer : b.machine->answersSent()) arrived.push_back(std::move(answer));

        ASSERT_EQ(names(b.rig->items()), (std::vector<std::string>{"Received data 1.syx", "Received data 2.syx"}));
        const auto report = MachinedrumDumpValidator::validate(b.itemMessages());
        EXPECT_EQ(report.duplicateRecordCount, 0u);
        EXPECT_EQ(report.correctiveWarning.has_value(), c.end != End::completed);
        const auto& beside = b.rig->items()[1];
        std::vector<Bytes> expectedBeside;
        for (const auto& v : c.besideBank) expectedBeside.push_back(version(v));
        EXPECT_EQ(beside.data, SysExFileCodec::join(expectedBeside));
        EXPECT_EQ(beside.state, TransferItem::State(TransferItem::State::Received{}));
        EXPECT_EQ(beside.device, TransferItem::Device::machinedrum);
        EXPECT_EQ(beside.detail, std::to_string(expectedBeside.size()) + " valid record" +
                                     (expectedBeside.size() == 1 ? "" : "s") +
                                     " received in another version than the bank keeps; the bank does not hold "
                                     "these copies. Bytes were kept unchanged.");
        if (c.end == End::completed) {
            EXPECT_EQ(b.item().data, SysExFileCodec::join(b.completeBackup()));
            EXPECT_EQ(b.rig->statusText(),
                      "Received 2 items, " + std::to_string(b.rig->receivedByteCount()) + " bytes");
        } else {
            // The instrument's answer is the version the bank keeps.
            const auto bank = b.itemMessages();
            EXPECT_EQ(std::count(bank.begin(), bank.end(), b.machine->edited(kit5, 1)), 1);
            EXPECT_EQ(b.rig->statusText(), *report.correctiveWarning + " Recovered 1 of 2 records.");
        }

        std::vector<Bytes> kept;
        for (const auto& item : b.rig->items()) {
            for (auto& message : SysExFileCodec::parse(item.data).messages) kept.push_back(std::move(message));
        }
        for (const auto& message : arrived) {
            if (!isValidRecord(message)) continue;
            EXPECT_NE(std::find(kept.begin(), kept.end(), message), kept.end())
                << "lost a valid record of " << message.size() << " bytes";
        }
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
    CapturedDiagnostics capture(b.rig);
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
    EXPECT_EQ(b.rig->statusText(), *warning + " Recovered 1 of 2 records.");
    const auto cancelled = capture.events("elektron.backup.repair.cancelled");
    ASSERT_EQ(cancelled.size(), 1u);
    EXPECT_EQ(cancelled[0].fields.at("reason"), "operator cancelled repair");

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

#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "K7Core/Elektron/ElektronBackupProfile.h"
#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "Support/SimulatedPeer.h"

namespace k7::testing {

// A Machinedrum or Monomachine holding a full bank of records (laid out as the instruments send
// them). It answers nine-byte dump requests for its own product with the record asked for and
// emits whole or partial backups. Faults are scripted per record.
class SimulatedElektronMachine final : public SimulatedPeer {
public:
    // A record can carry several faults: one for the backup, others for the answers.
    enum class Fault {
        missing,            // left out of backups; requests for it get no answer
        badChecksum,        // sent with one payload byte changed and the footer left as it was
        late,               // the answer to a request comes after `lateDelay`
        outOfTurn,          // a request for it is answered with the next record of the bank first
        repeated,           // the answer to a request is sent twice
        wrongMachine,       // a request for it is answered with the other instrument's record
        droppedFromBackup,  // left out of backups, answered when asked for
        damagedInBackup,    // damaged in backups (as badChecksum), answered whole when asked for
        damagedOnce,        // the first answer to a request is damaged, later ones are whole
        edited,             // answered with a valid copy edited since the backup (edited(key, 1))
    };

    struct Options {
        ElektronBackupProfile profile = ElektronBackupProfile::machinedrum;
        std::chrono::nanoseconds replyDelay = std::chrono::milliseconds(5);
        std::chrono::nanoseconds lateDelay = std::chrono::seconds(2);
        // Answers no request at all.
        bool absent = false;
    };

    explicit SimulatedElektronMachine(Options options);

    std::vector<PeerReply> hear(const Bytes& message) override;

    void script(const ElektronBackupRecordKey& key, Fault fault);

    // Every record of the bank in backup order, as the instrument holds it.
    const std::vector<ElektronBackupRecordKey>& keys() const { return keys_; }
    const Bytes& record(const ElektronBackupRecordKey& key) const;
    // A valid copy of the record that differs from it, as after an edit on the instrument; each
    // `edit` number gives another version.
    Bytes edited(const ElektronBackupRecordKey& key, int edit) const;

    // The backup as the instrument sends it (missing records left out, bad checksums applied);
    // only its first `count` records when given.
    std::vector<Bytes> backup(std::optional<std::size_t> count = std::nullopt) const;
    // Sends that backup to the transport's input, one record per `interval`.
    void emitBackup(MockMIDITransport& transport, std::chrono::nanoseconds interval,
                    std::optional<std::size_t> count = std::nullopt) const;

    std::vector<ElektronBackupRecordKey> requestsHeard() const;
    // Every answer sent, in order.
    std::vector<Bytes> answersSent() const;

private:
    bool has(const ElektronBackupRecordKey& key, Fault fault) const;
    Bytes damaged(const ElektronBackupRecordKey& key) const;

    const Options options_;
    const ElektronBackupMachine machine_;
    std::vector<ElektronBackupRecordKey> keys_;
    std::map<ElektronBackupRecordKey, Bytes> records_;
    mutable std::mutex mutex_;
    std::map<ElektronBackupRecordKey, std::set<Fault>> faults_;
    std::set<ElektronBackupRecordKey> answered_;
    std::vector<ElektronBackupRecordKey> requests_;
    std::vector<Bytes> answers_;
};

}  // namespace k7::testing

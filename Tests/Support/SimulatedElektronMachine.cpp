#include "Support/SimulatedElektronMachine.h"

#include <algorithm>

#include "../K7CoreTests/Elektron/ElektronBackupRecordBuilder.h"

namespace k7::testing {

namespace {

std::optional<ElektronBackupCommand> commandFromRequestID(uint8_t id) {
    for (auto command : allElektronBackupCommands) {
        if (requestMessageID(command) == id) return command;
    }
    return std::nullopt;
}

}  // namespace

SimulatedElektronMachine::SimulatedElektronMachine(Options options)
    : options_(options), machine_(machineOf(options.profile)) {
    for (auto command : allElektronBackupCommands) {
        for (std::size_t position = 0; position < positionCount(options_.profile, command); ++position) {
            const ElektronBackupRecordKey key(machine_, command, static_cast<uint8_t>(position));
            keys_.push_back(key);
            records_.emplace(key, ElektronBackupRecordBuilder::record(options_.profile, command,
                                                                      static_cast<uint8_t>(position)));
        }
    }
}

void SimulatedElektronMachine::script(const ElektronBackupRecordKey& key, Fault fault) {
    std::lock_guard lock(mutex_);
    faults_[key].insert(fault);
}

bool SimulatedElektronMachine::has(const ElektronBackupRecordKey& key, Fault fault) const {
    std::lock_guard lock(mutex_);
    const auto it = faults_.find(key);
    return it != faults_.end() && it->second.contains(fault);
}

const Bytes& SimulatedElektronMachine::record(const ElektronBackupRecordKey& key) const { return records_.at(key); }

Bytes SimulatedElektronMachine::damaged(const ElektronBackupRecordKey& key) const {
    return ElektronBackupRecordBuilder::withCorruptedPayload(record(key));
}

Bytes SimulatedElektronMachine::edited(const ElektronBackupRecordKey& key, int edit) const {
    Bytes copy = record(key);
    copy[12] = static_cast<uint8_t>((copy[12] + edit) & 0x7F);
    return ElektronBackupRecordBuilder::resealed(copy);
}

std::vector<Bytes> SimulatedElektronMachine::backup(std::optional<std::size_t> count) const {
    std::vector<Bytes> messages;
    const std::size_t limit = std::min(count.value_or(keys_.size()), keys_.size());
    for (std::size_t i = 0; i < limit; ++i) {
        const auto& key = keys_[i];
        if (has(key, Fault::missing) || has(key, Fault::droppedFromBackup)) continue;
        const bool damage = has(key, Fault::badChecksum) || has(key, Fault::damagedInBackup);
        messages.push_back(damage ? damaged(key) : record(key));
    }
    return messages;
}

void SimulatedElektronMachine::emitBackup(MockMIDITransport& transport, std::chrono::nanoseconds interval,
                                          std::optional<std::size_t> count) const {
    std::chrono::nanoseconds at{0};
    for (auto& message : backup(count)) {
        transport.injectAfter(at, std::move(message));
        at += interval;
    }
}

std::vector<PeerReply> SimulatedElektronMachine::hear(const Bytes& message) {
    // F0 00 20 3C <product> <device> <request ID> <position> F7
    if (message.size() != 9 || message[0] != 0xF0 || message[1] != 0x00 || message[2] != 0x20 ||
        message[3] != 0x3C || message[8] != 0xF7 || message[4] != static_cast<uint8_t>(productOf(machine_))) {
        return {};
    }
    const auto command = commandFromRequestID(message[6]);
    if (!command) return {};
    const ElektronBackupRecordKey key(machine_, *command, message[7]);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(key);
    }
    if (options_.absent || !records_.contains(key) || has(key, Fault::missing)) return {};
    bool firstAnswer = false;
    {
        std::lock_guard lock(mutex_);
        firstAnswer = answered_.insert(key).second;
    }
    const auto delay = has(key, Fault::late) ? options_.lateDelay : options_.replyDelay;
    Bytes answer = record(key);
    if (has(key, Fault::edited)) answer = edited(key, 1);
    if (has(key, Fault::badChecksum) || (firstAnswer && has(key, Fault::damagedOnce))) answer = damaged(key);
    if (has(key, Fault::wrongMachine)) {
        const auto other = machine_ == ElektronBackupMachine::machinedrum ? ElektronBackupProfile::monomachineStock
                                                                          : ElektronBackupProfile::machinedrum;
        const auto position = static_cast<uint8_t>(message[7] % positionCount(other, *command));
        answer = ElektronBackupRecordBuilder::record(other, *command, position);
    }
    std::vector<PeerReply> replies;
    if (has(key, Fault::outOfTurn)) {
        const auto next = std::next(std::find(keys_.begin(), keys_.end(), key));
        replies.push_back(PeerReply{record(next == keys_.end() ? keys_.front() : *next), delay});
    }
    replies.push_back(PeerReply{answer, replies.empty() ? delay : delay * 2});
    if (has(key, Fault::repeated)) replies.push_back(PeerReply{answer, delay * 3});
    std::lock_guard lock(mutex_);
    for (const auto& reply : replies) answers_.push_back(reply.bytes);
    return replies;
}

std::vector<ElektronBackupRecordKey> SimulatedElektronMachine::requestsHeard() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::vector<Bytes> SimulatedElektronMachine::answersSent() const {
    std::lock_guard lock(mutex_);
    return answers_;
}

}  // namespace k7::testing

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
    faults_[key] = fault;
}

std::optional<SimulatedElektronMachine::Fault> SimulatedElektronMachine::faultOf(
    const ElektronBackupRecordKey& key) const {
    std::lock_guard lock(mutex_);
    if (auto it = faults_.find(key); it != faults_.end()) return it->second;
    return std::nullopt;
}

const Bytes& SimulatedElektronMachine::record(const ElektronBackupRecordKey& key) const { return records_.at(key); }

Bytes SimulatedElektronMachine::damaged(const ElektronBackupRecordKey& key) const {
    return ElektronBackupRecordBuilder::withCorruptedPayload(record(key));
}

std::vector<Bytes> SimulatedElektronMachine::backup(std::optional<std::size_t> count) const {
    std::vector<Bytes> messages;
    const std::size_t limit = std::min(count.value_or(keys_.size()), keys_.size());
    for (std::size_t i = 0; i < limit; ++i) {
        const auto fault = faultOf(keys_[i]);
        if (fault == Fault::missing) continue;
        messages.push_back(fault == Fault::badChecksum ? damaged(keys_[i]) : record(keys_[i]));
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
    if (options_.absent || !records_.contains(key)) return {};

    const auto delay = options_.replyDelay;
    const auto fault = faultOf(key);
    if (!fault) return {PeerReply{record(key), delay}};
    switch (*fault) {
        case Fault::missing: return {};
        case Fault::badChecksum: return {PeerReply{damaged(key), delay}};
        case Fault::late: return {PeerReply{record(key), options_.lateDelay}};
        case Fault::outOfTurn: {
            const auto next = std::next(std::find(keys_.begin(), keys_.end(), key));
            return {PeerReply{record(next == keys_.end() ? keys_.front() : *next), delay}};
        }
        case Fault::repeated: return {PeerReply{record(key), delay}, PeerReply{record(key), delay * 2}};
        case Fault::wrongMachine: {
            const auto other = machine_ == ElektronBackupMachine::machinedrum ? ElektronBackupProfile::monomachineStock
                                                                              : ElektronBackupProfile::machinedrum;
            const auto position = static_cast<uint8_t>(message[7] % positionCount(other, *command));
            return {PeerReply{ElektronBackupRecordBuilder::record(other, *command, position), delay}};
        }
    }
    return {};
}

std::vector<ElektronBackupRecordKey> SimulatedElektronMachine::requestsHeard() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

}  // namespace k7::testing

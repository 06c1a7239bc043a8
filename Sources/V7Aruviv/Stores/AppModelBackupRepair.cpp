// Completing a received Machinedrum or Monomachine backup: each missing or damaged record is asked
// for again, one at a time, and the replies are merged into the capture before it becomes an item.
#include <algorithm>
#include <set>
#include <utility>

#include "K7Core/Elektron/MachinedrumBackupRepairPlan.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineBackupRepairPlan.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

std::string machineName(const ElektronBackupRepairPlan& plan) { return std::string(displayName(plan.machine())); }

std::optional<ElektronBackupRecordValidation> validateRecord(ElektronBackupMachine machine, ByteView message) {
    return machine == ElektronBackupMachine::machinedrum ? MachinedrumDumpValidator::validate(message)
                                                         : MonomachineDumpValidator::validate(message);
}

std::optional<Bytes> requestFor(const ElektronBackupRepairPlan& plan, const ElektronBackupRecordKey& key) {
    if (plan.machine() != key.machine()) return std::nullopt;
    return plan.machine() == ElektronBackupMachine::machinedrum
               ? MachinedrumBackupRepairPlan::request(key, plan.deviceID())
               : MonomachineBackupRepairPlan::request(key, plan.deviceID());
}

struct KindTimeouts {
    double normal;
    double turbo;
};

KindTimeouts timeouts(ElektronBackupCommand command) {
    switch (command) {
    case ElektronBackupCommand::global: return {4.0, 2.0};
    case ElektronBackupCommand::kit: return {6.0, 2.5};
    case ElektronBackupCommand::pattern: return {12.0, 7.0};
    case ElektronBackupCommand::song: return {9.0, 5.0};
    }
    return {12.0, 7.0};
}

// Finds exact copies among thousands of received messages without comparing each with each.
struct LengthThenBytes {
    bool operator()(ByteView a, ByteView b) const {
        if (a.size() != b.size()) return a.size() < b.size();
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
    }
};

struct MergedCapture {
    std::vector<Bytes> bank;
    std::vector<Bytes> besideBank;  // valid records in a version the bank does not hold
};

// The received messages with the accepted replacements merged in, followed by the damaged replies
// whose record the bank does not hold valid. Every valid record that arrived, before or during the
// repair, is either in the bank byte for byte or set beside it: a bank repeats no position.
MergedCapture mergedCapture(const BackupRepairState& state, std::span<const Bytes> received) {
    const auto& plan = state.plan;
    MergedCapture result{plan.applying(state.replacements, received), {}};
    auto& bank = result.bank;
    // Views into the bank stay valid: no append moves a message's bytes once this is reserved.
    bank.reserve(bank.size() + state.unusedReplies.size());
    std::set<ByteView, LengthThenBytes> inBank(bank.begin(), bank.end());
    std::set<ByteView, LengthThenBytes> besideBank;
    std::set<ElektronBackupRecordKey> validKeys;
    for (const Bytes& message : bank) {
        if (!plan.isValidReplacement(message)) continue;
        if (const auto record = validateRecord(plan.machine(), message); record && record->key()) {
            validKeys.insert(*record->key());
        }
    }
    // The views point into `received` and the replies, which outlive this call.
    const auto setBeside = [&](const Bytes& message) {
        if (besideBank.insert(message).second) result.besideBank.push_back(message);
    };
    for (const Bytes& message : received) {
        if (plan.isValidReplacement(message) && !inBank.contains(message)) setBeside(message);
    }
    for (const Bytes& reply : state.unusedReplies) {
        if (inBank.contains(reply)) continue;
        if (plan.isValidReplacement(reply)) {
            setBeside(reply);
            continue;
        }
        // A damaged copy of a record the bank holds valid goes the way of the damaged original.
        const auto record = validateRecord(plan.machine(), reply);
        if (!(record && record->key() && validKeys.contains(*record->key()))) {
            bank.push_back(reply);
            inBank.insert(bank.back());
        }
    }
    return result;
}

}  // namespace

bool AppModel::beginBackupRepairIfNeeded(uint64_t generation) {
    if (generation != receive_.receiveGeneration || !receive_.receiveStopPending || !preferences_.outputEndpointID) {
        return false;
    }
    auto plan = ElektronBackupRepairPlan::make(receive_.receiveFallbackMessages, preferences_.deviceNumber);
    if (!plan) return false;
    const std::size_t targetCount = plan->targets().size();
    const std::string machine = machineName(*plan);
    repair_.backupRepairState = BackupRepairState{generation, std::move(*plan), 0, 0, {}, {}};
    const auto& state = *repair_.backupRepairState;

    setReceiveProgressIsDeterminate(true);
    setOverallProgress(0);
    setStatusText("Completing " + machine + " backup (0 of " + std::to_string(targetCount) + ")");
    recordDiagnostic("elektron.backup.repair.started",
                     {{"targetCount", std::to_string(targetCount)},
                      {"expectedRecordCount", std::to_string(state.plan.expectedRecordCount())},
                      {"deviceID", std::to_string(state.plan.deviceID())},
                      {"profile", std::string(displayName(state.plan.profile()))}});
    requestCurrentBackupRepairTarget();
    return true;
}

void AppModel::requestCurrentBackupRepairTarget() {
    auto& state = repair_.backupRepairState;
    if (!state || state->receiveGeneration != receive_.receiveGeneration) return;
    const auto& targets = state->plan.targets();
    auto index = static_cast<std::size_t>(state->targetIndex);
    // Records that arrived out of turn are not asked for.
    while (index < targets.size() && state->replacements.contains(targets[index])) ++index;
    if (index != static_cast<std::size_t>(state->targetIndex)) state->attempt = 0;
    if (index >= targets.size()) {
        state->targetIndex = static_cast<int64_t>(index);
        finishBackupRepair();
        return;
    }
    const ElektronBackupRecordKey key = targets[index];
    const int64_t attempt = state->attempt + 1;
    const auto request = requestFor(state->plan, key);
    if (!request) {
        failBackupRepair("Backup repair generated an invalid request target.");
        return;
    }
    state->targetIndex = static_cast<int64_t>(index);
    state->attempt = attempt;
    const uint64_t token = ++repair_.backupRepairTimeoutGeneration;
    const uint64_t receiveGeneration = state->receiveGeneration;
    recordDiagnostic("elektron.backup.repair.requested", {{"record", key.displayName()},
                                                          {"attempt", std::to_string(attempt)},
                                                          {"completedTargetCount", std::to_string(index)},
                                                          {"targetCount", std::to_string(targets.size())}});

    // Armed before the send is queued, so a slow send counts against the reply time.
    afterOnMain(backupRepairResponseTimeout(key), [this, token, receiveGeneration, index, attempt] {
        const auto& current = repair_.backupRepairState;
        if (token != repair_.backupRepairTimeoutGeneration || !current ||
            current->receiveGeneration != receiveGeneration ||
            current->targetIndex != static_cast<int64_t>(index) || current->attempt != attempt) {
            return;
        }
        retryCurrentBackupRepairTarget("response timeout");
    });
    sendQueue_->post([this, transport = tracingTransport_, request = *request, toMain = mainThreadPoster(), token] {
        try {
            transport->send(request);
        } catch (const std::exception& error) {
            toMain([this, token, reason = std::string(error.what())] {
                if (token == repair_.backupRepairTimeoutGeneration) retryCurrentBackupRepairTarget(reason);
            });
        }
    });
}

double AppModel::backupRepairResponseTimeout(const ElektronBackupRecordKey& key) const {
    if (repair_.backupRepairTimeoutOverride) return *repair_.backupRepairTimeoutOverride;
    const auto* active = std::get_if<TurboNegotiation::Active>(&turbo_.turboState);
    const bool fast = active && code(active->negotiated) >= code(TurboSpeed::x2);
    const KindTimeouts kind = timeouts(key.command());
    return fast ? kind.turbo : kind.normal;
}

bool AppModel::handleBackupRepairResponse(const Bytes& message) {
    auto& state = repair_.backupRepairState;
    if (!state) return false;
    const auto& plan = state->plan;
    const auto record = validateRecord(plan.machine(), message);
    if (!record || !record->key()) return false;
    const ElektronBackupRecordKey key = *record->key();
    const auto& targets = plan.targets();
    const auto index = static_cast<std::size_t>(state->targetIndex);
    const bool isCurrent = index < targets.size() && targets[index] == key;
    // Taken in, whatever becomes of it.
    setReceivedByteCount(receivedByteCount_ + static_cast<int64_t>(message.size()));

    if (!plan.isValidReplacement(message)) {
        state->unusedReplies.push_back(message);
        if (isCurrent) retryCurrentBackupRepairTarget("invalid replacement");
        return true;
    }
    if (std::find(targets.begin(), targets.end(), key) == targets.end()) {
        state->unusedReplies.push_back(message);
        recordDiagnostic("elektron.backup.repair.duplicateIgnored", {{"record", key.displayName()}});
        return true;
    }
    // A repeated reply replaces the earlier one; an earlier one that differs is kept aside.
    if (auto [found, inserted] = state->replacements.try_emplace(key, message); !inserted) {
        if (found->second != message) state->unusedReplies.push_back(std::exchange(found->second, message));
    }
    if (isCurrent) {
        repair_.backupRepairTimeoutGeneration += 1;
        state->targetIndex += 1;
        state->attempt = 0;
    }
    const std::size_t done = state->replacements.size();
    setOverallProgress(static_cast<double>(done) / static_cast<double>(targets.size()));
    setStatusText("Completing " + machineName(plan) + " backup (" + std::to_string(done) + " of " +
                  std::to_string(targets.size()) + ")");
    recordDiagnostic("elektron.backup.repair.recordAccepted", {{"record", key.displayName()},
                                                               {"completedTargetCount", std::to_string(done)},
                                                               {"targetCount", std::to_string(targets.size())}});
    const auto now = static_cast<std::size_t>(state->targetIndex);
    if (isCurrent || now >= targets.size() || state->replacements.contains(targets[now])) {
        scheduleNextBackupRepairRequest();
    }
    return true;
}

void AppModel::retryCurrentBackupRepairTarget(const std::string& reason) {
    auto& state = repair_.backupRepairState;
    if (!state || state->targetIndex < 0 ||
        static_cast<std::size_t>(state->targetIndex) >= state->plan.targets().size()) {
        return;
    }
    repair_.backupRepairTimeoutGeneration += 1;
    const ElektronBackupRecordKey key = state->plan.targets()[static_cast<std::size_t>(state->targetIndex)];
    const std::string machine = machineName(state->plan);
    const auto& limit = repair_.backupRepairMaximumAttempts;
    if (!limit || state->attempt < *limit) {
        recordDiagnostic("elektron.backup.repair.retry", {{"record", key.displayName()},
                                                          {"attempt", std::to_string(state->attempt)},
                                                          {"reason", reason}});
        setStatusText("Completing " + machine + " backup (retrying " + key.displayName() + ")");
        scheduleNextBackupRepairRequest();
        return;
    }
    failBackupRepair("Could not recover " + machine + " " + key.displayName() + " after " +
                     std::to_string(state->attempt) + " attempts (" + reason +
                     "). The partial capture was preserved; select Receive again to retry.");
}

void AppModel::scheduleNextBackupRepairRequest() {
    const auto& state = repair_.backupRepairState;
    if (!state) return;
    if (static_cast<std::size_t>(state->targetIndex) >= state->plan.targets().size()) {
        finishBackupRepair();
        return;
    }
    const uint64_t token = ++repair_.backupRepairTimeoutGeneration;
    afterOnMain(repair_.backupRepairInterRequestDelay,
                [this, token, receiveGeneration = state->receiveGeneration, index = state->targetIndex] {
                    const auto& current = repair_.backupRepairState;
                    if (token != repair_.backupRepairTimeoutGeneration || !current ||
                        current->receiveGeneration != receiveGeneration || current->targetIndex != index) {
                        return;
                    }
                    requestCurrentBackupRepairTarget();
                });
}

void AppModel::finishBackupRepair() {
    auto& state = repair_.backupRepairState;
    if (!state) return;
    repair_.backupRepairTimeoutGeneration += 1;
    const auto& plan = state->plan;
    auto merged = mergedCapture(*state, receive_.receiveFallbackMessages);
    const auto summary = plan.validationSummary(merged.bank);
    if (!summary.isValid || summary.recognizedRecordCount != plan.expectedRecordCount()) {
        failBackupRepair(machineName(plan) + " repair finished without a complete valid bank.");
        return;
    }
    const uint64_t generation = state->receiveGeneration;
    const std::size_t repaired = state->replacements.size();
    receive_.receiveFallbackMessages = std::move(merged.bank);
    repair_.recordsBesideBank = std::move(merged.besideBank);
    state.reset();
    setOverallProgress(1.0);
    recordDiagnostic("elektron.backup.repair.completed",
                     {{"repairedRecordCount", std::to_string(repaired)},
                      {"recognizedRecordCount", std::to_string(summary.recognizedRecordCount)}});
    finalizeReceiving(generation);
}

void AppModel::endBackupRepairKeepingReplies(const std::string& failure) {
    auto& state = repair_.backupRepairState;
    const uint64_t generation = state->receiveGeneration;
    const std::size_t targetCount = state->plan.targets().size();
    const std::size_t recovered = state->replacements.size();
    // What was recovered before the end is as good as on success; nothing taken in is dropped.
    auto merged = mergedCapture(*state, receive_.receiveFallbackMessages);
    receive_.receiveFallbackMessages = std::move(merged.bank);
    repair_.recordsBesideBank = std::move(merged.besideBank);
    state.reset();
    const std::string summary = " Recovered " + std::to_string(recovered) + " of " + std::to_string(targetCount) +
                                " record" + (targetCount == 1 ? "" : "s") + ".";
    repair_.recoveredSummary = summary;
    receive_.receiveFailures.push_back(failure + summary);
    finalizeReceiving(generation);
}

void AppModel::failBackupRepair(const std::string& message) {
    if (!repair_.backupRepairState) return;
    repair_.backupRepairTimeoutGeneration += 1;
    recordDiagnostic("elektron.backup.repair.failed", {{"error", message}});
    endBackupRepairKeepingReplies(message);
}

void AppModel::cancelBackupRepair(const std::string& reason) {
    if (!repair_.backupRepairState) return;
    repair_.backupRepairTimeoutGeneration += 1;
    try {
        transport().cancelPendingSends();
    } catch (const std::exception&) {
        // The repair ends either way; a request still queued finds no repair to answer.
    }
    const std::string machine = machineName(repair_.backupRepairState->plan);
    recordDiagnostic("elektron.backup.repair.cancelled", {{"reason", reason}});
    endBackupRepairKeepingReplies(machine + " repair cancelled.");
}

}  // namespace k7

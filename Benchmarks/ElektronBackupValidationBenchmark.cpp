// Validating a received backup runs on the main thread when a receive ends, so it has to stay far
// below a frame's time even for the largest backups.

#include <benchmark/benchmark.h>

#include "../Tests/K7CoreTests/Elektron/ElektronBackupRecordBuilder.h"
#include "K7Core/Elektron/ElektronBackupRepairPlan.h"
#include "K7Core/Elektron/MachinedrumDumpValidator.h"
#include "K7Core/Elektron/MonomachineDumpValidator.h"

namespace {

using k7::Bytes;
using k7::ElektronBackupCommand;
using Builder = k7::testing::ElektronBackupRecordBuilder;

std::size_t byteCount(const std::vector<Bytes>& messages) {
    std::size_t total = 0;
    for (const auto& message : messages) total += message.size();
    return total;
}

// 232 records with every pattern at its long size: about 0.8 MB.
std::vector<Bytes> largestMachinedrumBackup() {
    std::vector<Bytes> messages;
    for (auto command : k7::allElektronBackupCommands) {
        const auto count = k7::positionCount(k7::ElektronBackupProfile::machinedrum, command);
        for (std::size_t position = 0; position < count; ++position) {
            messages.push_back(Builder::machinedrum(command, static_cast<uint8_t>(position), true, 64));
        }
    }
    return messages;
}

// 288 records whose payloads do not pack: a little over 1 MB.
std::vector<Bytes> largestMonomachineBackup() {
    std::vector<Bytes> messages;
    for (auto command : k7::allElektronBackupCommands) {
        const auto count = k7::positionCount(k7::ElektronBackupProfile::monomachineStock, command);
        for (std::size_t position = 0; position < count; ++position) {
            messages.push_back(Builder::monomachine(command, static_cast<uint8_t>(position), true));
        }
    }
    return messages;
}

void BM_ValidateMachinedrumBackup(benchmark::State& state) {
    const auto backup = largestMachinedrumBackup();
    for (auto _ : state) benchmark::DoNotOptimize(k7::MachinedrumDumpValidator::validate(backup));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * byteCount(backup)));
    state.counters["backupBytes"] = static_cast<double>(byteCount(backup));
}
BENCHMARK(BM_ValidateMachinedrumBackup)->Unit(benchmark::kMillisecond);

void BM_ValidateMonomachineBackup(benchmark::State& state) {
    const auto backup = largestMonomachineBackup();
    for (auto _ : state) benchmark::DoNotOptimize(k7::MonomachineDumpValidator::validate(backup));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * byteCount(backup)));
    state.counters["backupBytes"] = static_cast<double>(byteCount(backup));
}
BENCHMARK(BM_ValidateMonomachineBackup)->Unit(benchmark::kMillisecond);

// What a receive's end costs when a backup needs repair: the plan, then the merge and its check.
void BM_PlanAndMergeMonomachineRepair(benchmark::State& state) {
    const auto complete = largestMonomachineBackup();
    auto received = complete;
    received.erase(received.begin() + 200);
    const auto plan = k7::ElektronBackupRepairPlan::make(received, 0);
    const k7::ElektronBackupRepairPlan::Replacements replacements{{plan->targets().front(), complete[200]}};
    for (auto _ : state) {
        const auto freshPlan = k7::ElektronBackupRepairPlan::make(received, 0);
        const auto merged = freshPlan->applying(replacements, received);
        benchmark::DoNotOptimize(freshPlan->validationSummary(merged));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * byteCount(received)));
}
BENCHMARK(BM_PlanAndMergeMonomachineRepair)->Unit(benchmark::kMillisecond);

}  // namespace

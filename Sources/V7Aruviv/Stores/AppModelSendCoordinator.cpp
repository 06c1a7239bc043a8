// The send session: its progress plan, the walk through the frozen items, progress publishing and
// the end of the session. Raw SysEx items are sent by AppModelRawSysExSend.cpp, SDS items by
// AppModelSDSSendCoordinator.cpp.
#include <algorithm>
#include <utility>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/SDSSendConfiguration.h"

namespace k7 {

namespace {

// A running item never shows as finished; only the session's end sets 1.0.
constexpr double largestRunningFraction = 0.994;

double runningFraction(double fraction) { return std::min(std::clamp(fraction, 0.0, 1.0), largestRunningFraction); }

std::vector<int64_t> unitWireBytes(const TransferPlan::Entry& entry, const TransferItem& item,
                                   const SendOptions& options) {
    const AppModelError mismatch(AppModelError::ProgressPlanMismatch{});
    const TransferSendMethod& method = entry.method;
    if (const auto* file = item.wireWorkload.as<TransferWireWorkload::SDSFile>()) {
        const auto* planned = method.as<TransferSendMethod::SDSFile>();
        if (!planned || planned->dumpCount != static_cast<int64_t>(file->dumps.size())) throw mismatch;
        std::vector<int64_t> units;
        for (const auto& dump : file->dumps) units.push_back(dump.wireBytes);
        return units;
    }
    if (const auto* raw = item.wireWorkload.as<TransferWireWorkload::RawSysEx>()) {
        const bool rawMethod = method.is<TransferSendMethod::RawDigiPRO>() ||
                               method.is<TransferSendMethod::RawFirmware>() ||
                               method.is<TransferSendMethod::RawElektronData>() ||
                               method.is<TransferSendMethod::RawGenericSysEx>();
        if (!rawMethod) throw mismatch;
        return {raw->wireBytes};
    }
    if (item.wireWorkload.is<TransferWireWorkload::AudioSDS>()) {
        // A negative slot is no slot: it could only wrap into a wrong one.
        if (!method.is<TransferSendMethod::AudioSDS>() || !entry.destinationSlot || *entry.destinationSlot < 0 ||
            *entry.destinationSlot > 65535) {
            throw mismatch;
        }
        const auto envelope = AppModel::makeAudioSDSEnvelope(item, static_cast<uint16_t>(*entry.destinationSlot),
                                                             options);
        return {envelope.estimatedWireBytes(sdsSendConfiguration(options))};
    }
    throw mismatch;
}

}  // namespace

TransferProgressPlan AppModel::makeSendProgressPlan(const TransferPlan& transferPlan,
                                                    const std::vector<TransferItem>& orderedItems,
                                                    const SendOptions& options) {
    const AppModelError mismatch(AppModelError::ProgressPlanMismatch{});
    if (transferPlan.entries.size() != orderedItems.size()) throw mismatch;
    std::vector<TransferProgressPlan::ItemUnits> units;
    units.reserve(orderedItems.size());
    for (std::size_t index = 0; index < orderedItems.size(); ++index) {
        const TransferItem& item = orderedItems[index];
        units.push_back({item.id, unitWireBytes(transferPlan.entries[index], item, options)});
    }
    auto plan = TransferProgressPlan::make(units);
    if (!plan) throw mismatch;
    return std::move(*plan);
}

std::shared_ptr<SendClock> AppModel::sendClock() const {
    if (configuration_.sendClock) return configuration_.sendClock;
    static const auto monotonic = std::make_shared<MonotonicSendClock>();
    return monotonic;
}

std::function<void(Task)> AppModel::mainThreadPoster() const {
    return [main = main_, lifetime = std::weak_ptr<int>(lifetime_)](Task task) {
        main->post([lifetime, task = std::move(task)] {
            if (lifetime.lock()) task();
        });
    };
}

void AppModel::updateLiveItem(const QUuid& id, const std::function<void(TransferItem&)>& change) {
    const auto found = std::find_if(items_.begin(), items_.end(), [&](const auto& item) { return item.id == id; });
    if (found == items_.end()) return;
    // Moved out and back rather than copied: items may hold whole audio files, and progress is
    // published twenty times a second. Nothing runs between the two steps.
    std::vector<TransferItem> list = std::move(items_);
    change(list[static_cast<std::size_t>(found - list.begin())]);
    setItems(std::move(list));
}

void AppModel::processNextSendItem(uint64_t generation) {
    if (send_.sendGeneration != generation || !isSending_) return;
    if (send_.sendCancellation->isCancelled()) {
        finishSendSession("Cancelled", false);
        return;
    }
    const auto index = static_cast<std::size_t>(send_.sendIndex);
    if (index >= send_.sendIDs.size()) {
        finishSendSession(successfulSendStatus(), true);
        return;
    }
    if (index >= send_.sendItemSnapshots.size()) {
        finishSendSession("The captured transfer items no longer match the frozen transfer plan.", false);
        return;
    }
    const TransferItem& snapshot = send_.sendItemSnapshots[index];
    const QUuid id = snapshot.id;
    if (std::none_of(items_.begin(), items_.end(), [&](const auto& item) { return item.id == id; })) {
        finishSendSession("A selected item was removed before it could be sent.", false);
        return;
    }
    updateLiveItem(id, [](TransferItem& item) {
        item.state = TransferItem::State::Sending{};
        item.progress = 0;
    });
    setStatusText("Sending " + snapshot.displayName + " (" + std::to_string(index + 1) + " of " +
                  std::to_string(send_.sendIDs.size()) + ")");

    const TransferSendMethod method = snapshot.sendMethod;
    if (method.is<TransferSendMethod::SDSFile>()) {
        startRecognizedSDSFileSend(snapshot, generation);
    } else if (const auto reason = method.invalidReason()) {
        failSendItem(id, *reason);
    } else if (method.is<TransferSendMethod::AudioSDS>()) {
        prepareAndStartAudioSend(snapshot, generation);
    } else if (method.is<TransferSendMethod::RawDigiPRO>() || method.is<TransferSendMethod::RawFirmware>() ||
               method.is<TransferSendMethod::RawElektronData>() || method.is<TransferSendMethod::RawGenericSysEx>()) {
        startRawSysExSend(snapshot, generation);
    } else {
        failSendItem(id, AppModelError(AppModelError::UnsupportedSendType{}).message());
    }
}

void AppModel::publishSendProgress(const TransferProgressPlan::Snapshot& snapshot, const QUuid& itemID,
                                   bool itemCompleted) {
    const double itemFraction = itemCompleted ? 1.0 : runningFraction(snapshot.itemFraction);
    updateLiveItem(itemID, [&](TransferItem& item) { item.progress = std::max(item.progress, itemFraction); });

    const auto& plan = send_.frozenProgressPlan;
    const double total = plan ? static_cast<double>(plan->totalWireBytes) : 1.0;
    send_.sendCompletedWireBytes =
        std::max(send_.sendCompletedWireBytes, std::min(snapshot.overallCompletedWireBytes, total));
    setOverallProgress(std::max(overallProgress_, runningFraction(snapshot.overallFraction)));

    if (plan) {
        const auto estimate = send_.sendProgressEstimator.update(send_.sendCompletedWireBytes, total, uptime());
        setTransferRateBytesPerSecond(estimate.bytesPerSecond);
        setEstimatedSendTimeRemaining(estimate.secondsRemaining);
    }
}

void AppModel::completeSendItemProgress(int64_t itemNumber, const QUuid& itemID, uint64_t generation) {
    if (send_.sendGeneration != generation || !isSending_ || !send_.frozenProgressPlan || itemNumber < 0) return;
    const auto& plan = *send_.frozenProgressPlan;
    const auto index = static_cast<std::size_t>(itemNumber);
    if (index >= plan.items.size() || plan.items[index].id != itemID) return;
    if (const auto snapshot = plan.completedItemSnapshot(index)) publishSendProgress(*snapshot, itemID, true);
}

void AppModel::advanceSendSession(uint64_t generation) {
    const auto index = static_cast<std::size_t>(send_.sendIndex);
    if (send_.sendIndex < 0 || index >= send_.sendIDs.size()) return;
    completeSendItemProgress(send_.sendIndex, send_.sendIDs[index], generation);
    send_.sendIndex += 1;
    processNextSendItem(generation);
}

void AppModel::failSendItem(QUuid id, std::string message) {
    updateLiveItem(id, [&](TransferItem& item) { item.state = TransferItem::State::failed(message); });
    finishSendSession(std::move(message), false);
}

void AppModel::cancelCurrentSendItem(QUuid id) {
    updateLiveItem(id, [](TransferItem& item) { item.state = TransferItem::State::Cancelled{}; });
    finishSendSession("Cancelled", false);
}

void AppModel::finishSendSession(std::string status, bool completed) {
    send_.activeSDSSender.reset();
    if (completed) setOverallProgress(1.0);
    setIsSending(false);
    setFrozenTransferPlan(std::nullopt);
    send_.frozenProgressPlan.reset();
    setStatusText(routing_.interruptedRouteStatus.value_or(std::move(status)));
    routing_.interruptedRouteStatus.reset();
    setTransferRateBytesPerSecond(std::nullopt);
    setEstimatedSendTimeRemaining(std::nullopt);
    send_.sendIDs.clear();
    send_.sendItemSnapshots.clear();
    send_.sendCompletedWireBytes = 0;
    send_.sendIndex = 0;
    send_.sendOptions.reset();
}

std::string AppModel::successfulSendStatus() const {
    const int64_t acknowledged = send_.sendAcknowledgedCount;
    const int64_t submitted = send_.sendSubmittedCount;
    if (acknowledged < 1) {
        return "Submitted " + std::to_string(submitted) + " transfer" + (submitted == 1 ? "" : "s") +
               " to MIDI transport; hardware receipt is unverified";
    }
    if (submitted < 1) {
        return "ACK-completed " + std::to_string(acknowledged) + " SDS transfer" + (acknowledged == 1 ? "" : "s");
    }
    return "Completed: " + std::to_string(acknowledged) + " ACK-completed, " + std::to_string(submitted) +
           " transport-submitted; raw device receipt is unverified";
}

}  // namespace k7

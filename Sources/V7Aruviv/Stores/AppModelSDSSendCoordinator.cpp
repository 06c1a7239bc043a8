// SDS sending: stored SDS files dump by dump, audio items as one dump to the plan's slot, each
// dump run by one SDSSenderDriver, with the device given time to store sample metadata between
// dumps and between SDS items.
#include <algorithm>
#include <cmath>

#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelDiagnosticSink.h"
#include "V7Aruviv/Stores/AppModelError.h"
#include "V7Aruviv/Stores/SDSSendConfiguration.h"
#include "V7Aruviv/Support/DecimalText.h"

namespace k7 {

struct AppModel::SDSDumpRun {
    PreparedSDSTransfers transfers;
    QUuid itemID;
    int64_t itemNumber = 0;
    uint64_t generation = 0;
    SharedCancellation cancellation;
    bool updatesSamplePosition = false;
    std::size_t transferIndex = 0;
    std::weak_ptr<SDSSenderDriver> driver;
};

namespace {

constexpr const char* betweenDumps = "betweenDumps";
constexpr const char* betweenItems = "betweenItems";

// How long the device is given to store a sample's metadata, by speed: 120 ms at 1x, then 40 ms
// divided by the multiplier, never below 8 ms.
double deviceSettleSeconds(TurboSpeed speed) {
    if (speed == TurboSpeed::legacy || speed == TurboSpeed::x1) return 0.12;
    return std::max(0.04 / multiplier(speed), 0.008);
}

// "Optional(0.5 seconds)", "nil": how the diagnostics have always written an optional duration.
std::string optionalDurationText(const std::optional<std::chrono::nanoseconds>& duration) {
    if (!duration) return "nil";
    std::string seconds = decimalText(std::chrono::duration<double>(*duration).count());
    if (seconds.find_first_of(".en") == std::string::npos) seconds += ".0";
    return "Optional(" + seconds + " seconds)";
}

// Where an error hop of the preparation ends the item.
struct PreparationFailure {
    bool cancelled = false;
    bool handshakeInputRequired = false;
    std::string text;
};

PreparationFailure preparationFailure(const std::exception& error) {
    PreparationFailure failure{false, false, error.what()};
    if (const auto* transport = dynamic_cast<const MIDITransportError*>(&error)) {
        failure.cancelled = *transport == MIDITransportError::cancelled();
    }
    if (const auto* model = dynamic_cast<const AppModelError*>(&error)) {
        failure.handshakeInputRequired = model->is<AppModelError::SDSHandshakeInputRequired>();
    }
    return failure;
}

}  // namespace

void AppModel::startRecognizedSDSFileSend(const TransferItem& item, uint64_t generation) {
    if (!send_.sendOptions) {
        failSendItem(item.id, AppModelError(AppModelError::ProgressPlanMismatch{}).message());
        return;
    }
    const SendOptions options = *send_.sendOptions;
    const bool hasInput = frozenTransferPlan_ && frozenTransferPlan_->inputName.has_value();
    const QUuid itemID = item.id;
    const int64_t itemNumber = send_.sendIndex;
    const SharedCancellation cancellation = send_.sendCancellation;

    sendQueue_->post([this, data = item.data, options, hasInput, itemID, itemNumber, generation, cancellation,
                      toMain = mainThreadPoster()] {
        Task result;
        try {
            const auto parsed = SysExFileCodec::parse(data, SysExFileCodec::defaultMaximumMessageBytes,
                                                      SysExFileCodec::defaultMaximumMessages);
            const auto dumps = SDSFileTransferCodec::transfers(parsed.messages);
            if (!dumps) throw AppModelError(AppModelError::SDSFileRecognitionChanged{});
            if (options.useHandshake && !hasInput) throw AppModelError(AppModelError::SDSHandshakeInputRequired{});
            auto prepared = std::make_shared<std::vector<PreparedSDSTransfer>>();
            const SDSSenderConfiguration configuration = sdsSendConfiguration(options);
            for (const auto& dump : *dumps) prepared->push_back({SDSSenderStateMachine(dump, configuration)});
            if (cancellation->isCancelled()) throw MIDITransportError::cancelled();
            result = [=, this] {
                startPreparedSDSTransfers(prepared, itemID, itemNumber, generation, cancellation, false, 0);
            };
        } catch (const std::exception& error) {
            result = [=, this, failure = preparationFailure(error)] {
                if (send_.sendGeneration != generation || !isSending_) return;
                if (cancellation->isCancelled() || failure.cancelled) {
                    cancelCurrentSendItem(itemID);
                    return;
                }
                if (failure.handshakeInputRequired) setAlertMessage(failure.text);
                failSendItem(itemID, failure.text);
            };
        }
        toMain(std::move(result));
    });
}

void AppModel::prepareAndStartAudioSend(const TransferItem& item, uint64_t generation) {
    const auto index = static_cast<std::size_t>(send_.sendIndex);
    std::optional<int64_t> slot;
    if (frozenTransferPlan_ && index < frozenTransferPlan_->entries.size()) {
        slot = frozenTransferPlan_->entries[index].destinationSlot;
    }
    if (!send_.sendOptions || !slot || *slot < 0 || *slot > 65535) {
        failSendItem(item.id,
                     "The frozen transfer plan has no valid SDS slot for this audio item. Select the files again and "
                     "retry.");
        return;
    }
    const SendOptions options = *send_.sendOptions;
    const auto position = static_cast<uint16_t>(*slot);
    const QUuid itemID = item.id;
    const int64_t itemNumber = send_.sendIndex;
    const SharedCancellation cancellation = send_.sendCancellation;

    sendQueue_->post([this, item, position, options, itemID, itemNumber, generation, cancellation,
                      toMain = mainThreadPoster()] {
        Task result;
        try {
            auto prepared = std::make_shared<std::vector<PreparedSDSTransfer>>();
            prepared->push_back(prepareSDSTransfer(item, position, options));
            if (cancellation->isCancelled()) throw MIDITransportError::cancelled();
            result = [=, this] {
                startPreparedSDSTransfers(prepared, itemID, itemNumber, generation, cancellation, true, 0);
            };
        } catch (const std::exception& error) {
            result = [=, this, failure = preparationFailure(error)] {
                if (send_.sendGeneration != generation || !isSending_) return;
                if (cancellation->isCancelled()) {
                    cancelCurrentSendItem(itemID);
                    return;
                }
                failSendItem(itemID, failure.text);
            };
        }
        toMain(std::move(result));
    });
}

void AppModel::startPreparedSDSTransfers(PreparedSDSTransfers transfers, QUuid itemID, int64_t itemNumber,
                                         uint64_t generation, SharedCancellation cancellation,
                                         bool updatesSamplePosition, std::size_t transferIndex) {
    if (send_.sendGeneration != generation || !isSending_) return;
    if (cancellation->isCancelled()) {
        cancelCurrentSendItem(itemID);
        return;
    }
    if (!transfers || transferIndex >= transfers->size()) {
        failSendItem(itemID, AppModelError(AppModelError::SDSFileEncodingFailed{}).message());
        return;
    }
    const SDSSenderStateMachine& machine = (*transfers)[transferIndex].sender;
    const auto& plan = send_.frozenProgressPlan;
    const auto item = static_cast<std::size_t>(itemNumber);
    if (!plan || itemNumber < 0 || item >= plan->items.size() ||
        transferIndex >= plan->items[item].unitWireBytes.size() ||
        plan->items[item].unitWireBytes[transferIndex] != machine.totalWireBytes()) {
        failSendItem(itemID, AppModelError(AppModelError::ProgressPlanMismatch{}).message());
        return;
    }

    // The driver keeps the transfer's state on the send queue, so that no send blocks the main
    // thread, and runs its timers there too, so that tests run them in virtual time.
    auto driver = std::make_shared<SDSSenderDriver>(tracingTransport_, main_, false, sendQueue_, sendQueue_);
    // Reported on the driver's queue.
    driver->onDiagnosticEvent = detachedDiagnosticRecorder();

    const auto& configuration = machine.configuration();
    const std::string transferCount = std::to_string(transfers->size());
    recordDiagnostic("sds.send.started",
                     {{"deviceID", std::to_string(machine.header().deviceID())},
                      {"sampleNumber", std::to_string(machine.header().sampleNumber())},
                      {"sampleWords", std::to_string(machine.totalSampleWords())},
                      {"mode", caseName(configuration.mode)},
                      {"maximumRetries", std::to_string(configuration.maximumRetries)},
                      {"acknowledgementTimeout", optionalDurationText(configuration.acknowledgementTimeout)},
                      {"waitTimeout", optionalDurationText(configuration.waitTimeout)},
                      {"emitEndOfFile", configuration.emitEndOfFile ? "true" : "false"},
                      {"transferIndex", std::to_string(transferIndex + 1)},
                      {"transferCount", transferCount}});

    send_.activeSDSSender = driver;
    const SDSDumpRun run{transfers, itemID, itemNumber, generation, cancellation, updatesSamplePosition,
                         transferIndex, driver};
    const auto lifetime = std::weak_ptr<int>(lifetime_);
    driver->onProgress = [this, lifetime, run](const SDSSenderDriverProgress& progress) {
        if (lifetime.lock()) handleSDSProgress(run, progress);
    };
    driver->onCompletion = [this, lifetime, run](const SDSSenderDriverResult& result) {
        if (lifetime.lock()) handleSDSCompletion(run, result);
    };
    try {
        driver->start(machine);
    } catch (const std::exception& error) {
        send_.activeSDSSender.reset();
        failSendItem(itemID, error.what());
    }
}

void AppModel::handleSDSProgress(const SDSDumpRun& run, const SDSSenderDriverProgress& progress) {
    const auto driver = run.driver.lock();
    if (!driver || send_.activeSDSSender != driver || send_.sendGeneration != run.generation || !isSending_ ||
        run.cancellation->isCancelled()) {
        return;
    }
    const auto& plan = send_.frozenProgressPlan;
    const auto index = static_cast<std::size_t>(run.itemNumber);
    if (plan && index < plan->items.size() && plan->items[index].id == run.itemID) {
        if (const auto snapshot = plan->snapshot(index, run.transferIndex, progress.completedWireBytes)) {
            publishSendProgress(*snapshot, run.itemID, false);
        }
    }
    recordDiagnostic("sds.send.progress", {{"sentSampleWords", std::to_string(progress.sentSampleWords)},
                                           {"totalSampleWords", std::to_string(progress.totalSampleWords)},
                                           {"completedWireBytes", std::to_string(progress.completedWireBytes)},
                                           {"totalWireBytes", std::to_string(progress.totalWireBytes)}});
}

void AppModel::handleSDSCompletion(const SDSDumpRun& run, const SDSSenderDriverResult& result) {
    const auto driver = run.driver.lock();
    if (!driver || send_.activeSDSSender != driver || send_.sendGeneration != run.generation || !isSending_) return;
    send_.activeSDSSender.reset();
    if (run.cancellation->isCancelled()) {
        cancelCurrentSendItem(run.itemID);
        return;
    }
    const std::size_t count = run.transfers->size();
    if (const auto* failure = std::get_if<SDSSenderDriverError>(&result)) {
        recordDiagnostic("sds.send.failed", {{"error", failure->what()}});
        if (failure->isLocalCancellation()) {
            cancelCurrentSendItem(run.itemID);
        } else {
            failSendItem(run.itemID, failure->what());
        }
        return;
    }
    const auto& completion = std::get<SDSSenderDriverCompletion>(result);
    recordDiagnostic("sds.send.completed", {{"classification", completion.describe()},
                                            {"transferIndex", std::to_string(run.transferIndex + 1)},
                                            {"transferCount", std::to_string(count)}});
    if (run.updatesSamplePosition) {
        send_.sendSessionPosition = completion.nextSamplePosition;
        setSamplePosition(completion.nextSamplePosition);
    }
    if (run.transferIndex + 1 < count) {
        continueAfterSDSDeviceSettle(run.generation, run.cancellation, betweenDumps, run.itemID, [this, run] {
            startPreparedSDSTransfers(run.transfers, run.itemID, run.itemNumber, run.generation, run.cancellation,
                                      run.updatesSamplePosition, run.transferIndex + 1);
        });
        return;
    }
    const bool acknowledged = completion.kind == SDSSenderDriverCompletion::Kind::handshakeAcknowledged;
    updateLiveItem(run.itemID, [&](TransferItem& item) {
        item.state = TransferItem::State::Submitted{};
        item.detail += acknowledged ? " Handshake ACK-completed."
                                    : " Submitted open-loop to ALSA; hardware receipt remains unverified.";
        if (count > 1) item.detail += " " + std::to_string(count) + " SDS dumps were completed.";
    });
    // The dump went out whether or not its row is still listed.
    if (acknowledged) {
        send_.sendAcknowledgedCount += 1;
    } else {
        send_.sendSubmittedCount += 1;
    }
    advanceSendSessionAfterSDS(run.generation, run.cancellation);
}

void AppModel::continueAfterSDSDeviceSettle(uint64_t generation, SharedCancellation cancellation,
                                            const std::string& context, QUuid itemID, Task continuation) {
    TurboSpeed speed = TurboSpeed::x1;
    if (const auto* active = std::get_if<TurboNegotiation::Active>(&turbo_.turboState)) speed = active->negotiated;
    const double duration = deviceSettleSeconds(speed);
    recordDiagnostic("sds.send.deviceSettle.started",
                     {{"context", context},
                      {"durationMilliseconds", decimalText(std::round(duration * 1000)) + ".0"},
                      {"turboMultiplier", decimalText(multiplier(speed))}});
    setStatusText("Allowing the device to store sample metadata\u2026");

    sendQueue_->post([=, this, clock = sendClock(), toMain = mainThreadPoster()] {
        clock->waitUntil(clock->now() + duration, *cancellation);
        toMain([=, this] {
            if (send_.sendGeneration != generation || !isSending_) return;
            if (!cancellation->isCancelled()) {
                recordDiagnostic("sds.send.deviceSettle.completed", {{"context", context}});
                continuation();
            } else if (context == betweenDumps) {
                cancelCurrentSendItem(itemID);
            } else {
                processNextSendItem(generation);
            }
        });
    });
}

void AppModel::advanceSendSessionAfterSDS(uint64_t generation, SharedCancellation cancellation) {
    const auto index = static_cast<std::size_t>(send_.sendIndex);
    if (send_.sendIndex < 0 || index >= send_.sendIDs.size()) return;
    completeSendItemProgress(send_.sendIndex, send_.sendIDs[index], generation);
    send_.sendIndex += 1;
    const auto next = index + 1;
    if (next < send_.sendItemSnapshots.size()) {
        const TransferSendMethod& method = send_.sendItemSnapshots[next].sendMethod;
        if (method.is<TransferSendMethod::SDSFile>() || method.is<TransferSendMethod::AudioSDS>()) {
            continueAfterSDSDeviceSettle(generation, cancellation, betweenItems, send_.sendIDs[index],
                                         [this, generation] { processNextSendItem(generation); });
            return;
        }
    }
    processNextSendItem(generation);
}

}  // namespace k7

#include "V7Aruviv/Stores/AppModel.h"

#include <cmath>
#include <exception>
#include <utility>

#include "K7Dispatch/SerialQueue.h"
#include "K7MIDI/Alsa/AlsaMIDITransport.h"
#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "K7MIDI/Transport/MockMIDITransport.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "V7Aruviv/Stores/AppModelDiagnosticSink.h"
#include "V7Aruviv/Support/AppIdentity.h"

namespace k7 {

namespace {

double nonNegative(double value) { return value >= 0 ? value : 0; }  // NaN gives 0 too

std::shared_ptr<Scheduler> makeQueue(const AppModelConfiguration& configuration, const char* suffix) {
    const std::string label = queueLabel(suffix);
    if (configuration.makeWorkQueue) return configuration.makeWorkQueue(label);
    return std::make_shared<SerialQueue>(label);
}

std::shared_ptr<MIDITransporting> emptyMock(const AppModelConfiguration& configuration) {
    MockMIDITransport::Options options;
    options.scheduler = configuration.fallbackTransportQueue;
    return std::make_shared<MockMIDITransport>(MIDIEndpointSnapshot{}, options);
}

// Posts `task` to `main` holding the model only through `lifetime`, so that a callback arriving
// after the model is gone touches nothing of it.
void hop(const std::shared_ptr<Scheduler>& main, const std::weak_ptr<int>& lifetime, Task task) {
    main->post([lifetime, task = std::move(task)] {
        if (lifetime.lock()) task();
    });
}

}  // namespace

AppModel::AppModel(Configuration configuration)
    : configuration_(std::move(configuration)),
      offlineHealthCheck_(configuration_.offlineHealthCheck),
      preferencesStore_(configuration_.preferencesStore),
      interaction_(configuration_.userInteraction),
      main_(configuration_.mainScheduler),
      diagnostics_(std::make_shared<AppModelDiagnosticSink>()) {
    if (!preferencesStore_ || !interaction_ || !main_) {
        throw std::invalid_argument("AppModel needs a defaults store, a user interaction and a main scheduler");
    }
    sendQueue_ = makeQueue(configuration_, ".transfer.send");
    importQueue_ = makeQueue(configuration_, ".files.import");
    exportQueue_ = makeQueue(configuration_, ".files.export");
    conversionQueue_ = makeQueue(configuration_, ".files.conversion");

    turbo_.turboResponseTimeout = nonNegative(configuration_.turboResponseTimeout);
    turbo_.turboDetectionTimeout = nonNegative(configuration_.turboDetectionTimeout);
    if (configuration_.monomachineRepairTimeout) {
        repair_.backupRepairTimeoutOverride = std::max(*configuration_.monomachineRepairTimeout, 0.01);
    }
    if (configuration_.monomachineRepairMaximumAttempts) {
        repair_.backupRepairMaximumAttempts = std::max<int64_t>(*configuration_.monomachineRepairMaximumAttempts, 1);
    }
    repair_.backupRepairInterRequestDelay = nonNegative(configuration_.monomachineRepairInterRequestDelay);
    turbo_.automaticallyDetectTurbo = configuration_.automaticallyDetectTurbo && !offlineHealthCheck_;
    turbo_.allowsUnsolicitedTurboSync = !offlineHealthCheck_;

    preferences_ = AppPreferences::load(*preferencesStore_);
    preferencesStore_->remove(appKey(".sample-position"));

    std::shared_ptr<MIDITransporting> chosen = configuration_.transport;
    std::optional<std::string> systemFailure;
    if (!chosen && offlineHealthCheck_) {
        chosen = emptyMock(configuration_);
    } else if (!chosen) {
        try {
            chosen = configuration_.makeSystemTransport ? configuration_.makeSystemTransport()
                                                        : std::make_shared<AlsaMIDITransport>();
        } catch (const std::exception& error) {
            systemFailure = error.what();
        }
        if (!chosen) {
            systemMIDIUnavailable_ = true;
            chosen = emptyMock(configuration_);
        }
    }
    tracingTransport_ = std::make_shared<MIDITracingTransport>(std::move(chosen));
    alertMessage_ = systemFailure;
    endpoints_ = tracingTransport_->endpointSnapshot();

    const std::weak_ptr<int> lifetime = lifetime_;
    tracingTransport_->onEndpointsChanged = [this, main = main_, lifetime](const MIDIEndpointSnapshot& snapshot) {
        hop(main, lifetime, [this, snapshot] { handleEndpointSnapshot(snapshot); });
    };
    tracingTransport_->onReceiveBytes = [this, main = main_, lifetime](const Bytes& message) {
        hop(main, lifetime, [this, message] { handleIncoming(message); });
    };
    tracingTransport_->onTransportIssue = [this, main = main_, lifetime](const MIDITransportIssue& issue) {
        hop(main, lifetime, [this, issue] { handleTransportIssue(issue); });
    };

    if (offlineHealthCheck_) {
        statusText_ = "Offline health check; MIDI access disabled";
        turboStatus_ = "1x";
    } else if (!systemMIDIUnavailable_) {
        // Without system MIDI the empty snapshot says nothing about the user's devices: the saved
        // routing is kept for the next start instead of being cleared as vanished.
        handleEndpointSnapshot(endpoints_);
    }

    if (preferences_.reloadFiles) restoreOpenFiles();
}

AppModel::~AppModel() {
    tracingTransport_->onEndpointsChanged = nullptr;
    tracingTransport_->onReceiveBytes = nullptr;
    tracingTransport_->onTransportIssue = nullptr;
    turbo_.turboDetectionGeneration += 1;
    if (send_.activeSDSSender) send_.activeSDSSender->cancel();
    if (receive_.receiveSession) receive_.receiveSession->cancel();
    if (turbo_.turboTransportOverrideApplied) {
        try {
            tracingTransport_->configureMaximumSysExSpeed(std::nullopt);
        } catch (const std::exception&) {
            // Nothing can be reported any more; the transport restores its own speed when released.
        }
    }
    send_.sendCancellation->cancel();
}

MIDITransporting& AppModel::transport() const { return *tracingTransport_; }

bool AppModel::configurationLocked() const {
    return isSending_ || isReceiving_ || TurboNegotiation::isWaiting(turbo_.turboState) || isImporting_ ||
           isExporting_ || isConverting_;
}

void AppModel::postToMain(Task task) const { hop(main_, lifetime_, std::move(task)); }

TimerHandle AppModel::afterOnMain(double seconds, Task task) const {
    const auto delay = std::chrono::duration_cast<Scheduler::Duration>(std::chrono::duration<double>(seconds));
    return main_->postAfter(delay, [lifetime = std::weak_ptr<int>(lifetime_), task = std::move(task)] {
        if (lifetime.lock()) task();
    });
}

double AppModel::uptime() const {
    return std::chrono::duration<double>(main_->now().time_since_epoch()).count();
}

void AppModel::openURLs(const std::vector<std::filesystem::path>& urls) {
    // After the current event, as a notification would arrive.
    postToMain([this, urls] { importFromUser(urls); });
}

// --- Published properties: every assignment publishes, equal or not ---

#define K7_PUBLISHED_SETTER(field, setter, Type, signal) \
    void AppModel::setter(Type value) {                  \
        field##_ = std::move(value);                     \
        emit signal();                                   \
    }

K7_PUBLISHED_SETTER(items, setItems, std::vector<TransferItem>, itemsChanged)
K7_PUBLISHED_SETTER(selection, setSelection, std::set<QUuid>, selectionChanged)
K7_PUBLISHED_SETTER(endpoints, setEndpoints, MIDIEndpointSnapshot, endpointsChanged)
K7_PUBLISHED_SETTER(isSending, setIsSending, bool, isSendingChanged)
K7_PUBLISHED_SETTER(isReceiving, setIsReceiving, bool, isReceivingChanged)
K7_PUBLISHED_SETTER(isFinishingReceive, setIsFinishingReceive, bool, isFinishingReceiveChanged)
K7_PUBLISHED_SETTER(isImporting, setIsImporting, bool, isImportingChanged)
K7_PUBLISHED_SETTER(importProgress, setImportProgress, double, importProgressChanged)
K7_PUBLISHED_SETTER(isExporting, setIsExporting, bool, isExportingChanged)
K7_PUBLISHED_SETTER(isConverting, setIsConverting, bool, isConvertingChanged)
K7_PUBLISHED_SETTER(receivedByteCount, setReceivedByteCount, int64_t, receivedByteCountChanged)
K7_PUBLISHED_SETTER(overallProgress, setOverallProgress, double, overallProgressChanged)
K7_PUBLISHED_SETTER(transferRateBytesPerSecond, setTransferRateBytesPerSecond, std::optional<double>, transferRateBytesPerSecondChanged)
K7_PUBLISHED_SETTER(estimatedSendTimeRemaining, setEstimatedSendTimeRemaining, std::optional<double>, estimatedSendTimeRemainingChanged)
K7_PUBLISHED_SETTER(receiveProgressIsDeterminate, setReceiveProgressIsDeterminate, bool, receiveProgressIsDeterminateChanged)
K7_PUBLISHED_SETTER(statusText, setStatusText, std::string, statusTextChanged)
K7_PUBLISHED_SETTER(turboStatus, setTurboStatus, std::string, turboStatusChanged)
K7_PUBLISHED_SETTER(diagnosticCaptureStatus, setDiagnosticCaptureStatus, std::string, diagnosticCaptureStatusChanged)
K7_PUBLISHED_SETTER(frozenTransferPlan, setFrozenTransferPlan, std::optional<TransferPlan>, frozenTransferPlanChanged)
K7_PUBLISHED_SETTER(alertMessage, setAlertMessage, std::optional<std::string>, alertMessageChanged)

#undef K7_PUBLISHED_SETTER

void AppModel::setPreferences(AppPreferences value) {
    AppPreferences previous = std::exchange(preferences_, std::move(value));
    emit preferencesChanged();
    preferencesDidChange(previous);
}

void AppModel::setSamplePosition(int64_t value) {
    samplePosition_ = value;
    emit samplePositionChanged();
    samplePositionDidChange();
}

void AppModel::setTurboState(TurboNegotiation::State state) {
    turbo_.turboState = std::move(state);
    emit turboStateChanged();
}

void AppModel::setIsTurboDetecting(bool value) {
    turbo_.isTurboDetecting = value;
    emit isTurboDetectingChanged();
}

}  // namespace k7

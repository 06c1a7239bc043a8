#pragma once

#include <QObject>
#include <QUuid>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "K7Core/FileList/K7ProjectCodec.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSTransferFailure.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/Bytes.h"
#include "K7Core/Turbo/TurboNegotiation.h"
#include "K7Core/Turbo/TurboSpeed.h"
#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/Transport/MIDIEndpointSnapshot.h"
#include "K7MIDI/Transport/MIDIReceiveDrainResult.h"
#include "K7MIDI/Transport/MIDITransportIssue.h"
#include "K7MIDI/SDS/SDSSenderDriver.h"
#include "V7Aruviv/Models/AppPreferences.h"
#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Models/TransferPlan.h"
#include "K7Core/SDS/SDSTransferMode.h"
#include "V7Aruviv/Stores/AppModelConfiguration.h"
#include "V7Aruviv/Stores/AppModelFileWorkState.h"
#include "V7Aruviv/Stores/AppModelReceiveState.h"
#include "V7Aruviv/Stores/AppModelRepairState.h"
#include "V7Aruviv/Stores/AppModelRoutingState.h"
#include "V7Aruviv/Stores/AppModelSendState.h"
#include "V7Aruviv/Stores/AppModelTurboState.h"
#include "V7Aruviv/Stores/AudioSDSEnvelope.h"
#include "V7Aruviv/Stores/ExportPlan.h"
#include "V7Aruviv/Stores/ImportLimits.h"
#include "V7Aruviv/Stores/PreparedImport.h"
#include "V7Aruviv/Stores/PreparedSDSTransfer.h"
#include "V7Aruviv/Stores/SendClock.h"
#include "V7Aruviv/Stores/UserInteraction.h"

namespace k7 {

class AppModelDiagnosticSink;
class MIDIDiagnosticRecorder;
class MIDITracingTransport;
class RawSysExProgressClock;
class SDSReceiveSession;
class SDSReceiveSessionFailure;
struct SDSReceiveCompletion;

// The one application model: the file list, the selection, the settings and every long operation.
// It lives on the main thread; views read its state there and call its commands there. Work that
// leaves the main thread comes back through the main scheduler, holding the model weakly and
// checking its generation.
//
// Every published property has a getter, a setter and a change signal; a setter emits on every
// assignment, equal value or not. The operations are defined in one source file per coordinator
// (AppModelRouting.cpp, AppModelTurboCoordinator.cpp, AppModelSendCoordinator.cpp, ...).
class AppModel final : public QObject {
    Q_OBJECT

public:
    using Configuration = AppModelConfiguration;

    explicit AppModel(Configuration configuration);
    ~AppModel() override;

    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // --- Published state ---
    const std::vector<TransferItem>& items() const { return items_; }
    const std::set<QUuid>& selection() const { return selection_; }
    const MIDIEndpointSnapshot& endpoints() const { return endpoints_; }
    const AppPreferences& preferences() const { return preferences_; }
    int64_t samplePosition() const { return samplePosition_; }
    bool isSending() const { return isSending_; }
    bool isReceiving() const { return isReceiving_; }
    bool isFinishingReceive() const { return isFinishingReceive_; }
    bool isImporting() const { return isImporting_; }
    double importProgress() const { return importProgress_; }
    bool isExporting() const { return isExporting_; }
    bool isConverting() const { return isConverting_; }
    int64_t receivedByteCount() const { return receivedByteCount_; }
    double overallProgress() const { return overallProgress_; }
    const std::optional<double>& transferRateBytesPerSecond() const { return transferRateBytesPerSecond_; }
    const std::optional<double>& estimatedSendTimeRemaining() const { return estimatedSendTimeRemaining_; }
    bool receiveProgressIsDeterminate() const { return receiveProgressIsDeterminate_; }
    const std::string& statusText() const { return statusText_; }
    const std::string& turboStatus() const { return turboStatus_; }
    const std::string& diagnosticCaptureStatus() const { return diagnosticCaptureStatus_; }
    const std::optional<TransferPlan>& frozenTransferPlan() const { return frozenTransferPlan_; }
    const std::optional<std::string>& alertMessage() const { return alertMessage_; }

    void setItems(std::vector<TransferItem> value);
    // Changes the list in place and publishes it once, without copying the items' data. An edit
    // that throws must not have changed the list, which stays as it was, unpublished.
    void editItems(const std::function<void(std::vector<TransferItem>&)>& edit);
    void setSelection(std::set<QUuid> value);
    void setEndpoints(MIDIEndpointSnapshot value);
    void setPreferences(AppPreferences value);
    void setSamplePosition(int64_t value);
    void setIsSending(bool value);
    void setIsReceiving(bool value);
    void setIsFinishingReceive(bool value);
    void setIsImporting(bool value);
    void setImportProgress(double value);
    void setIsExporting(bool value);
    void setIsConverting(bool value);
    void setReceivedByteCount(int64_t value);
    void setOverallProgress(double value);
    void setTransferRateBytesPerSecond(std::optional<double> value);
    void setEstimatedSendTimeRemaining(std::optional<double> value);
    void setReceiveProgressIsDeterminate(bool value);
    void setStatusText(std::string value);
    void setTurboStatus(std::string value);
    void setDiagnosticCaptureStatus(std::string value);
    void setFrozenTransferPlan(std::optional<TransferPlan> value);
    void setAlertMessage(std::optional<std::string> value);

    // Not published in the original sense, but the views redraw from them.
    const TurboNegotiation::State& turboState() const { return turbo_.turboState; }
    bool isTurboDetecting() const { return turbo_.isTurboDetecting; }

    // Sending, receiving, a Turbo negotiation waiting, importing, exporting or converting.
    bool configurationLocked() const;

    // The transport every operation uses: the tracing transport around the chosen one.
    MIDITransporting& transport() const;
    MIDITracingTransport& tracingTransport() const { return *tracingTransport_; }
    // True when the system's MIDI could not be opened and the model runs on an empty mock.
    bool isSystemMIDIUnavailable() const { return systemMIDIUnavailable_; }
    bool isOfflineHealthCheck() const { return offlineHealthCheck_; }

    // --- Routing and preference changes ---
    void applyEndpointSelection(bool allowWhileLocked);
    void handleEndpointSnapshot(const MIDIEndpointSnapshot& snapshot);
    static std::string missingMIDISelectionStatus(bool inputRemoved, bool outputRemoved, bool interruptedTransfer);

    // --- Queries ---
    std::vector<TransferItem> selectedItems() const;
    std::optional<TransferItem> selectedItem() const;
    std::optional<TransferItem> selectedAudioSettingsItem() const;
    bool canConvertSelectionToDigiPRO() const;
    std::string digiPROConversionHelp() const;
    std::string fileInfoText() const;
    std::optional<TransferPlan> liveTransferPlan() const;
    std::vector<TransferItem::ListPresentation> listItems() const;
    std::vector<QUuid> itemIDs() const;
    int64_t totalMessageCount() const;
    int64_t totalByteCount() const;
    std::optional<std::filesystem::path> fileURL(const QUuid& itemID) const;

    // --- Commands ---
    void sendSelected();
    void stopSending();
    void toggleReceiving();
    void negotiateTurbo();
    void toggleDiagnosticCapture();
    bool shouldTerminateAfterUserConfirmation();

    // --- Turbo coordinator ---
    static std::optional<TurboSpeed> turboSpeed(AppPreferences::TurboLimit limit);
    static std::string turboStatus(TurboSpeed speed);
    static std::string turboActivationStatus(TurboSpeed speed);
    void applyTurboTransition(const TurboNegotiation::Transition& transition);
    void detectExistingTurboIfPossible();
    bool handleTurboFrame(const Bytes& message);
    void synchronizeDetectedTurbo(TurboSpeed speed, const std::string& source);
    bool ensureTurboTransportForSend();
    void setTurboLimitFromUser(AppPreferences::TurboLimit limit);
    bool restoreTurboTransport();
    void resetTurboForRouteChange();

    // --- Diagnostic capture ---
    using DiagnosticFields = std::map<std::string, std::string>;
    // Any thread; does nothing when no capture runs.
    void recordDiagnostic(const std::string& name, const DiagnosticFields& fields = {});
    std::optional<DiagnosticFields> promptForDiagnosticMetadata();
    DiagnosticFields diagnosticSessionMetadata() const;

    // --- Sending ---
    static TransferProgressPlan makeSendProgressPlan(const TransferPlan& transferPlan,
                                                     const std::vector<TransferItem>& orderedItems,
                                                     const SendOptions& options);
    void processNextSendItem(uint64_t generation);

    // --- SDS envelope and file encoding (also used by the conversion to SDS files) ---
    static AudioSDSEnvelope makeAudioSDSEnvelope(const TransferItem& item, uint16_t position,
                                                 const SendOptions& options);
    static PreparedSDSTransfer prepareSDSTransfer(const TransferItem& item, uint16_t position,
                                                  const SendOptions& options,
                                                  std::optional<SDSTransferMode> modeOverride = std::nullopt);
    static std::string sdsASCIIName(const std::string& displayName);
    static Bytes encodeSDSFile(const PreparedSDSTransfer& transfer);

    // --- Receiving ---
    void startReceiving();
    void stopReceiving();
    void handleIncoming(const Bytes& message);
    void handleTransportIssue(const MIDITransportIssue& issue);
    // The name a received dump brings: its SDS sample name, else its SPS-1UW name, as far as
    // either leaves a usable file name.
    static std::optional<std::string> receivedHardwareName(const std::optional<SDSSampleNameMessage>& sampleName,
                                                           const std::optional<SPS1UWFileNameMessage>& sps1UWName);
    // Trimmed, without path separators or control characters, at most 64 characters; nothing
    // when no name is left.
    static std::optional<std::string> sanitizedReceivedName(const std::string& text);
    // The user's text for an SDS dump that did not arrive.
    static std::string describeTransferFailure(const SDSTransferFailure& failure);

    // --- Import and the open-file library ---
    // The instrument a list of SysEx messages belongs to: one device, `multiple` or `unknown`.
    static TransferItem::Device device(const std::vector<Bytes>& messages);
    static constexpr int64_t maximumImportedItemCount = K7ProjectCodec::Limits::defaults().maximumRows;
    // (completed, total), called on the import queue after each URL.
    using ImportProgress = std::function<void(int64_t completed, int64_t total)>;
    // The preparation runs on any thread and touches no model state. It never throws: every file
    // or file-list row that cannot be prepared becomes one line of the result's failures.
    static PreparedImport prepareImport(const std::vector<std::filesystem::path>& urls,
                                        const ImportProgress& progress = {}, const ImportLimits& limits = {});
    // The kind the file name declares.
    static TransferItem::Kind kind(const std::filesystem::path& url);
    // Reads a regular file of at most `maximumBytes` without following a final symbolic link.
    // Throws AppModelError, or std::system_error carrying errno.
    static Bytes readBoundedRegularFile(const std::filesystem::path& url, int64_t maximumBytes);
    static TransferItem::Kind contentKind(ByteView data, TransferItem::Kind declaredKind,
                                          const ImportLimits& limits = {});
    // Expands one file list, one level deep.
    static PreparedImport prepareProject(ByteView data, const std::filesystem::path& url, int64_t maximumItems,
                                         int64_t maximumRetainedBytes, const ImportLimits& limits = {});
    static TransferItem makeTransferItem(const std::filesystem::path& url, Bytes data, TransferItem::Kind kind);
    static std::string batchFailureMessage(const std::string& action, const std::vector<std::string>& failures,
                                           int64_t successCount);
    void presentLoadPanel();
    void importFromUser(std::vector<std::filesystem::path> urls, std::function<void()> afterApplying = {});
    void cancelImport();
    void persistOpenFiles();
    void restoreOpenFiles();
    // The cleaned name, keeping the extension of `current`; throws AppModelError (invalidItemName).
    static std::string normalizedDisplayName(const std::string& name, const std::string& current);
    // Throws AppModelError: invalidItemName, invalidExportExtension or unsupportedExportType.
    static void validateExportName(const std::string& name, TransferItem::Kind kind);

    // --- Editing the file list ---
    void removeSelected();
    bool removeSelectedAllowingUnsavedDataLoss();
    bool renameItem(const QUuid& id, const std::string& name);
    void updateSelectedLoopMode(TransferItem::LoopMode mode);
    void updateSelectedStereoMode(TransferItem::StereoMode mode);

    // --- Conversion and saving ---
    void convertSelectedToDigiPRO();
    void convertSelectedToSDS();
    void presentSavePanel();
    void presentSaveProjectPanel();
    // One selected item to the file `destination`, several into the folder `destination`.
    void exportSelectedFromUser(const std::filesystem::path& destination);
    ExportPlan makeExportPlan(const std::filesystem::path& destination) const;
    // The file work of a save; touches no model state, so it runs on the export queue.
    static void executeExport(const ExportPlan& plan, const ExportCommitHook& beforeCommittingEntry = {});
    // Points each saved item at its file.
    void commitExport(const ExportPlan& plan);
    static std::string exportSuccessMessage(const ExportPlan& plan);

    // --- For the views ---
    // Moves the items at `rows` to `destination`, a position in the list before the move, in one
    // change of the list, and remembers the new order. Ignored while importing or exporting;
    // allowed while sending or receiving.
    void moveItems(const std::set<std::size_t>& rows, std::size_t destination);

public slots:
    // Files handed to the program by the system (command line, drops, the file manager).
    void openURLs(const std::vector<std::filesystem::path>& urls);

signals:
    void itemsChanged();
    void selectionChanged();
    void endpointsChanged();
    void preferencesChanged();
    void samplePositionChanged();
    void isSendingChanged();
    void isReceivingChanged();
    void isFinishingReceiveChanged();
    void isImportingChanged();
    void importProgressChanged();
    void isExportingChanged();
    void isConvertingChanged();
    void receivedByteCountChanged();
    void overallProgressChanged();
    void transferRateBytesPerSecondChanged();
    void estimatedSendTimeRemainingChanged();
    void receiveProgressIsDeterminateChanged();
    void statusTextChanged();
    void turboStatusChanged();
    void diagnosticCaptureStatusChanged();
    void frozenTransferPlanChanged();
    void alertMessageChanged();
    void turboStateChanged();
    void isTurboDetectingChanged();

private:
    // --- Main thread plumbing (AppModel.cpp) ---
    // Runs `task` on the main thread later, unless the model is gone by then. Any thread.
    void postToMain(Task task) const;
    // Runs `task` on the main thread after `seconds`, unless the model is gone by then.
    TimerHandle afterOnMain(double seconds, Task task) const;
    // The monotonic clock of the main scheduler, in seconds.
    double uptime() const;
    void setTurboState(TurboNegotiation::State state);
    void setIsTurboDetecting(bool value);

    // --- Saving (AppModelExport.cpp) ---
    // The items are those of `ids`, taken when the command was given.
    void exportItemsFromUser(const std::vector<QUuid>& ids, const std::filesystem::path& destination);
    // Runs `write` on the export queue as the save under way. Back on the main thread, unless a
    // later save took over: a failure shows `failureStatus` and the error; success runs `saved`.
    void runSave(const std::string& startStatus, std::function<void()> write, std::string failureStatus,
                 std::function<void()> saved);
    // Starts the save under way: a new generation, `isExporting` and the status. Returns the generation.
    uint64_t beginSave(const std::string& startStatus);
    // Ends the save of `generation` on the main thread, unless a later save took over.
    void endSave(uint64_t generation, const std::optional<std::string>& failure, const std::string& failureStatus,
                 const std::function<void()>& saved);
    struct FolderSaveRun;  // a folder save under way (AppModelExport.cpp)
    // Copies entry `index`'s bytes from its item and writes them on the export queue; after the
    // last entry, commits the files; then comes back for the next step or ends the save.
    void stageFolderEntry(const std::shared_ptr<FolderSaveRun>& run, std::size_t index);
    ExportPlan makeExportPlan(const std::vector<QUuid>& ids, const std::filesystem::path& destination) const;
    // The plan without the items' bytes.
    ExportPlan planExport(const std::vector<QUuid>& ids, const std::filesystem::path& destination) const;
    // commitExport with the byte counts of the files written, one per entry.
    void pointItemsAtSavedFiles(const ExportPlan& plan, const std::vector<int64_t>& byteCounts);

    // --- Routing (AppModelRouting.cpp) ---
    void preferencesDidChange(const AppPreferences& previous);
    void samplePositionDidChange();
    bool routingBusy() const;

    // --- Receiving (AppModelReceiveCoordinator.cpp, AppModelReceiveFinalization.cpp,
    // AppModelReceivedNames.cpp) ---
    void installReceiveSessionCallbacks(const std::shared_ptr<SDSReceiveSession>& session, uint64_t generation);
    bool isCurrentReceiveSession(const std::weak_ptr<SDSReceiveSession>& session, uint64_t generation) const;
    void handleReceiveSessionFailure(const SDSReceiveSessionFailure& failure);
    void handleReceived(const Bytes& message);
    void finishReceivingAfterDrain(const MIDIReceiveDrainResult& result, uint64_t generation);
    void appendReceiveFailure(const std::string& text);
    void validatePendingDigiPROMessagesBeforeCancellation();
    void recordDigiPROFramedFragmentTransition(const DigiPROFramedFragmentAssembler::Transition& transition);
    void handleReceiveCompletion(const SDSReceiveCompletion& completion);
    TransferItem makeReceivedItem(const SDSReceiveCompletion& completion) const;
    void claimReceiveMessages(const std::vector<Bytes>& messages);
    void finalizeReceiving(uint64_t generation);
    std::vector<Bytes> materializeReceivedDigiPROItems(const std::vector<Bytes>& messages);
    void appendReceivedItem(TransferItem item);
    std::string uniqueReceivedDisplayName(const std::string& baseName, const std::string& fileExtension) const;
    struct ReceivedDigiPROIdentity {
        std::optional<int> position;
        std::optional<std::string> name;
    };
    static ReceivedDigiPROIdentity receivedDigiPROIdentity(ByteView message);
    static std::string digiPROReceiveFailure(ByteView message, const std::exception& error);

    // --- Backup repair (AppModelBackupRepair.cpp) ---
    bool beginBackupRepairIfNeeded(uint64_t generation);
    bool handleBackupRepairResponse(const Bytes& message);
    void cancelBackupRepair(const std::string& reason);
    void requestCurrentBackupRepairTarget();
    double backupRepairResponseTimeout(const ElektronBackupRecordKey& key) const;
    void retryCurrentBackupRepairTarget(const std::string& reason);
    void scheduleNextBackupRepairRequest();
    void finishBackupRepair();
    void failBackupRepair(const std::string& message);
    // Ends a repair that did not finish: keeps the replacements accepted so far and every reply.
    void endBackupRepairKeepingReplies(const std::string& failure);

    // --- Import (AppModelImport.cpp) ---
    void startImport(PendingImportBatch batch);
    void applyPreparedImport(PreparedImport prepared);

    // --- Editing (AppModelEditing.cpp) ---
    // Sending, receiving, importing or saving: the list may not be edited.
    bool fileListBusy() const;
    void removeItems(std::set<QUuid> ids);

    // --- Turbo (AppModelTurboCoordinator.cpp) ---
    void performTurboEffects(const std::vector<TurboNegotiation::Effect>& effects);
    void publishTurboTexts();
    void reduceTurbo(const TurboNegotiation::Input& input);

    // --- Sending (AppModelSendCoordinator.cpp, AppModelRawSysExSend.cpp, AppModelSDSSendCoordinator.cpp) ---
    using SharedCancellation = std::shared_ptr<CancellationFlag>;
    using PreparedSDSTransfers = std::shared_ptr<const std::vector<PreparedSDSTransfer>>;
    struct SDSDumpRun;  // one dump of an item's list and what its callbacks need
    std::shared_ptr<SendClock> sendClock() const;
    // Posts tasks to the main thread from any thread, holding the model only through its lifetime
    // token: a task arriving after the model is gone does nothing.
    std::function<void(Task)> mainThreadPoster() const;
    // Records like recordDiagnostic, for sessions whose callbacks may outlive the model: it reaches
    // the capture through the shared sink, and the model only on the main thread, for a failure.
    std::function<void(const std::string&, const DiagnosticFields&)> detachedDiagnosticRecorder();
    // Changes the first live item with the id, if there is one, and publishes the list.
    void updateLiveItem(const QUuid& id, const std::function<void(TransferItem&)>& change);
    void publishSendProgress(const TransferProgressPlan::Snapshot& snapshot, const QUuid& itemID,
                             bool itemCompleted);
    void completeSendItemProgress(int64_t itemNumber, const QUuid& itemID, uint64_t generation);
    void advanceSendSession(uint64_t generation);
    void failSendItem(QUuid id, std::string message);
    void cancelCurrentSendItem(QUuid id);
    void finishSendSession(std::string status, bool completed);
    std::string successfulSendStatus() const;
    void startRawSysExSend(const TransferItem& item, uint64_t generation);
    void scheduleRawSysExProgress(std::shared_ptr<const RawSysExProgressClock> clock, QUuid itemID,
                                  int64_t itemNumber, uint64_t generation, SharedCancellation cancellation);
    void startRecognizedSDSFileSend(const TransferItem& item, uint64_t generation);
    void prepareAndStartAudioSend(const TransferItem& item, uint64_t generation);
    void startPreparedSDSTransfers(PreparedSDSTransfers transfers, QUuid itemID, int64_t itemNumber,
                                   uint64_t generation, SharedCancellation cancellation, bool updatesSamplePosition,
                                   std::size_t transferIndex);
    void handleSDSProgress(const SDSDumpRun& run, const SDSSenderDriverProgress& progress);
    void handleSDSCompletion(const SDSDumpRun& run, const SDSSenderDriverResult& result);
    // `itemID` is the item whose dumps are being sent ("betweenDumps"), so that a Stop cancels it.
    void continueAfterSDSDeviceSettle(uint64_t generation, SharedCancellation cancellation,
                                      const std::string& context, QUuid itemID, Task continuation);
    void advanceSendSessionAfterSDS(uint64_t generation, SharedCancellation cancellation);

    // --- State, grouped by the coordinator that owns it ---
    const Configuration configuration_;
    const bool offlineHealthCheck_;
    const std::thread::id mainThread_ = std::this_thread::get_id();
    bool systemMIDIUnavailable_ = false;
    std::shared_ptr<DefaultsStore> preferencesStore_;
    std::shared_ptr<UserInteraction> interaction_;
    std::shared_ptr<Scheduler> main_;
    std::shared_ptr<MIDITracingTransport> tracingTransport_;
    std::shared_ptr<Scheduler> sendQueue_;
    std::shared_ptr<Scheduler> importQueue_;
    std::shared_ptr<Scheduler> exportQueue_;
    std::shared_ptr<Scheduler> conversionQueue_;
    // Closures leaving the main thread hold this weakly; it dies with the model.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);

    AppModelRoutingState routing_;
    AppModelTurboState turbo_;
    AppModelSendState send_;
    AppModelReceiveState receive_;
    AppModelRepairState repair_;
    AppModelFileWorkState files_;

    std::shared_ptr<AppModelDiagnosticSink> diagnostics_;  // the running capture's recorder

    std::vector<TransferItem> items_{};
    std::set<QUuid> selection_{};
    MIDIEndpointSnapshot endpoints_{};
    AppPreferences preferences_;
    int64_t samplePosition_ = 0;
    bool isSending_ = false;
    bool isReceiving_ = false;
    bool isFinishingReceive_ = false;
    bool isImporting_ = false;
    double importProgress_ = 0;
    bool isExporting_ = false;
    bool isConverting_ = false;
    int64_t receivedByteCount_ = 0;
    double overallProgress_ = 0;
    std::optional<double> transferRateBytesPerSecond_{};
    std::optional<double> estimatedSendTimeRemaining_{};
    bool receiveProgressIsDeterminate_ = false;
    std::string statusText_ = "Ready";
    std::string turboStatus_ = "1x";
    std::string diagnosticCaptureStatus_ = "Off";
    std::optional<TransferPlan> frozenTransferPlan_{};
    std::optional<std::string> alertMessage_{};
};

}  // namespace k7

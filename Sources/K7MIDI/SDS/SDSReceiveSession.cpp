#include "K7MIDI/SDS/SDSReceiveSession.h"

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <random>

#include "K7Core/SDS/SDSReceiverStateMachine.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Dispatch/QueueLabel.h"
#include "K7Dispatch/SerialQueue.h"

namespace k7 {

namespace act = sds_receiver_action;
namespace ev = sds_receiver_event;

namespace {

std::shared_ptr<Scheduler> sharedTimerQueue() {
    // Lives while a session uses it; the next session after that starts a new one.
    static std::mutex mutex;
    static std::weak_ptr<Scheduler> shared;
    std::lock_guard lock(mutex);
    auto queue = shared.lock();
    if (!queue) {
        queue = std::make_shared<SerialQueue>(queueLabel(".sds.receive-session-timers"));
        shared = queue;
    }
    return queue;
}

std::string sessionLabel() {
    static std::atomic<uint64_t> counter{0};
    std::random_device random;
    const uint64_t id = (static_cast<uint64_t>(random()) << 32 | random()) ^ ++counter;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(id));
    return queueLabel(".sds.receive-session.") + text;
}

std::string statusName(const SDSReceiverStatus& status) {
    return std::visit(Overloaded{
                          [](const sds_receiver_status::Receiving&) { return "receiving"; },
                          [](const sds_receiver_status::Failed&) { return "failed"; },
                          [](const sds_receiver_status::Idle&) { return "idle"; },
                          [](const sds_receiver_status::Completed&) { return "completed"; },
                      },
                      status);
}

}  // namespace

struct SDSReceiveSession::Core : std::enable_shared_from_this<Core> {
    Core(std::shared_ptr<MIDITransporting> transport, const SDSReceiverConfiguration& configuration,
         SDSReceiveFormat format, std::shared_ptr<Executor> callbackQueue, std::shared_ptr<Scheduler> timers,
         Duration maximumTimeout, Duration grace, std::shared_ptr<Executor> queue)
        : transport(std::move(transport)),
          format(format),
          callbackQueue(std::move(callbackQueue)),
          timers(timers ? std::move(timers) : sharedTimerQueue()),
          queue(queue ? std::move(queue) : std::make_shared<SerialQueue>(sessionLabel())),
          maximumTimeout(std::max(maximumTimeout, Duration::zero())),
          grace(grace),
          machine(configuration) {}

    const std::shared_ptr<MIDITransporting> transport;
    const SDSReceiveFormat format;
    const std::shared_ptr<Executor> callbackQueue;
    const std::shared_ptr<Scheduler> timers;
    const std::shared_ptr<Executor> queue;
    const Duration maximumTimeout;
    const Duration grace;

    MIDICallback<const SDSDumpHeaderMessage&> onHeader;
    MIDICallback<const SDSSampleNameMessage&> onSampleName;
    MIDICallback<const SPS1UWFileNameMessage&> onSPS1UWName;
    MIDICallback<const SDSReceiveProgress&> onProgress;
    MIDICallback<const SDSReceiveCompletion&> onCompleted;
    MIDICallback<const SDSReceiveSessionFailure&> onFailure;
    MIDICallback<const Bytes&> onIgnoredMessage;
    MIDICallback<uint64_t> onIgnoredTimeout;
    MIDICallback<const std::string&, const SDSDiagnosticFields&> onDiagnosticEvent;

    std::atomic<bool> released{false};

    mutable std::mutex mutex;
    SDSReceiverStatus status = sds_receiver_status::Idle{};   // guarded
    std::vector<SDSReceivedSampleMetadata> metadata;          // guarded
    std::map<uint64_t, TimerHandle> pendingTimers;            // guarded; receiver timer ids

    // Queue only.
    SDSReceiverStateMachine machine;
    std::optional<SDSReceivedDump> pendingDump;
    TimerHandle graceTimer;
    uint64_t graceToken = 0;
    bool sendFailed = false;
    // A cancel asked for runs to its end even when the session is released meanwhile.
    bool finishingAskedCancel = false;

    bool silenced() const { return released && !finishingAskedCancel; }

    template <typename Callback, typename Value>
    void deliver(Callback Core::*callback, Value value) {
        callbackQueue->post([weak = weak_from_this(), callback, value = std::move(value)] {
            auto core = weak.lock();
            if (core && !core->released) ((*core).*callback)(value);
        });
    }

    // Reported in order with the other callbacks; an event that happened is reported even when the
    // session is released before the callback queue gets to it.
    void diagnostic(const std::string& name, SDSDiagnosticFields fields = {}) {
        if (silenced()) return;
        auto report = onDiagnosticEvent.current();
        if (!report) return;
        callbackQueue->post(
            [report = std::move(report), name, fields = std::move(fields)] { (*report)(name, fields); });
    }

    void stopTimers() {
        std::lock_guard lock(mutex);
        for (auto& [id, handle] : pendingTimers) handle.cancel();
        pendingTimers.clear();
        graceTimer.cancel();
    }

    template <typename Task>
    void onQueue(Task task) {
        queue->post([weak = weak_from_this(), task = std::move(task)]() mutable {
            auto core = weak.lock();
            if (core && !core->released) task(*core);
        });
    }

    void message(const Bytes& bytes) {
        const auto actions = feed(ev::Message{bytes});
        const bool stillWaiting = std::any_of(actions.begin(), actions.end(), [](const SDSReceiverAction& action) {
            return std::holds_alternative<act::TrailingEndOfFile>(action) ||
                   std::holds_alternative<act::LastPacketRepeated>(action);
        });
        // The dump that was waiting for its end-of-file is done before anything else happens.
        if (pendingDump && !stillWaiting) deliverPending("nextMessage");
        perform(actions);
    }

    void cancelAsked() {
        finishingAskedCancel = true;
        cancel();
        finishingAskedCancel = false;
    }

    void cancel() {
        diagnostic("sds.receiver.cancelRequested", {{"status", statusName(machine.status())}});
        // A released session hands nothing over.
        if (pendingDump && !released) deliverPending("cancel");
        perform(feed(ev::Cancel{}));
    }

    void timeout(uint64_t id) {
        {
            std::lock_guard lock(mutex);
            pendingTimers.erase(id);
        }
        diagnostic("sds.receiver.timeoutFired", {{"timerID", std::to_string(id)}});
        perform(feed(ev::Timeout{id}));
    }

    std::vector<SDSReceiverAction> feed(const SDSReceiverEvent& event) {
        auto actions = machine.handle(event);
        std::lock_guard lock(mutex);
        status = machine.status();
        return actions;
    }

    void perform(const std::vector<SDSReceiverAction>& actions) {
        sendFailed = false;
        std::string sendError;
        for (const auto& action : actions) {
            if (silenced()) return;
            std::visit(
                Overloaded{
                    [&](const act::Send& a) {
                        if (sendFailed) return;
                        try {
                            transport->send(a.message);
                        } catch (const std::exception& error) {
                            sendFailed = true;
                            sendError = error.what();
                            diagnostic("sds.receiver.sendFailed", {{"error", sendError}});
                        }
                    },
                    [&](const act::ScheduleTimeout& a) { schedule(a.id, a.delay); },
                    [&](const act::CancelTimeout& a) {
                        std::lock_guard lock(mutex);
                        if (auto it = pendingTimers.find(a.id); it != pendingTimers.end()) {
                            it->second.cancel();
                            pendingTimers.erase(it);
                        }
                    },
                    [&](const act::HeaderAccepted& a) {
                        {
                            std::lock_guard lock(mutex);
                            metadata.push_back(SDSReceivedSampleMetadata{a.header, std::nullopt, std::nullopt});
                        }
                        diagnostic("sds.receiver.headerAccepted",
                                   {{"deviceID", std::to_string(a.header.deviceID())},
                                    {"sampleNumber", std::to_string(a.header.sampleNumber())},
                                    {"expectedSampleWords", std::to_string(a.header.announcedSampleWords())}});
                        deliver(&Core::onHeader, a.header);
                    },
                    [&](const act::SampleNameReceived& a) {
                        {
                            std::lock_guard lock(mutex);
                            if (!metadata.empty()) metadata.back().sampleName = a.name;
                        }
                        diagnostic("sds.receiver.sampleNameReceived", {{"name", a.name.asciiName()}});
                        deliver(&Core::onSampleName, a.name);
                    },
                    [&](const act::SPS1UWNameReceived& a) {
                        {
                            std::lock_guard lock(mutex);
                            if (!metadata.empty()) metadata.back().sps1UWName = a.name;
                        }
                        diagnostic("sds.receiver.sps1UWNameReceived", {{"name", a.name.fileName.text()}});
                        deliver(&Core::onSPS1UWName, a.name);
                    },
                    [&](const act::Progress& a) {
                        deliver(&Core::onProgress,
                                SDSReceiveProgress{a.packetNumber, a.receivedSampleWords, a.totalSampleWords});
                    },
                    [&](const act::Completed& a) {
                        diagnostic("sds.receiver.dumpCompleted",
                                   {{"sampleNumber", std::to_string(a.dump.header.sampleNumber())},
                                    {"sampleWords", std::to_string(a.dump.samples.size())}});
                        pendingDump = a.dump;
                        awaitTrailingEndOfFile();
                    },
                    [&](const act::Failed& a) {
                        diagnostic("sds.receiver.failed", {{"failure", describe(a.failure)}});
                        deliver(&Core::onFailure, SDSReceiveSessionFailure::transfer(a.failure));
                    },
                    [&](const act::IgnoredMessage& a) {
                        diagnostic("sds.receiver.messageIgnored", {{"byteCount", std::to_string(a.message.size())}});
                        deliver(&Core::onIgnoredMessage, a.message);
                    },
                    [&](const act::IgnoredTimeout& a) {
                        diagnostic("sds.receiver.timeoutIgnored", {{"timerID", std::to_string(a.id)}});
                        deliver(&Core::onIgnoredTimeout, a.id);
                    },
                    [&](const act::TrailingEndOfFile& a) {
                        if (!pendingDump) {
                            diagnostic("sds.receiver.endOfFileIgnored");
                            deliver(&Core::onIgnoredMessage, a.message);
                            return;
                        }
                        pendingDump->messages.push_back(a.message);
                        deliverPending("endOfFile");
                    },
                    // Answered again: the end-of-file that follows still belongs to the dump.
                    [&](const act::LastPacketRepeated&) {
                        if (pendingDump) awaitTrailingEndOfFile();
                    },
                },
                action);
        }
        // Without our answers the sender cannot go on; the dump is given up rather than left to
        // time out packet by packet.
        if (sendFailed && std::holds_alternative<sds_receiver_status::Receiving>(machine.status())) {
            abandonAfterSendFailure(sendError);
        }
    }

    void abandonAfterSendFailure(const std::string& error) {
        for (const auto& action : feed(ev::Cancel{})) {
            // Its CANCEL would fail like the answer did, and the failure is reported as the
            // transport's, not as a local cancel.
            if (const auto* cancelTimer = std::get_if<act::CancelTimeout>(&action)) {
                std::lock_guard lock(mutex);
                if (auto it = pendingTimers.find(cancelTimer->id); it != pendingTimers.end()) {
                    it->second.cancel();
                    pendingTimers.erase(it);
                }
            }
        }
        deliver(&Core::onFailure, SDSReceiveSessionFailure(SDSReceiveSessionFailure::Transport{error}));
    }

    void schedule(uint64_t id, Duration delay) {
        const Duration capped = std::min(delay, maximumTimeout);
        auto handle = timers->postAfter(capped, [weak = weak_from_this(), id] {
            if (auto core = weak.lock()) core->onQueue([id](Core& c) { c.timeout(id); });
        });
        std::lock_guard lock(mutex);
        pendingTimers[id] = handle;
    }

    void awaitTrailingEndOfFile() {
        if (grace <= Duration::zero()) {
            deliverPending("noGracePeriod");
            return;
        }
        graceTimer.cancel();
        const uint64_t token = ++graceToken;
        auto handle = timers->postAfter(std::min(grace, maximumTimeout), [weak = weak_from_this(), token] {
            if (auto core = weak.lock()) {
                core->onQueue([token](Core& c) {
                    if (c.pendingDump && c.graceToken == token) c.deliverPending("gracePeriodEnded");
                });
            }
        });
        std::lock_guard lock(mutex);
        graceTimer = handle;
    }

    void deliverPending(const char* reason) {
        graceTimer.cancel();
        ++graceToken;
        SDSReceivedDump dump = std::move(*pendingDump);
        pendingDump.reset();
        const uint16_t sampleNumber = dump.header.sampleNumber();
        auto completion = SDSReceiveCompletion::make(std::move(dump), format);
        if (!completion) {
            diagnostic("sds.receiver.invalidCompletion", {{"sampleNumber", std::to_string(sampleNumber)}});
            deliver(&Core::onFailure, SDSReceiveSessionFailure(SDSReceiveSessionFailure::InvalidCompletion{}));
            return;
        }
        diagnostic("sds.receiver.completionDelivered",
                   {{"sampleNumber", std::to_string(sampleNumber)},
                    {"rawMessageCount", std::to_string(completion->rawMessages.size())},
                    {"rawByteCount", std::to_string(completion->rawData.size())},
                    {"reason", reason}});
        deliver(&Core::onCompleted, std::move(*completion));
    }
};

SDSReceiveSession::SDSReceiveSession(std::shared_ptr<MIDITransporting> transport,
                                     const SDSReceiverConfiguration& configuration, SDSReceiveFormat receiveFormat,
                                     std::shared_ptr<Executor> callbackQueue, std::shared_ptr<Scheduler> scheduler,
                                     Duration maximumScheduledTimeout, Duration trailingEndOfFileGracePeriod,
                                     std::shared_ptr<Executor> queue)
    : core_(std::make_shared<Core>(std::move(transport), configuration, receiveFormat, std::move(callbackQueue),
                                   std::move(scheduler), maximumScheduledTimeout, trailingEndOfFileGracePeriod,
                                   std::move(queue))),
      onHeader(core_->onHeader),
      onSampleName(core_->onSampleName),
      onSPS1UWName(core_->onSPS1UWName),
      onProgress(core_->onProgress),
      onCompleted(core_->onCompleted),
      onFailure(core_->onFailure),
      onIgnoredMessage(core_->onIgnoredMessage),
      onIgnoredTimeout(core_->onIgnoredTimeout),
      onDiagnosticEvent(core_->onDiagnosticEvent) {}

SDSReceiveSession::~SDSReceiveSession() {
    core_->released = true;
    core_->stopTimers();
}

void SDSReceiveSession::receive(ByteView sysEx) {
    core_->onQueue([message = Bytes(sysEx.begin(), sysEx.end())](Core& core) { core.message(message); });
}

void SDSReceiveSession::cancel() {
    // Holds the core: a session released before the cancel's turn still tells the sender.
    core_->queue->post([core = core_] { core->cancelAsked(); });
}

SDSReceiveFormat SDSReceiveSession::receiveFormat() const { return core_->format; }

SDSReceiverStatus SDSReceiveSession::receiverStatus() const {
    std::lock_guard lock(core_->mutex);
    return core_->status;
}

std::vector<SDSReceivedSampleMetadata> SDSReceiveSession::receivedSampleMetadata() const {
    std::lock_guard lock(core_->mutex);
    return core_->metadata;
}

}  // namespace k7

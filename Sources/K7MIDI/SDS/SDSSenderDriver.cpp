#include "K7MIDI/SDS/SDSSenderDriver.h"

#include <atomic>
#include <mutex>
#include <optional>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Dispatch/QueueLabel.h"
#include "K7Dispatch/SerialQueue.h"

namespace k7 {

namespace act = sds_sender_action;
namespace ev = sds_sender_event;

namespace {

std::string optionalSeconds(const std::optional<std::chrono::nanoseconds>& duration) {
    if (!duration) return "nil";
    return std::to_string(std::chrono::duration<double>(*duration).count());
}

}  // namespace

struct SDSSenderDriver::Core : std::enable_shared_from_this<Core> {
    Core(std::shared_ptr<MIDITransporting> transport, std::shared_ptr<Executor> callbackQueue,
         std::shared_ptr<Scheduler> timers, std::shared_ptr<Scheduler> queue)
        : transport(std::move(transport)),
          callbackQueue(std::move(callbackQueue)),
          queue(queue ? std::move(queue) : std::make_shared<SerialQueue>(queueLabel(".sds.sender"))),
          timers(timers ? std::move(timers) : this->queue) {}

    const std::shared_ptr<MIDITransporting> transport;
    const std::shared_ptr<Executor> callbackQueue;
    const std::shared_ptr<Scheduler> queue;
    const std::shared_ptr<Scheduler> timers;

    MIDICallback<const SDSSenderDriverProgress&> onProgress;
    MIDICallback<const SDSSenderDriverResult&> onCompletion;
    MIDICallback<const std::string&, const SDSDiagnosticFields&> onDiagnosticEvent;

    std::atomic<bool> released{false};
    // The transfer a cancel() was asked for; checked between sends so a long batch stops early.
    std::atomic<uint64_t> cancelledTransfer{0};

    mutable std::mutex mutex;
    bool active = false;         // guarded: from start() until the completion is posted
    uint64_t lastTransfer = 0;   // guarded
    std::map<uint64_t, TimerHandle> pendingTimers;  // guarded, so release can stop them from any thread

    // Queue only.
    std::optional<SDSSenderStateMachine> machine;
    uint64_t running = 0;
    bool cancelHandled = false;

    void diagnostic(const std::string& name, SDSDiagnosticFields fields = {}) {
        if (!released) onDiagnosticEvent(name, fields);
    }

    void deliver(std::function<void(Core&)> call) {
        callbackQueue->post([weak = weak_from_this(), call = std::move(call)] {
            auto core = weak.lock();
            if (core && !core->released) call(*core);
        });
    }

    void stopTimers() {
        std::lock_guard lock(mutex);
        for (auto& [id, handle] : pendingTimers) handle.cancel();
        pendingTimers.clear();
    }

    void begin(SDSSenderStateMachine next, uint64_t transfer) {
        if (released) return;
        running = transfer;
        cancelHandled = false;
        machine.emplace(std::move(next));
        const auto& configuration = machine->configuration();
        diagnostic("sds.sender.started",
                   {{"deviceID", std::to_string(machine->header().deviceID())},
                    {"sampleNumber", std::to_string(machine->header().sampleNumber())},
                    {"mode", caseName(configuration.mode)},
                    {"maximumRetries", std::to_string(configuration.maximumRetries)},
                    {"acknowledgementTimeoutSeconds", optionalSeconds(configuration.acknowledgementTimeout)},
                    {"totalSampleWords", std::to_string(machine->totalSampleWords())},
                    {"totalWireBytes", std::to_string(machine->totalWireBytes())}});
        if (!feed(ev::Start{})) return;
        // A machine that was started before answers Start with nothing and would never finish.
        if (machine && lastBatchWasEmpty) {
            finish(SDSSenderDriverError(SDSSenderDriverError::InvalidStateMachineOutput{
                "the SDS sender state machine was already started and produced no messages."}));
        }
    }

    bool lastBatchWasEmpty = false;

    // Hands one event to the running machine and performs its actions; false once it has finished.
    bool feed(const SDSSenderEvent& event) {
        if (!machine || released) return false;
        std::vector<SDSSenderAction> actions;
        try {
            actions = machine->handle(event);
        } catch (const std::exception& error) {
            finish(SDSSenderDriverError(SDSSenderDriverError::InvalidStateMachineOutput{error.what()}));
            return false;
        }
        lastBatchWasEmpty = actions.empty();
        return perform(actions);
    }

    bool cancelRequested() const { return cancelledTransfer.load() == running && !cancelHandled; }

    void handleCancel() {
        if (cancelHandled || !machine) return;
        cancelHandled = true;
        feed(ev::Cancel{});
    }

    bool perform(const std::vector<SDSSenderAction>& actions) {
        for (const auto& action : actions) {
            if (released) {
                stopTimers();
                return false;
            }
            if (!machine) return false;
            const bool keepGoing = std::visit(
                Overloaded{
                    [&](const act::Send& a) { return send(a.message); },
                    [&](const act::ScheduleTimeout& a) {
                        schedule(a.id, a.delay);
                        return true;
                    },
                    [&](const act::CancelTimeout& a) {
                        std::lock_guard lock(mutex);
                        if (auto it = pendingTimers.find(a.id); it != pendingTimers.end()) {
                            it->second.cancel();
                            pendingTimers.erase(it);
                        }
                        return true;
                    },
                    [&](const act::Progress& a) {
                        const SDSSenderDriverProgress progress{a.sentSampleWords, a.totalSampleWords,
                                                               a.completedWireBytes, a.totalWireBytes};
                        deliver([progress](Core& core) { core.onProgress(progress); });
                        return true;
                    },
                    [&](const act::Completed& a) {
                        const bool handshake = machine->configuration().mode == SDSTransferMode::handshake;
                        finish(handshake ? SDSSenderDriverCompletion::handshakeAcknowledged(a.nextSamplePosition)
                                         : SDSSenderDriverCompletion::openLoopTransportSubmitted(a.nextSamplePosition));
                        return false;
                    },
                    [&](const act::Failed& a) {
                        finish(SDSSenderDriverError::transfer(a.failure));
                        return false;
                    },
                    [&](const act::IgnoredControl& a) {
                        diagnostic("sds.sender.controlIgnored", {{"kind", caseName(a.message.kind)},
                                                                  {"deviceID", std::to_string(a.message.deviceID)},
                                                                  {"packetNumber", std::to_string(a.message.packetNumber)}});
                        return true;
                    },
                    [&](const act::IgnoredTimeout& a) {
                        diagnostic("sds.sender.timeoutIgnored", {{"timerID", std::to_string(a.id)}});
                        return true;
                    },
                },
                action);
            if (!keepGoing) return false;
        }
        return machine.has_value();
    }

    // False when the transfer ended (or was handed over to the cancel) instead.
    bool send(const Bytes& message) {
        if (cancelRequested()) {
            handleCancel();
            return false;
        }
        try {
            transport->send(message);
            return true;
        } catch (const std::exception& error) {
            const auto* midiError = dynamic_cast<const MIDITransportError*>(&error);
            diagnostic("sds.sender.sendFailed", {{"error", error.what()}, {"byteCount", std::to_string(message.size())}});
            if (cancelHandled) return true;  // telling the device about our cancel is best effort
            if (cancelRequested()) {
                handleCancel();
                return false;
            }
            finish(SDSSenderDriverError(SDSSenderDriverError::Transport{
                midiError ? std::optional<MIDITransportError>(*midiError) : std::nullopt, error.what()}));
            return false;
        }
    }

    void schedule(uint64_t id, std::chrono::nanoseconds delay) {
        const uint64_t transfer = running;
        auto fire = [weak = weak_from_this(), transfer, id] {
            if (auto core = weak.lock()) core->timerFired(transfer, id);
        };
        TimerHandle handle;
        if (timers == queue) {
            handle = timers->postAfter(delay, std::move(fire));
        } else {
            handle = timers->postAfter(delay, [weak = weak_from_this(), fire = std::move(fire)] {
                if (auto core = weak.lock()) core->queue->post(fire);
            });
        }
        std::lock_guard lock(mutex);
        pendingTimers[id] = handle;
    }

    void timerFired(uint64_t transfer, uint64_t id) {
        if (released || transfer != running || !machine) return;
        {
            std::lock_guard lock(mutex);
            pendingTimers.erase(id);
        }
        diagnostic("sds.sender.timeoutFired", {{"timerID", std::to_string(id)}});
        if (cancelRequested()) {
            handleCancel();
            return;
        }
        feed(ev::Timeout{id});
    }

    void control(const SDSControlMessage& message) {
        if (released || !machine) return;
        if (cancelRequested()) {
            handleCancel();
            return;
        }
        feed(ev::Control{message});
    }

    // Any thread.
    void receive(ByteView message) {
        SDSControlMessage decoded;
        try {
            decoded = SDSControlMessage::decode(message);
        } catch (const SDSError&) {
            diagnostic("sds.sender.messageIgnored", {{"byteCount", std::to_string(message.size())}});
            return;
        }
        diagnostic("sds.sender.controlReceived", {{"kind", caseName(decoded.kind)},
                                                  {"deviceID", std::to_string(decoded.deviceID)},
                                                  {"packetNumber", std::to_string(decoded.packetNumber)}});
        queue->post([weak = weak_from_this(), decoded] {
            if (auto core = weak.lock()) core->control(decoded);
        });
    }

    void cancelTask(uint64_t transfer) {
        if (released || transfer != running || !machine) return;
        handleCancel();
    }

    void finish(SDSSenderDriverResult result) {
        stopTimers();
        machine.reset();
        {
            std::lock_guard lock(mutex);
            active = false;
        }
        std::visit(Overloaded{
                       [&](const SDSSenderDriverCompletion& c) {
                           diagnostic("sds.sender.completed", {{"classification", c.describe()}});
                       },
                       [&](const SDSSenderDriverError& e) {
                           diagnostic("sds.sender.failed", {{"error", e.what()}, {"case", e.describe()}});
                       },
                   },
                   result);
        deliver([result = std::move(result)](Core& core) { core.onCompletion(result); });
    }
};

SDSSenderDriver::SDSSenderDriver(std::shared_ptr<MIDITransporting> transport, std::shared_ptr<Executor> callbackQueue,
                                 bool automaticallyRouteIncomingControls, std::shared_ptr<Scheduler> scheduler,
                                 std::shared_ptr<Scheduler> queue)
    : core_(std::make_shared<Core>(std::move(transport), std::move(callbackQueue), std::move(scheduler),
                                   std::move(queue))),
      onProgress(core_->onProgress),
      onCompletion(core_->onCompletion),
      onDiagnosticEvent(core_->onDiagnosticEvent),
      routesIncomingControls_(automaticallyRouteIncomingControls) {
    if (routesIncomingControls_) {
        core_->transport->onReceiveBytes = [weak = std::weak_ptr<Core>(core_)](const Bytes& message) {
            if (auto core = weak.lock(); core && !core->released) core->receive(message);
        };
    }
}

SDSSenderDriver::~SDSSenderDriver() {
    if (routesIncomingControls_) core_->transport->onReceiveBytes = nullptr;
    core_->released = true;
    core_->stopTimers();
}

void SDSSenderDriver::start(SDSSenderStateMachine machine) {
    uint64_t transfer = 0;
    {
        std::lock_guard lock(core_->mutex);
        if (core_->active) throw SDSSenderDriverError::alreadyActive();
        core_->active = true;
        transfer = ++core_->lastTransfer;
    }
    core_->queue->post([weak = std::weak_ptr<Core>(core_), machine = std::move(machine), transfer]() mutable {
        if (auto core = weak.lock()) core->begin(std::move(machine), transfer);
    });
}

void SDSSenderDriver::receive(ByteView message) { core_->receive(message); }

void SDSSenderDriver::cancel() {
    uint64_t transfer = 0;
    {
        std::lock_guard lock(core_->mutex);
        if (!core_->active) return;
        transfer = core_->lastTransfer;
    }
    if (core_->cancelledTransfer.exchange(transfer) == transfer) return;
    core_->diagnostic("sds.sender.cancelRequested");
    core_->queue->post([weak = std::weak_ptr<Core>(core_), transfer] {
        if (auto core = weak.lock()) core->cancelTask(transfer);
    });
}

bool SDSSenderDriver::isActive() const {
    std::lock_guard lock(core_->mutex);
    return core_->active;
}

}  // namespace k7

// Raw SysEx sending: a worker on the send queue hands each stored message to the transport and
// paces it to the nominal byte rate of the active speed; a main-thread timer turns the worker's
// modelled progress into published progress.
#include <algorithm>
#include <exception>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Models/RawSysExProgressClock.h"
#include "V7Aruviv/Models/RawSysExWireEstimate.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Support/DecimalText.h"

namespace k7 {

namespace {

constexpr double progressInterval = 0.05;  // seconds

struct RawSendJob {
    Bytes data;
    TurboSpeed speed = TurboSpeed::x1;
    double interMessageDelay = 0;  // seconds
    bool hasFollowingItem = false;
};

struct RawSendStart {
    std::shared_ptr<const RawSysExProgressClock> clock;
    RawSysExWireEstimate estimate;
    std::size_t messageCount = 0;
    std::size_t separatorBytes = 0;
    double bytesPerSecond = 0;
};

// What the worker reports, each on the send queue; the model's side hops to the main thread.
struct RawSendReports {
    std::function<void(RawSendStart)> started;
    std::function<void(double elapsedSeconds, double modeledDuration, int64_t totalBytes)> completed;
    std::function<void(bool transportCancelled, std::string text)> failed;
};

// One timed wait of the pacing; a Stop ends it at once and ends the item.
void waitOrThrow(SendClock& clock, double deadline, const CancellationFlag& cancellation) {
    if (clock.waitUntil(deadline, cancellation)) throw MIDITransportError::cancelled();
}

// On the send queue; touches nothing but its arguments.
void runRawSend(const RawSendJob& job, MIDITransporting& transport, SendClock& clock,
                const CancellationFlag& cancellation, const RawSendReports& reports) {
    try {
        const auto parsed = SysExFileCodec::parse(job.data, SysExFileCodec::defaultMaximumMessageBytes,
                                                  SysExFileCodec::defaultMaximumMessages);
        std::vector<int64_t> counts;
        int64_t total = 0;
        for (const Bytes& message : parsed.messages) {
            counts.push_back(static_cast<int64_t>(message.size()));
            total += static_cast<int64_t>(message.size());
        }
        total = std::max<int64_t>(total, 1);
        const RawSysExWireEstimate estimate(counts, job.speed, job.interMessageDelay, job.hasFollowingItem);
        const double bytesPerSecond = rawSysExWireBytesPerSecond(job.speed);
        const double start = clock.now();
        auto progress = std::make_shared<RawSysExProgressClock>(total, bytesPerSecond);
        reports.started(
            {progress, estimate, parsed.messages.size(), parsed.containerSeparatorByteCount, bytesPerSecond});

        int64_t completed = 0;
        for (std::size_t index = 0; index < parsed.messages.size(); ++index) {
            const Bytes& message = parsed.messages[index];
            if (cancellation.isCancelled()) throw MIDITransportError::cancelled();
            const auto bytes = static_cast<int64_t>(message.size());
            const double started = clock.now();
            const int64_t counted = std::min(std::max<int64_t>(bytes, 1), total - completed);
            progress->beginMessage(counted, started);
            transport.send(message);
            // The send's own time is subtracted, so a transport that blocks is not paced twice.
            waitOrThrow(clock, started + static_cast<double>(bytes) / bytesPerSecond, cancellation);
            progress->finishMessage();
            completed = std::min(completed + counted, total);
            if (index + 1 < parsed.messages.size() || job.hasFollowingItem) {
                waitOrThrow(clock, clock.now() + job.interMessageDelay, cancellation);
            }
        }
        reports.completed(clock.now() - start, estimate.modeledDuration, total);
    } catch (const MIDITransportError& error) {
        reports.failed(error == MIDITransportError::cancelled(), error.what());
    } catch (const std::exception& error) {
        reports.failed(false, error.what());
    }
}

}  // namespace

void AppModel::startRawSysExSend(const TransferItem& item, uint64_t generation) {
    RawSendJob job;
    job.data = item.data;
    if (const auto* active = std::get_if<TurboNegotiation::Active>(&turbo_.turboState)) job.speed = active->negotiated;
    job.interMessageDelay =
        send_.sendOptions ? static_cast<double>(send_.sendOptions->delayNanoseconds) / 1e9 : 0.0;
    job.hasFollowingItem = static_cast<std::size_t>(send_.sendIndex) + 1 < send_.sendItemSnapshots.size();
    // What the reports need, so that they do not copy the item's bytes.
    const TurboSpeed speed = job.speed;
    const double delay = job.interMessageDelay;
    const bool hasFollowingItem = job.hasFollowingItem;
    const QUuid itemID = item.id;
    const int64_t itemNumber = send_.sendIndex;
    const SharedCancellation cancellation = send_.sendCancellation;

    // The reports run on the send queue and reach the model on the main thread, where every step
    // re-checks the session.
    const auto onMain = mainThreadPoster();
    auto current = [this, generation] { return send_.sendGeneration == generation && isSending_; };
    RawSendReports reports;
    reports.started = [=, this](RawSendStart start) {
        onMain([=, this] {
            if (!current() || cancellation->isCancelled()) return;
            const auto& estimate = start.estimate;
            const double total = static_cast<double>(estimate.totalBytes);
            const int64_t gaps = std::max<int64_t>(static_cast<int64_t>(start.messageCount) - 1, 0) +
                                 (hasFollowingItem ? 1 : 0);
            const double effective = estimate.modeledDuration > 0 ? total / estimate.modeledDuration
                                                                  : start.bytesPerSecond;
            recordDiagnostic("raw.send.estimate.started",
                             {{"messageCount", std::to_string(start.messageCount)},
                              {"totalWireBytes", std::to_string(start.clock->totalBytes())},
                              {"containerSeparatorBytes", std::to_string(start.separatorBytes)},
                              {"turboMultiplier", decimalText(multiplier(speed))},
                              {"nominalBytesPerSecond", decimalText(start.bytesPerSecond)},
                              {"effectiveBytesPerSecond", decimalText(effective)},
                              {"interMessageGapCount", std::to_string(gaps)},
                              {"estimatedWireSeconds", decimalText(total / start.bytesPerSecond)},
                              {"estimatedDelaySeconds", decimalText(delay * static_cast<double>(gaps))},
                              {"estimatedDurationSeconds", decimalText(estimate.modeledDuration)},
                              {"interMessageDelaySeconds", decimalText(delay)},
                              {"deviceReceipt", "unverified"}});
            afterOnMain(progressInterval, [=, this] {
                scheduleRawSysExProgress(start.clock, itemID, itemNumber, generation, cancellation);
            });
        });
    };
    reports.completed = [=, this](double elapsed, double modeledDuration, int64_t total) {
        onMain([=, this] {
            if (!current()) return;
            if (cancellation->isCancelled()) {
                cancelCurrentSendItem(itemID);
                return;
            }
            updateLiveItem(itemID, [](TransferItem& live) { live.state = TransferItem::State::Submitted{}; });
            recordDiagnostic("raw.send.completed", {{"elapsedSeconds", decimalText(elapsed)},
                                                    {"estimatedDurationSeconds", decimalText(modeledDuration)},
                                                    {"totalWireBytes", std::to_string(total)}});
            send_.sendSubmittedCount += 1;
            advanceSendSession(generation);
        });
    };
    reports.failed = [=, this](bool transportCancelled, std::string text) {
        onMain([=, this] {
            if (!current()) return;
            if (cancellation->isCancelled() || transportCancelled) {
                cancelCurrentSendItem(itemID);
            } else {
                failSendItem(itemID, text);
            }
        });
    };

    sendQueue_->post([job = std::move(job), transport = std::shared_ptr<MIDITransporting>(tracingTransport_),
                      clock = sendClock(), cancellation, reports = std::move(reports)] {
        runRawSend(job, *transport, *clock, *cancellation, reports);
    });
}

void AppModel::scheduleRawSysExProgress(std::shared_ptr<const RawSysExProgressClock> clock, QUuid itemID,
                                        int64_t itemNumber, uint64_t generation, SharedCancellation cancellation) {
    const auto current = [&] {
        return send_.sendGeneration == generation && send_.sendIndex == itemNumber && isSending_ &&
               !cancellation->isCancelled();
    };
    if (!current()) return;
    const int64_t completed = clock->completedBytes(sendClock()->now());
    const auto& plan = send_.frozenProgressPlan;
    const auto index = static_cast<std::size_t>(itemNumber);
    if (plan && index < plan->items.size() && plan->items[index].id == itemID) {
        if (const auto snapshot = plan->snapshot(index, 0, completed)) publishSendProgress(*snapshot, itemID, false);
    }
    afterOnMain(progressInterval, [=, this] {
        scheduleRawSysExProgress(clock, itemID, itemNumber, generation, cancellation);
    });
}

}  // namespace k7

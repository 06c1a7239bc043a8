#include "Support/SimulatedStudio.h"

namespace k7::testing {

struct SimulatedStudio::Shared {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<SimulatedPeer>> peers;
    std::function<void(const Bytes&)> handler;
    std::vector<Bytes> received;
};

SimulatedStudio::SimulatedStudio() : shared_(std::make_shared<Shared>()) {
    MockMIDITransportOptions options;
    options.scheduler = scheduler;
    const MIDIEndpointSnapshot snapshot{{{inputID, "Simulated In", std::nullopt, std::nullopt, true}},
                                        {{outputID, "Simulated Out", std::nullopt, std::nullopt, true}}};
    transport = std::make_shared<MockMIDITransport>(snapshot, options);
    transport->onReceiveBytes = [shared = shared_](const Bytes& message) {
        std::function<void(const Bytes&)> handler;
        {
            std::lock_guard lock(shared->mutex);
            shared->received.push_back(message);
            handler = shared->handler;
        }
        if (handler) handler(message);
    };
    transport->setPeer([shared = shared_](const MockMIDITransport::SentMessage& sent) {
        std::vector<std::shared_ptr<SimulatedPeer>> peers;
        {
            std::lock_guard lock(shared->mutex);
            peers = shared->peers;
        }
        std::vector<PeerReply> replies;
        for (const auto& peer : peers) {
            auto more = peer->hear(sent.bytes);
            replies.insert(replies.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
        }
        return replies;
    });
    transport->selectInput(inputID);
    transport->selectOutput(outputID);
}

SimulatedStudio::~SimulatedStudio() {
    transport->setPeer({});
    transport->onReceiveBytes = nullptr;
}

void SimulatedStudio::attach(std::shared_ptr<SimulatedPeer> peer) {
    std::lock_guard lock(shared_->mutex);
    shared_->peers.push_back(std::move(peer));
}

void SimulatedStudio::onReceive(std::function<void(const Bytes&)> handler) {
    std::lock_guard lock(shared_->mutex);
    shared_->handler = std::move(handler);
}

void SimulatedStudio::emit(const std::vector<Bytes>& messages, Duration interval, Duration firstDelay) {
    Duration at = firstDelay;
    for (const Bytes& message : messages) {
        transport->injectAfter(at, message);
        at += interval;
    }
}

void SimulatedStudio::sendsTakeWireTime() {
    transport->setWireTimeWait([clock = std::weak_ptr<ManualScheduler>(scheduler)](Duration wireTime) {
        if (auto scheduler = clock.lock()) scheduler->advance(wireTime);
    });
}

void SimulatedStudio::runFor(Duration duration) { scheduler->advance(duration); }

bool SimulatedStudio::runUntil(const std::function<bool()>& done, Duration limit) {
    const auto end = scheduler->now() + limit;
    scheduler->runUntilIdle();
    while (!done()) {
        if (scheduler->pendingTaskCount() == 0) return false;
        // One deadline at a time, so `done` is seen as soon as it holds.
        if (!scheduler->advanceToNextDeadline()) return false;
        if (scheduler->now() > end) return done();
    }
    return true;
}

std::vector<Bytes> SimulatedStudio::received() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->received;
}

std::vector<Bytes> SimulatedStudio::sent() const {
    std::vector<Bytes> messages;
    for (auto& message : transport->sentMessages()) messages.push_back(std::move(message.bytes));
    return messages;
}

}  // namespace k7::testing

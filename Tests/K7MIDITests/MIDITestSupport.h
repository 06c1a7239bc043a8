#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/MockMIDITransport.h"

namespace k7::testing {

inline Bytes bytes(std::initializer_list<int> values) {
    Bytes result;
    for (int value : values) result.push_back(static_cast<uint8_t>(value));
    return result;
}

// What a transport delivered, in order.
struct Delivered {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> messages;
    std::vector<MIDITransportIssue> issues;
    std::vector<MIDIRawReceiveBatch> batches;
    std::vector<MIDIEndpointSnapshot> snapshots;

    void attach(MIDITransporting& transport) {
        transport.onReceiveBytes = [this](const Bytes& message) {
            std::lock_guard lock(mutex);
            messages.push_back(message);
            changed.notify_all();
        };
        transport.onTransportIssue = [this](const MIDITransportIssue& issue) {
            std::lock_guard lock(mutex);
            issues.push_back(issue);
            changed.notify_all();
        };
        transport.onRawReceiveBatch = [this](const MIDIRawReceiveBatch& batch) {
            std::lock_guard lock(mutex);
            batches.push_back(batch);
            changed.notify_all();
        };
        transport.onEndpointsChanged = [this](const MIDIEndpointSnapshot& snapshot) {
            std::lock_guard lock(mutex);
            snapshots.push_back(snapshot);
            changed.notify_all();
        };
    }

    Bytes rawBytes() {
        std::lock_guard lock(mutex);
        Bytes all;
        for (const auto& batch : batches) all.insert(all.end(), batch.bytes.begin(), batch.bytes.end());
        return all;
    }
};

inline MIDIEndpointSnapshot twoPortSnapshot() {
    return MIDIEndpointSnapshot{{{11, "Machinedrum In", std::nullopt, std::nullopt, true},
                                 {12, "Unplugged In", std::nullopt, std::nullopt, false}},
                                {{21, "Machinedrum Out", std::nullopt, std::nullopt, true},
                                 {22, "Unplugged Out", std::nullopt, std::nullopt, false}}};
}

// A mock on virtual time with input 11 and output 21 selected and every callback recorded.
struct MockRig {
    explicit MockRig(MIDIReceivePathConfiguration receivePath = MockMIDITransportOptions::withoutWorker()) {
        MockMIDITransportOptions options;
        options.scheduler = scheduler;
        options.receivePath = receivePath;
        transport = std::make_unique<MockMIDITransport>(twoPortSnapshot(), options);
        delivered.attach(*transport);
        transport->selectInput(11);
        transport->selectOutput(21);
    }

    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    Delivered delivered;
    std::unique_ptr<MockMIDITransport> transport;
};

}  // namespace k7::testing

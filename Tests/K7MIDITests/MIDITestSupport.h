#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"

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
        transport.onReceiveBytes = into(messages);
        transport.onTransportIssue = into(issues);
        transport.onRawReceiveBatch = into(batches);
        transport.onEndpointsChanged = into(snapshots);
    }
    template <typename T>
    std::function<void(const T&)> into(std::vector<T>& list) {
        return [this, &list](const T& value) {
            std::lock_guard lock(mutex);
            list.push_back(value);
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

// The error of type E that `call` throws, if it throws one.
template <typename E>
std::optional<E> thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

// The transport error's description, or "accepted".
inline std::string outcome(const std::function<void()>& call) {
    const auto error = thrown<MIDITransportError>(call);
    return error ? error->describe() : "accepted";
}

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

#pragma once

// The application model as the model benchmarks drive it: every queue on one manual scheduler,
// over a mock transport, and audio items that hold their files' bytes and decoded samples.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "../Tests/Support/Model/ScriptedUserInteraction.h"
#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"

namespace k7::benchmarks {

struct ModelStudio {
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    std::shared_ptr<MockMIDITransport> transport;
    std::shared_ptr<testing::ScriptedUserInteraction> interaction =
        std::make_shared<testing::ScriptedUserInteraction>();
    std::unique_ptr<AppModel> model;

    // With `inputID`, the model listens to a quiet input of that id, chosen in its settings.
    explicit ModelStudio(std::optional<int32_t> inputID = std::nullopt) {
        MockMIDITransportOptions transportOptions;
        transportOptions.scheduler = scheduler;
        MIDIEndpointSnapshot endpoints;
        auto store = std::make_shared<InMemoryDefaultsStore>();
        if (inputID) {
            endpoints = {{{*inputID, "Input", std::nullopt, std::nullopt, true}}, {}};
            AppPreferences preferences;
            preferences.inputEndpointID = *inputID;
            preferences.save(*store);
        }
        transport = std::make_shared<MockMIDITransport>(endpoints, transportOptions);
        AppModel::Configuration configuration;
        configuration.transport = transport;
        configuration.preferencesStore = store;
        configuration.userInteraction = interaction;
        configuration.mainScheduler = scheduler;
        configuration.automaticallyDetectTurbo = false;
        configuration.makeWorkQueue = [scheduler = scheduler](const std::string&) { return scheduler; };
        model = std::make_unique<AppModel>(configuration);
        scheduler->runUntilIdle();
    }
};

// A 16-bit mono WAV item of `frames` frames: its file's bytes and its decoded samples, both held.
inline TransferItem heldAudioItem(const std::string& name, std::size_t frames) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = name;
    item.kind = TransferItem::Kind::wav;
    item.device = TransferItem::Device::notApplicable;
    item.data = Bytes(frames * 2, 0x5A);
    item.byteCount = static_cast<int64_t>(item.data.size());
    AudioSample sample;
    sample.sampleRate = 44100;
    sample.sourceBitDepth = 16;
    sample.channels = {std::vector<int32_t>(frames, 0x12345678)};
    item.audioSample = std::move(sample);
    return item;
}

}  // namespace k7::benchmarks

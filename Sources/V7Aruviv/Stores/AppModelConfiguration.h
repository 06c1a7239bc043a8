#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/Transport/MIDITransporting.h"
#include "V7Aruviv/Stores/DefaultsStore.h"
#include "V7Aruviv/Stores/SendClock.h"
#include "V7Aruviv/Stores/UserInteraction.h"

namespace k7 {

// Everything an AppModel is made with. The defaults are the program's; tests replace the seams
// (main scheduler, transport, user interaction, defaults store) to drive the model in virtual time.
struct AppModelConfiguration {
    // A transport to use instead of the system's.
    std::shared_ptr<MIDITransporting> transport;
    double turboResponseTimeout = 3.0;   // seconds
    double turboDetectionTimeout = 0.5;  // seconds
    std::optional<double> monomachineRepairTimeout;                  // seconds; nothing: per record kind
    std::optional<int64_t> monomachineRepairMaximumAttempts = 8;     // nothing: no limit
    double monomachineRepairInterRequestDelay = 0.08;                // seconds
    bool automaticallyDetectTurbo = true;
    std::shared_ptr<DefaultsStore> preferencesStore;  // required
    bool offlineHealthCheck = false;

    // The main thread: where the model's state lives and every result comes back. Required.
    std::shared_ptr<Scheduler> mainScheduler;
    // Every alert with buttons, panel and prompt. Required.
    std::shared_ptr<UserInteraction> userInteraction;
    // Opens the system's MIDI (ALSA); throws MIDITransportError when it cannot. Empty: ALSA.
    std::function<std::shared_ptr<MIDITransporting>()> makeSystemTransport;
    // The receive queue of the empty mock used offline or without system MIDI (empty: its own).
    std::shared_ptr<Scheduler> fallbackTransportQueue;
    // Makes the serial work queues, given their labels. Empty: a SerialQueue each.
    std::function<std::shared_ptr<Scheduler>(const std::string& label)> makeWorkQueue;
    // The send queue's clock, which paces raw SysEx and times the device-settle waits. Tests whose
    // work queues are the main ManualScheduler pass a ManualSendClock on it.
    std::shared_ptr<SendClock> sendClock = std::make_shared<MonotonicSendClock>();
    // The running program's file, hashed into the capture metadata (empty: /proc/self/exe).
    std::optional<std::filesystem::path> executablePath;
    // The build's commit (empty: the one compiled in, when known).
    std::optional<std::string> buildCommit;
};

}  // namespace k7

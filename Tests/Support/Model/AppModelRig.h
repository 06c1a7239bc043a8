#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Support/Model/ScriptedUserInteraction.h"
#include "Support/SimulatedStudio.h"
#include "V7Aruviv/Models/AppPreferences.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"

namespace k7::testing {

// The whole model in virtual time: an AppModel whose main thread and work queues are the studio's
// ManualScheduler, talking over the studio's mock transport to the simulated instruments attached
// to it, with a scripted user and an in-memory defaults store. Nothing runs until the test pumps
// (runFor, runUntil), and then everything runs on the test's thread.
class AppModelRig {
public:
    struct Options {
        // Stored before the model starts; by default the studio's input and output are chosen.
        AppPreferences preferences = studioRouting();
        // How the transport is chosen: the studio's (given), offline, or the system's, made by
        // `systemTransport` (which may throw, as ALSA does without a sequencer).
        enum class Transport { studio, offline, system } transport = Transport::studio;
        std::function<std::shared_ptr<MIDITransporting>()> systemTransport;
        // The offline health check over the studio's transport (Transport::offline has none).
        bool offlineHealthCheck = false;
        // Work queues: the main scheduler (virtual time) unless real serial queues are wanted.
        bool realWorkQueues = false;
        double turboResponseTimeout = 3.0;
        double turboDetectionTimeout = 0.5;
        bool automaticallyDetectTurbo = true;
        std::optional<double> repairTimeout;
        std::optional<int64_t> repairMaximumAttempts = 8;
        double repairInterRequestDelay = 0.08;
        // Peers attached before the model starts, so they hear its start-up traffic.
        std::vector<std::shared_ptr<SimulatedPeer>> peers;
        // What the capture metadata hashes and names (empty: the running test and its build).
        std::optional<std::filesystem::path> executablePath;
        std::optional<std::string> buildCommit;
        // Who answers the model's questions instead of the script (the program's real dialogs).
        std::shared_ptr<UserInteraction> userInteraction;
    };

    static AppPreferences studioRouting();

    AppModelRig() : AppModelRig(Options{}) {}
    explicit AppModelRig(Options options);
    ~AppModelRig();

    SimulatedStudio studio;
    std::shared_ptr<InMemoryDefaultsStore> store = std::make_shared<InMemoryDefaultsStore>();
    std::shared_ptr<ScriptedUserInteraction> interaction = std::make_shared<ScriptedUserInteraction>();
    std::unique_ptr<AppModel> model;

    AppModel* operator->() const { return model.get(); }
    ManualScheduler& scheduler() const { return *studio.scheduler; }
    MockMIDITransport& wire() const { return *studio.transport; }

    void runFor(std::chrono::nanoseconds duration) { studio.runFor(duration); }
    void settle() { studio.scheduler->runUntilIdle(); }
    bool runUntil(const std::function<bool()>& done, std::chrono::nanoseconds limit = std::chrono::minutes(5)) {
        return studio.runUntil(done, limit);
    }
    // Releases the model, running its teardown.
    void stop() { model.reset(); }
    // Stops the model and starts a new one as the next launch would: same seams, same store.
    void restart();

private:
    AppModel::Configuration configuration_;
};

}  // namespace k7::testing

#include "Support/Model/AppModelRig.h"

namespace k7::testing {

AppPreferences AppModelRig::studioRouting() {
    AppPreferences preferences;
    preferences.inputEndpointID = SimulatedStudio::inputID;
    preferences.outputEndpointID = SimulatedStudio::outputID;
    return preferences;
}

AppModelRig::AppModelRig(Options options) {
    options.preferences.save(*store);
    for (auto& peer : options.peers) studio.attach(peer);

    AppModel::Configuration configuration;
    configuration.preferencesStore = store;
    configuration.userInteraction = options.userInteraction ? options.userInteraction : interaction;
    configuration.mainScheduler = studio.scheduler;
    configuration.fallbackTransportQueue = studio.scheduler;
    configuration.turboResponseTimeout = options.turboResponseTimeout;
    configuration.turboDetectionTimeout = options.turboDetectionTimeout;
    configuration.automaticallyDetectTurbo = options.automaticallyDetectTurbo;
    configuration.monomachineRepairTimeout = options.repairTimeout;
    configuration.monomachineRepairMaximumAttempts = options.repairMaximumAttempts;
    configuration.monomachineRepairInterRequestDelay = options.repairInterRequestDelay;
    configuration.offlineHealthCheck = options.offlineHealthCheck;
    configuration.executablePath = options.executablePath;
    configuration.buildCommit = options.buildCommit;
    if (!options.realWorkQueues) {
        configuration.makeWorkQueue = [scheduler = studio.scheduler](const std::string&) { return scheduler; };
        configuration.sendClock = std::make_shared<ManualSendClock>(studio.scheduler);
    }
    switch (options.transport) {
    case Options::Transport::studio: configuration.transport = studio.transport; break;
    case Options::Transport::offline: configuration.offlineHealthCheck = true; break;
    case Options::Transport::system: configuration.makeSystemTransport = options.systemTransport; break;
    }
    configuration_ = configuration;
    model = std::make_unique<AppModel>(std::move(configuration));
}

void AppModelRig::restart() {
    model.reset();
    model = std::make_unique<AppModel>(configuration_);
}

AppModelRig::~AppModelRig() {
    model.reset();
    // What the teardown queued (a session's cancel and its reports) runs now, so that nothing it
    // holds is left waiting on a scheduler no one pumps.
    studio.scheduler->runUntilIdle();
}

}  // namespace k7::testing

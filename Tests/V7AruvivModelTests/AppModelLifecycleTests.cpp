#include <gtest/gtest.h>

#include <limits>

#include "AppModelTestHelpers.h"
#include "V7Aruviv/Support/AppIdentity.h"

namespace k7::testing {
namespace {

const MIDITransportError sequencerMissing = MIDITransportError::system("snd_seq_open", -2);

std::shared_ptr<MockMIDITransport> systemMIDIWithStudioPorts(const std::shared_ptr<Scheduler>& scheduler) {
    MockMIDITransport::Options options;
    options.scheduler = scheduler;
    return std::make_shared<MockMIDITransport>(
        MIDIEndpointSnapshot{{{SimulatedStudio::inputID, "USB In", std::nullopt, std::nullopt, true}},
                             {{SimulatedStudio::outputID, "USB Out", std::nullopt, std::nullopt, true}}},
        options);
}

TEST(AppModelStartUp, ChoosesTheTransportAndKeepsTheSavedRouting) {
    using Transport = AppModelRig::Options::Transport;
    auto systemScheduler = std::make_shared<ManualScheduler>();
    auto systemMIDI = systemMIDIWithStudioPorts(systemScheduler);
    const struct {
        const char* name;
        Transport transport;
        bool offline;
        std::function<std::shared_ptr<MIDITransporting>()> system;
        std::size_t endpointCount;  // inputs and outputs listed
        std::string status, turboStatus;
        std::optional<std::string> alert;
        std::size_t studioQueries;  // Turbo queries on the studio's cable
    } cases[] = {
        {"given transport", Transport::studio, false, nullptr, 2, "Ready", "Checking\u2026", std::nullopt, 1},
        {"offline health check", Transport::offline, true, nullptr, 0, "Offline health check; MIDI access disabled",
         "1x", std::nullopt, 0},
        {"offline over a given transport", Transport::studio, true, nullptr, 2,
         "Offline health check; MIDI access disabled", "1x", std::nullopt, 0},
        {"system MIDI failing", Transport::system, false,
         [] () -> std::shared_ptr<MIDITransporting> { throw sequencerMissing; }, 0, "Ready", "1x",
         sequencerMissing.message(), 0},
        {"system MIDI", Transport::system, false, [systemMIDI] { return systemMIDI; }, 2, "Ready",
         "Checking\u2026", std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig::Options options;
        options.transport = c.transport;
        options.offlineHealthCheck = c.offline;
        options.systemTransport = c.system;
        AppModelRig rig(options);

        EXPECT_EQ(rig->endpoints().inputs.size() + rig->endpoints().outputs.size(), c.endpointCount);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(turboQueriesSent(rig.wire()), c.studioQueries);
        EXPECT_EQ(rig->isSystemMIDIUnavailable(), c.alert.has_value());
        // The saved input and output stay chosen in every case, in the model and in the store.
        EXPECT_EQ(rig->preferences(), AppModelRig::studioRouting());
        EXPECT_EQ(AppPreferences::load(*rig.store), AppModelRig::studioRouting());
        rig.runFor(1s);
        EXPECT_EQ(rig->turboStatus(), "1x");
    }
    // The system's MIDI got the saved selection and the automatic Turbo query.
    EXPECT_EQ(systemMIDI->selectedInput(), SimulatedStudio::inputID);
    EXPECT_EQ(systemMIDI->selectedOutput(), SimulatedStudio::outputID);
    EXPECT_EQ(turboQueriesSent(*systemMIDI), 1u);
}

TEST(AppModelStartUp, RoutingKeptThroughAFailedStartReachesTheDevicesOnTheNextOne) {
    auto systemScheduler = std::make_shared<ManualScheduler>();
    auto systemMIDI = systemMIDIWithStudioPorts(systemScheduler);
    int launches = 0;
    AppModelRig::Options options;
    options.transport = AppModelRig::Options::Transport::system;
    options.systemTransport = [&]() -> std::shared_ptr<MIDITransporting> {
        if (++launches == 1) throw sequencerMissing;
        return systemMIDI;
    };
    AppModelRig rig(options);
    ASSERT_EQ(rig->alertMessage(), sequencerMissing.message());

    rig.restart();
    EXPECT_EQ(rig->alertMessage(), std::nullopt);
    EXPECT_EQ(rig->preferences().inputEndpointID, SimulatedStudio::inputID);
    EXPECT_EQ(rig->preferences().outputEndpointID, SimulatedStudio::outputID);
    EXPECT_EQ(systemMIDI->selectedInput(), SimulatedStudio::inputID);
    EXPECT_EQ(systemMIDI->selectedOutput(), SimulatedStudio::outputID);
}

TEST(AppModelStartUp, ASavedEndpointMissingFromAWorkingSystemIsCleared) {
    AppModelRig::Options options;
    options.preferences.inputEndpointID = 99;
    AppModelRig rig(options);
    EXPECT_EQ(rig->preferences().inputEndpointID, std::nullopt);
    EXPECT_EQ(rig->preferences().outputEndpointID, SimulatedStudio::outputID);
    EXPECT_EQ(AppPreferences::load(*rig.store).inputEndpointID, std::nullopt);
    EXPECT_EQ(rig->statusText(),
              "V7/64 can\u2019t find the previously selected MIDI input. Its selection was cleared. Reconnect the MIDI "
              "device or choose another input in Settings.");
    EXPECT_EQ(rig.wire().selectedInput(), std::nullopt);
}

TEST(AppModelStartUp, DropsTheObsoleteSamplePositionKey) {
    AppModelRig rig;
    const std::string key = appKey(".sample-position");
    rig.store->setData(key, Bytes{'4', '2'});
    rig.restart();
    EXPECT_EQ(rig.store->data(key), std::nullopt);
    EXPECT_EQ(rig->samplePosition(), 0);
}

TEST(AppModelStartUp, TurboTimeoutsBelowZeroOrNotANumberExpireAtOnce) {
    for (const double timeout : {-1.0, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(timeout);
        AppModelRig::Options options = withPeer(nullptr, true);
        options.turboDetectionTimeout = timeout;
        options.turboResponseTimeout = timeout;
        AppModelRig rig(options);
        ASSERT_TRUE(rig->isTurboDetecting());
        rig.settle();
        EXPECT_FALSE(rig->isTurboDetecting());
        EXPECT_EQ(rig->turboStatus(), "1x");

        rig->negotiateTurbo();
        rig.settle();
        EXPECT_EQ(rig->turboState(), TurboNegotiation::State(TurboNegotiation::TimedOut{}));
    }
}

TEST(AppModelState, ConfigurationLockedByTransfersFileWorkAndAWaitingNegotiation) {
    using N = TurboNegotiation;
    const struct {
        BusyState state;
        bool locked;
    } cases[] = {
        {sending, true},      {receiving, true}, {importing, true}, {exporting, true}, {converting, true},
        {negotiating, true},  {detecting, false},
        {{"finishing a receive", [](AppModelRig& rig) { rig->setIsFinishingReceive(true); }}, false},
        {{"Turbo active", [](AppModelRig& rig) {
              SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x8);
              rig.settle();
              ASSERT_TRUE(std::holds_alternative<N::Active>(rig->turboState()));
          }},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.name);
        QuietRig rig;
        EXPECT_FALSE(rig->configurationLocked());
        c.state.enter(rig);
        EXPECT_EQ(rig->configurationLocked(), c.locked);
    }
}

TEST(AppModelState, EveryAssignmentPublishesEvenOfAnEqualValue) {
    AppModelRig rig;
    int changes = 0;
    const auto count = [&] { ++changes; };
    const struct {
        const char* name;
        void (AppModel::*signal)();
        std::function<void(AppModel&)> assignSame;
    } cases[] = {
        {"statusText", &AppModel::statusTextChanged, [](AppModel& m) { m.setStatusText(m.statusText()); }},
        {"isSending", &AppModel::isSendingChanged, [](AppModel& m) { m.setIsSending(false); }},
        {"alertMessage", &AppModel::alertMessageChanged, [](AppModel& m) { m.setAlertMessage(std::nullopt); }},
        {"preferences", &AppModel::preferencesChanged, [](AppModel& m) { m.setPreferences(m.preferences()); }},
        {"samplePosition", &AppModel::samplePositionChanged, [](AppModel& m) { m.setSamplePosition(0); }},
        {"items", &AppModel::itemsChanged, [](AppModel& m) { m.setItems({}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        changes = 0;
        const auto connection = QObject::connect(rig.model.get(), c.signal, count);
        c.assignSame(*rig.model);
        c.assignSame(*rig.model);
        QObject::disconnect(connection);
        EXPECT_EQ(changes, 2);
    }
}

TEST(AppModelState, TurboStateAndDetectionAnnounceTheirChanges) {
    AppModelRig rig(withPeer(tm1(TurboSpeed::x4), true));
    std::vector<std::string> seen;
    QObject::connect(rig.model.get(), &AppModel::turboStateChanged,
                     [&] { seen.push_back(TurboNegotiation::describe(rig->turboState())); });
    QObject::connect(rig.model.get(), &AppModel::isTurboDetectingChanged,
                     [&] { seen.push_back(rig->isTurboDetecting() ? "detecting" : "not detecting"); });
    rig.runFor(1s);
    rig->negotiateTurbo();
    rig.runFor(1s);
    EXPECT_EQ(seen, (std::vector<std::string>{"not detecting", "active(peer: .x4, negotiated: .x4)",
                                              "waitingForResponse(localMaximum: nil)",
                                              "active(peer: .x4, negotiated: .x4)"}));
}

}  // namespace
}  // namespace k7::testing

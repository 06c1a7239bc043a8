#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"

namespace k7::testing {
namespace {

const std::string routingRefused = "MIDI routing cannot change during an active transfer or Turbo negotiation.";

MIDIEndpointSnapshot studioPorts(bool input, bool output, bool online = true) {
    MIDIEndpointSnapshot snapshot;
    if (input) {
        snapshot.inputs.push_back({SimulatedStudio::inputID, "Simulated In", std::nullopt, std::nullopt, online});
    }
    if (output) {
        snapshot.outputs.push_back({SimulatedStudio::outputID, "Simulated Out", std::nullopt, std::nullopt, online});
    }
    return snapshot;
}

TEST(AppModelRouting, RouteChangesWaitForTransfersAndNegotiationsButNotForFileWork) {
    const struct {
        BusyState state;
        bool refused;
    } cases[] = {{sending, true},    {receiving, true},  {negotiating, true},
                 {importing, false}, {exporting, false}, {converting, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.name);
        QuietRig rig;
        c.state.enter(rig);
        const std::string statusBefore = rig->statusText();

        // A change that leaves the route alone is never refused.
        AppPreferences changed = rig->preferences();
        changed.delayTicks = 30;
        rig->setPreferences(changed);
        EXPECT_EQ(AppPreferences::load(*rig.store).delayTicks, 30);
        EXPECT_EQ(rig->statusText(), statusBefore);

        // One write that changes the route and another setting together.
        changed.outputEndpointID.reset();
        changed.delayTicks = 7;
        changed.useHandshake = true;
        rig->setPreferences(changed);

        const AppPreferences stored = AppPreferences::load(*rig.store);
        EXPECT_EQ(rig->preferences(), stored);
        EXPECT_EQ(stored.delayTicks, 7);  // the other settings stay, refused or not
        EXPECT_TRUE(stored.useHandshake);
        if (c.refused) {
            EXPECT_EQ(stored.outputEndpointID, SimulatedStudio::outputID);
            EXPECT_EQ(rig.wire().selectedOutput(), SimulatedStudio::outputID);
            EXPECT_EQ(rig->statusText(), routingRefused);
        } else {
            EXPECT_EQ(stored.outputEndpointID, std::nullopt);
            EXPECT_EQ(rig.wire().selectedOutput(), std::nullopt);
            EXPECT_EQ(rig->statusText(), statusBefore);
        }
    }
}

TEST(AppModelRouting, AChosenRouteReachesTheTransportAndLooksForATM1) {
    QuietRig rig;
    rig.wire().clearSentMessages();

    AppPreferences changed = rig->preferences();
    changed.inputEndpointID.reset();
    rig->setPreferences(changed);
    EXPECT_EQ(rig.wire().selectedInput(), std::nullopt);
    EXPECT_EQ(turboQueriesSent(rig.wire()), 0u);  // a reply could not be heard
    EXPECT_EQ(rig->turboStatus(), "1x");

    changed.inputEndpointID = SimulatedStudio::inputID;
    rig->setPreferences(changed);
    EXPECT_EQ(rig.wire().selectedInput(), SimulatedStudio::inputID);
    EXPECT_EQ(turboQueriesSent(rig.wire()), 1u);
    EXPECT_EQ(rig->turboStatus(), "Checking\u2026");
}

TEST(AppModelRouting, ASelectionTheTransportRefusesIsReportedAndKeptInTheSettings) {
    const auto refusal = MIDITransportError::endpointUnavailable();
    const struct {
        const char* name;
        MockMIDITransport::Operation failing;
        std::optional<int32_t> expectedOutputOnWire;
    } cases[] = {
        // A failed input selection leaves the output alone.
        {"input refused", MockMIDITransport::Operation::selectInput, SimulatedStudio::outputID},
        {"output refused", MockMIDITransport::Operation::selectOutput, SimulatedStudio::outputID},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        rig.wire().clearSentMessages();
        rig.wire().failNext(c.failing, refusal);
        AppPreferences changed = rig->preferences();
        changed.outputEndpointID.reset();
        rig->setPreferences(changed);
        EXPECT_EQ(rig->statusText(), refusal.message());
        EXPECT_EQ(rig->preferences().outputEndpointID, std::nullopt);
        EXPECT_EQ(rig.wire().selectedOutput(), c.expectedOutputOnWire);
        EXPECT_EQ(turboQueriesSent(rig.wire()), 0u);
    }
}

TEST(AppModelRouting, VanishedEndpointsAreClearedAndStopTheSendThatUsedThem) {
    const std::string inputGone = "V7/64 can\u2019t find the previously selected MIDI input.";
    const std::string outputGone = "V7/64 can\u2019t find the previously selected MIDI output.";
    const std::string bothGone = "V7/64 can\u2019t find the previously selected MIDI input and output.";
    const std::string stopped = " The active transfer was stopped.";
    const std::string its = " Its selection was cleared.";
    const std::string their = " Their selections were cleared.";
    const std::string anotherInput = " Reconnect the MIDI device or choose another input in Settings.";
    const std::string anotherOutput = " Reconnect the MIDI device or choose another output in Settings.";
    const std::string available = " Reconnect the MIDI device or choose available ports in Settings.";
    const struct {
        const char* name;
        bool inputListed, outputListed, sendRunning;
        std::string status;
    } cases[] = {
        {"input while idle", false, true, false, inputGone + its + anotherInput},
        {"output while idle", true, false, false, outputGone + its + anotherOutput},
        {"both while idle", false, false, false, bothGone + their + available},
        {"input while sending", false, true, true, inputGone + stopped + its + anotherInput},
        {"output while sending", true, false, true, outputGone + stopped + its + anotherOutput},
        {"both while sending", false, false, true, bothGone + stopped + their + available},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        if (c.sendRunning) sending.enter(rig);

        rig.wire().setEndpoints(studioPorts(c.inputListed, c.outputListed));
        rig.settle();

        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->endpoints(), studioPorts(c.inputListed, c.outputListed));
        const auto expectedInput = c.inputListed ? std::optional(SimulatedStudio::inputID) : std::nullopt;
        const auto expectedOutput = c.outputListed ? std::optional(SimulatedStudio::outputID) : std::nullopt;
        EXPECT_EQ(rig->preferences().inputEndpointID, expectedInput);
        EXPECT_EQ(rig->preferences().outputEndpointID, expectedOutput);
        EXPECT_EQ(AppPreferences::load(*rig.store), rig->preferences());
        // The cleared selection reaches the transport even while the send winds down.
        EXPECT_EQ(rig.wire().selectedInput(), expectedInput);
        EXPECT_EQ(rig.wire().selectedOutput(), expectedOutput);
        EXPECT_EQ(rig.wire().cancelPendingSendsCount(), c.sendRunning ? 1u : 0u);
        EXPECT_EQ(rig->isSending(), c.sendRunning);  // the send ends through its own path
    }
}

TEST(AppModelRouting, AnnouncedEndpointsReapplyTheSelectionUnlessBusy) {
    const struct {
        const char* name;
        bool online;
        std::optional<BusyState> busy;
        std::size_t queries;
    } cases[] = {
        {"listed", true, std::nullopt, 1},
        // Offline still counts as the user's device: kept, though the query cannot go out.
        {"listed offline", false, std::nullopt, 0},
        {"listed during a send", true, sending, 0},
        {"listed during a negotiation", true, negotiating, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        if (c.busy) c.busy->enter(rig);
        rig.wire().clearSentMessages();
        rig->setStatusText("before");

        rig.wire().setEndpoints(studioPorts(true, true, c.online));
        rig.settle();

        EXPECT_EQ(rig->preferences(), AppModelRig::studioRouting());
        EXPECT_EQ(turboQueriesSent(rig.wire()), c.queries);
        EXPECT_EQ(rig->isTurboDetecting(), c.queries > 0);
        EXPECT_EQ(rig->statusText(), "before");
    }
}

TEST(AppModelRouting, EndpointsVanishingDuringANegotiationEndIt) {
    QuietRig rig;
    negotiating.enter(rig);
    rig.wire().setEndpoints(studioPorts(true, false));
    rig.settle();
    EXPECT_EQ(rig->turboState(), TurboNegotiation::State(TurboNegotiation::Idle{}));
    EXPECT_EQ(rig->preferences().outputEndpointID, std::nullopt);
    EXPECT_EQ(rig->turboStatus(), "1x");
    rig.runFor(5s);  // the negotiation's timeout is void
    EXPECT_EQ(rig->turboState(), TurboNegotiation::State(TurboNegotiation::Idle{}));
    EXPECT_EQ(rig->statusText(),
              "V7/64 can\u2019t find the previously selected MIDI output. Its selection was cleared. Reconnect the "
              "MIDI device or choose another output in Settings.");
}

TEST(AppModelRouting, SamplePositionStaysInTheSDSRange) {
    const struct {
        int64_t assigned, kept;
        int announcements;
    } cases[] = {{-5, 0, 2}, {20000, 16383, 2}, {0, 0, 1}, {16383, 16383, 1}, {100, 100, 1},
                 {std::numeric_limits<int64_t>::min(), 0, 2}};
    AppModelRig rig;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.assigned);
        int announcements = 0;
        const auto connection =
            QObject::connect(rig.model.get(), &AppModel::samplePositionChanged, [&] { ++announcements; });
        rig->setSamplePosition(c.assigned);
        QObject::disconnect(connection);
        EXPECT_EQ(rig->samplePosition(), c.kept);
        EXPECT_EQ(announcements, c.announcements);
    }
}

TEST(AppModelRouting, ReceiveProblemsAreShownOnlyWhileSomethingListens) {
    const auto issue = MIDITransportIssue::receiveTruncated(12);
    const struct {
        std::optional<BusyState> state;
        bool shown;
    } cases[] = {{std::nullopt, false}, {importing, false}, {sending, false},   // a raw send hears nothing
                 {receiving, true},     {detecting, true},  {negotiating, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state ? c.state->name : "idle");
        QuietRig rig;
        if (c.state) c.state->enter(rig);
        const std::string status = rig->statusText();
        rig->handleTransportIssue(issue);
        EXPECT_EQ(rig->statusText(), c.shown ? "Incomplete MIDI message discarded" : status);
        EXPECT_EQ(rig->alertMessage(), c.shown ? std::optional(issue.description()) : std::nullopt);
    }
}

TEST(AppModelRouting, ReceiveProblemsArriveFromTheTransportOnTheMainThread) {
    QuietRig rig;
    detecting.enter(rig);
    rig.wire().inject(Bytes{0xF0, 0x01, 0x02, 0xF0});  // a message cut by the start of another
    EXPECT_EQ(rig->statusText(), "Ready");
    rig.settle();
    EXPECT_EQ(rig->statusText(), "Incomplete MIDI message discarded");
    EXPECT_TRUE(rig->alertMessage());
}

}  // namespace
}  // namespace k7::testing

#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"

namespace k7::testing {
namespace {

const std::string quitRefused =
    "Stop the active transfer, Turbo negotiation, or import before quitting so V7/64 can finish cleanup safely.";

TEST(AppModelCommands, BusyStatesHoldCommandsBackWithoutAWord) {
    const struct {
        const char* name;
        std::vector<BusyState> refusedIn, allowedIn;
        std::function<void(AppModel&)> press;
        std::function<bool(AppModelRig&)> started;
    } commands[] = {
        {"send", {sending, detecting, negotiating, importing, exporting, converting}, {},
         [](AppModel& m) { m.sendSelected(); }, [](AppModelRig& rig) { return rig->frozenTransferPlan().has_value(); }},
        {"receive", {detecting, negotiating, importing, exporting}, {}, [](AppModel& m) { m.toggleReceiving(); },
         [](AppModelRig& rig) { return rig->isReceiving(); }},
        // A speed switch in the middle of a transfer would corrupt it, so sending and receiving refuse too.
        {"Turbo", {sending, receiving, detecting, negotiating, importing, exporting}, {converting},
         [](AppModel& m) { m.negotiateTurbo(); }, [](AppModelRig& rig) { return turboQueriesSent(rig.wire()) == 1; }},
    };
    for (const auto& command : commands) {
        for (const bool refused : {true, false}) {
            for (const auto& state : refused ? command.refusedIn : command.allowedIn) {
                SCOPED_TRACE(std::string(command.name) + " while " + state.name);
                QuietRig rig;
                showSelected(*rig.model, {sysExItem()});
                state.enter(rig);
                const std::string status = rig->statusText();
                const auto turboState = rig->turboState();
                rig.wire().clearSentMessages();

                command.press(*rig.model);
                EXPECT_EQ(command.started(rig), !refused);
                EXPECT_EQ(rig->alertMessage(), std::nullopt);
                if (!refused) continue;
                EXPECT_EQ(rig->statusText(), status);
                EXPECT_EQ(rig->turboState(), turboState);
                EXPECT_TRUE(rig.wire().sentMessages().empty());
            }
        }
    }
}

TEST(AppModelCommands, SendExplainsWhatKeepsItFromStarting) {
    const std::string emptySelection =
        "Select one or more items to send. Use Add Files\u2026 to import WAV, AIFF, or SysEx files first.";
    const struct {
        const char* name;
        std::function<void(AppModelRig&)> prepare;
        std::optional<std::string> alert;
    } cases[] = {
        {"an empty list", [](AppModelRig&) {}, emptySelection},
        {"nothing selected", [](AppModelRig& rig) { rig->setItems({sysExItem()}); }, emptySelection},
        // A running receive does not hold a send back: the selection is looked at.
        {"nothing selected while receiving",
         [](AppModelRig& rig) {
             rig->setItems({sysExItem()});
             receiving.enter(rig);
         },
         emptySelection},
        {"only a removed item selected", [](AppModelRig& rig) { rig->setSelection({QUuid::createUuid()}); },
         std::nullopt},
        {"no output chosen",
         [](AppModelRig& rig) {
             showSelected(*rig.model, {sysExItem()});
             AppPreferences noOutput = rig->preferences();
             noOutput.outputEndpointID.reset();
             rig->setPreferences(noOutput);
         },
         "No MIDI output is selected. Choose an output in Settings before sending."},
        {"an item that cannot be sent",
         [](AppModelRig& rig) {
             const auto truncated = TransferSendMethod::invalid("The file ends inside a message");
             showSelected(*rig.model, {sysExItem("patch.syx"), sysExItem("bad.syx", truncated)});
         },
         "bad.syx cannot be sent: The file ends inside a message. Remove or replace it before sending."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        c.prepare(rig);
        const std::string status = rig->statusText();
        rig->sendSelected();
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig->statusText(), status);
        EXPECT_FALSE(rig->isSending());
        EXPECT_EQ(rig->frozenTransferPlan(), std::nullopt);
    }
}

TEST(AppModelCommands, StopSendingCancelsTheWireOnlyWhileSending) {
    const auto unplugged = MIDITransportError::system("snd_seq_drop_output", -19);
    const std::string refused =
        "V7/64 could not finish cancelling the MIDI send. Disconnect the MIDI device before retrying. " +
        unplugged.message();
    const struct {
        const char* name;
        bool sendRunning;
        std::optional<MIDITransportError> cancelFailure;
        std::string status;
        std::optional<std::string> alert;
        std::size_t cancels;
    } cases[] = {
        {"not sending", false, std::nullopt, "Ready", std::nullopt, 0},
        {"sending", true, std::nullopt, "Cancelling\u2026", std::nullopt, 1},
        {"cancel refused", true, unplugged, refused, refused, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        if (c.sendRunning) sending.enter(rig);
        if (c.cancelFailure) rig.wire().failNext(MockMIDITransport::Operation::cancelPendingSends, *c.cancelFailure);
        rig->stopSending();
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig.wire().cancelPendingSendsCount(), c.cancels);
        EXPECT_EQ(rig->isSending(), c.sendRunning);  // the send ends through its own path
    }
}

TEST(AppModelCommands, TurboNegotiationWithoutAnOutputSaysSo) {
    AppModelRig::Options options = quietStudio();
    options.preferences.outputEndpointID.reset();
    AppModelRig rig(options);
    rig->negotiateTurbo();
    EXPECT_EQ(rig->alertMessage(), MIDITransportError::noOutputSelected().message());
    EXPECT_EQ(rig->turboState(), TurboNegotiation::State(TurboNegotiation::Idle{}));
    EXPECT_EQ(turboQueriesSent(rig.wire()), 0u);
}

TEST(AppModelCommands, QuitWaitsForRunningWorkButNotForAConversion) {
    const struct {
        BusyState state;
        bool allowed;
    } cases[] = {{sending, false},   {receiving, false}, {importing, false}, {exporting, false},
                 {detecting, false}, {negotiating, false}, {converting, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state.name);
        QuietRig rig;
        c.state.enter(rig);
        const std::string status = rig->statusText();
        EXPECT_EQ(rig->shouldTerminateAfterUserConfirmation(), c.allowed);
        EXPECT_EQ(rig->alertMessage(), c.allowed ? std::nullopt : std::optional(quitRefused));
        EXPECT_EQ(rig->statusText(), c.allowed ? status : "Quit cancelled; stop the active operation first");
        EXPECT_EQ(rig.interaction->questionCount(), 0u);
    }
}

TEST(AppModelCommands, QuitAsksAboutUnsavedItems) {
    const auto unsaved = [](std::string name) {
        TransferItem item = sysExItem(std::move(name));
        item.sourceURL.reset();
        return item;
    };
    const struct {
        const char* name;
        std::vector<TransferItem> items;
        std::optional<std::size_t> answer;
        std::optional<std::string> question;
        bool allowed;
    } cases[] = {
        {"all saved", {sysExItem(), wavItem()}, std::nullopt, std::nullopt, true},
        {"one unsaved, quit", {sysExItem(), unsaved("Received 1.syx")}, 0, "Quit with 1 unsaved item?", true},
        {"three unsaved, cancel", {unsaved("a"), unsaved("b"), wavItem(), unsaved("c")}, 1,
         "Quit with 3 unsaved items?", false},
        {"question closed", {unsaved("a")}, std::nullopt, "Quit with 1 unsaved item?", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QuietRig rig;
        rig->setItems(c.items);
        rig.interaction->alertAnswers.push_back(c.answer);

        EXPECT_EQ(rig->shouldTerminateAfterUserConfirmation(), c.allowed);
        EXPECT_EQ(rig->statusText(), "Ready");
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        if (!c.question) {
            EXPECT_TRUE(rig.interaction->alertsShown.empty());
            continue;
        }
        ASSERT_EQ(rig.interaction->alertsShown.size(), 1u);
        const auto& alert = rig.interaction->alertsShown.front();
        EXPECT_EQ(alert.message, *c.question);
        EXPECT_EQ(alert.informativeText,
                  "Received or generated items that have not been saved will be lost. Save them first if you need a "
                  "copy.");
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Quit Without Saving", "Cancel"}));
        EXPECT_EQ(alert.cancelButton, std::optional<std::size_t>(1));  // what Return chooses
        EXPECT_EQ(alert.style, UserInteraction::AlertStyle::warning);
    }
}

}  // namespace
}  // namespace k7::testing

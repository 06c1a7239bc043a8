#include <gtest/gtest.h>

#include "AppModelTestHelpers.h"
#include "SendTestItems.h"
#include "V7Aruviv/Support/DecimalText.h"

namespace k7::testing {
namespace {

using N = TurboNegotiation;
using Limit = AppPreferences::TurboLimit;
using Answer = SimulatedTM1::Answer;
using Operation = MockMIDITransport::Operation;

const N::State idle = N::Idle{};
const N::State timedOut = N::TimedOut{};
const N::State transportFailed = N::Failed{{N::Failure::Transport{}}};
N::State active(TurboSpeed peer, TurboSpeed negotiated) { return N::Active{peer, negotiated}; }

const MIDITransportError portError = MIDITransportError::system("snd_seq_event_output", -5);
const std::string limitRefusedWhileBusy = "Turbo speed cannot change during an active transfer or Turbo negotiation.";
const std::string restoreFailed =
    "V7/64 could not return the MIDI output to normal speed. Reconnect the device before another transfer. " +
    portError.message();

AppModelRig::Options limited(std::shared_ptr<SimulatedPeer> peer, Limit limit) {
    AppModelRig::Options options = withPeer(std::move(peer));
    options.preferences.turboLimit = limit;
    return options;
}

Bytes sysExMessage(std::size_t size) {
    Bytes message(size, 0x10);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

// Turbo negotiated with the TM-1 at its own speed.
void negotiate(AppModelRig& rig) {
    rig->negotiateTurbo();
    rig.runFor(100ms);
    ASSERT_TRUE(std::holds_alternative<N::Active>(rig->turboState())) << N::describe(rig->turboState());
}

TEST(AppModelTurbo, NegotiationSettlesOnTheSlowerOfTheTM1AndTheLimit) {
    const struct {
        Limit limit;
        TurboSpeed offered, negotiated;
        std::vector<TurboSpeed> limitFrames;
        std::string turboStatus, status;
        int bytesPerSecond;
    } cases[] = {
        {Limit::none, TurboSpeed::x8, TurboSpeed::x8, {}, "8x", "Turbo active at 8x", 25000},
        {Limit::x4, TurboSpeed::x8, TurboSpeed::x4, {TurboSpeed::x4}, "4x", "Turbo active at 4x", 12500},
        {Limit::x3_3, TurboSpeed::x5, TurboSpeed::x3Point3, {TurboSpeed::x3Point3}, "3.3x", "Turbo active at 3.3x",
         10312},
        {Limit::x20, TurboSpeed::x13Point3, TurboSpeed::x13Point3, {}, "13.3x", "Turbo active at 13.3x", 41562},
        {Limit::x1, TurboSpeed::x2, TurboSpeed::x1, {TurboSpeed::x1}, "1x", "Normal MIDI active at 1x", 3125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.limit));
        const auto device = tm1(c.offered);
        AppModelRig rig(limited(device, c.limit));

        rig->negotiateTurbo();
        EXPECT_EQ(rig->turboState(), N::State(N::WaitingForResponse{AppModel::turboSpeed(c.limit)}));
        EXPECT_EQ(rig->turboStatus(), "Searching\u2026");
        EXPECT_EQ(rig->statusText(), "Looking for a TM-1 Turbo response\u2026");

        rig.runFor(5s);  // well past the response timeout, which must have been disarmed
        EXPECT_EQ(rig->turboState(), active(c.offered, c.negotiated));
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(device->queriesHeard(), 1u);
        EXPECT_EQ(device->limitsTaken(), c.limitFrames);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), c.bytesPerSecond);
        // The limit frame goes out at the old speed; the output switches once it is through.
        for (const auto& sent : rig.wire().sentMessages()) EXPECT_EQ(sent.bytesPerSecond, 3125);
    }
}

TEST(AppModelTurbo, WithoutAReadableAnswerTheNegotiationTimesOutAfterThreeSeconds) {
    const struct {
        Answer answer;
        N::State afterLateReply;
    } cases[] = {
        {Answer::none, timedOut},
        {Answer::malformed, timedOut},
        // An answer after the timeout is a speed report nobody asked for, and is adopted as such.
        {Answer::late, active(TurboSpeed::x4, TurboSpeed::x4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        AppModelRig rig(withPeer(tm1(TurboSpeed::x4, c.answer)));
        rig->negotiateTurbo();
        rig.runFor(2999ms);
        EXPECT_TRUE(N::isWaiting(rig->turboState()));
        EXPECT_EQ(rig->turboStatus(), "Searching\u2026");

        rig.runFor(1ms);
        EXPECT_EQ(rig->turboState(), timedOut);
        EXPECT_EQ(rig->turboStatus(), "1x");
        EXPECT_EQ(rig->statusText(), "No TM-1 responded; using normal 1x speed");
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);

        rig.runFor(2s);
        EXPECT_EQ(rig->turboState(), c.afterLateReply);
    }
}

// The failure is told once: no response timer is left to tell it again over what came since.
TEST(AppModelTurbo, AQueryThatCannotBeSentFailsOnceAndAtOnce) {
    AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
    rig.wire().failNext(Operation::send, portError);
    rig->negotiateTurbo();
    EXPECT_EQ(rig->turboState(), transportFailed);
    EXPECT_EQ(rig->turboStatus(), "1x");
    EXPECT_EQ(rig->statusText(), "Turbo negotiation failed");

    // 20000 bytes at 3125 bytes per second: a send of 6.4 s, started at once.
    const auto big = test::sysExItem(1, "Big.syx", {sysExMessage(20000)});
    std::vector<std::string> statuses;
    QObject::connect(rig.model.get(), &AppModel::statusTextChanged, [&] { statuses.push_back(rig->statusText()); });
    showSelected(*rig.model, {big});
    rig->sendSelected();
    ASSERT_TRUE(rig->isSending());
    rig.runFor(5s);
    EXPECT_EQ(rig->statusText(), "Sending Big.syx (1 of 1)");
    rig.runFor(5s);
    EXPECT_FALSE(rig->isSending());
    EXPECT_EQ(statuses, (std::vector<std::string>{"Sending", "Sending Big.syx (1 of 1)",
                                                  "Submitted 1 transfer to MIDI transport; hardware receipt is "
                                                  "unverified"}));
    EXPECT_EQ(rig->turboState(), transportFailed);
}

// A check at normal speed shows "Checking…" until it ends; a speed the output refuses keeps 1x.
TEST(AppModelTurbo, ARefusedSpeedFromACheckAtNormalSpeedShowsTheKeptSpeed) {
    for (const TurboSpeed reported : {TurboSpeed::x4, TurboSpeed::x1}) {
        SCOPED_TRACE(caseName(reported));
        QuietRig rig;
        SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x1);
        rig.settle();
        ASSERT_EQ(rig->turboState(), active(TurboSpeed::x1, TurboSpeed::x1));
        detecting.enter(rig);
        ASSERT_EQ(rig->turboStatus(), "Checking\u2026");

        rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
        SimulatedTM1::sendUnsolicitedResponse(rig.wire(), reported);  // the check's answer
        rig.settle();
        EXPECT_FALSE(rig->isTurboDetecting());
        EXPECT_EQ(rig->turboState(), active(TurboSpeed::x1, TurboSpeed::x1));
        EXPECT_EQ(rig->turboStatus(), "1x");
        EXPECT_EQ(rig->statusText().rfind("TM-1 reported " + AppModel::turboStatus(reported), 0), 0u)
            << rig->statusText();
        rig.runFor(1s);
        EXPECT_EQ(rig->turboStatus(), "1x");
    }
}

TEST(AppModelTurbo, AnOutputRefusingTheNegotiatedSpeedFailsTheNegotiation) {
    const struct {
        const char* name;
        int refusals;  // the speed change, then the restore after it and the one before the failure's texts
        std::string turboStatus, status;
    } cases[] = {
        {"speed refused", 1, "1x", "Turbo negotiation failed"},
        {"speed refused, restored on the second try", 2, "1x", "Turbo negotiation failed"},
        {"speed and both restores refused", 3, "Restore failed", restoreFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
        for (int i = 0; i < c.refusals; ++i) rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
        rig->negotiateTurbo();
        rig.runFor(1s);
        EXPECT_EQ(rig->turboState(), transportFailed);
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);

        // The next negotiation restores first where a restore is still owed, then succeeds.
        negotiate(rig);
        EXPECT_EQ(rig->turboStatus(), "8x");
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), 25000);
    }
}

TEST(AppModelTurbo, ANegotiationThatCannotRestoreTheOutputFirstDoesNotStart) {
    AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
    negotiate(rig);
    rig.wire().clearSentMessages();
    rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
    rig->negotiateTurbo();
    EXPECT_EQ(turboQueriesSent(rig.wire()), 0u);
    EXPECT_EQ(rig->turboState(), active(TurboSpeed::x8, TurboSpeed::x8));
    EXPECT_EQ(rig->turboStatus(), "Restore failed");
    EXPECT_EQ(rig->statusText(), restoreFailed);

    // A new negotiation runs at normal speed until the TM-1 has answered.
    rig->negotiateTurbo();
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);
    rig.runFor(1s);
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 25000);
}

TEST(AppModelTurbo, StartUpFindsATM1AlreadyAtSpeed) {
    const struct {
        const char* name;
        std::shared_ptr<SimulatedTM1> device;
        bool inputChosen;
        std::string during;
        N::State after;
        std::string turboStatus, status;
        int bytesPerSecond;
    } cases[] = {
        {"TM-1 at 8x", tm1(TurboSpeed::x8), true, "Checking\u2026", active(TurboSpeed::x8, TurboSpeed::x8), "8x",
         "Turbo active at 8x", 25000},
        {"TM-1 at 1x", tm1(TurboSpeed::x1), true, "Checking\u2026", active(TurboSpeed::x1, TurboSpeed::x1), "1x",
         "Normal MIDI active at 1x", 3125},
        {"silent TM-1", tm1(TurboSpeed::x8, Answer::none), true, "Checking\u2026", idle, "1x", "Ready", 3125},
        {"no input to hear it", tm1(TurboSpeed::x8), false, "1x", idle, "1x", "Ready", 3125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig::Options options = withPeer(c.device, true);
        if (!c.inputChosen) options.preferences.inputEndpointID.reset();
        AppModelRig rig(options);
        EXPECT_EQ(rig->turboStatus(), c.during);
        EXPECT_EQ(rig->isTurboDetecting(), c.inputChosen);
        EXPECT_EQ(c.device->queriesHeard(), c.inputChosen ? 1u : 0u);

        rig.runFor(499ms);
        EXPECT_EQ(rig->turboStatus(), c.after == idle ? c.during : c.turboStatus);
        rig.runFor(1ms);
        EXPECT_FALSE(rig->isTurboDetecting());
        EXPECT_EQ(rig->turboState(), c.after);
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), c.bytesPerSecond);
        EXPECT_TRUE(c.device->limitsTaken().empty());

        rig.stop();
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);
    }
}

TEST(AppModelTurbo, ACheckWhileTurboIsActiveLeavesItsSpeedShown) {
    const struct {
        TurboSpeed speed;
        std::string during, after;
    } cases[] = {
        {TurboSpeed::x8, "8x", "8x"},
        {TurboSpeed::x1, "Checking\u2026", "1x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(AppModel::turboStatus(c.speed));
        QuietRig rig;
        SimulatedTM1::sendUnsolicitedResponse(rig.wire(), c.speed);
        rig.settle();
        ASSERT_EQ(rig->turboState(), active(c.speed, c.speed));

        detecting.enter(rig);
        EXPECT_EQ(rig->turboStatus(), c.during);
        rig.runFor(1s);
        EXPECT_EQ(rig->turboState(), active(c.speed, c.speed));
        EXPECT_EQ(rig->turboStatus(), c.after);

        // The same when the query cannot even go out.
        rig.wire().failNext(Operation::send, portError);
        rig.wire().setEndpoints(rig.wire().endpointSnapshot());
        rig.settle();
        EXPECT_FALSE(rig->isTurboDetecting());
        EXPECT_EQ(rig->turboStatus(), c.after);
    }
}

TEST(AppModelTurbo, SpeedReportsNobodyAskedFor) {
    const struct {
        const char* name;
        Bytes frame;
        bool offline;
        std::optional<BusyState> busy;
        N::State after;
        std::string turboStatus;
    } cases[] = {
        {"while idle", TurboFrame::response(TurboSpeed::x2), false, std::nullopt,
         active(TurboSpeed::x2, TurboSpeed::x2), "2x"},
        {"during a send", TurboFrame::response(TurboSpeed::x2), false, sending, idle, "1x"},
        {"in the offline health check", TurboFrame::response(TurboSpeed::x2), true, std::nullopt, idle, "1x"},
        {"a query", TurboFrame::query(), false, std::nullopt, idle, "1x"},
        {"a limit", TurboFrame::limit(TurboSpeed::x2), false, std::nullopt, idle, "1x"},
        {"cut short", SimulatedTM1::malformedResponse(), false, std::nullopt, idle, "1x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig::Options options = quietStudio();
        options.offlineHealthCheck = c.offline;
        AppModelRig rig(options);
        finishStartUp(rig);
        if (c.busy) c.busy->enter(rig);
        rig.wire().injectAfter(0s, c.frame);
        rig.settle();
        EXPECT_EQ(rig->turboState(), c.after);
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), c.after == idle ? 3125 : 6250);
    }
}

TEST(AppModelTurbo, ALimitChosenWhileActiveIsSentToTheTM1AndFollowedByTheOutput) {
    const auto device = tm1(TurboSpeed::x8);
    AppModelRig rig(withPeer(device));
    negotiate(rig);
    const struct {
        Limit limit;
        std::vector<TurboSpeed> limitFrames;  // taken by the TM-1 so far
        TurboSpeed negotiated;
        std::string status;
    } steps[] = {
        // A limit never raises the speed above what the TM-1 reported.
        {Limit::x16, {}, TurboSpeed::x8, "Turbo active at 8x"},
        {Limit::x4, {TurboSpeed::x4}, TurboSpeed::x4, "Turbo active at 4x"},
        {Limit::x5, {TurboSpeed::x4, TurboSpeed::x5}, TurboSpeed::x5, "Turbo active at 5x"},
        {Limit::none, {TurboSpeed::x4, TurboSpeed::x5, TurboSpeed::x8}, TurboSpeed::x8, "Turbo active at 8x"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(rawValue(step.limit));
        rig->setTurboLimitFromUser(step.limit);
        EXPECT_EQ(rig->preferences().turboLimit, step.limit);
        EXPECT_EQ(AppPreferences::load(*rig.store).turboLimit, step.limit);
        EXPECT_EQ(device->limitsTaken(), step.limitFrames);
        EXPECT_EQ(rig->turboState(), active(TurboSpeed::x8, step.negotiated));
        EXPECT_EQ(rig->turboStatus(), AppModel::turboStatus(step.negotiated));
        EXPECT_EQ(rig->statusText(), step.status);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), nominalBytesPerSecond(step.negotiated));
    }
    rig->setStatusText("unchanged");
    rig->setTurboLimitFromUser(Limit::none);  // the limit in force already
    EXPECT_EQ(rig->statusText(), "unchanged");
}

TEST(AppModelTurbo, ASpeedChangeTheTM1OrTheOutputRefuses) {
    const auto reportX2 = [](AppModelRig& rig) {
        SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x2);
        rig.settle();
    };
    const auto limitX4 = [](AppModelRig& rig) {
        rig->setTurboLimitFromUser(Limit::x4);
        EXPECT_EQ(rig->preferences().turboLimit, Limit::x4);
    };
    const std::string reportRefused =
        "TM-1 reported 2x, but V7/64 could not configure the selected MIDI output for that speed. Reconnect the "
        "TM-1 and try again. " +
        portError.message();
    const struct {
        const char* name;
        bool activeBefore;
        std::function<void(AppModelRig&)> change;
        Operation failing;
        N::State after;
        std::string turboStatus, status;
        std::optional<std::string> alert;
        int bytesPerSecond;
    } cases[] = {
        {"report while idle, output refused", false, reportX2, Operation::configureMaximumSysExSpeed, transportFailed,
         "Failed", reportRefused, std::nullopt, 3125},
        {"report while active, output refused", true, reportX2, Operation::configureMaximumSysExSpeed,
         active(TurboSpeed::x8, TurboSpeed::x8), "8x", reportRefused, std::nullopt, 25000},
        {"limit frame refused", true, limitX4, Operation::send, active(TurboSpeed::x8, TurboSpeed::x8), "8x",
         "Turbo active at 8x",
         "V7/64 could not send the requested Turbo speed change. The active speed remains 8x. " + portError.message(),
         25000},
        {"limit refused by the output", true, limitX4, Operation::configureMaximumSysExSpeed, transportFailed,
         "Unknown", "Turbo speed changed on the TM-1, but this computer did not retain the matching send speed",
         "Turbo speed is not synchronized between the TM-1 and this computer. Reconnect the TM-1, then negotiate "
         "Turbo again before sending. " +
             portError.message(),
         25000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
        if (c.activeBefore) negotiate(rig);
        rig.wire().failNext(c.failing, portError);
        c.change(rig);
        EXPECT_EQ(rig->turboState(), c.after);
        EXPECT_EQ(rig->turboStatus(), c.turboStatus);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), c.bytesPerSecond);
    }
}

TEST(AppModelTurbo, ALimitChosenWithoutTurboWaitsForTheNextNegotiation) {
    const struct {
        Limit from, to;
        std::string status;
    } cases[] = {
        {Limit::none, Limit::x4, "Turbo speed limit set to x4; press Turbo to negotiate"},
        {Limit::x20, Limit::x13_3, "Turbo speed limit set to x13.3; press Turbo to negotiate"},
        {Limit::x4, Limit::none, "Turbo will follow the device-reported speed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.to));
        AppModelRig rig(limited(tm1(TurboSpeed::x8), c.from));
        rig->setTurboLimitFromUser(c.to);
        EXPECT_EQ(AppPreferences::load(*rig.store).turboLimit, c.to);
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->turboState(), idle);
        EXPECT_TRUE(rig.wire().sentMessages().empty());
    }
}

TEST(AppModelTurbo, ALimitCannotChangeDuringATransferOrNegotiation) {
    const BusyState activeThenSending{"sending with Turbo active", [](AppModelRig& rig) {
                                          SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x8);
                                          rig.settle();
                                          sending.enter(rig);
                                      }};
    for (const auto& state : {sending, receiving, negotiating, activeThenSending}) {
        SCOPED_TRACE(state.name);
        QuietRig rig;
        state.enter(rig);
        const auto turboState = rig->turboState();
        const int speed = rig.wire().maximumSysExSpeed();
        rig.wire().clearSentMessages();

        rig->setTurboLimitFromUser(Limit::x2);
        EXPECT_EQ(rig->statusText(), limitRefusedWhileBusy);
        EXPECT_EQ(rig->preferences().turboLimit, Limit::none);
        EXPECT_EQ(AppPreferences::load(*rig.store).turboLimit, Limit::none);
        EXPECT_EQ(rig->turboState(), turboState);
        EXPECT_EQ(turboFramesSent(rig.wire()), 0u);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), speed);
    }
}

TEST(AppModelTurbo, TheSpeedIsCheckedAgainBeforeASend) {
    AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
    EXPECT_TRUE(rig->ensureTurboTransportForSend());  // nothing to check at normal speed
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);

    negotiate(rig);
    rig.wire().configureMaximumSysExSpeed(std::nullopt);  // the output lost its setting
    EXPECT_TRUE(rig->ensureTurboTransportForSend());
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 25000);

    showSelected(*rig.model, {sysExItem()});
    rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
    rig->sendSelected();
    EXPECT_FALSE(rig->isSending());
    EXPECT_EQ(rig->alertMessage(),
              "V7/64 did not start the transfer because the selected MIDI output could not confirm the active 8x "
              "Turbo speed. Reconnect the TM-1 and negotiate Turbo again. " +
                  portError.message());
    EXPECT_EQ(rig->turboState(), transportFailed);
    EXPECT_EQ(rig->turboStatus(), "Unknown");
    EXPECT_EQ(rig->statusText(), "Turbo send speed could not be verified");
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 25000);  // not restored here
}

TEST(AppModelTurbo, TheOutputReturnsToNormalSpeedWhenTurboEnds) {
    const auto dropInput = [](AppModelRig& rig) {
        AppPreferences noInput = rig->preferences();
        noInput.inputEndpointID.reset();
        rig->setPreferences(noInput);
    };
    const struct {
        const char* name;
        std::function<void(AppModelRig&)> end;
        N::State after;
        std::string turboStatus;
        std::string status;  // empty: not looked at
        int bytesPerSecond;
    } cases[] = {
        {"route change", dropInput, idle, "1x", "", 3125},
        // A refused restore is reported and tried again at teardown.
        {"route change, restore refused",
         [&](AppModelRig& rig) {
             rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
             dropInput(rig);
         },
         idle, "Restore failed", restoreFailed, 25000},
        {"new negotiation", [](AppModelRig& rig) { rig->negotiateTurbo(); }, N::WaitingForResponse{std::nullopt},
         "Searching\u2026", "", 3125},
        {"teardown", [](AppModelRig& rig) { rig.stop(); }, idle, "", "", 3125},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(tm1(TurboSpeed::x8)));
        negotiate(rig);
        ASSERT_EQ(rig.wire().maximumSysExSpeed(), 25000);
        c.end(rig);
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), c.bytesPerSecond);
        if (rig.model) {
            EXPECT_EQ(rig->turboState(), c.after);
            EXPECT_EQ(rig->turboStatus(), c.turboStatus);
            if (!c.status.empty()) {
                EXPECT_EQ(rig->statusText(), c.status);
            }
        }
        rig.stop();
        EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);
    }
}

TEST(AppModelTurbo, TeardownToleratesARefusedRestoreAndLateReplies) {
    AppModelRig rig(withPeer(tm1(TurboSpeed::x8, Answer::late)));
    SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x8);
    rig.settle();
    rig->negotiateTurbo();  // its reply and its timeout both come after the model is gone
    rig.wire().failNext(Operation::configureMaximumSysExSpeed, portError);
    rig.stop();
    SimulatedTM1::sendUnsolicitedResponse(rig.wire(), TurboSpeed::x2);
    rig.runFor(10s);
    EXPECT_EQ(rig.scheduler().pendingTaskCount(), 0u);
}

TEST(AppModelTurbo, SpeedTexts) {
    const struct {
        TurboSpeed speed;
        const char* status;
        const char* activation;
    } cases[] = {
        {TurboSpeed::legacy, "1x", "Normal MIDI active at 1x"},
        {TurboSpeed::x2, "2x", "Turbo active at 2x"},
        {TurboSpeed::x6Point7, "6.7x", "Turbo active at 6.7x"},
        {TurboSpeed::x20, "20x", "Turbo active at 20x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(AppModel::turboStatus(c.speed), c.status);
        EXPECT_EQ(AppModel::turboActivationStatus(c.speed), c.activation);
    }
    // Each limit allows the speed of its own name; None leaves it to the TM-1.
    EXPECT_EQ(AppModel::turboSpeed(Limit::none), std::nullopt);
    for (const Limit limit : AppPreferences::allTurboLimits) {
        if (limit == Limit::none) continue;
        const auto speed = AppModel::turboSpeed(limit);
        ASSERT_TRUE(speed);
        EXPECT_EQ("x" + decimalText(multiplier(*speed)), rawValue(limit));
    }
}

}  // namespace
}  // namespace k7::testing

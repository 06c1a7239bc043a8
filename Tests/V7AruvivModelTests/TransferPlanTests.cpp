#include "V7Aruviv/Models/TransferPlan.h"

#include <gtest/gtest.h>

#include <limits>

#include "ModelTestSupport.h"
#include "V7Aruviv/Models/DigiPROPresentation.h"

namespace k7 {
namespace {

using M = TransferSendMethod;
using test::uuid;

const M audio = M::AudioSDS{};
const M sdsFile = M::sdsFile(1);
const M elektron = M::RawElektronData{};
const M generic = M::RawGenericSysEx{};
const M firmware = M::RawFirmware{};
const M digiPRO = M::RawDigiPRO{};

std::vector<TransferPlan::Entry> entriesFor(const std::vector<M>& methods) {
    std::vector<TransferPlan::Entry> entries;
    unsigned n = 0;
    for (const auto& method : methods) {
        ++n;
        TransferPlan::Entry entry{uuid(n), "item" + std::to_string(n) + ".syx", method, std::nullopt, {}};
        if (method == digiPRO) {
            entry.digiPROFrames = {{static_cast<int64_t>(2 + n), "W" + std::to_string(n) + "  "}};
        }
        entries.push_back(entry);
    }
    return entries;
}

// Output and input selected and online, open loop, delay 1, device 0.
AppPreferences routed() {
    AppPreferences p;
    p.outputEndpointID = 11;
    p.inputEndpointID = 22;
    return p;
}

struct SummaryCase {
    const char* name;
    std::vector<M> methods;
    AppPreferences preferences;
    int64_t position;
    std::string output;
    std::string turbo;
    std::string full;
    std::string compact;  // empty: the same as full
};

AppPreferences with(void (*change)(AppPreferences&)) {
    AppPreferences p = routed();
    change(p);
    return p;
}

const std::string longName(120, 'x');

class TransferPlanSummaries : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(TransferPlanSummaries, Read) {
    const auto& c = GetParam();
    const auto plan = TransferPlan::make(entriesFor(c.methods), c.preferences, c.position, "In", c.output, c.turbo);
    ASSERT_TRUE(plan);
    EXPECT_FALSE(plan->warning) << plan->warning->message;
    EXPECT_EQ(plan->fullSummary, c.full);
    EXPECT_EQ(plan->compactSummary, c.compact.empty() ? c.full : c.compact);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferPlanSummaries,
    ::testing::Values(
        SummaryCase{"one wav", {audio}, routed(), 5, "USB MIDI", "1x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay "
                    "\u2022 Output: USB MIDI", ""},
        SummaryCase{"handshake drops the delay", {audio}, with([](AppPreferences& p) { p.useHandshake = true; }), 5,
                    "USB MIDI", "1x",
                    "1 audio file \u2192 SDS \u2022 Closed loop \u2022 Device 0 \u2022 Slot 5 \u2022 Output: USB MIDI",
                    ""},
        SummaryCase{"extended header", {audio, audio}, with([](AppPreferences& p) { p.useExtendedSDS = true; }), 5,
                    "USB MIDI", "1x",
                    "2 audio files \u2192 Extended SDS \u2022 Open loop \u2022 Device 0 \u2022 Slots 5\u20136 \u2022 "
                    "1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"turbo through a TM-1", {audio}, routed(), 5, "Elektron TM-1", "4x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay "
                    "\u2022 Output: Elektron TM-1 \u2022 TM-1 4x", ""},
        SummaryCase{"long route compacts to the TM-1 name", {audio}, routed(), 5, "Elektron TM-1 " + longName, "4x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay "
                    "\u2022 Output: Elektron TM-1 " + longName + " \u2022 TM-1 4x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Slot 5 \u2022 Elektron TM-1 " + longName + " 4x"},
        SummaryCase{"lower-case tm-1 name", {generic}, routed(), 0, "my tm-1 " + longName, "2x",
                    "1 generic SysEx file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: my tm-1 " + longName +
                        " \u2022 TM-1 2x",
                    "1 generic SysEx file \u2022 Raw open loop \u2022 my tm-1 " + longName + " 2x"},
        SummaryCase{"long route without a TM-1", {audio}, with([](AppPreferences& p) { p.sendSPS1UWName = true; }),
                    5, longName, "2x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 SPS-1UW names "
                    "\u2022 1-tick delay \u2022 Output: " + longName + " \u2022 TM-1 2x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Slot 5 \u2022 Output: " + longName +
                        " \u2022 TM-1 2x"},
        SummaryCase{"mixed audio and elektron data", {audio, audio, elektron}, routed(), 5, "USB MIDI", "1x",
                    "3 selected \u2022 2 audio \u2192 SDS open loop \u2022 1 Elektron data raw open loop \u2022 Device "
                    "0 \u2022 Slots 5\u20136 \u2022 1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"mixed extended, long", {audio, elektron}, with([](AppPreferences& p) { p.useExtendedSDS = true; }),
                    5, longName, "1x",
                    "2 selected \u2022 1 audio \u2192 Extended SDS open loop \u2022 1 Elektron data raw open loop "
                    "\u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay \u2022 Output: " + longName,
                    "2 selected \u2022 1 audio \u2192 SDS open loop \u2022 1 Elektron data raw open loop \u2022 "
                    "Output: " + longName},
        SummaryCase{"mixed closed loop with raw items", {audio, generic, firmware},
                    with([](AppPreferences& p) { p.useHandshake = true; }), 0, "USB MIDI", "1x",
                    "3 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 firmware raw open loop \u2022 1 generic "
                    "SysEx open loop \u2022 Device 0 \u2022 Slot 0 \u2022 Raw 1-tick delay \u2022 Output: USB MIDI",
                    "3 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 firmware raw open loop \u2022 1 generic "
                    "SysEx open loop \u2022 Output: USB MIDI"},
        SummaryCase{"mixed closed loop without raw items", {audio, sdsFile},
                    with([](AppPreferences& p) { p.useHandshake = true; }), 0, "USB MIDI", "1x",
                    "2 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 SDS closed loop \u2022 Device 0 \u2022 "
                    "Slot 0 \u2022 Output: USB MIDI", ""},
        SummaryCase{"mixed digipro keeps positions", {digiPRO, digiPRO, generic}, routed(), 0, "USB MIDI", "1x",
                    "3 selected \u2022 2 DigiPRO raw open loop \u2022 Positions 3\u20134 \u2022 1 generic SysEx open "
                    "loop \u2022 1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"sds files", {sdsFile, sdsFile}, routed(), 0, "USB MIDI", "1x",
                    "2 SDS files \u2022 Open loop \u2022 1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"digipro files", {digiPRO, digiPRO}, routed(), 0, "USB MIDI", "1x",
                    "2 DigiPRO files \u2022 Positions 3\u20134 \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: "
                    "USB MIDI", ""},
        SummaryCase{"firmware", {firmware}, routed(), 0, "USB MIDI", "1x",
                    "1 firmware file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"elektron data with turbo", {elektron}, routed(), 0, "USB MIDI", "8x",
                    "1 Elektron data file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: USB MIDI \u2022 TM-1 8x",
                    ""},
        SummaryCase{"generic", {generic, generic, generic}, routed(), 0, "USB MIDI", "1x",
                    "3 generic SysEx files \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: USB MIDI", ""},
        SummaryCase{"delay above the range", {generic}, with([](AppPreferences& p) { p.delayTicks = 500; }), 0, "O",
                    "1x", "1 generic SysEx file \u2022 Raw open loop \u2022 120-tick delay \u2022 Output: O", ""},
        SummaryCase{"negative delay", {generic}, with([](AppPreferences& p) { p.delayTicks = -3; }), 0, "O", "1x",
                    "1 generic SysEx file \u2022 Raw open loop \u2022 0-tick delay \u2022 Output: O", ""},
        SummaryCase{"device number shown as sent", {audio}, with([](AppPreferences& p) { p.deviceNumber = 200; }), 0,
                    "O", "1x",
                    "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 127 \u2022 Slot 0 \u2022 1-tick delay "
                    "\u2022 Output: O", ""}),
    test::CaseName());

TEST(TransferPlanSummaries, TheCompactLimitCountsUserPerceivedCharacters) {
    const std::string head = "1 generic SysEx file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: ";
    const int headLength = 62;
    // "e" with a combining acute accent: three bytes, one character.
    std::string output;
    for (int i = 0; i < TransferPlan::compactSummaryLimit - headLength; ++i) output += "e\u0301";
    auto plan = TransferPlan::make(entriesFor({generic}), routed(), 0, "In", output, "1x");
    EXPECT_EQ(plan->fullSummary, head + output);
    EXPECT_EQ(plan->compactSummary, plan->fullSummary);

    output += "e\u0301";
    plan = TransferPlan::make(entriesFor({generic}), routed(), 0, "In", output, "1x");
    EXPECT_EQ(plan->compactSummary, "1 generic SysEx file \u2022 Raw open loop \u2022 Output: " + output);
}

struct WarningCase {
    const char* name;
    std::vector<M> methods;
    AppPreferences preferences;
    int64_t position;
    std::optional<std::string> input;
    std::optional<std::string> output;
    std::optional<std::string> warning;
};

class TransferPlanWarnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(TransferPlanWarnings, FirstBlockingProblem) {
    const auto& c = GetParam();
    const auto plan = TransferPlan::make(entriesFor(c.methods), c.preferences, c.position, c.input, c.output, "1x");
    ASSERT_TRUE(plan);
    if (!c.warning) {
        EXPECT_FALSE(plan->warning) << plan->warning->message;
        return;
    }
    ASSERT_TRUE(plan->warning);
    EXPECT_EQ(plan->warning->message, *c.warning);
    EXPECT_EQ(plan->fullSummary, *c.warning);
    EXPECT_EQ(plan->compactSummary, *c.warning);
}

AppPreferences unrouted() { return AppPreferences{}; }
AppPreferences handshake() { return with([](AppPreferences& p) { p.useHandshake = true; }); }
AppPreferences handshakeWithoutInput() {
    return with([](AppPreferences& p) {
        p.useHandshake = true;
        p.inputEndpointID.reset();
    });
}
AppPreferences naming() { return with([](AppPreferences& p) { p.sendSPS1UWName = true; }); }

const std::string noOutput = "No MIDI output is selected. Choose an output in Settings before sending.";
const std::string outputGone =
    "The selected MIDI output is unavailable. Choose an available output in Settings before sending.";
const std::string noInput =
    "Closed-loop SDS needs ACK/NAK responses. Select a MIDI input in Settings or turn SDS handshake off.";
const std::string inputGone =
    "The selected MIDI input is unavailable. Choose an available input in Settings or turn SDS handshake off.";

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferPlanWarnings,
    ::testing::Values(
        WarningCase{"no output selected", {generic}, unrouted(), 0, "In", "Out", noOutput},
        WarningCase{"output offline", {generic}, routed(), 0, "In", std::nullopt, outputGone},
        WarningCase{"handshake sds without input", {sdsFile}, handshakeWithoutInput(), 0, std::nullopt, "Out", noInput},
        WarningCase{"handshake audio with input offline", {audio}, handshake(), 0, std::nullopt, "Out", inputGone},
        WarningCase{"handshake raw needs no input", {generic}, handshakeWithoutInput(), 0, std::nullopt, "Out",
                    std::nullopt},
        WarningCase{"open loop sds needs no input", {sdsFile, audio}, with([](AppPreferences& p) {
                        p.inputEndpointID.reset();
                    }),
                    0, std::nullopt, "Out", std::nullopt},
        WarningCase{"negative position", {audio}, routed(), -1, "In", "Out",
                    "The SDS starting position is below 0. Choose a position from 0 to 16383."},
        WarningCase{"negative position without audio", {sdsFile}, routed(), -1, "In", "Out", std::nullopt},
        WarningCase{"two audio end at 16383", {audio, audio}, routed(), 16382, "In", "Out", std::nullopt},
        WarningCase{"three audio reach 16384", {audio, audio, audio}, routed(), 16382, "In", "Out",
                    "The audio SDS slot range ends at 16384, above the 16383 maximum. Lower the starting position or "
                    "send fewer audio files."},
        WarningCase{"sds files take no slot", {audio, sdsFile, sdsFile}, routed(), 16383, "In", "Out", std::nullopt},
        WarningCase{"slot range beyond 64 bits", {audio, audio}, routed(), std::numeric_limits<int64_t>::max(), "In",
                    "Out",
                    "The audio SDS slot range ends at beyond 16383, above the 16383 maximum. Lower the starting "
                    "position or send fewer audio files."},
        WarningCase{"naming reaches slot 128", {audio, audio}, naming(), 127, "In", "Out",
                    "SPS-1UW naming supports slots 0\u2013127, but this audio batch reaches slot 128. Lower the "
                    "starting position, send fewer audio files, or turn off SPS-1UW naming."},
        WarningCase{"naming one audio at 127", {audio}, naming(), 127, "In", "Out", std::nullopt},
        WarningCase{"invalid reported before unsupported", {M::Unsupported{}, M::invalid("it is broken")}, routed(), 0,
                    "In", "Out", "item2.syx cannot be sent: it is broken. Remove or replace it before sending."},
        WarningCase{"invalid reason with its own full stop", {M::invalid("The file is cut short.")}, routed(), 0, "In",
                    "Out", "item1.syx cannot be sent: The file is cut short. Remove or replace it before sending."},
        WarningCase{"unsupported", {generic, M::Unsupported{}}, routed(), 0, "In", "Out",
                    "item2.syx is not a supported transfer item. Remove it or import WAV, AIFF, or SysEx data."},
        WarningCase{"routing comes before invalid items", {M::invalid("x")}, routed(), 0, "In", std::nullopt,
                    outputGone}),
    test::CaseName());

TEST(TransferPlan, NumbersAudioSlotsAndKeepsTheRest) {
    auto entries = entriesFor({audio, sdsFile, audio, generic, audio});
    entries[1].destinationSlot = 99;  // only audio entries carry a slot
    const auto plan = TransferPlan::make(entries, routed(), 7, "In", "Out", "1x");
    ASSERT_TRUE(plan);
    std::vector<std::optional<int64_t>> assigned;
    for (const auto& entry : plan->entries) assigned.push_back(entry.destinationSlot);
    EXPECT_EQ(assigned, (std::vector<std::optional<int64_t>>{7, std::nullopt, 8, std::nullopt, 9}));
    EXPECT_EQ(plan->orderedItemIDs(), (std::vector<QUuid>{uuid(1), uuid(2), uuid(3), uuid(4), uuid(5)}));
    EXPECT_EQ(plan->startingSamplePosition, 7);
    EXPECT_EQ(plan->inputName, "In");
    EXPECT_EQ(plan->preferences, routed());

    const auto top = TransferPlan::make(entriesFor({audio, audio}), routed(), std::numeric_limits<int64_t>::max(),
                                        "In", "Out", "1x");
    EXPECT_EQ(top->entries[1].destinationSlot, std::numeric_limits<int64_t>::max());
    EXPECT_FALSE(TransferPlan::make(std::vector<TransferPlan::Entry>{}, routed(), 0, "In", "Out", "1x"));
    EXPECT_FALSE(TransferPlan::make(std::vector<const TransferItem*>{}, routed(), 0, "In", "Out", "1x"));
}

TEST(DigiPROPresentation, PositionDescriptions) {
    const int64_t top = std::numeric_limits<int64_t>::max();
    const struct {
        std::vector<int64_t> positions;
        const char* text;
    } cases[] = {
        {{}, "Positions unavailable"},
        {{7}, "Position 7"},
        {{3, 4, 5}, "Positions 3\u20135"},
        {{1, 5}, "Positions 1, 5"},
        {{5, 4}, "Positions 5, 4"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "Positions 0\u201312"},
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22}, "Positions 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22"},
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24},
         "Positions 0, 2, 4, 6, 8, 10, 12, 14, \u2026, 22, 24 (13 waveforms)"},
        {{top, top}, "Positions 9223372036854775807, 9223372036854775807"},
    };
    for (const auto& c : cases) EXPECT_EQ(DigiPROPresentation::positionDescription(c.positions), c.text) << c.text;
}

TEST(DigiPROPresentation, FileInfo) {
    EXPECT_FALSE(DigiPROPresentation::fileInfo({}));
    EXPECT_EQ(DigiPROPresentation::fileInfo({{12, "SAW "}}),
              "DigiPRO waveform \u2022 Position 12 \u2022 Name SAW  \u2022 Valid checksum");
    EXPECT_EQ(DigiPROPresentation::fileInfo({{3, "A   "}, {4, "B   "}}),
              "2 DigiPRO waveforms \u2022 Positions 3\u20134 \u2022 Valid checksums");
}

}  // namespace
}  // namespace k7

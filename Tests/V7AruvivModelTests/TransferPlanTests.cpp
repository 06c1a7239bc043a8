#include "V7Aruviv/Models/TransferPlan.h"

#include <gtest/gtest.h>

#include <limits>

#include "ModelTestSupport.h"
#include "V7Aruviv/Models/DigiPROConversionPlan.h"
#include "V7Aruviv/Models/DigiPROPresentation.h"
#include "V7Aruviv/Support/NameFolding.h"

namespace k7 {
namespace {

using M = TransferSendMethod;
using Kind = TransferItem::Kind;
using test::uuid;

const M audio = M::AudioSDS{};
const M sdsFile = M::sdsFile(1);
const M elektron = M::RawElektronData{};
const M generic = M::RawGenericSysEx{};
const M firmware = M::RawFirmware{};
const M digiPRO = M::RawDigiPRO{};
const int64_t top = std::numeric_limits<int64_t>::max();

std::vector<TransferPlan::Entry> entriesFor(const std::vector<M>& methods) {
    std::vector<TransferPlan::Entry> entries;
    unsigned n = 0;
    for (const auto& method : methods) {
        ++n;
        TransferPlan::Entry entry{uuid(n), "item" + std::to_string(n) + ".syx", method, std::nullopt, {}};
        if (method == digiPRO) entry.digiPROFrames = {{static_cast<int64_t>(2 + n), "W" + std::to_string(n) + "  "}};
        entries.push_back(entry);
    }
    return entries;
}

enum Option : unsigned {
    handshake = 1, extended = 2, naming = 4, noInput = 8, noOutput = 16, inputOffline = 32, outputOffline = 64
};

// Output and input selected, open loop, delay 1, device 0, changed by `options`.
AppPreferences routed(unsigned options = 0, int64_t delay = 1, uint8_t device = 0) {
    AppPreferences p;
    if (!(options & noOutput)) p.outputEndpointID = 11;
    if (!(options & noInput)) p.inputEndpointID = 22;
    p.useHandshake = options & handshake;
    p.useExtendedSDS = options & extended;
    p.sendSPS1UWName = options & naming;
    p.delayTicks = delay;
    p.deviceNumber = device;
    return p;
}

const std::string longName(120, 'x');

TEST(TransferPlan, Summaries) {
    const struct {
        const char* name;
        std::vector<M> methods;
        AppPreferences preferences;
        int64_t position;
        std::string output, turbo, full;
        std::string compact;  // empty: the same as full
    } cases[] = {
        {"one wav", {audio}, routed(), 5, "O", "1x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay \u2022 Output: O", ""},
        {"handshake drops the delay", {audio}, routed(handshake), 5, "O", "1x",
         "1 audio file \u2192 SDS \u2022 Closed loop \u2022 Device 0 \u2022 Slot 5 \u2022 Output: O", ""},
        {"extended header", {audio, audio}, routed(extended), 5, "O", "1x",
         "2 audio files \u2192 Extended SDS \u2022 Open loop \u2022 Device 0 \u2022 Slots 5\u20136 \u2022 1-tick delay "
         "\u2022 Output: O", ""},
        {"long route compacts to the TM-1 name", {audio}, routed(), 5, "Elektron TM-1 " + longName, "4x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 1-tick delay \u2022 Output: "
         "Elektron TM-1 " + longName + " \u2022 TM-1 4x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Slot 5 \u2022 Elektron TM-1 " + longName + " 4x"},
        {"lower-case tm-1 name", {generic}, routed(), 0, "my tm-1 " + longName, "2x",
         "1 generic SysEx file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: my tm-1 " + longName +
             " \u2022 TM-1 2x",
         "1 generic SysEx file \u2022 Raw open loop \u2022 my tm-1 " + longName + " 2x"},
        {"long route without a TM-1", {audio}, routed(naming), 5, longName, "2x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 0 \u2022 Slot 5 \u2022 SPS-1UW names \u2022 1-tick "
         "delay \u2022 Output: " + longName + " \u2022 TM-1 2x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Slot 5 \u2022 Output: " + longName + " \u2022 TM-1 2x"},
        {"mixed extended, long", {audio, audio, elektron}, routed(extended), 5, longName, "1x",
         "3 selected \u2022 2 audio \u2192 Extended SDS open loop \u2022 1 Elektron data raw open loop \u2022 Device 0 "
         "\u2022 Slots 5\u20136 \u2022 1-tick delay \u2022 Output: " + longName,
         "3 selected \u2022 2 audio \u2192 SDS open loop \u2022 1 Elektron data raw open loop \u2022 Output: " +
             longName},
        {"mixed closed loop with raw items", {audio, generic, firmware}, routed(handshake), 0, "USB MIDI", "1x",
         "3 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 firmware raw open loop \u2022 1 generic SysEx open "
         "loop \u2022 Device 0 \u2022 Slot 0 \u2022 Raw 1-tick delay \u2022 Output: USB MIDI",
         "3 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 firmware raw open loop \u2022 1 generic SysEx open "
         "loop \u2022 Output: USB MIDI"},
        {"mixed closed loop without raw items", {audio, sdsFile}, routed(handshake), 0, "O", "1x",
         "2 selected \u2022 1 audio \u2192 SDS closed loop \u2022 1 SDS closed loop \u2022 Device 0 \u2022 Slot 0 "
         "\u2022 Output: O", ""},
        {"mixed digipro keeps positions", {digiPRO, digiPRO, generic}, routed(), 0, "O", "1x",
         "3 selected \u2022 2 DigiPRO raw open loop \u2022 Positions 3\u20134 \u2022 1 generic SysEx open loop \u2022 "
         "1-tick delay \u2022 Output: O", ""},
        {"sds files", {sdsFile, sdsFile}, routed(), 0, "O", "1x",
         "2 SDS files \u2022 Open loop \u2022 1-tick delay \u2022 Output: O", ""},
        {"digipro files", {digiPRO, digiPRO}, routed(), 0, "O", "1x",
         "2 DigiPRO files \u2022 Positions 3\u20134 \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: O", ""},
        {"firmware", {firmware}, routed(), 0, "O", "1x",
         "1 firmware file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: O", ""},
        {"elektron data with turbo", {elektron}, routed(), 0, "O", "8x",
         "1 Elektron data file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: O \u2022 TM-1 8x", ""},
        {"delay above the range", {generic}, routed(0, 500), 0, "O", "1x",
         "1 generic SysEx file \u2022 Raw open loop \u2022 120-tick delay \u2022 Output: O", ""},
        {"negative delay", {generic}, routed(0, -3), 0, "O", "1x",
         "1 generic SysEx file \u2022 Raw open loop \u2022 0-tick delay \u2022 Output: O", ""},
        {"device number shown as sent", {audio}, routed(0, 1, 200), 0, "O", "1x",
         "1 audio file \u2192 SDS \u2022 Open loop \u2022 Device 127 \u2022 Slot 0 \u2022 1-tick delay \u2022 Output: O", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto plan = TransferPlan::make(entriesFor(c.methods), c.preferences, c.position, "In", c.output, c.turbo);
        ASSERT_TRUE(plan);
        EXPECT_FALSE(plan->warning);
        EXPECT_EQ(plan->fullSummary, c.full);
        EXPECT_EQ(plan->compactSummary, c.compact.empty() ? c.full : c.compact);
    }
}

TEST(TransferPlan, TheCompactLimitCountsUserPerceivedCharacters) {
    const std::string head = "1 generic SysEx file \u2022 Raw open loop \u2022 1-tick delay \u2022 Output: ";
    // `head` is 62 characters; "e" with a combining acute accent is three bytes and one character.
    std::string output;
    for (int i = 0; i < TransferPlan::compactSummaryLimit - 62; ++i) output += "e\u0301";
    auto plan = TransferPlan::make(entriesFor({generic}), routed(), 0, "In", output, "1x");
    EXPECT_EQ(plan->fullSummary, head + output);
    EXPECT_EQ(plan->compactSummary, plan->fullSummary);

    output += "e\u0301";
    plan = TransferPlan::make(entriesFor({generic}), routed(), 0, "In", output, "1x");
    EXPECT_EQ(plan->compactSummary, "1 generic SysEx file \u2022 Raw open loop \u2022 Output: " + output);
}

TEST(TransferPlan, WarnsAboutTheFirstBlockingProblem) {
    const std::string outputGone =
        "The selected MIDI output is unavailable. Choose an available output in Settings before sending.";
    const std::string slotRange = ", above the 16383 maximum. Lower the starting position or send fewer audio files.";
    const std::optional<std::string> none;
    const struct {
        const char* name;
        std::vector<M> methods;
        unsigned options;
        int64_t position;
        std::optional<std::string> warning;
    } cases[] = {
        {"no output selected", {generic}, noOutput, 0,
         "No MIDI output is selected. Choose an output in Settings before sending."},
        {"output offline", {generic}, outputOffline, 0, outputGone},
        {"handshake sds without input", {sdsFile}, handshake | noInput, 0,
         "Closed-loop SDS needs ACK/NAK responses. Select a MIDI input in Settings or turn SDS handshake off."},
        {"handshake audio with input offline", {audio}, handshake | inputOffline, 0,
         "The selected MIDI input is unavailable. Choose an available input in Settings or turn SDS handshake off."},
        {"handshake raw needs no input", {generic}, handshake | noInput, 0, none},
        {"open loop sds needs no input", {sdsFile, audio}, noInput, 0, none},
        {"negative position", {audio}, 0, -1, "The SDS starting position is below 0. Choose a position from 0 to 16383."},
        {"negative position without audio", {sdsFile}, 0, -1, none},
        {"two audio end at 16383", {audio, audio}, 0, 16382, none},
        {"three audio reach 16384", {audio, audio, audio}, 0, 16382, "The audio SDS slot range ends at 16384" + slotRange},
        {"sds files take no slot", {audio, sdsFile, sdsFile}, 0, 16383, none},
        {"slot range beyond 64 bits", {audio, audio}, 0, top, "The audio SDS slot range ends at beyond 16383" + slotRange},
        {"naming reaches slot 128", {audio, audio}, naming, 127,
         "SPS-1UW naming supports slots 0\u2013127, but this audio batch reaches slot 128. Lower the starting position, "
         "send fewer audio files, or turn off SPS-1UW naming."},
        {"naming one audio at 127", {audio}, naming, 127, none},
        {"invalid reported before unsupported", {M::Unsupported{}, M::invalid("it is broken")}, 0, 0,
         "item2.syx cannot be sent: it is broken. Remove or replace it before sending."},
        {"invalid reason with its own full stop", {M::invalid("The file is cut short.")}, 0, 0,
         "item1.syx cannot be sent: The file is cut short. Remove or replace it before sending."},
        {"unsupported", {generic, M::Unsupported{}}, 0, 0,
         "item2.syx is not a supported transfer item. Remove it or import WAV, AIFF, or SysEx data."},
        {"routing comes before invalid items", {M::invalid("x")}, outputOffline, 0, outputGone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto input = c.options & (noInput | inputOffline) ? none : "In";
        const auto output = c.options & (noOutput | outputOffline) ? none : "O";
        const auto plan = TransferPlan::make(entriesFor(c.methods), routed(c.options), c.position, input, output, "1x");
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->warning ? std::optional(plan->warning->message) : none, c.warning);
        if (c.warning) {
            EXPECT_EQ(plan->fullSummary, *c.warning);
            EXPECT_EQ(plan->compactSummary, *c.warning);
        }
    }
}

TEST(TransferPlan, NumbersAudioSlotsAndKeepsTheRest) {
    auto entries = entriesFor({audio, sdsFile, audio, generic, audio});
    entries[1].destinationSlot = 99;  // only audio entries carry a slot
    const auto plan = TransferPlan::make(entries, routed(), 7, "In", "Out", "1x");
    ASSERT_TRUE(plan);
    std::vector<std::optional<int64_t>> assigned;
    for (const auto& entry : plan->entries) assigned.push_back(entry.destinationSlot);
    EXPECT_EQ(assigned, (std::vector<std::optional<int64_t>>{7, std::nullopt, 8, std::nullopt, 9}));
    EXPECT_EQ(plan->orderedItemIDs(), (std::vector<QUuid>{uuid(1), uuid(2), uuid(3), uuid(4), uuid(5)}));

    EXPECT_EQ(TransferPlan::make(entriesFor({audio, audio}), routed(), top, "In", "Out", "1x")->entries[1].destinationSlot,
              top);
    EXPECT_FALSE(TransferPlan::make(std::vector<TransferPlan::Entry>{}, routed(), 0, "In", "Out", "1x"));
    EXPECT_FALSE(TransferPlan::make(std::vector<const TransferItem*>{}, routed(), 0, "In", "Out", "1x"));
}

// The live plan reads its names from the current endpoint lists, taking only online endpoints.
TEST(TransferPlan, NamesComeFromThePreferredOnlineEndpoints) {
    TransferItem item;
    item.id = uuid(1);
    item.sendMethod = audio;
    AppPreferences preferences = routed(handshake);
    preferences.inputEndpointID = 7;
    preferences.outputEndpointID = 9;
    const auto endpoint = [](int32_t id, const char* name, bool online) {
        return MIDIEndpoint{id, name, std::nullopt, std::nullopt, online};
    };
    const std::vector<MIDIEndpoint> inputs{endpoint(7, "Old input", false), endpoint(7, "Input A", true)};
    const std::vector<MIDIEndpoint> outputs{endpoint(8, "Other", true), endpoint(9, "Output B", true)};
    const struct {
        std::vector<MIDIEndpoint> inputs, outputs;
        std::optional<std::string> inputName, outputName;
    } cases[] = {
        {inputs, outputs, "Input A", "Output B"},
        {inputs, {endpoint(9, "Output B", false)}, "Input A", std::nullopt},
        {{}, outputs, std::nullopt, "Output B"},
    };
    for (const auto& c : cases) {
        const auto plan = TransferPlan::make({&item}, preferences, 0, c.inputs, c.outputs, "1x");
        ASSERT_TRUE(plan);
        EXPECT_EQ(plan->inputName, c.inputName);
        EXPECT_EQ(plan->outputName, c.outputName);
        EXPECT_EQ(plan->warning.has_value(), !c.inputName || !c.outputName);
    }
}

TEST(DigiPROPresentation, PositionDescriptions) {
    const struct {
        std::vector<int64_t> positions;
        const char* text;
    } cases[] = {
        {{}, "Positions unavailable"},
        {{7}, "Position 7"},
        {{3, 4, 5}, "Positions 3\u20135"},
        {{5, 4}, "Positions 5, 4"},
        {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, "Positions 0\u201312"},
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22}, "Positions 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22"},
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24},
         "Positions 0, 2, 4, 6, 8, 10, 12, 14, \u2026, 22, 24 (13 waveforms)"},
        {{top, top}, "Positions 9223372036854775807, 9223372036854775807"},
    };
    for (const auto& c : cases) EXPECT_EQ(DigiPROPresentation::positionDescription(c.positions), c.text);
}

TransferItem audioItem(Kind kind = Kind::wav, bool decoded = true) {
    TransferItem item;
    item.kind = kind;
    if (decoded) item.audioSample = AudioSample{44100, {{0, 1, 2}}, 16, false, std::nullopt};
    return item;
}

std::string rangeWarning(const std::string& positions) {
    return "DigiPRO positions are limited to 0\u202663; this ordered batch would use positions " + positions +
           ". Lower Sample Position or select fewer audio files.";
}

TEST(DigiPROConversionPlan, SummaryOrFirstBlockingProblem) {
    const std::string topText = std::to_string(top);
    const TransferItem wav = audioItem();
    const struct {
        std::vector<TransferItem> items;
        int64_t position;
        std::string text;
        bool refused;
        int64_t ending;
    } cases[] = {
        {{wav}, 63, "Create 1 DigiPRO file \u2022 Position 63", false, 63},
        {{wav, audioItem(Kind::aiff), wav}, 0, "Create 3 DigiPRO files \u2022 Positions 0\u20132 \u2022 List order",
         false, 2},
        {{wav, wav, wav}, 62, rangeWarning("62\u202664"), true, 64},
        {{wav}, -1, rangeWarning("-1\u2026-1"), true, -1},
        {{wav, wav}, top, rangeWarning(topText + "\u2026above 63"), true, top},
        {{wav}, top, rangeWarning(topText + "\u2026" + topText), true, top},
        // Missing audio is named before the position problem.
        {{wav, audioItem(Kind::wav, false)}, 70,
         "The selected audio conversion data is unavailable. Re-import the affected file.", true, 71},
    };
    for (const auto& c : cases) {
        const auto plan = DigiPROConversionPlan::make(c.items, c.position);
        ASSERT_TRUE(plan) << c.text;
        EXPECT_EQ(plan->itemCount, static_cast<int64_t>(c.items.size()));
        EXPECT_EQ(plan->endingPosition, c.ending) << c.text;
        EXPECT_EQ(plan->summary, c.text);
        EXPECT_EQ(plan->warning, c.refused ? std::optional(c.text) : std::nullopt);
        EXPECT_EQ(plan->help, c.refused ? c.text
                                        : c.text + ". Creates files only; it does not transmit. Each selected file "
                                                   "uses its current loop and channel choices. Sample Position is the "
                                                   "first Monomachine position. The created DigiPRO SysEx files send "
                                                   "later as raw open loop.");
    }
}

TEST(DigiPROConversionPlan, OnlyForAudioSelections) {
    EXPECT_FALSE(DigiPROConversionPlan::make(std::vector<TransferItem>{}, 0));
    TransferItem sysEx;
    sysEx.kind = Kind::sysEx;
    EXPECT_FALSE(DigiPROConversionPlan::make({audioItem(), sysEx}, 0));
    // Decoded audio does not make a file list audio.
    EXPECT_FALSE(DigiPROConversionPlan::make({audioItem(Kind::project)}, 0));
}

TEST(NameFolding, ComposesThenLowerCases) {
    const struct {
        const char* name;
        const char* folded;
    } cases[] = {
        {"Caf\u00C9.syx", "caf\u00E9.syx"},
        {"Cafe\u0301.syx", "caf\u00E9.syx"},  // a decomposed accent composes to the same name
        {"\u00C5NGSTR\u00D6M", "\u00E5ngstr\u00F6m"},
        {"INDIGO", "indigo"},  // no locale-specific dotless i
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(foldedName(c.name), c.folded) << c.name;
    EXPECT_TRUE(foldedNameContains("Elektron tm-1 (port 1)", "TM-1"));
    EXPECT_TRUE(foldedNameContains("Cafe\u0301 Out", "caf\u00E9"));
    EXPECT_FALSE(foldedNameContains("TM1 Interface", "TM-1"));
}

}  // namespace
}  // namespace k7

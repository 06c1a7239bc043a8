#include "V7Aruviv/Views/FileInfoPresenter.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

using Negotiation = TurboNegotiation;

FileInfoState::Audio audio(bool single, bool decoded, bool digiPRO) {
    FileInfoState::Audio a;
    a.loopMode = TransferItem::LoopMode::forceOff;
    a.stereoMode = TransferItem::StereoMode::right;
    a.singleItemSelected = single;
    a.singleItemHasAudio = decoded;
    a.canConvertToDigiPRO = digiPRO;
    a.digiPROHelp = "DigiPRO help";
    return a;
}

TEST(FileInfoPresenter, AudioSettings) {
    const std::string sdsHelp =
        "Create a reusable SDS SysEx item using the current sample, loop, channel, and SDS settings.";
    const std::string oneAtATime = "Select one audio file at a time to create an SDS SysEx file.";
    const struct {
        const char* name;
        std::optional<FileInfoState::Audio> audio;
        bool locked;
        bool visible, enabled, sds, digiPRO;
        const std::string& sdsHelp;
    } cases[] = {
        {"nothing or not all audio selected", std::nullopt, false, false, false, false, false, sdsHelp},
        {"one decoded WAV", audio(true, true, true), false, true, true, true, true, sdsHelp},
        {"one WAV that failed to decode", audio(true, false, false), false, true, true, false, false, sdsHelp},
        {"two WAVs: SDS asks for one at a time", audio(false, false, true), false, true, true, false, true, oneAtATime},
        {"locked: the whole grid is disabled", audio(true, true, false), true, true, false, true, false, sdsHelp},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileInfoState s;
        s.hasSelection = true;
        s.audio = c.audio;
        s.configurationLocked = c.locked;
        const auto p = FileInfoPresenter::present(s);
        EXPECT_EQ(p.audioSettingsVisible, c.visible);
        if (!c.visible) continue;
        EXPECT_EQ(p.audioSettingsEnabled, c.enabled);
        EXPECT_EQ(p.sdsEnabled, c.sds);
        EXPECT_EQ(p.digiPROEnabled, c.digiPRO);
        EXPECT_EQ(p.sdsHelp, c.sdsHelp);
        EXPECT_EQ(p.digiPROHelp, "DigiPRO help");
        EXPECT_EQ(FileInfoPresenter::loopModeTitles()[static_cast<std::size_t>(p.loopModeIndex)], "Loop Off");
        EXPECT_EQ(FileInfoPresenter::stereoModeTitles()[static_cast<std::size_t>(p.stereoModeIndex)], "Right");
    }
}

TEST(FileInfoPresenter, PickerTitlesInCaseOrder) {
    EXPECT_EQ(FileInfoPresenter::loopModeTitles(), (std::vector<std::string>{"Loop:File", "Loop On", "Loop Off"}));
    EXPECT_EQ(FileInfoPresenter::stereoModeTitles(), (std::vector<std::string>{"L + R", "Left", "Right"}));
}

TEST(FileInfoPresenter, InformationTextIsSecondaryOnlyWithoutSelection) {
    FileInfoState s;
    s.fileInfoText = "Select an item";
    EXPECT_TRUE(FileInfoPresenter::present(s).infoIsSecondary);
    s.hasSelection = true;
    EXPECT_FALSE(FileInfoPresenter::present(s).infoIsSecondary);
    EXPECT_EQ(FileInfoPresenter::present(s).infoText, "Select an item");
}

TEST(FileInfoPresenter, TurboButton) {
    using enum TurboIndicator;
    using enum TurboSpeed;
    const struct {
        const char* name;
        Negotiation::State state;
        bool detecting, output, locked;
        TurboIndicator indicator;
        bool enabled, waiting;
    } cases[] = {
        {"idle with an output", Negotiation::Idle{}, false, true, false, idle, true, false},
        {"no output chosen", Negotiation::Idle{}, false, false, false, idle, false, false},
        {"active at x1", Negotiation::Active{x1, x1}, false, true, false, idle, true, false},
        {"active at the legacy speed", Negotiation::Active{x8, legacy}, false, true, false, idle, true, false},
        {"active at x2", Negotiation::Active{x8, x2}, false, true, false, fast, true, false},
        {"active at x20", Negotiation::Active{x20, x20}, false, true, false, fast, true, false},
        {"waiting for the response", Negotiation::WaitingForResponse{}, false, true, true, busy, false, true},
        {"waiting for limit", Negotiation::WaitingForLimitTransmission{x8, x4}, false, true, true, busy, false, true},
        {"detecting while active", Negotiation::Active{x8, x8}, true, true, false, busy, true, true},
        {"timed out", Negotiation::TimedOut{}, false, true, false, idle, true, false},
        {"a transfer runs", Negotiation::Idle{}, false, true, true, idle, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileInfoState s;
        s.turboState = c.state;
        s.isTurboDetecting = c.detecting;
        s.outputSelected = c.output;
        s.configurationLocked = c.locked;
        s.turboStatus = "4x";
        const auto p = FileInfoPresenter::present(s);
        EXPECT_EQ(p.turboIndicator, c.indicator);
        EXPECT_EQ(p.turboEnabled, c.enabled);
        EXPECT_EQ(p.turboHelp, c.waiting ? "Waiting for a TM-1 Turbo response" : "Negotiate Turbo MIDI speed");
        EXPECT_EQ(p.turboStatus, "4x");
        EXPECT_EQ(p.samplePositionEnabled, !c.locked);
    }
}

}  // namespace
}  // namespace k7

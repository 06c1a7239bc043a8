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
    const struct {
        const char* name;
        std::optional<FileInfoState::Audio> audio;
        bool locked;
        bool visible, enabled, sds, digiPRO;
        std::string sdsHelp;
    } cases[] = {
        {"nothing or not all audio selected", std::nullopt, false, false, false, false, false, ""},
        {"one decoded WAV", audio(true, true, true), false, true, true, true, true,
         "Create a reusable SDS SysEx item using the current sample, loop, channel, and SDS settings."},
        {"one WAV that failed to decode", audio(true, false, false), false, true, true, false, false,
         "Create a reusable SDS SysEx item using the current sample, loop, channel, and SDS settings."},
        {"two WAVs: SDS asks for one at a time", audio(false, false, true), false, true, true, false, true,
         "Select one audio file at a time to create an SDS SysEx file."},
        {"locked: the whole grid is disabled", audio(true, true, false), true, true, false, true, false,
         "Create a reusable SDS SysEx item using the current sample, loop, channel, and SDS settings."},
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
    const struct {
        const char* name;
        Negotiation::State state;
        bool detecting, output, locked;
        TurboIndicator indicator;
        bool enabled;
        std::string help;
    } cases[] = {
        {"idle with an output", Negotiation::Idle{}, false, true, false, TurboIndicator::idle, true,
         "Negotiate Turbo MIDI speed"},
        {"no output chosen", Negotiation::Idle{}, false, false, false, TurboIndicator::idle, false,
         "Negotiate Turbo MIDI speed"},
        {"active at x1", Negotiation::Active{TurboSpeed::x1, TurboSpeed::x1}, false, true, false, TurboIndicator::idle,
         true, "Negotiate Turbo MIDI speed"},
        {"active at the legacy speed", Negotiation::Active{TurboSpeed::x8, TurboSpeed::legacy}, false, true, false,
         TurboIndicator::idle, true, "Negotiate Turbo MIDI speed"},
        {"active at x2", Negotiation::Active{TurboSpeed::x8, TurboSpeed::x2}, false, true, false,
         TurboIndicator::fast, true, "Negotiate Turbo MIDI speed"},
        {"active at x20", Negotiation::Active{TurboSpeed::x20, TurboSpeed::x20}, false, true, false,
         TurboIndicator::fast, true, "Negotiate Turbo MIDI speed"},
        {"waiting for the response", Negotiation::WaitingForResponse{}, false, true, true, TurboIndicator::busy, false,
         "Waiting for a TM-1 Turbo response"},
        {"waiting for the limit", Negotiation::WaitingForLimitTransmission{TurboSpeed::x8, TurboSpeed::x4}, false, true,
         true, TurboIndicator::busy, false, "Waiting for a TM-1 Turbo response"},
        {"detecting while active", Negotiation::Active{TurboSpeed::x8, TurboSpeed::x8}, true, true, false,
         TurboIndicator::busy, true, "Waiting for a TM-1 Turbo response"},
        {"timed out", Negotiation::TimedOut{}, false, true, false, TurboIndicator::idle, true, "Negotiate Turbo MIDI speed"},
        {"a transfer runs", Negotiation::Idle{}, false, true, true, TurboIndicator::idle, false, "Negotiate Turbo MIDI speed"},
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
        EXPECT_EQ(p.turboHelp, c.help);
        EXPECT_EQ(p.turboStatus, "4x");
        EXPECT_EQ(p.samplePositionEnabled, !c.locked);
    }
}

}  // namespace
}  // namespace k7

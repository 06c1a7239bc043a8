#include "V7Aruviv/Views/FileInfoPresenter.h"

#include <variant>

#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

FileInfoState FileInfoState::of(const AppModel& model) {
    FileInfoState state;
    state.fileInfoText = model.fileInfoText();
    state.hasSelection = !model.selection().empty();
    if (const auto first = model.selectedAudioSettingsItem()) {
        Audio audio;
        audio.loopMode = first->loopMode;
        audio.stereoMode = first->stereoMode;
        audio.singleItemSelected = model.selection().size() == 1;
        audio.singleItemHasAudio = audio.singleItemSelected && first->audioSample.has_value();
        audio.canConvertToDigiPRO = model.canConvertSelectionToDigiPRO();
        audio.digiPROHelp = model.digiPROConversionHelp();
        state.audio = std::move(audio);
    }
    state.configurationLocked = model.configurationLocked();
    state.outputSelected = model.preferences().outputEndpointID.has_value();
    state.isTurboDetecting = model.isTurboDetecting();
    state.turboState = model.turboState();
    state.turboStatus = model.turboStatus();
    state.samplePosition = model.samplePosition();
    return state;
}

std::vector<std::string> FileInfoPresenter::loopModeTitles() {
    std::vector<std::string> titles;
    for (const auto mode : TransferItem::allLoopModes) titles.emplace_back(rawValue(mode));
    return titles;
}

std::vector<std::string> FileInfoPresenter::stereoModeTitles() {
    std::vector<std::string> titles;
    for (const auto mode : TransferItem::allStereoModes) titles.emplace_back(rawValue(mode));
    return titles;
}

FileInfoPresentation FileInfoPresenter::present(const FileInfoState& s) {
    FileInfoPresentation p;
    p.infoText = s.fileInfoText;
    p.infoIsSecondary = !s.hasSelection;

    if (s.audio) {
        p.audioSettingsVisible = true;
        p.audioSettingsEnabled = !s.configurationLocked;
        p.loopModeIndex = static_cast<int>(s.audio->loopMode);
        p.stereoModeIndex = static_cast<int>(s.audio->stereoMode);
        p.sdsEnabled = s.audio->singleItemSelected && s.audio->singleItemHasAudio;
        p.sdsHelp = s.audio->singleItemSelected
                        ? "Create a reusable SDS SysEx item using the current sample, loop, channel, and SDS settings."
                        : "Select one audio file at a time to create an SDS SysEx file.";
        p.digiPROEnabled = s.audio->canConvertToDigiPRO;
        p.digiPROHelp = s.audio->digiPROHelp;
    }

    p.samplePositionEnabled = !s.configurationLocked;
    p.samplePosition = s.samplePosition;

    const bool turboBusy = s.isTurboDetecting || TurboNegotiation::isWaiting(s.turboState);
    p.turboEnabled = s.outputSelected && !s.configurationLocked;
    p.turboHelp = turboBusy ? "Waiting for a TM-1 Turbo response" : "Negotiate Turbo MIDI speed";
    if (turboBusy) {
        p.turboIndicator = TurboIndicator::busy;
    } else if (const auto* active = std::get_if<TurboNegotiation::Active>(&s.turboState);
               active && code(active->negotiated) >= 2) {
        p.turboIndicator = TurboIndicator::fast;
    } else {
        p.turboIndicator = TurboIndicator::idle;
    }
    p.turboStatus = s.turboStatus;
    return p;
}

}  // namespace k7

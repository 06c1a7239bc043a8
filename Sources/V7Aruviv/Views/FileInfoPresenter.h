#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Turbo/TurboNegotiation.h"
#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

class AppModel;

// What the file information panel reads of the model.
struct FileInfoState {
    // Present while every selected item is WAV or AIFF (and something is selected).
    struct Audio {
        TransferItem::LoopMode loopMode = TransferItem::LoopMode::file;  // of the first selected item
        TransferItem::StereoMode stereoMode = TransferItem::StereoMode::mix;
        bool singleItemSelected = false;      // exactly one item selected
        bool singleItemHasAudio = false;      // ... and it holds decoded audio
        bool canConvertToDigiPRO = false;
        std::string digiPROHelp;
    };

    std::string fileInfoText;
    bool hasSelection = false;
    std::optional<Audio> audio;
    bool configurationLocked = false;
    bool outputSelected = false;
    bool isTurboDetecting = false;
    TurboNegotiation::State turboState = TurboNegotiation::Idle{};
    std::string turboStatus;
    int64_t samplePosition = 0;

    static FileInfoState of(const AppModel& model);
};

enum class TurboIndicator { busy, fast, idle };

struct FileInfoPresentation {
    std::string infoText;
    bool infoIsSecondary = false;

    bool audioSettingsVisible = false;
    bool audioSettingsEnabled = false;
    int loopModeIndex = 0;
    int stereoModeIndex = 0;
    bool sdsEnabled = false;
    std::string sdsHelp;
    bool digiPROEnabled = false;
    std::string digiPROHelp;

    bool samplePositionEnabled = false;
    int64_t samplePosition = 0;

    bool turboEnabled = false;
    std::string turboHelp;
    TurboIndicator turboIndicator = TurboIndicator::idle;
    std::string turboStatus;
};

struct FileInfoPresenter {
    static FileInfoPresentation present(const FileInfoState& state);
    // The pickers' rows, in case order.
    static std::vector<std::string> loopModeTitles();
    static std::vector<std::string> stereoModeTitles();
};

}  // namespace k7

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "K7MIDI/Transport/MIDIEndpointSnapshot.h"
#include "V7Aruviv/Models/AppPreferences.h"

namespace k7 {

class AppModel;

// What the settings window reads of the model.
struct SettingsState {
    MIDIEndpointSnapshot endpoints;
    AppPreferences preferences;
    bool configurationLocked = false;
    std::string turboStatus;
    bool isRecording = false;
    std::string diagnosticCaptureStatus;

    static SettingsState of(const AppModel& model);
};

struct PickerPresentation {
    std::vector<std::string> rows;
    int selectedRow = -1;  // -1: no row
    bool enabled = false;
    bool operator==(const PickerPresentation&) const = default;
};

struct SettingsPresentation {
    // "MIDI"
    PickerPresentation input;
    PickerPresentation output;
    PickerPresentation turboLimit;
    std::string activeSendSpeed;
    bool refreshEnabled = false;
    // "General"
    bool reloadFiles = false;
    bool reloadFilesEnabled = false;
    std::string diagnosticButtonTitle;
    std::optional<std::string> diagnosticStatus;  // only while recording
    // "Transfer"
    bool transferEnabled = false;
    bool useHandshake = false;
    bool useExtendedSDS = false;
    bool sendSPS1UWName = false;
    int deviceNumber = 0;
    std::string deviceNumberLabel;
    int delayTicks = 0;
    std::string delayLabel;
    PickerPresentation receiveFormat;
};

struct SettingsPresenter {
    static constexpr int deviceNumberMaximum = 127;
    static constexpr int delayTicksMaximum = 120;
    static constexpr const char* turboLimitHelp =
        "Automatic uses the speed reported by the Turbo device. Choose a multiplier to cap a manual Turbo "
        "negotiation. Changing this while Turbo is active immediately updates both the TM-1 and this "
        "computer\u2019s send speed.";

    static SettingsPresentation present(const SettingsState& state);

    // "Device number: 5"
    static std::string deviceNumberLabel(int64_t value);
    // "Inter-message delay: 1 tick", "... 0 ticks"
    static std::string delayLabel(int64_t value);
    // "1 tick", "2 ticks": the delay's value as its stepper shows it.
    static std::string delayValueText(int64_t value);

    // Whether a picker row is a choice at all: "None" (row 0) or one of the endpoints.
    static bool isEndpointRow(const std::vector<MIDIEndpoint>& endpoints, int row);
    // The endpoint a picker row stands for; nothing for "None".
    static std::optional<int32_t> endpointForRow(const std::vector<MIDIEndpoint>& endpoints, int row);
    // The device number field holds 0...255; wider values are clamped before narrowing.
    static uint8_t clampedDeviceNumber(int64_t value);
};

}  // namespace k7

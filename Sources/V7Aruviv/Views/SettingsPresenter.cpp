#include "V7Aruviv/Views/SettingsPresenter.h"

#include <algorithm>

#include "K7MIDI/Transport/MIDITracingTransport.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

PickerPresentation endpointPicker(const std::vector<MIDIEndpoint>& endpoints, const std::optional<int32_t>& chosen,
                                  bool enabled) {
    PickerPresentation picker;
    picker.rows.push_back("None");
    for (const auto& endpoint : endpoints) picker.rows.push_back(endpoint.name);
    picker.enabled = enabled;
    if (!chosen) {
        picker.selectedRow = 0;
    } else {
        // A saved id that matches no endpoint shows no row, rather than pretending "None".
        const auto found = std::find_if(endpoints.begin(), endpoints.end(),
                                        [&](const MIDIEndpoint& endpoint) { return endpoint.id == *chosen; });
        picker.selectedRow = found == endpoints.end() ? -1 : static_cast<int>(found - endpoints.begin()) + 1;
    }
    return picker;
}

}  // namespace

SettingsState SettingsState::of(const AppModel& model) {
    SettingsState state;
    state.endpoints = model.endpoints();
    state.preferences = model.preferences();
    state.configurationLocked = model.configurationLocked();
    state.turboStatus = model.turboStatus();
    state.isRecording = model.tracingTransport().isRecording();
    state.diagnosticCaptureStatus = model.diagnosticCaptureStatus();
    return state;
}

std::string SettingsPresenter::deviceNumberLabel(int64_t value) { return "Device number: " + std::to_string(value); }

std::string SettingsPresenter::delayValueText(int64_t value) {
    return std::to_string(value) + " tick" + (value == 1 ? "" : "s");
}

std::string SettingsPresenter::delayLabel(int64_t value) { return "Inter-message delay: " + delayValueText(value); }

bool SettingsPresenter::isEndpointRow(const std::vector<MIDIEndpoint>& endpoints, int row) {
    return row >= 0 && static_cast<std::size_t>(row) <= endpoints.size();
}

std::optional<int32_t> SettingsPresenter::endpointForRow(const std::vector<MIDIEndpoint>& endpoints, int row) {
    if (row <= 0 || !isEndpointRow(endpoints, row)) return std::nullopt;
    return endpoints[static_cast<std::size_t>(row - 1)].id;
}

uint8_t SettingsPresenter::clampedDeviceNumber(int64_t value) {
    return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 255));
}

SettingsPresentation SettingsPresenter::present(const SettingsState& s) {
    SettingsPresentation p;
    const bool unlocked = !s.configurationLocked;
    const auto& preferences = s.preferences;

    p.input = endpointPicker(s.endpoints.inputs, preferences.inputEndpointID, unlocked);
    p.output = endpointPicker(s.endpoints.outputs, preferences.outputEndpointID, unlocked);
    for (const auto limit : AppPreferences::allTurboLimits) {
        p.turboLimit.rows.push_back(limit == AppPreferences::TurboLimit::none ? "Automatic (Device Maximum)"
                                                                               : std::string(rawValue(limit)));
    }
    p.turboLimit.selectedRow = static_cast<int>(preferences.turboLimit);
    p.turboLimit.enabled = unlocked;
    p.activeSendSpeed = s.turboStatus;
    p.refreshEnabled = unlocked;

    p.reloadFiles = preferences.reloadFiles;
    p.reloadFilesEnabled = unlocked;
    p.diagnosticButtonTitle = s.isRecording ? "Stop Diagnostic Capture" : "Start Diagnostic Capture\u2026";
    if (s.isRecording) p.diagnosticStatus = s.diagnosticCaptureStatus;

    p.transferEnabled = unlocked;
    p.useHandshake = preferences.useHandshake;
    p.useExtendedSDS = preferences.useExtendedSDS;
    p.sendSPS1UWName = preferences.sendSPS1UWName;
    p.deviceNumber = preferences.deviceNumber;
    p.deviceNumberLabel = deviceNumberLabel(preferences.deviceNumber);
    p.delayTicks = static_cast<int>(std::clamp<int64_t>(preferences.delayTicks, 0, delayTicksMaximum));
    p.delayLabel = delayLabel(preferences.delayTicks);
    for (const auto format : AppPreferences::allReceiveFormats) p.receiveFormat.rows.emplace_back(displayName(format));
    p.receiveFormat.selectedRow = static_cast<int>(preferences.receiveFormat);
    p.receiveFormat.enabled = unlocked;
    return p;
}

}  // namespace k7

#include "V7Aruviv/Views/SettingsPresenter.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

MIDIEndpoint endpoint(int32_t id, std::string name) {
    MIDIEndpoint e;
    e.id = id;
    e.name = std::move(name);
    return e;
}

SettingsState studio() {
    SettingsState s;
    s.endpoints.inputs = {endpoint(11, "TM-1 In"), endpoint(12, "USB In")};
    s.endpoints.outputs = {endpoint(21, "TM-1 Out")};
    s.turboStatus = "1x";
    s.diagnosticCaptureStatus = "Off";
    return s;
}

TEST(SettingsPresenter, EndpointPickers) {
    const struct {
        const char* name;
        std::optional<int32_t> input, output;
        int inputRow, outputRow;
    } cases[] = {
        {"nothing chosen shows None", std::nullopt, std::nullopt, 0, 0},
        {"chosen endpoints", 12, 21, 2, 1},
        {"a saved id that matches no endpoint shows no row", 99, 11, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = studio();
        s.preferences.inputEndpointID = c.input;
        s.preferences.outputEndpointID = c.output;
        const auto p = SettingsPresenter::present(s);
        EXPECT_EQ(p.input.rows, (std::vector<std::string>{"None", "TM-1 In", "USB In"}));
        EXPECT_EQ(p.output.rows, (std::vector<std::string>{"None", "TM-1 Out"}));
        EXPECT_EQ(p.input.selectedRow, c.inputRow);
        EXPECT_EQ(p.output.selectedRow, c.outputRow);
    }
}

TEST(SettingsPresenter, PickerRowsMapBackToEndpoints) {
    const auto inputs = studio().endpoints.inputs;
    const struct {
        int row;
        bool isChoice;
        std::optional<int32_t> endpoint;
    } cases[] = {{0, true, std::nullopt}, {1, true, 11}, {2, true, 12}, {3, false, std::nullopt}, {-1, false, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        EXPECT_EQ(SettingsPresenter::isEndpointRow(inputs, c.row), c.isChoice);
        EXPECT_EQ(SettingsPresenter::endpointForRow(inputs, c.row), c.endpoint);
    }
}

TEST(SettingsPresenter, LockingDisablesEverythingButCaptureAndSpeed) {
    for (bool locked : {false, true}) {
        SCOPED_TRACE(locked);
        auto s = studio();
        s.configurationLocked = locked;
        const auto p = SettingsPresenter::present(s);
        const bool enabled[] = {p.input.enabled, p.output.enabled, p.turboLimit.enabled, p.refreshEnabled,
                                p.reloadFilesEnabled, p.transferEnabled, p.receiveFormat.enabled};
        for (std::size_t index = 0; index < std::size(enabled); ++index) EXPECT_EQ(enabled[index], !locked) << index;
        EXPECT_EQ(p.activeSendSpeed, "1x");
        EXPECT_EQ(p.diagnosticButtonTitle, "Start Diagnostic Capture\u2026");
    }
}

TEST(SettingsPresenter, StoredPreferencesShowInTheirRowsAndStepperRanges) {
    auto s = studio();
    s.preferences.turboLimit = AppPreferences::TurboLimit::x6_7;
    s.preferences.receiveFormat = AppPreferences::ReceiveFormat::none;
    s.preferences.delayTicks = 500;
    s.preferences.deviceNumber = 127;
    const auto p = SettingsPresenter::present(s);
    EXPECT_EQ(p.turboLimit.rows, (std::vector<std::string>{"Automatic (Device Maximum)", "x20", "x16", "x13.3", "x10",
                                                          "x8", "x6.7", "x5", "x4", "x3.3", "x2", "x1"}));
    EXPECT_EQ(p.turboLimit.rows[static_cast<std::size_t>(p.turboLimit.selectedRow)], "x6.7");
    EXPECT_EQ(p.receiveFormat.rows, (std::vector<std::string>{"SDS", "WAV", "AIFF", "Raw SysEx"}));
    EXPECT_EQ(p.receiveFormat.rows[static_cast<std::size_t>(p.receiveFormat.selectedRow)], "Raw SysEx");
    EXPECT_EQ(p.delayTicks, 120);
    EXPECT_EQ(p.deviceNumber, 127);
    EXPECT_EQ(SettingsPresenter::clampedDeviceNumber(-4), 0);
    EXPECT_EQ(SettingsPresenter::clampedDeviceNumber(300), 255);
    EXPECT_EQ(SettingsPresenter::clampedDeviceNumber(127), 127);
}

TEST(SettingsPresenter, DiagnosticCapture) {
    auto s = studio();
    EXPECT_FALSE(SettingsPresenter::present(s).diagnosticStatus);
    s.isRecording = true;
    s.diagnosticCaptureStatus = "Recording: capture-1";
    const auto p = SettingsPresenter::present(s);
    EXPECT_EQ(p.diagnosticButtonTitle, "Stop Diagnostic Capture");
    EXPECT_EQ(p.diagnosticStatus, "Recording: capture-1");
}

TEST(SettingsPresenter, StepperLabels) {
    const struct {
        int64_t value;
        std::string delay;
        std::string device;
    } cases[] = {
        {0, "Inter-message delay: 0 ticks", "Device number: 0"},
        {1, "Inter-message delay: 1 tick", "Device number: 1"},
        {2, "Inter-message delay: 2 ticks", "Device number: 2"},
        {120, "Inter-message delay: 120 ticks", "Device number: 120"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SettingsPresenter::delayLabel(c.value), c.delay);
        EXPECT_EQ(SettingsPresenter::deviceNumberLabel(c.value), c.device);
    }
}

}  // namespace
}  // namespace k7

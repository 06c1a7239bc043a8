#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "V7Aruviv/Models/TransferPlan.h"

namespace k7 {
namespace {

TEST(TransferPlanEndpoints, NamesComeFromThePreferredOnlineEndpoints) {
    TransferItem item;
    item.id = test::uuid(1);
    item.sendMethod = TransferSendMethod::AudioSDS{};
    AppPreferences preferences;
    preferences.useHandshake = true;
    preferences.inputEndpointID = 7;
    preferences.outputEndpointID = 9;
    const std::vector<MIDIEndpoint> inputs{{7, "Old input", std::nullopt, std::nullopt, false},
                                           {7, "Input A", std::nullopt, std::nullopt, true}};
    const std::vector<MIDIEndpoint> outputs{{8, "Other", std::nullopt, std::nullopt, true},
                                            {9, "Output B", std::nullopt, std::nullopt, true}};

    const struct {
        const char* name;
        std::vector<MIDIEndpoint> inputs;
        std::vector<MIDIEndpoint> outputs;
        std::optional<std::string> inputName;
        std::optional<std::string> outputName;
        std::optional<std::string> warning;
    } cases[] = {
        {"both present", inputs, outputs, "Input A", "Output B", std::nullopt},
        {"output offline", inputs, {{9, "Output B", std::nullopt, std::nullopt, false}}, "Input A", std::nullopt,
         "The selected MIDI output is unavailable. Choose an available output in Settings before sending."},
        {"input missing", {}, outputs, std::nullopt, "Output B",
         "The selected MIDI input is unavailable. Choose an available input in Settings or turn SDS handshake off."},
    };
    for (const auto& c : cases) {
        const auto plan = TransferPlan::make({&item}, preferences, 0, c.inputs, c.outputs, "1x");
        ASSERT_TRUE(plan) << c.name;
        EXPECT_EQ(plan->inputName, c.inputName) << c.name;
        EXPECT_EQ(plan->outputName, c.outputName) << c.name;
        EXPECT_EQ(plan->warning ? std::optional(plan->warning->message) : std::nullopt, c.warning) << c.name;
    }
}

}  // namespace
}  // namespace k7

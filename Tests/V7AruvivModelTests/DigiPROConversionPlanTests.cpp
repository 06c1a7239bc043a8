#include "V7Aruviv/Models/DigiPROConversionPlan.h"

#include <gtest/gtest.h>

#include <limits>

#include "ModelTestSupport.h"

namespace k7 {
namespace {

using Kind = TransferItem::Kind;

TransferItem audioItem(Kind kind = Kind::wav, bool decoded = true) {
    TransferItem item;
    item.kind = kind;
    if (decoded) item.audioSample = AudioSample{44100, {{0, 1, 2}}, 16, false, std::nullopt};
    return item;
}

const std::string rangeWarningStart = "DigiPRO positions are limited to 0\u202663; this ordered batch would use positions ";
const std::string rangeWarningEnd = ". Lower Sample Position or select fewer audio files.";
const std::string missingAudio = "The selected audio conversion data is unavailable. Re-import the affected file.";
const int64_t top = std::numeric_limits<int64_t>::max();

struct ConversionCase {
    const char* name;
    std::vector<TransferItem> items;
    int64_t position;
    std::string summary;
    std::optional<std::string> warning;
    int64_t ending;
};

class DigiPROConversionPlanCases : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(DigiPROConversionPlanCases, Plan) {
    const auto& c = GetParam();
    const auto plan = DigiPROConversionPlan::make(c.items, c.position);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->itemCount, static_cast<int64_t>(c.items.size()));
    EXPECT_EQ(plan->startingPosition, c.position);
    EXPECT_EQ(plan->endingPosition, c.ending);
    EXPECT_EQ(plan->summary, c.summary);
    EXPECT_EQ(plan->warning, c.warning);
    if (c.warning) {
        EXPECT_EQ(plan->help, *c.warning);
    } else {
        EXPECT_EQ(plan->help, c.summary +
                                  ". Creates files only; it does not transmit. Each selected file uses its current loop "
                                  "and channel choices. Sample Position is the first Monomachine position. The created "
                                  "DigiPRO SysEx files send later as raw open loop.");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DigiPROConversionPlanCases,
    ::testing::Values(
        ConversionCase{"one file at 63", {audioItem()}, 63, "Create 1 DigiPRO file \u2022 Position 63", std::nullopt, 63},
        ConversionCase{"three files from 0", {audioItem(), audioItem(Kind::aiff), audioItem()}, 0,
                       "Create 3 DigiPRO files \u2022 Positions 0\u20132 \u2022 List order", std::nullopt, 2},
        ConversionCase{"three files at 62", {audioItem(), audioItem(), audioItem()}, 62,
                       rangeWarningStart + "62\u202664" + rangeWarningEnd, rangeWarningStart + "62\u202664" + rangeWarningEnd,
                       64},
        ConversionCase{"negative position", {audioItem()}, -1, rangeWarningStart + "-1\u2026-1" + rangeWarningEnd,
                       rangeWarningStart + "-1\u2026-1" + rangeWarningEnd, -1},
        ConversionCase{"overflowing range", {audioItem(), audioItem()}, top,
                       rangeWarningStart + std::to_string(top) + "\u2026above 63" + rangeWarningEnd,
                       rangeWarningStart + std::to_string(top) + "\u2026above 63" + rangeWarningEnd, top},
        ConversionCase{"single file at the largest position", {audioItem()}, top,
                       rangeWarningStart + std::to_string(top) + "\u2026" + std::to_string(top) + rangeWarningEnd,
                       rangeWarningStart + std::to_string(top) + "\u2026" + std::to_string(top) + rangeWarningEnd, top},
        // Missing audio is named before the position problem.
        ConversionCase{"missing audio", {audioItem(), audioItem(Kind::wav, false)}, 70, missingAudio, missingAudio, 71}),
    test::CaseName());

TEST(DigiPROConversionPlan, OnlyForAudioSelections) {
    EXPECT_FALSE(DigiPROConversionPlan::make(std::vector<TransferItem>{}, 0));
    TransferItem sysEx;
    sysEx.kind = Kind::sysEx;
    EXPECT_FALSE(DigiPROConversionPlan::make({audioItem(), sysEx}, 0));
    TransferItem project = audioItem();
    project.kind = Kind::project;  // decoded audio does not make a file list audio
    EXPECT_FALSE(DigiPROConversionPlan::make({project}, 0));
}

}  // namespace
}  // namespace k7

#include "K7Core/ElektronSysEx.h"

#include <gtest/gtest.h>

#include "K7Core/SPS1UWFileNameMessage.h"
#include "K7Core/SysExFileCodec.h"
#include "K7Core/TurboFrame.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
namespace fam = elektron_family;

struct FamilyCase {
    const char* name;
    Bytes frame;
    std::optional<ElektronSysExFamily> shape;
    std::optional<ElektronSysExFamily> validated;
};

class ElektronFamilies : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(ElektronFamilies, ClassifiesByShapeAndValidatesWellFormedFrames) {
    const auto& c = GetParam();
    EXPECT_EQ(ElektronSysEx::family(c.frame), c.shape) << c.name;
    EXPECT_EQ(ElektronSysEx::validatedFamily(c.frame), c.validated) << c.name;
}

// A silent waveform in slot 0: zero payload and name, so the checksum is zero; length field 7017.
Bytes digiPROFrame() {
    Bytes frame(7027, 0x00);
    std::copy(ElektronSysEx::digiPROWaveformPrefix.begin(), ElektronSysEx::digiPROWaveformPrefix.end(), frame.begin());
    frame[7024] = 0x36;
    frame[7025] = 0x69;
    frame.back() = 0xF7;
    return frame;
}

const ElektronSysExFamily md = fam::Product{ElektronProduct::machinedrum};
const ElektronSysExFamily mnm = fam::Product{ElektronProduct::monomachine};
const Bytes sps = SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing("kick.wav")).encode();

INSTANTIATE_TEST_SUITE_P(
    Cases, ElektronFamilies,
    ::testing::Values(
        FamilyCase{"machinedrum kit request", bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53, 0x05, 0xF7}), md, md},
        FamilyCase{"monomachine record", bytes({0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x02, 0xF7}), mnm, mnm},
        FamilyCase{"every product byte", bytes({0xF0, 0x00, 0x20, 0x3C, 0x07, 0x00, 0xF7}),
                   fam::Product{ElektronProduct::analogRytm}, fam::Product{ElektronProduct::analogRytm}},
        FamilyCase{"unknown product byte", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x01, 0xF7}), std::nullopt, std::nullopt},
        FamilyCase{"product 0 is not one", bytes({0xF0, 0x00, 0x20, 0x3C, 0x00, 0x00, 0x10, 0xF7}), std::nullopt,
                   std::nullopt},
        FamilyCase{"other manufacturer", bytes({0xF0, 0x43, 0x10, 0x4C, 0xF7}), std::nullopt, std::nullopt},
        FamilyCase{"universal SDS", bytes({0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7}), std::nullopt, std::nullopt},
        FamilyCase{"turbo query", TurboFrame::query(), fam::Turbo{ElektronTurboCommand::query},
                   fam::Turbo{ElektronTurboCommand::query}},
        FamilyCase{"turbo response with unknown speed is shaped but invalid",
                   bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7}),
                   fam::Turbo{ElektronTurboCommand::response}, std::nullopt},
        FamilyCase{"turbo unknown command", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x09, 0xF7}), std::nullopt,
                   std::nullopt},
        FamilyCase{"sample name", sps, fam::SPS1UWFileName{}, fam::SPS1UWFileName{}},
        FamilyCase{"sample name cut short", Bytes(sps.begin(), sps.begin() + 10), fam::SPS1UWFileName{}, std::nullopt},
        FamilyCase{"digipro waveform", digiPROFrame(), fam::DigiPROWaveform{}, fam::DigiPROWaveform{}},
        FamilyCase{"digipro waveform of the wrong length",
                   test::concat({Bytes(ElektronSysEx::digiPROWaveformPrefix.begin(),
                                       ElektronSysEx::digiPROWaveformPrefix.end()),
                                 bytes({0xF7})}),
                   fam::DigiPROWaveform{}, std::nullopt},
        FamilyCase{"high bit inside the body", bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x80, 0xF7}), md,
                   std::nullopt},
        FamilyCase{"missing end byte", bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53}), md, std::nullopt}),
    test::CaseName());

TEST(ElektronSysEx, DescribesFamilies) {
    EXPECT_EQ(describe(md), "product(.machinedrum)");
    EXPECT_EQ(describe(ElektronSysExFamily{fam::Turbo{ElektronTurboCommand::limit}}), "turbo(.limit)");
}

TEST(ElektronSysEx, ClassifiesEveryMessageOfTheRealDumps) {
    const auto folder = test::sharedTestData();
    if (!folder) GTEST_SKIP() << "shared test data folder not found beside the project";
    const auto kit = SysExFileCodec::parse(test::readFile(*folder / "elektron" / "md-kit-distorted.syx"));
    ASSERT_EQ(kit.messages.size(), 1u);
    EXPECT_EQ(ElektronSysEx::validatedFamily(kit.messages[0]), md);
    const auto patKit = SysExFileCodec::parse(test::readFile(*folder / "elektron" / "mnm-pat-kit-841.syx"));
    ASSERT_EQ(patKit.messages.size(), 2u);
    for (const auto& message : patKit.messages) EXPECT_EQ(ElektronSysEx::validatedFamily(message), mnm);
}

}  // namespace
}  // namespace k7

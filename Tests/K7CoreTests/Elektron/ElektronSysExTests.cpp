#include "K7Core/Elektron/ElektronSysEx.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "K7Core/ElektronWire/ElektronSevenBit.h"
#include "K7Core/SPS1UW/SPS1UWFileNameError.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/Turbo/TurboFrame.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
namespace fam = elektron_family;
using Family = std::optional<ElektronSysExFamily>;

TEST(ElektronSevenBit, HighBitsGoIntoTheLeadingByteFirstByteHighest) {
    EXPECT_EQ(ElektronSevenBit::encode(bytes({0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF})),
              bytes({0x41, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x7F}));
    // A short final group uses the top bits of its leading byte.
    EXPECT_EQ(ElektronSevenBit::encode(bytes({0x81, 0x82})), bytes({0x60, 0x01, 0x02}));
    EXPECT_EQ(ElektronSevenBit::encodedSize(6132), 7008u);
}

// The group layout spelled out byte by byte, as the instruments define it.
std::optional<Bytes> decodeGroupByGroup(ByteView encoded) {
    if (encoded.size() % 8 == 1) return std::nullopt;
    Bytes raw;
    for (std::size_t group = 0; group < encoded.size(); group += 8) {
        for (std::size_t k = 1; k < 8 && group + k < encoded.size(); ++k) {
            if ((encoded[group] | encoded[group + k]) & 0x80) return std::nullopt;
            const bool high = encoded[group] & (0x40 >> (k - 1));
            raw.push_back(static_cast<uint8_t>(encoded[group + k] | (high ? 0x80 : 0)));
        }
        if (encoded[group] & 0x80) return std::nullopt;
    }
    return raw;
}

// Long inputs are decoded in blocks of groups: every short length and every length around the
// block size comes back, and a high bit anywhere, in a leading byte or a data byte, refuses the
// whole input, as does a group with no data byte.
TEST(ElektronSevenBit, RoundTripsEveryLengthAndRefusesAHighBitAnywhere) {
    std::mt19937 random(9);
    std::vector<std::size_t> lengths(31);
    std::iota(lengths.begin(), lengths.end(), 0);
    lengths.insert(lengths.end(), {890, 895, 896, 897, 903, 1791, 1792, 1793, 20000});
    for (std::size_t length : lengths) {
        Bytes raw(length);
        for (auto& byte : raw) byte = static_cast<uint8_t>(random());
        const Bytes encoded = ElektronSevenBit::encode(raw);
        EXPECT_EQ(encoded.size(), ElektronSevenBit::encodedSize(length));
        EXPECT_EQ(ElektronSevenBit::decodedSize(encoded.size()), length);
        EXPECT_TRUE(isSevenBitClean(encoded));
        EXPECT_EQ(ElektronSevenBit::decode(encoded), raw) << length;
        EXPECT_EQ(decodeGroupByGroup(encoded), raw) << length;
    }
    EXPECT_FALSE(ElektronSevenBit::decode(bytes({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00})));
    Bytes encoded(2051);  // whole blocks, a partial block and a short final group
    for (auto& byte : encoded) byte = static_cast<uint8_t>(random() & 0x7F);
    ASSERT_EQ(ElektronSevenBit::decode(encoded), decodeGroupByGroup(encoded));
    for (std::size_t at = 0; at < encoded.size(); ++at) {
        Bytes spoiled = encoded;
        spoiled[at] |= 0x80;
        ASSERT_FALSE(ElektronSevenBit::decode(spoiled)) << "high bit at " << at;
    }
}

TEST(SPS1UWFileName, KeepsFourPrintableASCIICharactersOfTheStemAndRefusesOtherBytes) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Kick.wav", "Kick"}, {"snare drum.aiff", "snar"}, {"/Users/me/Samples/hat.wav", "hat "}, {"a.b.c", "a.b "},
        {"", "    "}, {".wav", ".wav"}, {"folder.d/", "fold"}, {"tab\there", "tab_"}, {"~{}|", "~{}|"},
        // One "_" per character, not per byte: é is two bytes, 🎹 four; invalid bytes one each.
        {"\xC3\xA9t\xC3\xA9.wav", "_t_ "}, {"\xF0\x9F\x8E\xB9x", "_x  "}, {"\xFF\xFEzz", "__zz"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(SPS1UWFileName::normalizing(input).text(), expected) << input;
    // Read from bytes, four 7-bit bytes are taken as they are, and anything else refused.
    EXPECT_EQ(SPS1UWFileName(bytes({'A', 'b', ' ', 0x00})).text(), std::string("Ab \0", 4));
    EXPECT_EQ(test::thrown<SPS1UWFileNameError>([] { SPS1UWFileName(bytes({'A', 'B', 'C'})); }),
              SPS1UWFileNameError(SPS1UWFileNameError::InvalidLength{4, 3}));
    EXPECT_EQ(test::thrown<SPS1UWFileNameError>([] { SPS1UWFileName(bytes({'A', 'B', 0x80, 'D'})); }),
              SPS1UWFileNameError(SPS1UWFileNameError::InvalidNameByte{2, 0x80}));
}

TEST(SPS1UWFileNameMessage, EncodesThirteenBytesAndDecodesThemBackButNothingElse) {
    const SPS1UWFileNameMessage message(0x00, 0x2F, SPS1UWFileName::normalizing("BD01.wav"));
    const Bytes wire = message.encode();
    EXPECT_EQ(wire, bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, 0x2F, 'B', 'D', '0', '1', 0xF7}));
    EXPECT_EQ(SPS1UWFileNameMessage::decode(wire), message);
    // Framing, manufacturer, product and command bytes, and a name byte with its high bit set.
    for (std::size_t i : {0, 1, 2, 3, 4, 6, 8, 12}) {
        Bytes damaged = wire;
        damaged[i] ^= i == 8 ? 0x80 : 0x01;
        EXPECT_FALSE(SPS1UWFileNameMessage::decode(damaged)) << "byte " << i;
    }
    EXPECT_FALSE(SPS1UWFileNameMessage::decode(Bytes(wire.begin(), wire.end() - 1)));
    EXPECT_THROW(SPS1UWFileNameMessage(0x80, 0, message.fileName), SPS1UWFileNameError);
    EXPECT_THROW(SPS1UWFileNameMessage(0, 0x80, message.fileName), SPS1UWFileNameError);
}

// A silent waveform in slot 0: zero payload and name, so the checksum is zero; length field 7017.
Bytes digiPROFrame() {
    Bytes frame = test::concat({Bytes(ElektronSysEx::digiPROWaveformPrefix.begin(),
                                      ElektronSysEx::digiPROWaveformPrefix.end()),
                                Bytes(7027 - ElektronSysEx::digiPROWaveformPrefix.size(), 0x00)});
    frame[7024] = 0x36;
    frame[7025] = 0x69;
    frame.back() = 0xF7;
    return frame;
}

const ElektronSysExFamily md = fam::Product{ElektronProduct::machinedrum};
const ElektronSysExFamily mnm = fam::Product{ElektronProduct::monomachine};

// The family by shape, and the family only for a frame that is also well formed.
TEST(ElektronSysEx, ClassifiesByShapeAndValidatesWellFormedFrames) {
    const Bytes sps = SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing("kick.wav")).encode();
    const Bytes digiPROPrefix(ElektronSysEx::digiPROWaveformPrefix.begin(), ElektronSysEx::digiPROWaveformPrefix.end());
    const ElektronSysExFamily response = fam::Turbo{ElektronTurboCommand::response};
    const std::vector<std::tuple<Bytes, Family, Family>> cases{
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53, 0x05, 0xF7}), md, md},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, 0x52, 0x02, 0xF7}), mnm, mnm},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x01, 0xF7}), std::nullopt, std::nullopt},        // unknown product
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x00, 0x00, 0x10, 0xF7}), std::nullopt, std::nullopt},  // product 0
        {bytes({0xF0, 0x43, 0x10, 0x4C, 0xF7}), std::nullopt, std::nullopt},
        {bytes({0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7}), std::nullopt, std::nullopt},
        {TurboFrame::query(), fam::Turbo{ElektronTurboCommand::query}, fam::Turbo{ElektronTurboCommand::query}},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7}), response, std::nullopt},  // unknown speed
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x09, 0xF7}), std::nullopt, std::nullopt},   // unknown command
        {sps, fam::SPS1UWFileName{}, fam::SPS1UWFileName{}},
        {Bytes(sps.begin(), sps.begin() + 10), fam::SPS1UWFileName{}, std::nullopt},
        {digiPROFrame(), fam::DigiPROWaveform{}, fam::DigiPROWaveform{}},
        {test::concat({digiPROPrefix, bytes({0xF7})}), fam::DigiPROWaveform{}, std::nullopt},
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x80, 0xF7}), md, std::nullopt},  // a high bit inside
        {bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x53}), md, std::nullopt},        // no end byte
    };
    for (const auto& [frame, shape, validated] : cases) {
        SCOPED_TRACE(::testing::PrintToString(Bytes(frame.begin(), frame.begin() + std::min<std::size_t>(frame.size(), 9))));
        EXPECT_EQ(ElektronSysEx::family(frame), shape);
        EXPECT_EQ(ElektronSysEx::validatedFamily(frame), validated);
    }
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

#include "V7Aruviv/Models/TransferSendAnalyzer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "K7Core/DigiPROEncoder.h"
#include "K7Core/SDSFileTransferCodec.h"
#include "K7Core/SDSFileTransferError.h"
#include "K7Core/SysExFileCodec.h"
#include "K7Core/TurboFrame.h"
#include "ModelTestSupport.h"
#include "SDSTestDumps.h"

namespace k7 {
namespace {

using Kind = TransferItem::Kind;
using M = TransferSendMethod;
using W = TransferWireWorkload;

Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

Bytes joined(const std::vector<Bytes>& messages, const Bytes& separator = {}) {
    Bytes out;
    for (const auto& message : messages) {
        out.insert(out.end(), message.begin(), message.end());
        out.insert(out.end(), separator.begin(), separator.end());
    }
    return out;
}

int64_t totalSize(const std::vector<Bytes>& messages) {
    int64_t total = 0;
    for (const auto& message : messages) total += static_cast<int64_t>(message.size());
    return total;
}

Bytes waveform(int position, const char* name) {
    std::vector<int32_t> cycle(256);
    for (std::size_t i = 0; i < cycle.size(); ++i) cycle[i] = static_cast<int32_t>(i * 1000000) - 128000000;
    return DigiPROEncoder::encode(cycle, position, SPS1UWFileName::normalizing(name));
}

// A Monomachine message that no backup validator takes for a record, with `marker` at index 6.
Bytes monomachine(int marker) { return bytes({0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, marker, 0x01, 0x02, 0xF7}); }
Bytes machinedrum() { return bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x10, 0x01, 0xF7}); }
Bytes octatrack(int marker) { return bytes({0xF0, 0x00, 0x20, 0x3C, 0x05, 0x00, marker, 0x01, 0xF7}); }
Bytes generic() { return bytes({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}); }

struct AnalysisCase {
    const char* name;
    Kind kind;
    std::vector<Bytes> messages;
    M method;
    std::vector<DigiPROFrameMetadata> frames;
};

class TransferSendAnalyzerRaw : public ::testing::TestWithParam<AnalysisCase> {};

TEST_P(TransferSendAnalyzerRaw, ClassifiesMessages) {
    const auto& c = GetParam();
    const auto analysis = TransferSendAnalyzer::analyze(c.kind, joined(c.messages, bytes({0x0A})), false);
    EXPECT_EQ(analysis.sendMethod, c.method) << analysis.sendMethod.describe();
    // Separator bytes between messages never go on the wire.
    EXPECT_EQ(analysis.wireWorkload, W::rawSysEx(totalSize(c.messages)));
    EXPECT_EQ(analysis.digiPROFrames, c.frames);
    EXPECT_EQ(analysis.messageCount, static_cast<int64_t>(c.messages.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferSendAnalyzerRaw,
    ::testing::Values(
        AnalysisCase{"empty file", Kind::sysEx, {}, M::RawGenericSysEx{}, {}},
        AnalysisCase{"two waveforms", Kind::sysEx, {waveform(3, "SAW"), waveform(60, "sine")}, M::RawDigiPRO{},
                     {{3, "SAW "}, {60, "sine"}}},
        AnalysisCase{"waveforms and a machinedrum message", Kind::sysEx,
                     {waveform(3, "SAW"), waveform(4, "SQR"), machinedrum()}, M::RawGenericSysEx{}, {}},
        AnalysisCase{"firmware", Kind::sysEx, {monomachine(0x7E), monomachine(0x7E), monomachine(0x7F)},
                     M::RawFirmware{}, {}},
        AnalysisCase{"firmware of another product", Kind::sysEx, {octatrack(0x7E), octatrack(0x7F)},
                     M::RawFirmware{}, {}},
        AnalysisCase{"no final block", Kind::sysEx, {monomachine(0x7E), monomachine(0x7E), monomachine(0x7E)},
                     M::RawElektronData{}, {}},
        AnalysisCase{"mixed products", Kind::sysEx, {monomachine(0x7E), octatrack(0x7E), monomachine(0x7F)},
                     M::RawElektronData{}, {}},
        AnalysisCase{"single final block", Kind::sysEx, {monomachine(0x7F)}, M::RawElektronData{}, {}},
        AnalysisCase{"turbo frame among product data", Kind::sysEx, {machinedrum(), TurboFrame::query()},
                     M::RawGenericSysEx{}, {}},
        AnalysisCase{"other manufacturer", Kind::sysEx, {generic(), generic()}, M::RawGenericSysEx{}, {}}),
    test::CaseName());

TEST(TransferSendAnalyzer, KindsThatAreNotSysEx) {
    const Bytes sysEx = joined({machinedrum()});
    const struct {
        Kind kind;
        bool audio;
        M method;
        W workload;
    } cases[] = {
        {Kind::wav, true, M::AudioSDS{}, W::AudioSDS{}},
        {Kind::aiff, true, M::AudioSDS{}, W::AudioSDS{}},
        {Kind::wav, false, M::invalid("the audio conversion data is unavailable; re-import the file"),
         W::Unavailable{}},
        {Kind::aiff, false, M::invalid("the audio conversion data is unavailable; re-import the file"),
         W::Unavailable{}},
        {Kind::project, true, M::Unsupported{}, W::Unavailable{}},
        {Kind::unknown, false, M::Unsupported{}, W::Unavailable{}},
    };
    for (const auto& c : cases) {
        const auto analysis = TransferSendAnalyzer::analyze(c.kind, sysEx, c.audio);
        EXPECT_EQ(analysis, (TransferSendAnalysis{c.method, c.workload, {}, 0})) << rawValue(c.kind);
    }
}

TEST(TransferSendAnalyzer, WhitespaceOnlyFileIsEmptyGenericSysEx) {
    EXPECT_EQ(TransferSendAnalyzer::analyze(Kind::sysEx, bytes({0x20, 0x0A, 0x09, 0x0D}), false),
              (TransferSendAnalysis{M::RawGenericSysEx{}, W::rawSysEx(0), {}, 0}));
}

TEST(TransferSendAnalyzer, UnparsableFileCarriesTheParseErrorText) {
    const Bytes file = joined({machinedrum(), bytes({0x41})});
    std::string expected;
    try {
        SysExFileCodec::parse(file);
    } catch (const SysExParseError& error) {
        expected = error.what();
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(TransferSendAnalyzer::analyze(Kind::sysEx, file, false),
              (TransferSendAnalysis{M::invalid(expected), W::Unavailable{}, {}, 0}));
}

TEST(TransferSendAnalyzer, BrokenWaveformNamesItsPosition) {
    Bytes broken = waveform(5, "BAD");
    broken[100] ^= 0x01;  // still a data byte, but the checksum no longer matches
    const auto analysis =
        TransferSendAnalyzer::analyze(Kind::sysEx, joined({waveform(3, "OK"), machinedrum(), broken}), false);
    const auto reason = analysis.sendMethod.invalidReason();
    ASSERT_TRUE(reason) << analysis.sendMethod.describe();
    EXPECT_EQ(reason->rfind("DigiPRO message 3 failed validation: ", 0), 0u) << *reason;
    EXPECT_TRUE(reason->ends_with(" Replace or re-export the file")) << *reason;
    EXPECT_EQ(analysis.wireWorkload, W::Unavailable{});
    EXPECT_TRUE(analysis.digiPROFrames.empty());
    EXPECT_EQ(analysis.messageCount, 3);
}

TEST(TransferSendAnalyzer, StoredDumpsAreSentAsSDSBeforeAnyRawRule) {
    std::vector<Bytes> messages = test::storedDump(0, 100);
    const auto second = test::storedDump(1, 41);
    messages.insert(messages.end(), second.begin(), second.end());
    const auto transfers = SDSFileTransferCodec::transfers(messages);
    ASSERT_TRUE(transfers && transfers->size() == 2);

    const auto analysis = TransferSendAnalyzer::analyze(Kind::sysEx, joined(messages), false);
    EXPECT_EQ(analysis.sendMethod, M::sdsFile(2));
    EXPECT_EQ(analysis.wireWorkload, W::sdsFile({{100, totalSize(test::storedDump(0, 100))},
                                                 {41, totalSize(second)}}));
    EXPECT_EQ(analysis.messageCount, static_cast<int64_t>(messages.size()));
}

TEST(TransferSendAnalyzer, MalformedDumpCarriesTheCodecText) {
    std::vector<Bytes> messages = test::storedDump(0, 100);
    messages.erase(messages.begin() + 2);  // a packet goes missing
    std::string expected;
    try {
        SDSFileTransferCodec::transfers(messages);
    } catch (const SDSFileTransferError& error) {
        expected = error.what();
    }
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(TransferSendAnalyzer::analyze(Kind::sysEx, joined(messages), false),
              (TransferSendAnalysis{M::invalid(expected), W::Unavailable{}, {}, 0}));
}

TEST(TransferSendAnalyzer, ADumpListWithoutDumpsCannotBeSent) {
    EXPECT_EQ(TransferSendAnalyzer::storedDumpAnalysis({}, 3),
              (TransferSendAnalysis{M::invalid("the file holds no complete SDS dump"), W::Unavailable{}, {}, 3}));
}

TEST(TransferSendAnalyzer, BackupWithACorrectiveWarningIsInvalidAndKeepsItsCount) {
    const auto file = std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron" /
                      "md-kit-distorted.syx";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no shared test data at " << file;
    std::ifstream stream(file, std::ios::binary);
    const Bytes kit(std::istreambuf_iterator<char>(stream), {});
    const auto alone = TransferSendAnalyzer::analyze(Kind::sysEx, kit, false);
    EXPECT_EQ(alone.sendMethod, M::RawElektronData{}) << alone.sendMethod.describe();

    // The same valid kit twice is a duplicated record.
    const auto twice = TransferSendAnalyzer::analyze(Kind::sysEx, joined({kit, kit}), false);
    ASSERT_TRUE(twice.sendMethod.invalidReason()) << twice.sendMethod.describe();
    EXPECT_FALSE(twice.sendMethod.invalidReason()->empty());
    EXPECT_EQ(twice.wireWorkload, W::Unavailable{});
    EXPECT_EQ(twice.messageCount, 2);
}

}  // namespace
}  // namespace k7

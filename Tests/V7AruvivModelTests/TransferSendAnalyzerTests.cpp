#include "V7Aruviv/Models/TransferSendAnalyzer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSFileTransferError.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/Turbo/TurboFrame.h"
#include "SDSTestDumps.h"

namespace k7 {
namespace {

using Kind = TransferItem::Kind;
using M = TransferSendMethod;
using W = TransferWireWorkload;
using A = TransferSendAnalysis;

Bytes joined(const std::vector<Bytes>& messages, const Bytes& separator = {}) {
    Bytes out;
    for (const auto& message : messages) {
        out.insert(out.end(), message.begin(), message.end());
        out.insert(out.end(), separator.begin(), separator.end());
    }
    return out;
}

Bytes waveform(int position, const char* name) {
    std::vector<int32_t> cycle(256);
    for (std::size_t i = 0; i < cycle.size(); ++i) cycle[i] = static_cast<int32_t>(i * 1000000) - 128000000;
    return DigiPROEncoder::encode(cycle, position, SPS1UWFileName::normalizing(name));
}

// Elektron messages that no backup validator takes for a record; `marker` sits at index 6.
Bytes monomachine(uint8_t marker) { return {0xF0, 0x00, 0x20, 0x3C, 0x03, 0x00, marker, 0x01, 0x02, 0xF7}; }
Bytes octatrack(uint8_t marker) { return {0xF0, 0x00, 0x20, 0x3C, 0x05, 0x00, marker, 0x01, 0xF7}; }
const Bytes machinedrum{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x10, 0x01, 0xF7};
const Bytes generic{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};

A analyze(Kind kind, const Bytes& data, bool hasAudio = false) {
    return TransferSendAnalyzer::analyze(kind, data, hasAudio);
}
A unsendable(std::string reason, int64_t messageCount = 0) {
    return {M::invalid(std::move(reason)), W::Unavailable{}, {}, messageCount};
}

TEST(TransferSendAnalyzer, ClassifiesRawMessages) {
    const struct {
        const char* name;
        std::vector<Bytes> messages;
        M method;
        std::vector<DigiPROFrameMetadata> frames;
    } cases[] = {
        {"empty file", {}, M::RawGenericSysEx{}, {}},
        {"two waveforms", {waveform(3, "SAW"), waveform(60, "sine")}, M::RawDigiPRO{}, {{3, "SAW "}, {60, "sine"}}},
        {"waveforms and a machinedrum message", {waveform(3, "SAW"), machinedrum}, M::RawGenericSysEx{}, {}},
        {"firmware", {monomachine(0x7E), monomachine(0x7E), monomachine(0x7F)}, M::RawFirmware{}, {}},
        {"no final block", {monomachine(0x7E), monomachine(0x7E)}, M::RawElektronData{}, {}},
        {"mixed products", {monomachine(0x7E), octatrack(0x7E), monomachine(0x7F)}, M::RawElektronData{}, {}},
        {"single final block", {monomachine(0x7F)}, M::RawElektronData{}, {}},
        {"turbo frame among product data", {machinedrum, TurboFrame::query()}, M::RawGenericSysEx{}, {}},
        {"other manufacturer", {generic, generic}, M::RawGenericSysEx{}, {}},
    };
    for (const auto& c : cases) {
        int64_t wireBytes = 0;
        for (const auto& message : c.messages) wireBytes += static_cast<int64_t>(message.size());
        // Separator bytes between messages never go on the wire.
        EXPECT_EQ(analyze(Kind::sysEx, joined(c.messages, {0x0A})),
                  (A{c.method, W::rawSysEx(wireBytes), c.frames, static_cast<int64_t>(c.messages.size())}))
            << c.name;
    }
    EXPECT_EQ(analyze(Kind::sysEx, {0x20, 0x0A, 0x09, 0x0D}), (A{M::RawGenericSysEx{}, W::rawSysEx(0), {}, 0}));
}

TEST(TransferSendAnalyzer, KindsThatAreNotSysEx) {
    const A unsupported{M::Unsupported{}, W::Unavailable{}, {}, 0};
    EXPECT_EQ(analyze(Kind::wav, machinedrum, true), (A{M::AudioSDS{}, W::AudioSDS{}, {}, 0}));
    EXPECT_EQ(analyze(Kind::aiff, machinedrum), unsendable("the audio conversion data is unavailable; re-import the file"));
    EXPECT_EQ(analyze(Kind::project, machinedrum, true), unsupported);
    EXPECT_EQ(analyze(Kind::unknown, machinedrum), unsupported);
}

template <typename Error, typename Call>
std::string thrownText(Call call) {
    try {
        call();
    } catch (const Error& error) {
        return error.what();
    }
    return "nothing thrown";
}

TEST(TransferSendAnalyzer, UnsendableFilesCarryTheReason) {
    const Bytes stray = joined({machinedrum, {0x41}});
    EXPECT_EQ(analyze(Kind::sysEx, stray), unsendable(thrownText<SysExParseError>([&] { SysExFileCodec::parse(stray); })));

    std::vector<Bytes> cutDump = test::storedDump(0, 100);
    cutDump.erase(cutDump.begin() + 2);  // a packet goes missing
    EXPECT_EQ(analyze(Kind::sysEx, joined(cutDump)),
              unsendable(thrownText<SDSFileTransferError>([&] { SDSFileTransferCodec::transfers(cutDump); })));

    // A dump list without dumps leaves nothing to send or plan.
    EXPECT_EQ(TransferSendAnalyzer::storedDumpAnalysis({}, 3), unsendable("the file holds no complete SDS dump", 3));

    Bytes broken = waveform(5, "BAD");
    broken[100] ^= 0x01;  // still a data byte, but the checksum no longer matches
    const auto analysis = analyze(Kind::sysEx, joined({waveform(3, "OK"), machinedrum, broken}));
    const auto reason = analysis.sendMethod.invalidReason().value_or("");
    EXPECT_TRUE(reason.starts_with("DigiPRO message 3 failed validation: ")) << reason;
    EXPECT_TRUE(reason.ends_with(" Replace or re-export the file")) << reason;
    EXPECT_EQ(analysis, unsendable(reason, 3));
}

TEST(TransferSendAnalyzer, StoredDumpsAreSentAsSDSBeforeAnyRawRule) {
    const auto first = test::storedDump(0, 100);
    const auto second = test::storedDump(1, 41);
    std::vector<Bytes> messages = first;
    messages.insert(messages.end(), second.begin(), second.end());
    EXPECT_EQ(analyze(Kind::sysEx, joined(messages)),
              (A{M::sdsFile(2),
                 W::sdsFile({{100, static_cast<int64_t>(joined(first).size())},
                             {41, static_cast<int64_t>(joined(second).size())}}),
                 {},
                 static_cast<int64_t>(messages.size())}));
}

TEST(TransferSendAnalyzer, BackupWithACorrectiveWarningIsInvalidAndKeepsItsCount) {
    const auto file = std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron" /
                      "md-kit-distorted.syx";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "no shared test data at " << file;
    std::ifstream stream(file, std::ios::binary);
    const Bytes kit(std::istreambuf_iterator<char>(stream), {});
    EXPECT_EQ(analyze(Kind::sysEx, kit).sendMethod, M::RawElektronData{});

    // The same valid kit twice is a duplicated record.
    const auto twice = analyze(Kind::sysEx, joined({kit, kit}));
    const auto reason = twice.sendMethod.invalidReason().value_or("");
    EXPECT_FALSE(reason.empty()) << twice.sendMethod.describe();
    EXPECT_EQ(twice, unsendable(reason, 2));
}

}  // namespace
}  // namespace k7

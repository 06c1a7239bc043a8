#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "V7Aruviv/Stores/AppModelError.h"

namespace k7::testing {
namespace {


constexpr std::size_t frames = 1000;

AppModelRig::Options withPreferences(bool extended, bool naming, bool handshake) {
    auto options = withPeer(nullptr);
    options.preferences.useExtendedSDS = extended;
    options.preferences.sendSPS1UWName = naming;
    options.preferences.useHandshake = handshake;
    options.preferences.deviceNumber = 3;
    return options;
}

// Converts `source`, selected alone, at `position`.
void convert(AppModelRig& rig, const TransferItem& source, int64_t position) {
    rig->setItems({source});
    rig->setSelection({source.id});
    rig->setSamplePosition(position);
    rig->convertSelectedToSDS();
}

TEST(SDSConversion, TheFileReadsBackAsTheSameHeaderAndSamples) {
    const struct {
        const char* name;
        bool extended;
        bool naming;
        std::size_t preambleMessages;  // the header and the name messages
        TransferItem::Device device;
        std::string detail;
    } cases[] = {
        {"classic header", false, false, 1, TransferItem::Device::unknown,
         "SDS SysEx for sample position 20; Send uses the current Handshake setting."},
        {"extended header with both names", true, true, 3, TransferItem::Device::machinedrum,
         "Extended SDS SysEx for sample position 20; Send uses the current Handshake setting."},
    };
    const auto samples = sawtooth(frames, 90);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPreferences(c.extended, c.naming, false));
        const auto source = audioItem("Kick.wav", samples, AudioLoop{100, 199});
        convert(rig, source, 20);
        EXPECT_TRUE(rig->isConverting());
        EXPECT_EQ(rig->statusText(), "Creating SDS\u2026");

        rig.settle();
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        EXPECT_EQ(rig->statusText(), "Created SDS SysEx");
        EXPECT_EQ(rig->overallProgress(), 1.0);
        ASSERT_EQ(rig->items().size(), 2u);
        const auto& made = rig->items().back();
        EXPECT_EQ(rig->selection(), std::set<QUuid>{made.id});
        EXPECT_EQ(made.displayName, "Kick-SDS.syx");
        EXPECT_EQ(made.sourceURL, std::nullopt);
        EXPECT_EQ(made.kind, TransferItem::Kind::sysEx);
        EXPECT_EQ(made.device, c.device);
        EXPECT_EQ(made.detail, c.detail);
        EXPECT_EQ(made.byteCount, static_cast<int64_t>(made.data.size()));

        const auto messages = SysExFileCodec::parse(made.data).messages;
        const auto transfers = SDSFileTransferCodec::transfers(messages);
        ASSERT_TRUE(transfers);
        ASSERT_EQ(transfers->size(), 1u);
        const auto& dump = transfers->front();
        EXPECT_EQ(dump.preambleMessages.size(), c.preambleMessages);
        EXPECT_TRUE(dump.completionMessages.empty());
        // Device 3, position 20, 16 bits, 44100 Hz, the loop forward.
        const SDSDumpHeaderMessage header =
            c.extended ? SDSDumpHeaderMessage(SDSExtendedDumpHeader(3, 20, 16, 44100, frames, 100, 199, 0, 1))
                       : SDSDumpHeaderMessage(SDSDumpHeader::withSamplePeriod(3, 20, 16, 22675, frames, 100, 199, 0));
        EXPECT_EQ(dump.header, header);

        // The words themselves: only the first, truncated toward zero (the encoding has its own tests).
        const auto first = SDSDataPacket::decode(dump.packetMessages.at(0));
        std::vector<int32_t> words(SDSSamplePacking::wordsPerPacket(16));
        SDSSamplePacking::unpack(first.payload, 16, words);
        for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i], samples[i] / 65536) << "sample " << i;
    }
}

TEST(SDSConversion, TheFileIsOpenLoopWhateverTheHandshakeSetting) {
    std::vector<Bytes> files;
    for (const bool handshake : {false, true}) {
        AppModelRig rig(withPreferences(false, false, handshake));
        convert(rig, audioItem("Kick.wav", sawtooth(300)), 0);
        rig.settle();
        ASSERT_EQ(rig->items().size(), 2u) << rig->alertMessage().value_or("");
        files.push_back(rig->items().back().data);
    }
    EXPECT_EQ(files[0], files[1]);
}

// The file is made with the options a send would use: the device number at most 127, the delay
// within 0...120 ticks whatever the preferences hold.
TEST(SDSConversion, TheDeviceNumberAndDelayAreBoundedAsForASend) {
    const auto source = audioItem("Kick.wav", sawtooth(300));
    const auto made = [&](uint8_t deviceNumber, int64_t delayTicks) {
        auto options = withPreferences(false, false, false);
        options.preferences.deviceNumber = deviceNumber;
        options.preferences.delayTicks = delayTicks;
        AppModelRig rig(options);
        convert(rig, source, 0);
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        return rig->items().size() == 2 ? rig->items().back().data : Bytes{};
    };
    const Bytes reference = made(127, 0);
    ASSERT_GT(reference.size(), 3u);
    EXPECT_EQ(reference[2], 127);  // F0 7E <device> 01: the header's device
    const struct {
        uint8_t deviceNumber;
        int64_t delayTicks;
    } cases[] = {{128, 0}, {255, 0}, {127, -5}, {200, 121}, {127, std::numeric_limits<int64_t>::max()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.deviceNumber) + " " + std::to_string(c.delayTicks));
        EXPECT_EQ(made(c.deviceNumber, c.delayTicks), reference);
    }
}

TEST(SDSConversion, AFailureAddsNothing) {
    AppModelRig rig(withPreferences(false, true, false));
    const auto source = audioItem("Kick.wav", sawtooth(300));
    convert(rig, source, 200);
    rig.settle();
    EXPECT_EQ(rig->statusText(), "SDS creation failed");
    EXPECT_EQ(rig->alertMessage(), AppModelError(AppModelError::SPS1UWPositionOutOfRange{200}).message());
    EXPECT_EQ(rig->items().size(), 1u);
    EXPECT_EQ(rig->selection(), std::set<QUuid>{source.id});
    EXPECT_EQ(rig->overallProgress(), 0);
    EXPECT_FALSE(rig->isConverting());
}

TEST(SDSConversion, RefusesAnythingButOneAudioItem) {
    const auto a = audioItem("A.wav", sawtooth(64));
    const auto b = audioItem("B.wav", sawtooth(64));
    const auto sysEx = receivedItem("C.syx", "\xF0\xF7");
    const struct {
        const char* name;
        std::set<QUuid> selection;
        bool receiving;
        std::optional<std::string> alert;
    } cases[] = {
        {"nothing selected", {}, false, "Select one WAV or AIFF item to convert to SDS."},
        {"two audio items", {a.id, b.id}, false, "Select one WAV or AIFF item to convert to SDS."},
        {"a SysEx item", {sysEx.id}, false, "Select one WAV or AIFF item to convert to SDS."},
        {"while receiving", {a.id}, true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        rig->setItems({a, b, sysEx});
        rig->setSelection(c.selection);
        rig->setIsReceiving(c.receiving);
        rig->convertSelectedToSDS();
        EXPECT_FALSE(rig->isConverting());
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig->statusText(), "Ready");
    }
}

}  // namespace
}  // namespace k7::testing

#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "K7Core/DigiPRO/DigiPROEncodingError.h"

namespace k7::testing {
namespace {

using LoopMode = TransferItem::LoopMode;
using StereoMode = TransferItem::StereoMode;

std::string detailFor(int64_t position, std::size_t samples) {
    return "DigiPRO waveform for Monomachine position " + std::to_string(position) + ", rendered from " +
           std::to_string(samples) +
           " samples with the recovered K7 FFT, spectral remap, coefficient table, and truncation rules.";
}

TEST(DigiPROConversion, EachItemBecomesAWaveformAtTheNextPosition) {
    const struct {
        const char* name;
        int64_t position;
        std::vector<TransferItem> sources;
        std::vector<std::string> names;
        std::vector<std::string> waveformNames;
        std::string status;
    } cases[] = {
        {"one item", 5, {audioItem("Kick.wav", sawtooth(256))}, {"Kick-DigiPRO.syx"}, {"Kick"},
         "Created DigiPRO file for position 5 \u2014 press Send to transfer"},
        {"three items",
         10,
         {audioItem("Pad.wav", sawtooth(128)), audioItem("Bass.v2.aif", sawtooth(512)),
          [] {
              auto lead = audioItem("Renamed.aif", sawtooth(64));
              lead.sourceURL = "/samples/Lead.aif";  // named after its file, not its display name
              return lead;
          }()},
         {"Pad-DigiPRO.syx", "Bass.v2-DigiPRO.syx", "Lead-DigiPRO.syx"},
         {"Pad ", "Bass", "Rena"},
         "Created 3 DigiPRO files for positions 10\u201312 \u2014 press Send to transfer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        const auto other = receivedItem("Other.syx", "\xF0\x7D\xF7");
        auto items = c.sources;
        items.insert(items.begin(), other);
        rig->setItems(items);
        rig->setSelection(ids(c.sources));
        rig->setSamplePosition(c.position);

        rig->convertSelectedToDigiPRO();
        EXPECT_TRUE(rig->isConverting());
        EXPECT_TRUE(rig->configurationLocked());
        EXPECT_EQ(rig->statusText(), "Creating DigiPRO\u2026");
        EXPECT_EQ(rig->overallProgress(), 0);

        rig.settle();
        EXPECT_FALSE(rig->isConverting());
        EXPECT_EQ(rig->statusText(), c.status);
        EXPECT_EQ(rig->overallProgress(), 1.0);
        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        const std::vector<TransferItem> made(rig->items().begin() + static_cast<std::ptrdiff_t>(items.size()),
                                             rig->items().end());
        ASSERT_EQ(made.size(), c.sources.size());
        EXPECT_EQ(rig->selection(), ids(made));
        for (std::size_t i = 0; i < made.size(); ++i) {
            SCOPED_TRACE(c.names[i]);
            const auto& item = made[i];
            const auto position = c.position + static_cast<int64_t>(i);
            EXPECT_EQ(item.displayName, c.names[i]);
            EXPECT_EQ(item.sourceURL, std::nullopt) << "converted items stay unsaved";
            EXPECT_EQ(item.kind, TransferItem::Kind::sysEx);
            EXPECT_EQ(item.device, TransferItem::Device::monomachine);
            EXPECT_EQ(item.state, TransferItem::State());
            EXPECT_EQ(item.byteCount, static_cast<int64_t>(DigiPROWaveform::messageByteCount));
            EXPECT_EQ(item.detail, detailFor(position, c.sources[i].audioSample->frameCount()));
            EXPECT_TRUE(item.sendMethod.is<TransferSendMethod::RawDigiPRO>());
            EXPECT_EQ(item.messageCount, 1);
            const auto waveform = DigiPROWaveform::decode(item.data);
            EXPECT_EQ(waveform.position, position);
            EXPECT_EQ(waveform.name.text(), c.waveformNames[i]);
        }
    }
}

TEST(DigiPROConversion, RendersTheCycleTheLoopAndChannelChoicesSelect) {
    constexpr std::size_t frames = 1000;
    const auto left = sawtooth(frames, 100);
    auto right = sawtooth(frames, 50);
    const auto cut = [&](const std::vector<int32_t>& samples, std::size_t first, std::size_t last) {
        return std::vector<int32_t>(samples.begin() + static_cast<std::ptrdiff_t>(first),
                                    samples.begin() + static_cast<std::ptrdiff_t>(last) + 1);
    };
    const struct {
        const char* name;
        std::optional<AudioLoop> loop;
        LoopMode loopMode;
        StereoMode stereoMode;
        std::vector<int32_t> expected;
    } cases[] = {
        {"the file's loop", AudioLoop{100, 199}, LoopMode::file, StereoMode::left, cut(left, 100, 199)},
        {"the loop forced on", AudioLoop{300, 349}, LoopMode::forceOn, StereoMode::left, cut(left, 300, 349)},
        {"the loop forced off", AudioLoop{100, 199}, LoopMode::forceOff, StereoMode::left, left},
        {"no loop", std::nullopt, LoopMode::file, StereoMode::left, left},
        {"no loop, forced on", std::nullopt, LoopMode::forceOn, StereoMode::left, left},
        {"a loop of one frame at the end", AudioLoop{999, 999}, LoopMode::file, StereoMode::left, cut(left, 999, 999)},
        {"a loop running past the samples", AudioLoop{900, 1500}, LoopMode::file, StereoMode::left,
         cut(left, 900, 999)},
        {"a loop starting past the samples", AudioLoop{1000, 1200}, LoopMode::file, StereoMode::left, left},
        {"a loop ending before it starts", AudioLoop{200, 100}, LoopMode::file, StereoMode::left, left},
        {"the right channel", AudioLoop{100, 199}, LoopMode::file, StereoMode::right, cut(right, 100, 199)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        auto source = audioItem("Wave.wav", left, c.loop, right);
        source.loopMode = c.loopMode;
        source.stereoMode = c.stereoMode;
        rig->setItems({source});
        rig->setSelection({source.id});
        rig->convertSelectedToDigiPRO();
        rig.settle();
        ASSERT_EQ(rig->items().size(), 2u) << rig->alertMessage().value_or("");
        const auto& made = rig->items().back();
        EXPECT_EQ(made.detail, detailFor(0, c.expected.size()));
        EXPECT_EQ(made.data, DigiPROEncoder::encode(c.expected, 0, SPS1UWFileName::normalizing("Wave.wav")));
    }
}

TEST(DigiPROConversion, TheFirstFailureDropsTheWholeBatch) {
    using Error = DigiPROEncodingError;
    const struct {
        const char* name;
        std::vector<int32_t> failing;
        std::string alert;
    } cases[] = {
        {"more than 16384 samples", sawtooth(16385), Error(Error::TooManySamples{16385, 16384}).message()},
        {"no samples", {}, Error(Error::EmptySample{}).message()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        const std::vector<TransferItem> items{audioItem("A.wav", sawtooth(16384)), audioItem("B.wav", c.failing),
                                              audioItem("C.wav", sawtooth(64))};
        showSelected(*rig.model, items);
        rig->convertSelectedToDigiPRO();
        rig.settle();
        EXPECT_EQ(rig->statusText(), "DigiPRO creation failed");
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig->items().size(), items.size());
        EXPECT_EQ(rig->selection(), ids(items));
        EXPECT_EQ(rig->overallProgress(), 0);
        EXPECT_FALSE(rig->isConverting());
    }
}

TEST(DigiPROConversion, RefusesWhatItCannotConvert) {
    const std::string selectAudio = "Select one or more WAV or AIFF items to convert to DigiPRO.";
    auto silent = audioItem("Silent.wav", {});
    silent.audioSample.reset();
    const struct {
        const char* name;
        std::vector<TransferItem> items;
        int64_t position;
        bool exporting;
        std::optional<std::string> alert;
    } cases[] = {
        {"nothing selected", {}, 0, false, selectAudio},
        {"audio with SysEx", {audioItem("A.wav", sawtooth(64)), receivedItem("B.syx", "\xF0\xF7")}, 0, false,
         selectAudio},
        {"positions past 63", {audioItem("A.wav", sawtooth(64)), audioItem("B.wav", sawtooth(64))}, 63, false,
         "DigiPRO positions are limited to 0\u202663; this ordered batch would use positions 63\u202664. Lower "
         "Sample Position or select fewer audio files."},
        {"audio without decoded samples", {silent}, 0, false,
         "The selected audio conversion data is unavailable. Re-import the affected file."},
        {"while a save runs", {audioItem("A.wav", sawtooth(64))}, 0, true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(withPeer(nullptr));
        showSelected(*rig.model, c.items);
        rig->setSamplePosition(c.position);
        rig->setIsExporting(c.exporting);
        rig->convertSelectedToDigiPRO();
        EXPECT_FALSE(rig->isConverting());
        rig.settle();
        EXPECT_EQ(rig->alertMessage(), c.alert);
        EXPECT_EQ(rig->statusText(), "Ready");
        EXPECT_EQ(rig->items().size(), c.items.size());
    }
}

TEST(DigiPROConversion, AReleasedModelIgnoresTheResult) {
    AppModelRig rig(withPeer(nullptr));
    const auto source = audioItem("A.wav", sawtooth(64));
    rig->setItems({source});
    rig->setSelection({source.id});
    rig->convertSelectedToDigiPRO();
    rig.stop();
    EXPECT_NO_THROW(rig.settle());
}

}  // namespace
}  // namespace k7::testing

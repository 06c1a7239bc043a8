#include <gtest/gtest.h>

#include <climits>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "SDSTestDumps.h"
#include "SendTestItems.h"
#include "Support/SimulatedSDSReceiver.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {
namespace {

using Receiver = testing::SimulatedSDSReceiver;

TransferItem audioItem(AudioSample audio, std::string name = "Kick.wav") {
    TransferItem item;
    item.id = test::uuid(1);
    item.displayName = std::move(name);
    item.kind = TransferItem::Kind::wav;
    item.audioSample = std::move(audio);
    return item;
}

AudioSample monoAudio(std::vector<int32_t> samples, int bitDepth = 16) {
    AudioSample audio;
    audio.sampleRate = 44100;
    audio.sourceBitDepth = bitDepth;
    audio.channels.push_back(std::move(samples));
    return audio;
}

SendOptions openLoopOptions() {
    SendOptions options;
    options.delayNanoseconds = 16'666'666;
    return options;
}

// What a sampler unpacks from the prepared transfer's messages.
std::vector<int32_t> wordsReceived(const PreparedSDSTransfer& prepared) {
    Receiver receiver(Receiver::Options{prepared.sender.header().deviceID(), false, {}, {}});
    for (const Bytes& message : test::sentMessages(prepared.sender)) receiver.hear(message);
    EXPECT_TRUE(receiver.faults().empty()) << receiver.faults().front();
    return receiver.samples();
}

TEST(SDSEnvelope, WordsAreTheSourceAtTheHeadersBitDepthTruncatedTowardZero) {
    const struct {
        int sourceBits, bits;
    } cases[] = {{4, 8}, {8, 8}, {16, 16}, {24, 24}, {32, 28}};
    for (const auto& c : cases) {
        SCOPED_TRACE("source bits " + std::to_string(c.sourceBits));
        const int32_t step = static_cast<int32_t>(int64_t{1} << (32 - c.bits));
        // Full-scale ends, a tiny negative value (rounds to 0, not -1), one and a half steps down
        // (rounds to -1, not -2) and a positive value with a remainder.
        const std::vector<int32_t> source{INT32_MIN, -1, -step - step / 2, 3 * step + 5, INT32_MAX, 0};
        const std::vector<int32_t> expected{SDSSamplePacking::minimumWord(c.bits), 0, -1, 3,
                                            SDSSamplePacking::maximumWord(c.bits), 0};
        const auto prepared = AppModel::prepareSDSTransfer(audioItem(monoAudio(source, c.sourceBits)), 3,
                                                           openLoopOptions());
        EXPECT_EQ(prepared.sender.header().significantBits(), c.bits);
        EXPECT_EQ(wordsReceived(prepared), expected);
    }
}

TEST(SDSEnvelope, StereoBecomesTheChosenChannel) {
    const auto stereo = test::sixteenBitAudio({{100, -7, 32767}, {-300, 4, 32767}});
    const struct {
        TransferItem::StereoMode mode;
        std::vector<int32_t> words;
    } cases[] = {{TransferItem::StereoMode::mix, {-100, -1, 32767}},
                 {TransferItem::StereoMode::left, {100, -7, 32767}},
                 {TransferItem::StereoMode::right, {-300, 4, 32767}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.mode)));
        auto item = audioItem(stereo);
        item.stereoMode = c.mode;
        EXPECT_EQ(wordsReceived(AppModel::prepareSDSTransfer(item, 0, openLoopOptions())), c.words);
    }
}

TEST(SDSEnvelope, LoopPointsFollowTheItemsLoopMode) {
    const std::size_t frames = 300;
    const struct {
        std::string name;
        std::optional<AudioLoop> sourceLoop;
        TransferItem::LoopMode mode;
        uint8_t type;
        uint32_t start, end;
    } cases[] = {
        {"file loop", AudioLoop{100, 199}, TransferItem::LoopMode::file, 0x00, 100, 199},
        {"file loop forced off", AudioLoop{100, 199}, TransferItem::LoopMode::forceOff, 0x7F, 0, 0},
        {"no loop", std::nullopt, TransferItem::LoopMode::file, 0x7F, 0, 0},
        {"forced on without loop", std::nullopt, TransferItem::LoopMode::forceOn, 0x00, 0, 299},
        {"loop past the end", AudioLoop{100, 300}, TransferItem::LoopMode::file, 0x7F, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto audio = monoAudio(std::vector<int32_t>(frames, 0));
        audio.loop = c.sourceLoop;
        auto item = audioItem(audio);
        item.loopMode = c.mode;
        const auto envelope = AppModel::makeAudioSDSEnvelope(item, 2, openLoopOptions());
        const SDSDumpHeader* header = envelope.header.classic();
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->loopType(), c.type);
        EXPECT_EQ(header->loopStart(), c.start);
        EXPECT_EQ(header->loopEnd(), c.end);
    }
}

TEST(SDSEnvelope, ExtendedHeadersCarryTheSampleNameClassicOnesNever) {
    for (const bool extended : {false, true}) {
        SCOPED_TRACE(extended ? "extended" : "classic");
        SendOptions options = openLoopOptions();
        options.useExtendedSDS = extended;
        options.deviceNumber = 9;
        const auto envelope =
            AppModel::makeAudioSDSEnvelope(audioItem(monoAudio({1, 2, 3}), "Drums/Kick \u00e9.wav"), 300, options);
        EXPECT_EQ(envelope.header.deviceID(), 9);
        EXPECT_EQ(envelope.header.sampleNumber(), 300);
        EXPECT_EQ(envelope.header.announcedSampleWords(), 3);
        EXPECT_EQ(envelope.sampleWordCount, 3);
        EXPECT_TRUE(envelope.supplementalPreambleMessages.empty());
        if (extended) {
            ASSERT_NE(envelope.header.extended(), nullptr);
            EXPECT_EQ(envelope.header.extended()->sampleRateInteger(), 44100u);
            EXPECT_EQ(envelope.header.extended()->channelCount(), 1);
            ASSERT_TRUE(envelope.sampleName);
            EXPECT_EQ(envelope.sampleName->asciiName(), "Kick _");
            EXPECT_EQ(envelope.sampleName->deviceID(), 9);
            EXPECT_EQ(envelope.sampleName->sampleNumber(), 300);
        } else {
            ASSERT_NE(envelope.header.classic(), nullptr);
            EXPECT_EQ(envelope.header.classic()->samplePeriodNanoseconds(), 22675u);
            EXPECT_FALSE(envelope.sampleName);
        }
    }
}

// The SPS-1UW message always names device 0, whatever the SDS device number: kept as the
// instruments have always been sent it.
TEST(SDSEnvelope, SPS1UWNameReachesSlot127WithDeviceZero) {
    for (const bool extended : {false, true}) {
        for (const uint16_t position : {uint16_t{0}, uint16_t{127}, uint16_t{128}, uint16_t{16383}}) {
            SCOPED_TRACE((extended ? "extended, slot " : "classic, slot ") + std::to_string(position));
            SendOptions options = openLoopOptions();
            options.useExtendedSDS = extended;
            options.sendSPS1UWName = true;
            options.deviceNumber = 5;
            const auto item = audioItem(monoAudio({0, 0}), "Snare hit.aif");
            if (position > 127) {
                EXPECT_EQ(test::modelError([&] { AppModel::makeAudioSDSEnvelope(item, position, options); }),
                          AppModelError(AppModelError::SPS1UWPositionOutOfRange{position}));
                continue;
            }
            const auto envelope = AppModel::makeAudioSDSEnvelope(item, position, options);
            ASSERT_EQ(envelope.supplementalPreambleMessages.size(), 1u);
            const auto name = SPS1UWFileNameMessage::decode(envelope.supplementalPreambleMessages[0]);
            ASSERT_TRUE(name);
            EXPECT_EQ(name->deviceID, 0);
            EXPECT_EQ(name->sampleNumber, position);
            EXPECT_EQ(name->fileName.text(), "Snar");
            EXPECT_EQ(envelope.header.deviceID(), 5);
        }
    }
}

TEST(SDSEnvelope, FailuresUseTheModelsTexts) {
    // One frame more than the classic header's 21-bit length field holds.
    const std::size_t tooLong = 2'097'152;
    const struct {
        std::string name;
        std::optional<AudioSample> audio;
        bool extended;
        std::optional<AppModelError> error;
    } cases[] = {
        {"no decoded audio", std::nullopt, false, AppModelError(AppModelError::AudioConversionPending{})},
        {"classic, too long", monoAudio(std::vector<int32_t>(tooLong, 0)), false,
         AppModelError(AppModelError::AudioTooLarge{})},
        {"classic, longest", monoAudio(std::vector<int32_t>(tooLong - 1, 0)), false, std::nullopt},
        {"extended, beyond the classic length", monoAudio(std::vector<int32_t>(tooLong, 0)), true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto item = audioItem(monoAudio({}));
        item.audioSample = c.audio;
        SendOptions options = openLoopOptions();
        options.useExtendedSDS = c.extended;
        EXPECT_EQ(test::modelError([&] { AppModel::makeAudioSDSEnvelope(item, 0, options); }), c.error);
        if (c.error) {
            EXPECT_EQ(test::modelError([&] { AppModel::prepareSDSTransfer(item, 0, options); }), c.error);
        }
    }
}

TEST(SDSEnvelope, HeaderErrorsPassThrough) {
    auto audio = monoAudio({1});
    audio.sampleRate = 0;
    EXPECT_THROW(AppModel::makeAudioSDSEnvelope(audioItem(audio), 0, openLoopOptions()), SDSError);
}

TEST(SDSEnvelope, SampleNamesArePrintableASCII) {
    const struct {
        std::string displayName, name;
    } cases[] = {
        {"Kick \u00e9.wav", "Kick _"},
        {"Kick.WAV", "Kick"},
        {"pads/Warm.pad.aiff", "Warm.pad"},
        {"/Users/someone/Samples/Bass", "Bass"},
        {".hidden", ".hidden"},
        {"tab\there\x7f.wav", "tab_here_"},
        {"\xF0\x9F\xA5\x81 drum.wav", "_ drum"},  // one scalar, one underscore
        {std::string(200, 'a') + ".wav", std::string(127, 'a')},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.displayName);
        EXPECT_EQ(AppModel::sdsASCIIName(c.displayName), c.name);
    }
}

TEST(SDSEnvelope, ConfigurationFollowsTheHandshakeOrTheOverride) {
    using namespace std::chrono_literals;
    const struct {
        bool useHandshake;
        std::optional<SDSTransferMode> override;
        SDSTransferMode mode;
    } cases[] = {{true, std::nullopt, SDSTransferMode::handshake},
                 {false, std::nullopt, SDSTransferMode::openLoop},
                 {true, SDSTransferMode::openLoop, SDSTransferMode::openLoop},
                 {false, SDSTransferMode::handshake, SDSTransferMode::handshake}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.useHandshake) + " " + caseName(c.mode));
        SendOptions options = openLoopOptions();
        options.useHandshake = c.useHandshake;
        const auto configuration =
            AppModel::prepareSDSTransfer(audioItem(monoAudio({0})), 0, options, c.override).sender.configuration();
        const bool handshake = c.mode == SDSTransferMode::handshake;
        EXPECT_EQ(configuration.mode, c.mode);
        EXPECT_EQ(configuration.acknowledgementTimeout, handshake ? std::optional(500ms) : std::nullopt);
        EXPECT_EQ(configuration.headerAcknowledgementTimeout,
                  handshake ? std::optional<std::chrono::nanoseconds>(2s) : std::nullopt);
        EXPECT_EQ(configuration.waitTimeout, handshake ? std::optional<std::chrono::nanoseconds>(5s) : std::nullopt);
        EXPECT_EQ(configuration.openLoopInterMessageDelay, 16'666'666ns);
        EXPECT_EQ(configuration.deviceMatchPolicy, SDSDeviceMatchPolicy::exactOrBroadcastOrDeviceZero);
    }
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "SDSTestDumps.h"
#include "SendTestItems.h"
#include "Support/SDSWireFixture.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {
namespace {

namespace wire = testing::sds_wire;

TransferItem monoItem(const std::vector<int16_t>& samples, std::optional<AudioLoop> loop = std::nullopt) {
    TransferItem item;
    item.displayName = "Bell.wav";
    item.kind = TransferItem::Kind::wav;
    item.audioSample = test::sixteenBitAudio({samples});
    item.audioSample->loop = loop;
    return item;
}

std::vector<int16_t> ramp(std::size_t count) {
    std::vector<int16_t> samples;
    for (std::size_t i = 0; i < count; ++i) samples.push_back(static_cast<int16_t>(i * 2654435761u >> 16));
    return samples;
}

// The words of a dump's packets, read with the hand-written unpacking.
std::vector<int32_t> packetWords(const SDSFileTransfer& dump) {
    const int bits = dump.header.significantBits();
    std::vector<int32_t> words;
    for (std::size_t i = 0; i < dump.packetMessages.size(); ++i) {
        const auto more = wire::words(dump.packetMessages[i], bits, static_cast<std::size_t>(dump.packetSampleWordCounts[i]));
        words.insert(words.end(), more.begin(), more.end());
    }
    return words;
}

TEST(SDSFileEncoding, HandshakeTransfersAreRefused) {
    SendOptions options;
    options.useHandshake = true;
    const auto prepared = AppModel::prepareSDSTransfer(monoItem({1, 2}), 0, options);
    EXPECT_EQ(test::modelError([&] { AppModel::encodeSDSFile(prepared); }),
              AppModelError(AppModelError::SDSFileEncodingFailed{}));
}

TEST(SDSFileEncoding, ReadsBackToTheSameHeaderAndWords) {
    const struct {
        std::string name;
        std::size_t frames;
        bool extended, sps1UW;
        std::optional<AudioLoop> loop;
    } cases[] = {
        {"empty", 0, false, false, std::nullopt},
        {"one word", 1, false, false, std::nullopt},
        {"one full packet", 40, false, false, std::nullopt},
        {"129 packets, numbers wrap", 40 * 129 + 3, false, false, AudioLoop{7, 4000}},
        {"extended with names", 1000, true, true, AudioLoop{0, 999}},
        {"classic with SPS-1UW name", 81, false, true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SendOptions options;
        options.useHandshake = true;  // the file is open loop whatever the send would be
        options.useExtendedSDS = c.extended;
        options.sendSPS1UWName = c.sps1UW;
        const auto item = monoItem(ramp(c.frames), c.loop);
        const auto prepared = AppModel::prepareSDSTransfer(item, 42, options, SDSTransferMode::openLoop);
        const Bytes file = AppModel::encodeSDSFile(prepared);

        const auto parsed = SysExFileCodec::parse(file);
        EXPECT_EQ(parsed.containerSeparatorByteCount, 0u);
        const auto dumps = SDSFileTransferCodec::transfers(parsed.messages);
        ASSERT_TRUE(dumps);
        ASSERT_EQ(dumps->size(), 1u);
        const SDSFileTransfer& dump = dumps->front();
        EXPECT_EQ(dump.header, prepared.sender.header());
        EXPECT_TRUE(dump.completionMessages.empty()) << "no end-of-file message";
        EXPECT_EQ(static_cast<int64_t>(file.size()), prepared.sender.totalWireBytes());

        std::vector<int32_t> expected(item.audioSample->channels[0].size());
        std::transform(item.audioSample->channels[0].begin(), item.audioSample->channels[0].end(), expected.begin(),
                       [](int32_t full) { return full / 65536; });
        EXPECT_EQ(packetWords(dump), expected);

        // Header first, then the SPS-1UW name, then the SDS name, as a device takes them.
        const std::size_t preamble = 1 + (c.sps1UW ? 1 : 0) + (c.extended ? 1 : 0);
        ASSERT_EQ(dump.preambleMessages.size(), preamble);
        EXPECT_EQ(dump.preambleMessages[0], prepared.sender.header().encode());
        EXPECT_EQ(SPS1UWFileNameMessage::decode(dump.preambleMessages[1 % preamble]).has_value(), c.sps1UW);
        EXPECT_EQ(SDSSampleNameMessage::hasNameShape(dump.preambleMessages.back()), c.extended);
    }
}

// A stored dump re-encodes to exactly its stored messages, end-of-file included.
TEST(SDSFileEncoding, StoredDumpEncodesToItsOwnBytes) {
    const auto stored = test::storedDump(3, 500);
    const auto dumps = SDSFileTransferCodec::transfers(stored);
    ASSERT_TRUE(dumps && dumps->size() == 1);
    const PreparedSDSTransfer prepared{SDSSenderStateMachine(dumps->front(), test::openLoop(false))};
    EXPECT_EQ(AppModel::encodeSDSFile(prepared), SysExFileCodec::join(stored));
}

TEST(SDSFileEncoding, LibsndfileReadsTheSixteenBitDumpToTheSameSamples) {
    const auto samples = ramp(40 * 12);  // whole packets: libsndfile reads a short last packet's padding too
    const auto prepared =
        AppModel::prepareSDSTransfer(monoItem(samples), 0, SendOptions{}, SDSTransferMode::openLoop);
    const Bytes file = AppModel::encodeSDSFile(prepared);

    std::unique_ptr<FILE, int (*)(FILE*)> temporary(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(temporary);
    ASSERT_EQ(::write(fileno(temporary.get()), file.data(), file.size()), static_cast<ssize_t>(file.size()));
    ASSERT_EQ(::lseek(fileno(temporary.get()), 0, SEEK_SET), 0);
    SF_INFO info{};
    SNDFILE* handle = sf_open_fd(fileno(temporary.get()), SFM_READ, &info, SF_FALSE);
    ASSERT_NE(handle, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_SDS);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, static_cast<sf_count_t>(samples.size()));
    std::vector<short> read(samples.size());
    EXPECT_EQ(sf_read_short(handle, read.data(), static_cast<sf_count_t>(read.size())),
              static_cast<sf_count_t>(read.size()));
    sf_close(handle);
    EXPECT_EQ(read, std::vector<short>(samples.begin(), samples.end()));
}

}  // namespace
}  // namespace k7

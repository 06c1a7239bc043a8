#include <gtest/gtest.h>

#include <string>

#include "K7Core/SDSControlMessage.h"
#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSFileTransferCodec.h"
#include "K7Core/SDSFileTransferError.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "K7Core/SysExFileCodec.h"
#include "SDSTestSupport.h"

namespace k7 {
namespace {

using namespace sds_test;
using Kind = SDSControlMessage::Kind;

Bytes sps1UWName(const char* name = "Kick") {
    return SPS1UWFileNameMessage(0, 5, SPS1UWFileName::normalizing(name)).encode();
}

struct Dump {
    SDSDumpHeaderMessage header;
    std::vector<int32_t> samples;
    std::vector<Bytes> messages;
};

Dump openLoopDump(const SDSDumpHeaderMessage& header, std::optional<SDSSampleNameMessage> name = std::nullopt,
                  std::vector<Bytes> preamble = {}, bool endOfFile = false) {
    const auto samples = rampSamples(static_cast<std::size_t>(header.announcedSampleWords()), header.significantBits());
    SDSSenderStateMachine sender(header, samples, name, preamble, openLoop(endOfFile));
    return {header, samples, runOpenLoop(sender).messages};
}

std::vector<Bytes> joined(std::initializer_list<std::vector<Bytes>> parts) {
    std::vector<Bytes> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

std::vector<int32_t> unpackedSamples(const SDSFileTransfer& transfer) {
    std::vector<int32_t> samples;
    const int bits = transfer.header.significantBits();
    for (std::size_t p = 0; p < transfer.packetMessages.size(); ++p) {
        const auto packet = SDSDataPacket::decode(transfer.packetMessages[p]);
        std::vector<int32_t> words(static_cast<std::size_t>(transfer.packetSampleWordCounts[p]));
        SDSSamplePacking::unpack(packet.payload, bits, words);
        samples.insert(samples.end(), words.begin(), words.end());
    }
    return samples;
}

// Samples -> open-loop sender -> file bytes -> splitter gives back the same header and samples,
// and a sender built from the stored dump re-emits the identical bytes.
TEST(SDSFileTransferCodec, RoundTripsWhatTheSenderWritesForEveryHeaderKindAndWidth) {
    for (int bits : {8, 12, 14, 16, 20, 24, 28}) {
        for (bool extended : {false, true}) {
            const SDSDumpHeaderMessage header =
                extended ? SDSDumpHeaderMessage(SDSExtendedDumpHeader(0, 9, bits, 22050.25, 131, 3, 99, 0x01, 1))
                         : SDSDumpHeaderMessage(SDSDumpHeader(0, 9, bits, 22050, 131, 3, 99, 0x01));
            std::optional<SDSSampleNameMessage> name;
            if (extended) name = SDSSampleNameMessage(0, 9, "Pad");
            const Dump dump = openLoopDump(header, name, {sps1UWName()}, bits % 2 == 0);
            const Bytes file = concatenated(dump.messages);

            const auto parsed = SysExFileCodec::parse(file);
            const auto transfers = SDSFileTransferCodec::transfers(parsed.messages);
            ASSERT_TRUE(transfers.has_value());
            ASSERT_EQ(transfers->size(), 1u);
            const SDSFileTransfer& transfer = transfers->front();
            EXPECT_EQ(transfer.header, header);
            EXPECT_EQ(unpackedSamples(transfer), dump.samples) << bits;
            EXPECT_EQ(transfer.totalSampleWords(), 131);
            EXPECT_EQ(transfer.wireByteCount(), static_cast<int64_t>(file.size()));
            EXPECT_EQ(transfer.completionMessages.size(), bits % 2 == 0 ? 1u : 0u);

            for (auto mode : {SDSTransferMode::openLoop, SDSTransferMode::handshake}) {
                auto configuration = mode == SDSTransferMode::openLoop ? openLoop() : handshake();
                const SDSSenderStateMachine resender(transfer, configuration);
                EXPECT_EQ(resender.totalWireBytes(), transfer.wireByteCount());
                EXPECT_EQ(resender.totalSampleWords(), 131);
                if (mode == SDSTransferMode::openLoop) {
                    EXPECT_EQ(concatenated(runOpenLoop(resender).messages), file);
                }
            }
        }
    }
}

TEST(SDSFileTransferCodec, SplitsConsecutiveDumpsWithNamesBeforeOrAfterTheirHeaders) {
    const Dump first = openLoopDump(SDSDumpHeader(0, 1, 16, 44100, 100, 0, 0, 0x7F), std::nullopt, {sps1UWName()}, true);
    const Dump empty = openLoopDump(SDSDumpHeader(0, 2, 16, 44100, 0, 0, 0, 0x7F));
    const Dump third = openLoopDump(SDSExtendedDumpHeader(0, 3, 24, 48000, 31, 0, 0, 0x7F, 1),
                                    SDSSampleNameMessage(0, 3, "Hat"));
    const Bytes leadingName = sps1UWName("Snar");
    const auto messages = joined({first.messages, empty.messages, {leadingName}, third.messages});

    const auto transfers = SDSFileTransferCodec::transfers(messages);
    ASSERT_TRUE(transfers.has_value());
    ASSERT_EQ(transfers->size(), 3u);
    EXPECT_EQ((*transfers)[0].preambleMessages.size(), 2u) << "header and the SPS-1UW name after it";
    EXPECT_EQ((*transfers)[0].packetSampleWordCounts, (std::vector<int64_t>{40, 40, 20}));
    EXPECT_EQ((*transfers)[1].packetMessages.size(), 0u);
    EXPECT_EQ((*transfers)[2].preambleMessages.front(), leadingName);
    EXPECT_EQ((*transfers)[2].packetSampleWordCounts, (std::vector<int64_t>{30, 1}));
    int64_t total = 0;
    for (const auto& t : *transfers) total += t.wireByteCount();
    EXPECT_EQ(total, static_cast<int64_t>(concatenated(messages).size())) << "every byte belongs to a dump";
}

TEST(SDSFileTransferCodec, IsNilForListsThatDoNotStartWithADump) {
    const Dump dump = openLoopDump(SDSDumpHeader(0, 1, 16, 44100, 10, 0, 0, 0x7F));
    const std::vector<std::vector<Bytes>> lists{
        {},
        {Bytes{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x40, 0xF7}},
        {sps1UWName()},
        {sps1UWName(), sps1UWName(), dump.messages[0], dump.messages[1]},
        {dump.messages[1], dump.messages[0]},
        {SDSControlMessage{Kind::acknowledge, 0, 0}.encode()},
    };
    for (const auto& list : lists) EXPECT_FALSE(SDSFileTransferCodec::transfers(list).has_value());
}

struct Malformation {
    std::string name;
    std::function<std::vector<Bytes>(std::vector<Bytes>)> tamper;  // of header + 3 packets (100 words)
    std::size_t messageIndex;
    std::string reasonStart;
};
void PrintTo(const Malformation& c, std::ostream* os) { *os << c.name; }

class SDSFileTransferMalformed : public ::testing::TestWithParam<Malformation> {};

TEST_P(SDSFileTransferMalformed, PointsAtTheBreakInAWholeSentence) {
    const auto messages = GetParam().tamper(openLoopDump(SDSDumpHeader(0, 1, 16, 44100, 100, 0, 0, 0x7F)).messages);
    try {
        SDSFileTransferCodec::transfers(messages);
        FAIL() << "accepted";
    } catch (const SDSFileTransferError& error) {
        const auto* malformed = error.as<SDSFileTransferError::Malformed>();
        ASSERT_NE(malformed, nullptr);
        EXPECT_EQ(malformed->messageIndex, GetParam().messageIndex);
        EXPECT_EQ(malformed->reason.rfind(GetParam().reasonStart, 0), 0u) << malformed->reason;
        const std::string text = error.what();
        EXPECT_NE(text.find("message " + std::to_string(GetParam().messageIndex + 1) + " "), std::string::npos) << text;
        EXPECT_EQ(text.back(), '.');
    }
}

Bytes withByte(Bytes message, std::size_t index, uint8_t value) {
    message[index] = value;
    return message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SDSFileTransferMalformed,
    ::testing::Values(
        Malformation{"listEndsEarly", [](auto m) { m.pop_back(); return m; }, 2, "ends the data after only 2 of the 3"},
        Malformation{"extraPacket",
                     [](auto m) {
                         m.push_back(SDSDataPacket::make(0, 3, {}).encode());
                         return m;
                     },
                     4, "is a data packet beyond"},
        Malformation{"badChecksum", [](auto m) { m[2] = withByte(m[2], 125, m[2][125] ^ 1); return m; }, 2,
                     "is a data packet with a wrong checksum"},
        Malformation{"packetNumber",
                     [](auto m) {
                         std::swap(m[2], m[3]);
                         return m;
                     },
                     2, "is data packet number 2 where number 1 belongs"},
        Malformation{"otherDevice",
                     [](auto m) {
                         auto packet = SDSDataPacket::decode(m[3]);
                         m[3] = SDSDataPacket::make(4, packet.packetNumber, packet.payload).encode();
                         return m;
                     },
                     3, "is a data packet for device 4"},
        Malformation{"foreignMessageInside",
                     [](auto m) {
                         m.insert(m.begin() + 2, Bytes{0xF0, 0x43, 0x10, 0x00, 0xF7});
                         return m;
                     },
                     2, "is not a data packet"},
        Malformation{"unreadableHeader", [](auto m) { m[0] = withByte(m[0], 6, 7); return m; }, 0,
                     "is an SDS dump header that cannot be read"},
        Malformation{"trailingStranger",
                     [](auto m) {
                         m.push_back(Bytes{0xF0, 0x43, 0x10, 0x00, 0xF7});
                         return m;
                     },
                     4, "is neither part of an SDS dump"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace k7

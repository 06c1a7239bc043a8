#include <gtest/gtest.h>

#include <string>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSFileTransferError.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "SDSTestSupport.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using namespace sds_test;

struct Dump {
    std::vector<int32_t> samples;
    std::vector<Bytes> messages;
};

// What an open-loop sender writes; the total it announced beforehand must be exactly what it wrote.
Dump openLoopDump(const SDSDumpHeaderMessage& header, std::optional<SDSSampleNameMessage> name = std::nullopt,
                  std::vector<Bytes> preamble = {}, bool endOfFile = false) {
    const auto samples = rampSamples(static_cast<std::size_t>(header.announcedSampleWords()), header.significantBits());
    SDSSenderStateMachine sender(header, samples, name, preamble, openLoop(endOfFile));
    const auto messages = runOpenLoop(sender).messages;
    EXPECT_EQ(static_cast<int64_t>(concatenated(messages).size()), sender.totalWireBytes());
    EXPECT_EQ(sender.totalSampleWords(), header.announcedSampleWords());
    return {samples, messages};
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
    for (int bits : {8, 12, 14, 15, 21, 22, 28}) {
        for (bool extended : {false, true}) {
            const SDSDumpHeaderMessage header =
                extended ? SDSDumpHeaderMessage(SDSExtendedDumpHeader(0, 9, bits, 22050.25, 131, 3, 99, 0x01, 1))
                         : SDSDumpHeaderMessage(SDSDumpHeader(0, 9, bits, 22050, 131, 3, 99, 0x01));
            std::optional<SDSSampleNameMessage> name;
            if (extended) name = SDSSampleNameMessage(0, 9, "Pad");
            const Dump dump = openLoopDump(header, name, {sps1UWName()}, bits % 2 == 0);
            const Bytes file = concatenated(dump.messages);

            const auto transfers = SDSFileTransferCodec::transfers(SysExFileCodec::parse(file).messages);
            ASSERT_TRUE(transfers.has_value());
            ASSERT_EQ(transfers->size(), 1u);
            const SDSFileTransfer& transfer = transfers->front();
            EXPECT_EQ(transfer.header, header);
            EXPECT_EQ(header.encodedByteCount(), header.encode().size());
            EXPECT_EQ(unpackedSamples(transfer), dump.samples) << bits;
            EXPECT_EQ(transfer.totalSampleWords(), 131);
            EXPECT_EQ(transfer.wireByteCount(), static_cast<int64_t>(file.size()));
            EXPECT_EQ(transfer.completionMessages.size(), bits % 2 == 0 ? 1u : 0u);
            EXPECT_EQ(concatenated(runOpenLoop(SDSSenderStateMachine(transfer, openLoop())).messages), file);
            EXPECT_EQ(SDSSenderStateMachine(transfer, handshake()).totalWireBytes(), transfer.wireByteCount());
        }
    }
}

TEST(SDSFileTransferCodec, SplitsConsecutiveDumpsWithNamesBeforeOrAfterTheirHeaders) {
    const Dump first = openLoopDump(SDSDumpHeader(0, 1, 16, 44100, 100, 0, 0, 0x7F), std::nullopt, {sps1UWName()}, true);
    const Dump empty = openLoopDump(SDSDumpHeader(0, 2, 16, 44100, 0, 0, 0, 0x7F));
    const Dump third = openLoopDump(SDSExtendedDumpHeader(0, 3, 24, 48000, 31, 0, 0, 0x7F, 1),
                                    SDSSampleNameMessage(0, 3, "Hat"));
    const Bytes leadingName = sps1UWName("Snar");
    auto messages = first.messages;
    messages.insert(messages.end(), empty.messages.begin(), empty.messages.end());
    messages.push_back(leadingName);
    messages.insert(messages.end(), third.messages.begin(), third.messages.end());

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
        {Bytes{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7}},  // an ACK
    };
    for (const auto& list : lists) EXPECT_FALSE(SDSFileTransferCodec::transfers(list).has_value());
}

Bytes withByte(Bytes message, std::size_t index, uint8_t value) {
    message[index] = value;
    return message;
}

// The error points at the message (counted from 1 in the text) where the dump breaks.
TEST(SDSFileTransferCodec, MalformedDumpsAreRefusedAtTheBreak) {
    const auto m = openLoopDump(SDSDumpHeader(0, 1, 16, 44100, 100, 0, 0, 0x7F)).messages;  // header + 3 packets
    const Bytes foreign{0xF0, 0x43, 0x10, 0x00, 0xF7};
    const Bytes otherDevice = SDSDataPacket::make(4, 2, SDSDataPacket::decode(m[3]).payload).encode();
    const std::vector<std::tuple<std::vector<Bytes>, std::size_t, std::string>> cases{
        {{m[0], m[1], m[2]}, 2, "ends the data after only 2 of the 3"},
        {{m[0], m[1], m[2], m[3], SDSDataPacket::make(0, 3, {}).encode()}, 4, "is a data packet beyond"},
        {{m[0], m[1], withByte(m[2], 125, m[2][125] ^ 1), m[3]}, 2, "is a data packet with a wrong checksum"},
        {{m[0], m[1], m[3], m[2]}, 2, "is data packet number 2 where number 1 belongs"},
        {{m[0], m[1], m[2], otherDevice}, 3, "is a data packet for device 4"},
        {{m[0], m[1], foreign, m[2], m[3]}, 2, "is not a data packet"},
        {{withByte(m[0], 6, 7), m[1], m[2], m[3]}, 0, "is an SDS dump header that cannot be read"},
        {{m[0], m[1], m[2], m[3], foreign}, 4, "is neither part of an SDS dump"},
    };
    for (const auto& [messages, index, reasonStart] : cases) {
        const auto error = test::thrown<SDSFileTransferError>([&messages = messages] { SDSFileTransferCodec::transfers(messages); });
        const auto* malformed = error ? error->as<SDSFileTransferError::Malformed>() : nullptr;
        ASSERT_NE(malformed, nullptr) << reasonStart;
        EXPECT_EQ(malformed->messageIndex, index);
        EXPECT_EQ(malformed->reason.rfind(reasonStart, 0), 0u) << malformed->reason;
        const std::string text = error->what();
        EXPECT_NE(text.find("message " + std::to_string(index + 1) + " "), std::string::npos) << text;
        EXPECT_EQ(text.back(), '.');
    }
}

}  // namespace
}  // namespace k7

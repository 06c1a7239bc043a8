#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSDumpRequest.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSSampleNameRequest.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SDS/SDSTransferFailure.h"
#include "TestBytes.h"

namespace k7 {
namespace {

TEST(SDSDumpHeader, EncodesTheClassicLayoutLeastSignificantGroupFirst) {
    const SDSDumpHeader header(0x05, 300, 16, 44100.0, 100000, 1000, 99999, 0x00);
    const Bytes expected{0xF0, 0x7E, 0x05, 0x01, 0x2C, 0x02, 0x10, 0x13, 0x31, 0x01, 0x20,
                         0x0D, 0x06, 0x68, 0x07, 0x00, 0x1F, 0x0D, 0x06, 0x00, 0xF7};
    EXPECT_EQ(header.encode(), expected);
    EXPECT_EQ(header.samplePeriodNanoseconds(), 22675u);
    EXPECT_EQ(SDSDumpHeader::decode(expected), header);
    // The widest value of every field.
    const SDSDumpHeader widest(0x7F, 16383, 28, 477.0, SDSDumpHeader::maximumWordField,
                               SDSDumpHeader::maximumWordField, SDSDumpHeader::maximumWordField, 0x7F);
    EXPECT_EQ(SDSDumpHeader::decode(widest.encode()), widest);
    EXPECT_EQ(SDSDumpHeader(0, 0, 8, 1e9, 0, 0, 0, 0).samplePeriodNanoseconds(), 1u);
}

TEST(SDSExtendedDumpHeader, CarriesAFractionalRateAndThirtyFiveBitLengths) {
    const uint64_t longest = SDSExtendedDumpHeader::maximumWordField;
    const SDSExtendedDumpHeader header(0x7F, 16383, 28, 4000.5, longest, 1, longest - 1, 0x43, 2);
    const Bytes bytes = header.encode();
    ASSERT_EQ(bytes.size(), SDSExtendedDumpHeader::byteCount);
    const Bytes rate(bytes.begin() + 8, bytes.begin() + 16);
    EXPECT_EQ(rate, (Bytes{0x20, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40}));
    EXPECT_EQ(Bytes(bytes.begin() + 16, bytes.begin() + 21), (Bytes{0x7F, 0x7F, 0x7F, 0x7F, 0x7F}));
    const auto decoded = SDSExtendedDumpHeader::decode(bytes);
    EXPECT_EQ(decoded, header);
    EXPECT_DOUBLE_EQ(decoded.sampleRate(), 4000.5);
    EXPECT_EQ(SDSDumpHeaderMessage(decoded).announcedSampleWords(), static_cast<int64_t>(longest));
    // The slowest rate it carries is one step of the fraction.
    EXPECT_EQ(SDSExtendedDumpHeader(0, 0, 16, std::ldexp(0.6, -28), 0, 0, 0, 0x7F, 1).sampleRateFraction(), 1u);
}

std::string range(const char* field, int64_t value, int64_t maximum) {
    return std::string("valueOutOfRange(field: \"") + field + "\", value: " + std::to_string(value) +
           ", maximum: " + std::to_string(maximum) + ")";
}

TEST(SDSHeaderRange, RefusesWhatTheWireCannotCarry) {
    using Extended = SDSExtendedDumpHeader;
    const std::vector<std::pair<std::function<void()>, std::string>> cases{
        {[] { SDSDumpHeader(0, 0, 29, 44100, 0, 0, 0, 0x7F); }, range("significantBits", 29, 28)},
        {[] { Extended(0, 0, 7, 44100, 0, 0, 0, 0x7F, 1); }, range("significantBits", 7, 28)},
        {[] { SDSDumpHeader(0, 0, 16, 44100, 1u << 21, 0, 0, 0x7F); }, range("sampleLength", 2097152, 2097151)},
        {[] { SDSDumpHeader(0, 0, 16, 44100, 10, 0, 1u << 21, 0x7F); }, range("loopEnd", 2097152, 2097151)},
        {[] { SDSDumpHeader(0, 16384, 16, 44100, 0, 0, 0, 0x7F); }, range("sampleNumber", 16384, 16383)},
        {[] { SDSDumpHeader(0x80, 0, 16, 44100, 0, 0, 0, 0x7F); }, range("deviceID", 128, 127)},
        {[] { SDSDumpHeader(0, 0, 16, 476.0, 0, 0, 0, 0x7F); }, range("samplePeriod", 2100840, 2097151)},
        {[] { SDSDumpHeader(0, 0, 16, 0.0, 0, 0, 0, 0x7F); }, "invalidSampleRate(sampleRate: 0.0)"},
        {[] { Extended(0, 0, 16, NAN, 0, 0, 0, 0x7F, 1); }, "invalidSampleRate(sampleRate: nan)"},
        // Positive, but below half the fraction's step of 2^-28 Hz: it would go out as 0 Hz.
        {[] { Extended(0, 0, 16, 1e-9, 0, 0, 0, 0x7F, 1); }, "invalidSampleRate(sampleRate: 1e-09)"},
        {[] { Extended(0, 0, 16, 48000, uint64_t{1} << 35, 0, 0, 0x7F, 1); },
         range("sampleLength", int64_t{1} << 35, (int64_t{1} << 35) - 1)},
        {[] { Extended(0, 0, 16, 268435456.0, 0, 0, 0, 0x7F, 1); }, range("sampleRate", 268435456, 268435455)},
        {[] { Extended(0, 0, 16, 48000, 0, 0, 0, 0x7F, 128); }, range("channelCount", 128, 127)},
        {[] { SDSSampleNameMessage(0, 0, std::string(128, 'a')); }, range("nameLength", 128, 127)},
        {[] { SDSSampleNameMessage(0, 0, "Kick \xC3\xA9"); }, "nonASCIIName(index: 5, byte: 195)"},
    };
    for (const auto& [build, description] : cases) {
        const auto error = test::thrown<SDSError>(build);
        EXPECT_EQ(error ? error->describe() : "accepted", description);
    }
}

Bytes truncated(Bytes frame, std::size_t keep) {
    frame.resize(keep);
    frame.push_back(0xF7);
    return frame;
}

// Every decoder must refuse damaged input with an SDSError, never read past it.
TEST(SDSDecodeFaults, EveryDecoderRefusesWithAnSDSError) {
    const std::vector<Bytes> frames{
        {}, {0xF0}, {0xF0, 0xF7}, {0xF0, 0x7E, 0x00, 0x7F, 0x00}, {0xF0, 0x7E, 0x00, 0x7F, 0x80, 0xF7},
        {0xF0, 0x7E, 0x00, 0x01, 0x00, 0x00, 0x08, 0xF7},  // a real-time byte
        truncated(SDSDumpHeader(0, 0, 16, 44100, 0, 0, 0, 0).encode(), 19),
        truncated(SDSExtendedDumpHeader(0, 0, 16, 44100, 0, 0, 0, 0, 1).encode(), 30),
        {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x05, 0x41, 0xF7},  // name length beyond the end
        {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x7F, 0x00, 0xF7},        // tag length beyond the end
        {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0xF7}, {0xF0, 0x7E, 0x00, 0x7F, 0xF7},
        {0xF0, 0x7E, 0x00, 0x7F, 0x00, 0x00, 0xF7},
    };
    for (const Bytes& frame : frames) {
        SCOPED_TRACE(::testing::PrintToString(frame));
        EXPECT_THROW(SDSDumpHeaderMessage::decode(frame), SDSError);
        EXPECT_THROW(SDSDataPacket::decode(frame), SDSError);
        EXPECT_THROW(SDSControlMessage::decode(frame), SDSError);
        EXPECT_THROW(SDSSampleNameMessage::decode(frame), SDSError);
        EXPECT_THROW(SDSDumpRequest::decode(frame), SDSError);
        EXPECT_THROW(SDSSampleNameRequest::decode(frame), SDSError);
    }
}

TEST(SDSControlMessageAndRequests, EncodeAndDecodeAndRefuseOtherCodes) {
    using Kind = SDSControlMessage::Kind;
    for (Kind kind : {Kind::acknowledge, Kind::negativeAcknowledge, Kind::cancel, Kind::wait, Kind::endOfFile}) {
        const auto message = SDSControlMessage::make(kind, 0x11, 0x7F);
        const Bytes bytes = message.encode();
        EXPECT_EQ(bytes, (Bytes{0xF0, 0x7E, 0x11, static_cast<uint8_t>(kind), 0x7F, 0xF7}));
        EXPECT_EQ(SDSControlMessage::decode(bytes), message);
    }
    for (uint8_t code : {0x01, 0x02, 0x03, 0x05, 0x7A}) {
        EXPECT_THROW(SDSControlMessage::decode(Bytes{0xF0, 0x7E, 0x00, code, 0x00, 0xF7}), SDSError) << int(code);
    }
    EXPECT_THROW(SDSControlMessage::make(Kind::acknowledge, 0x80, 0), SDSError);
    const auto dump = SDSDumpRequest::make(0x10, 16383);
    EXPECT_EQ(dump.encode(), (Bytes{0xF0, 0x7E, 0x10, 0x03, 0x7F, 0x7F, 0xF7}));
    EXPECT_EQ(SDSDumpRequest::decode(dump.encode()), dump);
    const auto name = SDSSampleNameRequest::make(0x01, 1);
    EXPECT_EQ(name.encode(), (Bytes{0xF0, 0x7E, 0x01, 0x05, 0x04, 0x01, 0x00, 0xF7}));
    EXPECT_EQ(SDSSampleNameRequest::decode(name.encode()), name);
    EXPECT_THROW(SDSDumpRequest::make(0, 16384), SDSError);
}

TEST(SDSSampleNameMessage, CarriesUpTo127AsciiBytesWithoutATag) {
    const SDSSampleNameMessage name(0x01, 1, "Test Sample");
    EXPECT_EQ(name.encode(), (Bytes{0xF0, 0x7E, 0x01, 0x05, 0x03, 0x01, 0x00, 0x00, 0x0B, 'T', 'e', 's',
                                    't', ' ', 'S', 'a', 'm', 'p', 'l', 'e', 0xF7}));
    const SDSSampleNameMessage longest(0, 16383, std::string(127, 'x'));
    EXPECT_EQ(SDSSampleNameMessage::decode(longest.encode()), longest);
    EXPECT_EQ(longest.encode().size(), longest.encodedByteCount());
    EXPECT_EQ(SDSSampleNameMessage(0, 0, "").encode().size(), 10u);
    // A received language tag is kept, so the name re-encodes unchanged.
    const Bytes tagged{0xF0, 0x7E, 0x00, 0x05, 0x03, 0x02, 0x00, 0x02, 'e', 'n', 0x03, 'S', 'a', 'w', 0xF7};
    const auto saw = SDSSampleNameMessage::decode(tagged);
    EXPECT_EQ(saw.asciiName(), "Saw");
    EXPECT_EQ(saw.languageTag(), (Bytes{'e', 'n'}));
    EXPECT_EQ(saw.encode(), tagged);
}

// Diagnostics and user texts quote the nested, labelled form.
TEST(SDSTransferFailure, DescribesTheCauseWithItsLabelledValues) {
    EXPECT_EQ(describe(SDSTransferFailure(sds_failure::ProtocolError{SDSError(SDSError::ValueOutOfRange{"loopEnd", 9, 8})})),
              "protocolError(" + range("loopEnd", 9, 8) + ")");
    EXPECT_EQ(describe(SDSTransferFailure(sds_failure::RetryExhausted{SDSRetryCause::negativeAcknowledgement, 12})),
              "retryExhausted(cause: negativeAcknowledgement, packetNumber: 12)");
}

class SDSPackingWidth : public ::testing::TestWithParam<int> {};

// Every value that matters at this width: the extremes, zero, their neighbours and a spread.
std::vector<int32_t> interestingWords(int bits) {
    const int32_t low = SDSSamplePacking::minimumWord(bits);
    const int32_t high = SDSSamplePacking::maximumWord(bits);
    std::vector<int32_t> words{low, low + 1, -1, 0, 1, high - 1, high};
    for (int64_t v = low; v <= high; v += (int64_t{high} - low) / 97 + 1) words.push_back(static_cast<int32_t>(v));
    return words;
}

TEST_P(SDSPackingWidth, RoundTripsEveryValueAndZeroesTheUnusedLowBits) {
    const int bits = GetParam();
    const std::size_t width = SDSSamplePacking::bytesPerWord(bits);
    const auto words = interestingWords(bits);
    Bytes packed(words.size() * width, 0xFF);
    SDSSamplePacking::pack(words, bits, packed);
    const unsigned unusedBits = static_cast<unsigned>(7 * width - bits);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const uint8_t last = packed[i * width + width - 1];
        EXPECT_EQ(last & ((1u << unusedBits) - 1), 0u) << "word " << i;
        for (std::size_t b = 0; b < width; ++b) EXPECT_LT(packed[i * width + b], 0x80);
    }
    std::vector<int32_t> unpacked(words.size());
    SDSSamplePacking::unpack(packed, bits, unpacked);
    EXPECT_EQ(unpacked, words);
}

INSTANTIATE_TEST_SUITE_P(AllWidths, SDSPackingWidth, ::testing::Range(8, 29));

TEST(SDSSamplePacking, MatchesTheWorkedExamplesAndTheWordWidthGeometry) {
    // 16 bits: -1 is offset 7FFF, shifted left 5 into 21 bits.
    Bytes sixteen(3);
    SDSSamplePacking::pack(std::vector<int32_t>{-1}, 16, sixteen);
    EXPECT_EQ(sixteen, (Bytes{0x3F, 0x7F, 0x60}));
    // 12 bits: the full-positive offset value FFF goes out as 7F 7C.
    Bytes twelve(2);
    SDSSamplePacking::pack(std::vector<int32_t>{2047}, 12, twelve);
    EXPECT_EQ(twelve, (Bytes{0x7F, 0x7C}));
    // Words per packet change where a word needs another byte; short buffers throw instead of overrunning.
    for (const auto& [bits, width, perPacket] : {std::tuple{8, 2u, 60u}, {14, 2u, 60u}, {15, 3u, 40u}, {21, 3u, 40u},
                                                 {22, 4u, 30u}, {28, 4u, 30u}}) {
        EXPECT_EQ(SDSSamplePacking::bytesPerWord(bits), width) << bits;
        EXPECT_EQ(SDSSamplePacking::wordsPerPacket(bits), perPacket) << bits;
    }
    EXPECT_EQ(SDSSamplePacking::packetCount(0, 16), 0);
    EXPECT_EQ(SDSSamplePacking::packetCount(40, 16), 1);
    EXPECT_EQ(SDSSamplePacking::packetCount(41, 16), 2);
    EXPECT_THROW(SDSSamplePacking::bytesPerWord(7), SDSError);
    EXPECT_THROW(SDSSamplePacking::bytesPerWord(29), SDSError);
    Bytes small(29);
    std::vector<int32_t> words(10, 0);
    EXPECT_THROW(SDSSamplePacking::pack(words, 16, small), SDSError);
    EXPECT_THROW(SDSSamplePacking::unpack(small, 16, words), SDSError);
}

}  // namespace
}  // namespace k7

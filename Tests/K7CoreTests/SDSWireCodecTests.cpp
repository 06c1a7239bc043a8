#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "K7Core/SDSControlMessage.h"
#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSDumpHeaderMessage.h"
#include "K7Core/SDSDumpRequest.h"
#include "K7Core/SDSError.h"
#include "K7Core/SDSSampleNameMessage.h"
#include "K7Core/SDSSampleNameRequest.h"
#include "K7Core/SDSTransferFailure.h"

namespace k7 {
namespace {

TEST(SDSDumpHeader, EncodesTheClassicLayoutLeastSignificantGroupFirst) {
    const SDSDumpHeader header(0x05, 300, 16, 44100.0, 100000, 1000, 99999, 0x00);
    const Bytes expected{0xF0, 0x7E, 0x05, 0x01, 0x2C, 0x02, 0x10, 0x13, 0x31, 0x01, 0x20,
                         0x0D, 0x06, 0x68, 0x07, 0x00, 0x1F, 0x0D, 0x06, 0x00, 0xF7};
    EXPECT_EQ(header.encode(), expected);
    EXPECT_EQ(header.samplePeriodNanoseconds(), 22675u);
    EXPECT_EQ(SDSDumpHeader::decode(expected), header);
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
}

struct RangeCase {
    std::string name;
    std::function<void()> build;
    std::string description;
};
void PrintTo(const RangeCase& c, std::ostream* os) { *os << c.name; }

class SDSHeaderRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SDSHeaderRange, RefusesWhatTheWireCannotCarry) {
    try {
        GetParam().build();
        FAIL() << "no error";
    } catch (const SDSError& error) {
        EXPECT_EQ(error.describe(), GetParam().description);
        EXPECT_FALSE(std::string(error.what()).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SDSHeaderRange,
    ::testing::Values(
        RangeCase{"bitsAbove", [] { SDSDumpHeader(0, 0, 29, 44100, 0, 0, 0, 0x7F); },
                  R"(valueOutOfRange(field: "significantBits", value: 29, maximum: 28))"},
        RangeCase{"bitsBelow", [] { SDSExtendedDumpHeader(0, 0, 7, 44100, 0, 0, 0, 0x7F, 1); },
                  R"(valueOutOfRange(field: "significantBits", value: 7, maximum: 28))"},
        RangeCase{"length", [] { SDSDumpHeader(0, 0, 16, 44100, 1u << 21, 0, 0, 0x7F); },
                  R"(valueOutOfRange(field: "sampleLength", value: 2097152, maximum: 2097151))"},
        RangeCase{"loopEnd", [] { SDSDumpHeader(0, 0, 16, 44100, 10, 0, 1u << 21, 0x7F); },
                  R"(valueOutOfRange(field: "loopEnd", value: 2097152, maximum: 2097151))"},
        RangeCase{"sampleNumber", [] { SDSDumpHeader(0, 16384, 16, 44100, 0, 0, 0, 0x7F); },
                  R"(valueOutOfRange(field: "sampleNumber", value: 16384, maximum: 16383))"},
        RangeCase{"deviceID", [] { SDSDumpHeader(0x80, 0, 16, 44100, 0, 0, 0, 0x7F); },
                  R"(valueOutOfRange(field: "deviceID", value: 128, maximum: 127))"},
        RangeCase{"slowRate", [] { SDSDumpHeader(0, 0, 16, 476.0, 0, 0, 0, 0x7F); },
                  R"(valueOutOfRange(field: "samplePeriod", value: 2100840, maximum: 2097151))"},
        RangeCase{"zeroRate", [] { SDSDumpHeader(0, 0, 16, 0.0, 0, 0, 0, 0x7F); },
                  "invalidSampleRate(sampleRate: 0.0)"},
        RangeCase{"nanRate", [] { SDSExtendedDumpHeader(0, 0, 16, NAN, 0, 0, 0, 0x7F, 1); },
                  "invalidSampleRate(sampleRate: nan)"},
        RangeCase{"extendedLength",
                  [] { SDSExtendedDumpHeader(0, 0, 16, 48000, uint64_t{1} << 35, 0, 0, 0x7F, 1); },
                  R"(valueOutOfRange(field: "sampleLength", value: 34359738368, maximum: 34359738367))"},
        RangeCase{"extendedRate", [] { SDSExtendedDumpHeader(0, 0, 16, 268435456.0, 0, 0, 0, 0x7F, 1); },
                  R"(valueOutOfRange(field: "sampleRate", value: 268435456, maximum: 268435455))"},
        RangeCase{"channels", [] { SDSExtendedDumpHeader(0, 0, 16, 48000, 0, 0, 0, 0x7F, 128); },
                  R"(valueOutOfRange(field: "channelCount", value: 128, maximum: 127))"},
        RangeCase{"nameLength", [] { SDSSampleNameMessage(0, 0, std::string(128, 'a')); },
                  R"(valueOutOfRange(field: "nameLength", value: 128, maximum: 127))"},
        RangeCase{"nonASCII", [] { SDSSampleNameMessage(0, 0, "Kick \xC3\xA9"); },
                  "nonASCIIName(index: 5, byte: 195)"}),
    [](const auto& info) { return info.param.name; });

TEST(SDSDumpHeader, AcceptsTheWidestValuesOfEveryField) {
    const SDSDumpHeader header(0x7F, 16383, 28, 477.0, SDSDumpHeader::maximumWordField,
                               SDSDumpHeader::maximumWordField, SDSDumpHeader::maximumWordField, 0x7F);
    EXPECT_EQ(SDSDumpHeader::decode(header.encode()), header);
    EXPECT_EQ(SDSDumpHeader(0, 0, 8, 1e9, 0, 0, 0, 0).samplePeriodNanoseconds(), 1u);
}

TEST(SDSDumpHeaderMessage, ExposesBothKindsThroughTheSameFields) {
    const SDSDumpHeaderMessage classic = SDSDumpHeader(3, 12, 16, 32000, 77, 0, 0, 0x7F);
    const SDSDumpHeaderMessage extended = SDSExtendedDumpHeader(4, 13, 24, 96000, 88, 0, 0, 0x7F, 1);
    EXPECT_EQ(classic.deviceID(), 3);
    EXPECT_EQ(classic.sampleNumber(), 12);
    EXPECT_EQ(classic.samplePeriodNanoseconds(), 31250u);
    EXPECT_EQ(classic.announcedSampleWords(), 77);
    EXPECT_EQ(extended.significantBits(), 24);
    EXPECT_EQ(extended.samplePeriodNanoseconds(), std::nullopt);
    EXPECT_EQ(extended.announcedSampleWords(), 88);
    EXPECT_EQ(SDSDumpHeaderMessage::decode(classic.encode()), classic);
    EXPECT_EQ(SDSDumpHeaderMessage::decode(extended.encode()), extended);
    EXPECT_EQ(classic.encode().size(), classic.encodedByteCount());
    EXPECT_EQ(extended.encode().size(), extended.encodedByteCount());
}

// Every decoder must refuse damaged input with an SDSError, never read past it.
struct DecodeFault {
    std::string name;
    Bytes frame;
};
void PrintTo(const DecodeFault& c, std::ostream* os) { *os << c.name; }

class SDSDecodeFaults : public ::testing::TestWithParam<DecodeFault> {};

TEST_P(SDSDecodeFaults, EveryDecoderRefusesWithAnSDSError) {
    const Bytes& frame = GetParam().frame;
    EXPECT_THROW(SDSDumpHeaderMessage::decode(frame), SDSError);
    EXPECT_THROW(SDSDataPacket::decode(frame), SDSError);
    EXPECT_THROW(SDSControlMessage::decode(frame), SDSError);
    EXPECT_THROW(SDSSampleNameMessage::decode(frame), SDSError);
    EXPECT_THROW(SDSDumpRequest::decode(frame), SDSError);
    EXPECT_THROW(SDSSampleNameRequest::decode(frame), SDSError);
}

Bytes truncated(Bytes frame, std::size_t keep) {
    frame.resize(keep);
    frame.push_back(0xF7);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, SDSDecodeFaults,
    ::testing::Values(DecodeFault{"empty", {}}, DecodeFault{"startOnly", {0xF0}}, DecodeFault{"bare", {0xF0, 0xF7}},
                      DecodeFault{"noEnd", {0xF0, 0x7E, 0x00, 0x7F, 0x00}},
                      DecodeFault{"highBit", {0xF0, 0x7E, 0x00, 0x7F, 0x80, 0xF7}},
                      DecodeFault{"realTime", {0xF0, 0x7E, 0x00, 0x01, 0x00, 0x00, 0x08, 0xF7}},
                      DecodeFault{"headerCut", truncated(SDSDumpHeader(0, 0, 16, 44100, 0, 0, 0, 0).encode(), 19)},
                      DecodeFault{"extendedCut",
                                  truncated(SDSExtendedDumpHeader(0, 0, 16, 44100, 0, 0, 0, 0, 1).encode(), 30)},
                      DecodeFault{"nameLengthBeyondEnd",
                                  {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x00, 0x05, 0x41, 0xF7}},
                      DecodeFault{"tagLengthBeyondEnd",
                                  {0xF0, 0x7E, 0x00, 0x05, 0x03, 0x00, 0x00, 0x7F, 0x00, 0xF7}},
                      DecodeFault{"otherManufacturer", {0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0xF7}},
                      DecodeFault{"shortAck", {0xF0, 0x7E, 0x00, 0x7F, 0xF7}},
                      DecodeFault{"longAck", {0xF0, 0x7E, 0x00, 0x7F, 0x00, 0x00, 0xF7}}),
    [](const auto& info) { return info.param.name; });

TEST(SDSControlMessage, DecodesEachHandshakeCodeAndNothingElse) {
    using Kind = SDSControlMessage::Kind;
    for (Kind kind : {Kind::acknowledge, Kind::negativeAcknowledge, Kind::cancel, Kind::wait, Kind::endOfFile}) {
        const auto message = SDSControlMessage::make(kind, 0x11, 0x7F);
        const Bytes bytes = message.encode();
        EXPECT_EQ(bytes, (Bytes{0xF0, 0x7E, 0x11, static_cast<uint8_t>(kind), 0x7F, 0xF7}));
        EXPECT_EQ(SDSControlMessage::decode(bytes), message);
    }
    for (uint8_t code : {0x01, 0x02, 0x03, 0x05, 0x7A}) {
        try {
            SDSControlMessage::decode(Bytes{0xF0, 0x7E, 0x00, code, 0x00, 0xF7});
            FAIL() << "code " << int(code) << " decoded";
        } catch (const SDSError& error) {
            EXPECT_EQ(error, SDSError(SDSError::UnknownControlCode{code}));
        }
    }
    EXPECT_THROW(SDSControlMessage::make(Kind::acknowledge, 0x80, 0), SDSError);
}

TEST(SDSDataPacket, ChecksumIsTheXorOfEverythingBetweenStatusAndChecksum) {
    SDSDataPacket::Payload payload{};
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>((i * 37) & 0x7F);
    const auto packet = SDSDataPacket::make(0x09, 0x7F, payload);
    const Bytes bytes = packet.encode();
    ASSERT_EQ(bytes.size(), SDSDataPacket::byteCount);
    uint8_t sum = 0;
    for (std::size_t i = 1; i < 125; ++i) sum ^= bytes[i];
    EXPECT_EQ(bytes[125], sum);
    EXPECT_TRUE(SDSDataPacket::decode(bytes).hasValidChecksum());

    Bytes damaged = bytes;
    damaged[60] ^= 0x01;
    const auto decoded = SDSDataPacket::decode(damaged);
    EXPECT_FALSE(decoded.hasValidChecksum());
    EXPECT_EQ(decoded.checksum, bytes[125]);
}

TEST(SDSSampleNameMessage, CarriesUpTo127AsciiBytesWithoutATag) {
    const SDSSampleNameMessage name(0x01, 1, "Test Sample");
    EXPECT_EQ(name.encode(), (Bytes{0xF0, 0x7E, 0x01, 0x05, 0x03, 0x01, 0x00, 0x00, 0x0B, 'T', 'e', 's',
                                    't', ' ', 'S', 'a', 'm', 'p', 'l', 'e', 0xF7}));
    const SDSSampleNameMessage longest(0, 16383, std::string(127, 'x'));
    EXPECT_EQ(SDSSampleNameMessage::decode(longest.encode()), longest);
    EXPECT_EQ(longest.encode().size(), longest.encodedByteCount());
    EXPECT_EQ(SDSSampleNameMessage(0, 0, "").encode().size(), 10u);
}

TEST(SDSSampleNameMessage, KeepsAReceivedLanguageTagSoItReEncodesUnchanged) {
    const Bytes tagged{0xF0, 0x7E, 0x00, 0x05, 0x03, 0x02, 0x00, 0x02, 'e', 'n', 0x03, 'S', 'a', 'w', 0xF7};
    const auto name = SDSSampleNameMessage::decode(tagged);
    EXPECT_EQ(name.asciiName(), "Saw");
    EXPECT_EQ(name.languageTag(), (Bytes{'e', 'n'}));
    EXPECT_EQ(name.encode(), tagged);
}

TEST(SDSRequests, EncodeAndDecodeTheSampleNumber) {
    const auto dump = SDSDumpRequest::make(0x10, 16383);
    EXPECT_EQ(dump.encode(), (Bytes{0xF0, 0x7E, 0x10, 0x03, 0x7F, 0x7F, 0xF7}));
    EXPECT_EQ(SDSDumpRequest::decode(dump.encode()), dump);
    const auto name = SDSSampleNameRequest::make(0x01, 1);
    EXPECT_EQ(name.encode(), (Bytes{0xF0, 0x7E, 0x01, 0x05, 0x04, 0x01, 0x00, 0xF7}));
    EXPECT_EQ(SDSSampleNameRequest::decode(name.encode()), name);
    EXPECT_THROW(SDSDumpRequest::make(0, 16384), SDSError);
}

TEST(SDSTransferFailure, DescribesEachCaseWithItsLabelledValues) {
    using namespace sds_failure;
    const std::vector<std::pair<SDSTransferFailure, std::string>> cases{
        {ProtocolError{SDSError(SDSError::ValueOutOfRange{"significantBits", 29, 28})},
         R"(protocolError(valueOutOfRange(field: "significantBits", value: 29, maximum: 28)))"},
        {RetryExhausted{SDSRetryCause::negativeAcknowledgement, 12},
         "retryExhausted(cause: negativeAcknowledgement, packetNumber: 12)"},
        {InterruptedByNewHeader{40, 100}, "interruptedByNewHeader(receivedSampleWords: 40, totalSampleWords: 100)"},
        {LocalCancelled{}, "localCancelled"},
        {RemoteCancelled{}, "remoteCancelled"},
        {UnexpectedEndOfFile{}, "unexpectedEndOfFile"},
    };
    for (const auto& [failure, text] : cases) EXPECT_EQ(describe(failure), text);
    EXPECT_EQ(SDSTransferFailure(RetryExhausted{SDSRetryCause::timeout, 1}),
              SDSTransferFailure(RetryExhausted{SDSRetryCause::timeout, 1}));
    EXPECT_NE(SDSTransferFailure(RetryExhausted{SDSRetryCause::timeout, 1}),
              SDSTransferFailure(RetryExhausted{SDSRetryCause::invalidPacket, 1}));
}

}  // namespace
}  // namespace k7

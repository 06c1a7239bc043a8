#include "V7Aruviv/Stores/AudioSDSEnvelope.h"

#include <gtest/gtest.h>

#include "K7Core/SDSError.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "SDSTestDumps.h"

namespace k7 {
namespace {

constexpr uint16_t sampleNumber = 5;

SDSDumpHeaderMessage headerFor(bool extended, uint8_t bits, uint32_t words) {
    if (extended) return SDSExtendedDumpHeader(0, sampleNumber, bits, 44100, words, 0, 0, 0x7F, 1);
    return SDSDumpHeader(0, sampleNumber, bits, 44100, words, 0, 0, 0x7F);
}

struct Shape {
    bool extended;
    bool named;
    bool preamble;
    bool endOfFile;
};

// The estimate must match the sender byte for byte, or the progress plan of a send would be wrong.
TEST(AudioSDSEnvelope, EstimateEqualsWhatTheSenderPutsOnTheWire) {
    const std::vector<Bytes> spsName{
        SPS1UWFileNameMessage(0, sampleNumber, SPS1UWFileName::normalizing("Kick.wav")).encode()};
    int checked = 0;
    for (uint8_t bits : {8, 14, 16, 21, 24, 28}) {
        for (uint32_t words : {0u, 1u, 29u, 30u, 31u, 40u, 60u, 61u, 100u, 1000u}) {
            for (int shapeBits = 0; shapeBits < 16; ++shapeBits) {
                const Shape shape{(shapeBits & 1) != 0, (shapeBits & 2) != 0, (shapeBits & 4) != 0,
                                  (shapeBits & 8) != 0};
                const auto header = headerFor(shape.extended, bits, words);
                std::optional<SDSSampleNameMessage> name;
                if (shape.named) name = SDSSampleNameMessage(0, sampleNumber, "Kick drum");
                const std::vector<Bytes> preamble = shape.preamble ? spsName : std::vector<Bytes>{};
                const auto configuration = test::openLoop(shape.endOfFile);

                const AudioSDSEnvelope envelope{header, name, preamble, bits, words};
                const SDSSenderStateMachine sender(header, std::vector<int32_t>(words, 0), name, preamble,
                                                   configuration);
                int64_t sentBytes = 0;
                for (const auto& message : test::sentMessages(sender)) sentBytes += static_cast<int64_t>(message.size());

                const std::string label = "bits " + std::to_string(bits) + ", words " + std::to_string(words) +
                                          ", extended " + std::to_string(shape.extended) + ", name " +
                                          std::to_string(shape.named) + ", preamble " + std::to_string(shape.preamble) +
                                          ", eof " + std::to_string(shape.endOfFile);
                EXPECT_EQ(envelope.estimatedWireBytes(configuration), sender.totalWireBytes()) << label;
                EXPECT_EQ(sender.totalWireBytes(), sentBytes) << label;
                ++checked;
            }
        }
    }
    EXPECT_EQ(checked, 6 * 10 * 16);
}

TEST(AudioSDSEnvelope, SixteenBitPacketsHoldFortyWords) {
    const auto header = headerFor(false, 16, 100);
    const AudioSDSEnvelope envelope{header, std::nullopt, {}, 16, 100};
    const auto headerBytes = static_cast<int64_t>(header.encode().size());
    EXPECT_EQ(envelope.estimatedWireBytes(test::openLoop(false)), headerBytes + 3 * 127);
    EXPECT_EQ(envelope.estimatedWireBytes(test::openLoop(true)), headerBytes + 3 * 127 + 6);
    const AudioSDSEnvelope empty{header, std::nullopt, {}, 16, 0};
    EXPECT_EQ(empty.estimatedWireBytes(test::openLoop(false)), headerBytes);
}

TEST(AudioSDSEnvelope, BitsOutsideTheFormatThrow) {
    for (uint8_t bits : {0, 7, 29, 255}) {
        const AudioSDSEnvelope envelope{headerFor(false, 16, 10), std::nullopt, {}, bits, 10};
        try {
            envelope.estimatedWireBytes(test::openLoop(false));
            FAIL() << int(bits);
        } catch (const SDSError& error) {
            EXPECT_EQ(error, SDSError(SDSError::ValueOutOfRange{"significantBits", bits, 28})) << error.describe();
        }
    }
}

}  // namespace
}  // namespace k7

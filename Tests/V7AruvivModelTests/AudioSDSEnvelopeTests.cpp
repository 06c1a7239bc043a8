#include "V7Aruviv/Stores/AudioSDSEnvelope.h"

#include <gtest/gtest.h>

#include "K7Core/SDS/SDSError.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "SDSTestDumps.h"

namespace k7 {
namespace {

constexpr uint16_t sampleNumber = 5;

SDSDumpHeaderMessage headerFor(bool extended, uint8_t bits, uint32_t words) {
    if (extended) return SDSExtendedDumpHeader(0, sampleNumber, bits, 44100, words, 0, 0, 0x7F, 1);
    return SDSDumpHeader(0, sampleNumber, bits, 44100, words, 0, 0, 0x7F);
}

// The progress plan of a send relies on the estimate matching the sender byte for byte.
TEST(AudioSDSEnvelope, EstimateEqualsWhatTheSenderPutsOnTheWire) {
    // Word counts at the packet edges of each word width (2, 3 and 4 bytes a word).
    const struct {
        uint8_t bits;
        uint32_t words;
    } cases[] = {{8, 60}, {8, 61}, {14, 61}, {15, 40}, {21, 41}, {22, 30}, {28, 31}, {16, 0}, {16, 1}, {16, 1000}};
    const std::vector<Bytes> spsName{
        SPS1UWFileNameMessage(0, sampleNumber, SPS1UWFileName::normalizing("Kick.wav")).encode()};
    for (const auto& c : cases) {
        // Every combination of extended header, sample name, preamble and end of file.
        for (int shape = 0; shape < 16; ++shape) {
            SCOPED_TRACE("bits " + std::to_string(c.bits) + ", words " + std::to_string(c.words) + ", shape " +
                         std::to_string(shape));
            const auto header = headerFor((shape & 1) != 0, c.bits, c.words);
            std::optional<SDSSampleNameMessage> name;
            if ((shape & 2) != 0) name = SDSSampleNameMessage(0, sampleNumber, "Kick drum");
            const std::vector<Bytes> preamble = (shape & 4) != 0 ? spsName : std::vector<Bytes>{};
            const auto configuration = test::openLoop((shape & 8) != 0);

            const SDSSenderStateMachine sender(header, std::vector<int32_t>(c.words, 0), name, preamble, configuration);
            int64_t sentBytes = 0;
            for (const auto& message : test::sentMessages(sender)) sentBytes += static_cast<int64_t>(message.size());
            EXPECT_EQ(sender.totalWireBytes(), sentBytes);
            EXPECT_EQ((AudioSDSEnvelope{header, name, preamble, c.bits, c.words}.estimatedWireBytes(configuration)),
                      sentBytes);
        }
    }
}

TEST(AudioSDSEnvelope, BitsOutsideTheFormatThrow) {
    for (uint8_t bits : {0, 7, 29, 255}) {
        const AudioSDSEnvelope envelope{headerFor(false, 16, 10), std::nullopt, {}, bits, 10};
        EXPECT_THROW(envelope.estimatedWireBytes(test::openLoop(false)), SDSError) << int(bits);
    }
}

}  // namespace
}  // namespace k7

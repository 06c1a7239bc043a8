#include "V7Aruviv/Stores/AudioSDSEnvelope.h"

#include "K7Core/SDS/SDSError.h"

namespace k7 {

namespace {
constexpr int64_t packetByteCount = 127;
constexpr int64_t packetPayloadBytes = 120;
constexpr int64_t endOfFileByteCount = 6;
}  // namespace

int64_t AudioSDSEnvelope::estimatedWireBytes(const SDSSenderConfiguration& configuration) const {
    if (significantBits < 8 || significantBits > 28) {
        throw SDSError(SDSError::ValueOutOfRange{"significantBits", significantBits, 28});
    }
    const int64_t bytesPerWord = (significantBits + 6) / 7;
    const int64_t wordsPerPacket = packetPayloadBytes / bytesPerWord;
    const int64_t words = sampleWordCount < 0 ? 0 : sampleWordCount;
    const int64_t packets = words / wordsPerPacket + (words % wordsPerPacket == 0 ? 0 : 1);

    int64_t total = static_cast<int64_t>(header.encodedByteCount());
    if (sampleName) total += static_cast<int64_t>(sampleName->encodedByteCount());
    for (const auto& message : supplementalPreambleMessages) total += static_cast<int64_t>(message.size());
    total += packets * packetByteCount;
    if (configuration.emitEndOfFile) total += endOfFileByteCount;
    return total;
}

}  // namespace k7

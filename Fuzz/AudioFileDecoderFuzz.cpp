// Any bytes into the audio decoder: it must either refuse them with AudioCodecError or return a
// sample that the encoder writes and the decoder reads back unchanged.

#include <cstdint>
#include <cstdlib>

#include "K7Core/Audio/AudioCodecError.h"
#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    k7::AudioSample sample;
    try {
        sample = k7::AudioFileDecoder::decode(k7::ByteView(data, size));
    } catch (const k7::AudioCodecError&) {
        return 0;
    }
    const std::size_t frames = sample.frameCount();
    if (sample.channelCount() < 1 || sample.channelCount() > 2 || frames == 0 || sample.sampleRate < 1) std::abort();
    for (const auto& channel : sample.channels) {
        if (channel.size() != frames) std::abort();
    }
    if (sample.loop && !sample.loop->fits(frames)) std::abort();

    const auto wav = k7::AudioFileEncoder::wav(sample, k7::AudioFileEncoder::WAVEncoding::integerPCM(32));
    const auto again = k7::AudioFileDecoder::decode(wav);
    if (again.channels != sample.channels || again.loop != sample.loop || again.sampleRate != sample.sampleRate) {
        std::abort();
    }
    const auto aiff = k7::AudioFileEncoder::aiff(sample, k7::AudioFileEncoder::AIFFEncoding::integerPCM(32));
    const auto fromAIFF = k7::AudioFileDecoder::decode(aiff);
    if (fromAIFF.channels != sample.channels || fromAIFF.loop != sample.loop) std::abort();
    return 0;
}

#include "K7Core/Audio/AudioFileEncoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "K7Core/Audio/AudioCodecError.h"

namespace k7 {

namespace {

constexpr std::size_t maximumFileBytes = 0xFFFFFFFFu;

class Writer {
public:
    explicit Writer(std::size_t capacity) { bytes_.reserve(capacity); }

    void fourCC(const char* id) { bytes_.insert(bytes_.end(), id, id + 4); }
    void u8(uint8_t value) { bytes_.push_back(value); }
    void u16LE(uint32_t value) { littleEndian(value, 2); }
    void u32LE(uint32_t value) { littleEndian(value, 4); }
    void u16BE(uint32_t value) { bigEndian(value, 2); }
    void u32BE(uint32_t value) { bigEndian(value, 4); }
    void pstring(const std::string& text) {
        u8(static_cast<uint8_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        if ((text.size() + 1) & 1) u8(0);
    }
    // IEEE 754 80-bit extended of a positive integer.
    void extended(uint32_t value) {
        int exponent = 31;
        while (!(value & (1u << exponent))) --exponent;
        u16BE(static_cast<uint32_t>(16383 + exponent));
        const uint64_t mantissa = static_cast<uint64_t>(value) << (63 - exponent);
        u32BE(static_cast<uint32_t>(mantissa >> 32));
        u32BE(static_cast<uint32_t>(mantissa));
    }
    void append(const uint8_t* data, std::size_t count) { bytes_.insert(bytes_.end(), data, data + count); }
    Bytes take() { return std::move(bytes_); }

private:
    void littleEndian(uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    void bigEndian(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
    Bytes bytes_;
};

std::size_t checkedFrames(const AudioSample& sample) {
    const int channels = static_cast<int>(sample.channelCount());
    if (channels < 1 || channels > 2) throw AudioCodecError(AudioCodecError::UnsupportedChannelCount{channels});
    if (channels == 2 && sample.channels[0].size() != sample.channels[1].size()) {
        throw AudioCodecError(
            AudioCodecError::ChannelLengthMismatch{sample.channels[0].size(), sample.channels[1].size()});
    }
    if (sample.sampleRate < 1) {
        throw AudioCodecError(AudioCodecError::InvalidSampleRate{std::to_string(sample.sampleRate)});
    }
    const std::size_t frames = sample.frameCount();
    if (frames == 0) throw AudioCodecError(AudioCodecError::NoFrames{});
    return frames;
}

void checkSize(const char* container, std::size_t required) {
    if (required > maximumFileBytes) {
        throw AudioCodecError(AudioCodecError::OutputTooLarge{container, required, maximumFileBytes});
    }
}

// Stores the top `Count` bytes of the value, most significant first in big-endian order. A
// three-byte store writes a whole word, so the byte after it must exist and be written later.
template <std::size_t Count, bool BigEndian>
void storeTopBytes(uint8_t* to, uint32_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        const uint32_t word = BigEndian ? __builtin_bswap32(value) : value >> (32 - 8 * Count);
        if constexpr (Count == 1) {
            *to = static_cast<uint8_t>(word);
        } else if constexpr (Count == 2) {
            const auto half = static_cast<uint16_t>(word);
            std::memcpy(to, &half, 2);
        } else {
            std::memcpy(to, &word, 4);
        }
    } else {
        for (std::size_t i = 0; i < Count; ++i) {
            to[BigEndian ? i : Count - 1 - i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    }
}

// Interleaves the top `BytesPerSample` bytes of each (masked, flipped) sample in the given byte
// order. Frames are encoded a block at a time into a small buffer and appended from there, so the
// output is never zero-filled first and the inner loop has whole-frame strides.
template <std::size_t BytesPerSample, std::size_t Channels, bool BigEndian>
void writeInterleaved(Writer& out, const AudioSample& sample, std::size_t frames, uint32_t mask, uint32_t flip) {
    constexpr std::size_t blockFrames = 1024;
    constexpr std::size_t frameBytes = BytesPerSample * Channels;
    uint8_t block[blockFrames * frameBytes + 4];  // room for the last sample's whole-word store
    const int32_t* channels[Channels];
    for (std::size_t c = 0; c < Channels; ++c) channels[c] = sample.channels[c].data();
    for (std::size_t start = 0; start < frames; start += blockFrames) {
        const std::size_t count = std::min(blockFrames, frames - start);
        for (std::size_t frame = 0; frame < count; ++frame) {
            for (std::size_t c = 0; c < Channels; ++c) {
                const uint32_t value = (static_cast<uint32_t>(channels[c][start + frame]) & mask) ^ flip;
                storeTopBytes<BytesPerSample, BigEndian>(block + frame * frameBytes + c * BytesPerSample, value);
            }
        }
        out.append(block, count * frameBytes);
    }
}

template <std::size_t BytesPerSample>
void writeInterleaved(Writer& out, const AudioSample& sample, std::size_t frames, uint32_t mask, uint32_t flip,
                      bool bigEndian) {
    const bool stereo = sample.channelCount() == 2;
    if (bigEndian) {
        stereo ? writeInterleaved<BytesPerSample, 2, true>(out, sample, frames, mask, flip)
               : writeInterleaved<BytesPerSample, 1, true>(out, sample, frames, mask, flip);
    } else {
        stereo ? writeInterleaved<BytesPerSample, 2, false>(out, sample, frames, mask, flip)
               : writeInterleaved<BytesPerSample, 1, false>(out, sample, frames, mask, flip);
    }
}

void writeInterleaved(Writer& out, const AudioSample& sample, std::size_t frames, std::size_t bytesPerSample,
                      uint32_t mask, uint32_t flip, bool bigEndian) {
    switch (bytesPerSample) {
        case 1: return writeInterleaved<1>(out, sample, frames, mask, flip, bigEndian);
        case 2: return writeInterleaved<2>(out, sample, frames, mask, flip, bigEndian);
        case 3: return writeInterleaved<3>(out, sample, frames, mask, flip, bigEndian);
        default: return writeInterleaved<4>(out, sample, frames, mask, flip, bigEndian);
    }
}

}  // namespace

Bytes AudioFileEncoder::wav(const AudioSample& sample, WAVEncoding encoding,
                            std::optional<uint32_t> loopSamplePeriodNanoseconds) {
    const int bits = encoding.bitDepth;
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        throw AudioCodecError(AudioCodecError::UnsupportedOutputBitDepth{"WAV", bits});
    }
    const std::size_t frames = checkedFrames(sample);
    const std::size_t channels = sample.channelCount();
    const std::size_t bytesPerSample = static_cast<std::size_t>(bits / 8);
    const std::size_t blockAlign = bytesPerSample * channels;
    const auto loop = sample.resolvedLoop(AudioLoopSelection::sourceFile);

    const std::size_t dataBytes = frames * blockAlign;
    const std::size_t smplBytes = loop ? 8 + 60 : 0;
    const std::size_t total = 12 + 8 + 16 + 8 + dataBytes + (dataBytes & 1) + smplBytes;
    checkSize("WAV", total);

    Writer out(total);
    out.fourCC("RIFF");
    out.u32LE(static_cast<uint32_t>(total - 8));
    out.fourCC("WAVE");
    out.fourCC("fmt ");
    out.u32LE(16);
    out.u16LE(1);
    out.u16LE(static_cast<uint32_t>(channels));
    out.u32LE(static_cast<uint32_t>(sample.sampleRate));
    out.u32LE(static_cast<uint32_t>(static_cast<uint64_t>(sample.sampleRate) * blockAlign));
    out.u16LE(static_cast<uint32_t>(blockAlign));
    out.u16LE(static_cast<uint32_t>(bits));
    out.fourCC("data");
    out.u32LE(static_cast<uint32_t>(dataBytes));
    // 8-bit WAV data are unsigned.
    writeInterleaved(out, sample, frames, bytesPerSample, 0xFFFFFFFFu, bits == 8 ? 0x80000000u : 0, false);
    if (dataBytes & 1) out.u8(0);
    if (loop) {
        const uint32_t period = loopSamplePeriodNanoseconds.value_or(
            static_cast<uint32_t>(std::lround(1e9 / static_cast<double>(sample.sampleRate))));
        out.fourCC("smpl");
        out.u32LE(60);
        out.u32LE(0);  // manufacturer
        out.u32LE(0);  // product
        out.u32LE(period);
        out.u32LE(60);  // unity note: middle C
        out.u32LE(0);   // pitch fraction
        out.u32LE(0);   // SMPTE format
        out.u32LE(0);   // SMPTE offset
        out.u32LE(1);   // loops
        out.u32LE(0);   // sampler data bytes
        out.u32LE(0);   // cue point ID
        out.u32LE(0);   // forward
        out.u32LE(static_cast<uint32_t>(loop->start));
        out.u32LE(static_cast<uint32_t>(loop->end));  // inclusive
        out.u32LE(0);                                 // fraction
        out.u32LE(0);                                 // play count: forever
    }
    return out.take();
}

Bytes AudioFileEncoder::aiff(const AudioSample& sample, AIFFEncoding encoding) {
    const int bits = encoding.significantBits;
    if (bits < 1 || bits > 32) throw AudioCodecError(AudioCodecError::UnsupportedOutputBitDepth{"AIFF", bits});
    const std::size_t frames = checkedFrames(sample);
    const std::size_t channels = sample.channelCount();
    const std::size_t bytesPerSample = static_cast<std::size_t>((bits + 7) / 8);
    const std::size_t frameBytes = bytesPerSample * channels;
    const auto loop = sample.resolvedLoop(AudioLoopSelection::sourceFile);

    const std::size_t dataBytes = frames * frameBytes;
    const std::size_t ssndBytes = 8 + dataBytes;
    const std::size_t loopBytes = loop ? (8 + 34) + (8 + 20) : 0;
    const std::size_t total = 12 + 8 + 18 + loopBytes + 8 + ssndBytes + (ssndBytes & 1);
    checkSize("AIFF", total);

    Writer out(total);
    out.fourCC("FORM");
    out.u32BE(static_cast<uint32_t>(total - 8));
    out.fourCC("AIFF");
    out.fourCC("COMM");
    out.u32BE(18);
    out.u16BE(static_cast<uint32_t>(channels));
    out.u32BE(static_cast<uint32_t>(frames));
    out.u16BE(static_cast<uint32_t>(bits));
    out.extended(static_cast<uint32_t>(sample.sampleRate));
    if (loop) {
        // Markers sit between frames: the loop runs from the first marker up to the second.
        out.fourCC("MARK");
        out.u32BE(34);
        out.u16BE(2);
        out.u16BE(1);
        out.u32BE(static_cast<uint32_t>(loop->start));
        out.pstring("beg loop");
        out.u16BE(2);
        out.u32BE(static_cast<uint32_t>(loop->end + 1));
        out.pstring("end loop");
        out.fourCC("INST");
        out.u32BE(20);
        for (uint8_t value : {60, 0, 0, 127, 1, 127}) out.u8(value);  // notes and velocities
        out.u16BE(0);                                                 // gain
        out.u16BE(1);                                                 // sustain loop: forward,
        out.u16BE(1);                                                 // from marker 1
        out.u16BE(2);                                                 // to marker 2
        out.u16BE(0);                                                 // no release loop
        out.u16BE(0);
        out.u16BE(0);
    }
    out.fourCC("SSND");
    out.u32BE(static_cast<uint32_t>(ssndBytes));
    out.u32BE(0);  // offset
    out.u32BE(0);  // block size
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : ~((1u << (32 - bits)) - 1);
    writeInterleaved(out, sample, frames, bytesPerSample, mask, 0, true);
    if (ssndBytes & 1) out.u8(0);
    return out.take();
}

}  // namespace k7

#include "K7Core/Audio/AudioFileDecoder.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <type_traits>

#include "K7Core/Audio/AudioCodecError.h"

namespace k7 {

namespace {

enum class Endian { little, big };
enum class Encoding { signedInteger, unsignedInteger, float32, float64 };

struct SampleLayout {
    int channels = 0;
    std::size_t containerBytes = 0;
    int bits = 0;
    Encoding encoding = Encoding::signedInteger;
    Endian endian = Endian::little;
};

struct Chunk {
    std::size_t offset = 0;  // of the chunk header
    ByteView body;
};

uint16_t readU16LE(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t readU32LE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
uint16_t readU16BE(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t readU32BE(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

// Chunk identifiers end up in user texts; garbage bytes must not.
std::string fourCCText(const uint8_t* p) {
    std::string text;
    for (int i = 0; i < 4; ++i) text += (p[i] >= 0x20 && p[i] <= 0x7E) ? static_cast<char>(p[i]) : '?';
    return text;
}

bool hasFourCC(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

std::string rateText(double rate) {
    if (std::isnan(rate)) return "nan";
    if (std::isinf(rate)) return rate < 0 ? "-inf" : "inf";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, rate);
    return std::string(buffer, result.ptr);
}

int checkedSampleRate(double rate) {
    if (!std::isfinite(rate) || !(rate > 0) || std::round(rate) < 1 || std::round(rate) > INT_MAX) {
        throw AudioCodecError(AudioCodecError::InvalidSampleRate{rateText(rate)});
    }
    return static_cast<int>(std::round(rate));
}

void checkChannelCount(int channels) {
    if (channels < 1 || channels > 2) throw AudioCodecError(AudioCodecError::UnsupportedChannelCount{channels});
}

// Walks the chunks of a RIFF or FORM container. A declared form size that disagrees with the file is
// common in the wild: a smaller one ends the walk (trailing bytes are not audio), a larger one is
// ignored, but every chunk must lie inside the file.
template <typename Visit>
void walkChunks(ByteView file, bool bigEndian, Visit visit) {
    const uint32_t formSize = bigEndian ? readU32BE(file.data() + 4) : readU32LE(file.data() + 4);
    const std::size_t declaredEnd = static_cast<std::size_t>(formSize) + 8;
    const std::size_t formEnd = (declaredEnd >= 12 && declaredEnd <= file.size()) ? declaredEnd : file.size();
    std::size_t offset = 12;
    while (formEnd - offset >= 8) {
        const uint8_t* header = file.data() + offset;
        const std::size_t size = bigEndian ? readU32BE(header + 4) : readU32LE(header + 4);
        const std::size_t available = file.size() - offset - 8;
        if (size > available) {
            throw AudioCodecError(AudioCodecError::ChunkOutOfBounds{fourCCText(header), offset, size, available});
        }
        visit(header, Chunk{offset, file.subspan(offset + 8, size)});
        // Odd-sized chunks are followed by a pad byte, which writers sometimes omit at the very end.
        offset += 8 + size + (size & 1);
        if (offset >= formEnd) break;
    }
}

// Integer containers of 1-4 bytes, placed at the top of 32 bits: the sample is left-justified in
// its container, so this is the shift to full scale for any bit depth.
template <std::size_t Bytes, Endian Order, bool Unsigned>
struct IntegerReader {
    static constexpr std::size_t containerBytes = Bytes;
    static int32_t read(const uint8_t* p) {
        uint32_t value = 0;
        for (std::size_t i = 0; i < Bytes; ++i) {
            const uint32_t byte = Order == Endian::little ? p[Bytes - 1 - i] : p[i];
            value |= byte << (24 - 8 * i);
        }
        if constexpr (Unsigned) value ^= 0x80000000u;
        return static_cast<int32_t>(value);
    }
};

// The rounding below relies on plain IEEE double arithmetic, evaluated at double precision.
static_assert(std::numeric_limits<double>::is_iec559 && FLT_EVAL_METHOD == 0);

// Clamped to [-1, 1] and scaled to 32-bit full scale, rounding half to even as std::nearbyint does
// in the default rounding mode, and saturating at the top. Adding and taking away 1.5 * 2^52
// rounds any |x| <= 2^31 to an integer in the current rounding mode: the sum has no fraction bits
// left. No branch and no library call, so the loops over samples vectorise.
int32_t fullScale(double value) {
    constexpr double roundingBias = 6755399441055744.0;
    const double number = value == value ? value : 0.0;  // NaN becomes silence
    const double clamped = std::min(std::max(number, -1.0), 1.0);
    const double rounded = (clamped * 2147483648.0 + roundingBias) - roundingBias;
    return static_cast<int32_t>(std::min(rounded, 2147483647.0));
}

template <typename Float, Endian Order>
struct FloatReader {
    static constexpr std::size_t containerBytes = sizeof(Float);
    static int32_t read(const uint8_t* p) {
        using Bits = std::conditional_t<sizeof(Float) == 4, uint32_t, uint64_t>;
        Bits bits;
        std::memcpy(&bits, p, sizeof bits);
        if constexpr (Order != nativeEndian) bits = byteSwapped(bits);
        Float value;
        std::memcpy(&value, &bits, sizeof value);
        return fullScale(static_cast<double>(value));
    }

    static constexpr Endian nativeEndian = std::endian::native == std::endian::little ? Endian::little : Endian::big;
    static uint32_t byteSwapped(uint32_t bits) { return __builtin_bswap32(bits); }
    static uint64_t byteSwapped(uint64_t bits) { return __builtin_bswap64(bits); }
};

// Each channel is sized first, then filled in one pass with fixed strides. Sizing zero-fills and
// so takes the page faults of the fresh memory up front, apart from the pass that streams the
// samples; filling without it, block by block, measured slower.
template <typename Reader, std::size_t Channels>
void deinterleave(const uint8_t* data, std::size_t frames, AudioSample& sample) {
    constexpr std::size_t stride = Reader::containerBytes * Channels;
    int32_t* out[Channels];
    for (std::size_t c = 0; c < Channels; ++c) {
        sample.channels[c].resize(frames);
        out[c] = sample.channels[c].data();
    }
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (std::size_t c = 0; c < Channels; ++c) {
            out[c][frame] = Reader::read(data + frame * stride + c * Reader::containerBytes);
        }
    }
}

template <typename Reader>
void deinterleave(const uint8_t* data, std::size_t frames, const SampleLayout& layout, AudioSample& sample) {
    if (layout.channels == 1) {
        deinterleave<Reader, 1>(data, frames, sample);
    } else {
        deinterleave<Reader, 2>(data, frames, sample);
    }
}

template <Endian Order>
void decodeSamples(const uint8_t* data, std::size_t frames, const SampleLayout& layout, AudioSample& sample) {
    const bool isUnsigned = layout.encoding == Encoding::unsignedInteger;
    switch (layout.encoding) {
        case Encoding::float32: return deinterleave<FloatReader<float, Order>>(data, frames, layout, sample);
        case Encoding::float64: return deinterleave<FloatReader<double, Order>>(data, frames, layout, sample);
        case Encoding::signedInteger:
        case Encoding::unsignedInteger: break;
    }
    switch (layout.containerBytes) {
        case 1:
            return isUnsigned ? deinterleave<IntegerReader<1, Order, true>>(data, frames, layout, sample)
                              : deinterleave<IntegerReader<1, Order, false>>(data, frames, layout, sample);
        case 2:
            return isUnsigned ? deinterleave<IntegerReader<2, Order, true>>(data, frames, layout, sample)
                              : deinterleave<IntegerReader<2, Order, false>>(data, frames, layout, sample);
        case 3:
            return isUnsigned ? deinterleave<IntegerReader<3, Order, true>>(data, frames, layout, sample)
                              : deinterleave<IntegerReader<3, Order, false>>(data, frames, layout, sample);
        default:
            return isUnsigned ? deinterleave<IntegerReader<4, Order, true>>(data, frames, layout, sample)
                              : deinterleave<IntegerReader<4, Order, false>>(data, frames, layout, sample);
    }
}

AudioSample makeSample(ByteView data, std::size_t frames, const SampleLayout& layout, int sampleRate) {
    AudioSample sample;
    sample.sampleRate = sampleRate;
    sample.sourceBitDepth = layout.bits;
    sample.sourceWasFloatingPoint = layout.encoding == Encoding::float32 || layout.encoding == Encoding::float64;
    sample.channels.resize(static_cast<std::size_t>(layout.channels));
    if (layout.endian == Endian::little) {
        decodeSamples<Endian::little>(data.data(), frames, layout, sample);
    } else {
        decodeSamples<Endian::big>(data.data(), frames, layout, sample);
    }
    return sample;
}

std::size_t containerBytesFor(int bits) { return static_cast<std::size_t>((bits + 7) / 8); }

void checkIntegerBits(int bits) {
    if (bits < 1 || bits > 32) throw AudioCodecError(AudioCodecError::UnsupportedBitDepth{bits, false});
}

// ---- WAV

constexpr uint16_t wavFormatPCM = 0x0001;
constexpr uint16_t wavFormatFloat = 0x0003;
constexpr uint16_t wavFormatExtensible = 0xFFFE;
// The GUID of an EXTENSIBLE sub-format after its leading 16-bit format tag.
constexpr uint8_t wavSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct WAVFormat {
    SampleLayout layout;
    int sampleRate = 0;
    std::size_t blockAlign = 0;
};

WAVFormat parseWAVFormat(ByteView fmt) {
    if (fmt.size() < 16) {
        throw AudioCodecError(AudioCodecError::MalformedChunk{
            "fmt ", "it is " + std::to_string(fmt.size()) + " bytes long, shorter than the 16 bytes it must hold"});
    }
    const uint8_t* p = fmt.data();
    uint16_t tag = readU16LE(p);
    const int channels = readU16LE(p + 2);
    const uint32_t rate = readU32LE(p + 4);
    const std::size_t blockAlign = readU16LE(p + 12);
    const int containerBits = readU16LE(p + 14);
    int bits = containerBits;

    if (tag == wavFormatExtensible) {
        if (fmt.size() < 40) {
            throw AudioCodecError(AudioCodecError::MalformedChunk{
                "fmt ", "it is " + std::to_string(fmt.size()) +
                            " bytes long, too short for the extensible format it declares"});
        }
        if (std::memcmp(p + 26, wavSubFormatTail, sizeof wavSubFormatTail) != 0) {
            throw AudioCodecError(AudioCodecError::UnsupportedFormatTag{tag});
        }
        tag = readU16LE(p + 24);
        const int validBits = readU16LE(p + 18);
        // Some writers leave the valid bits at zero, meaning the whole container.
        if (validBits != 0) bits = validBits;
        if (bits > containerBits) {
            throw AudioCodecError(AudioCodecError::MalformedChunk{
                "fmt ", std::to_string(bits) + " valid bits do not fit a " + std::to_string(containerBits) +
                            "-bit sample container"});
        }
    }
    checkChannelCount(channels);

    SampleLayout layout;
    layout.channels = channels;
    layout.endian = Endian::little;
    if (tag == wavFormatPCM) {
        checkIntegerBits(containerBits);
        layout.bits = bits;
        layout.containerBytes = containerBytesFor(containerBits);
        layout.encoding = containerBits <= 8 ? Encoding::unsignedInteger : Encoding::signedInteger;
    } else if (tag == wavFormatFloat) {
        if (containerBits != 32 && containerBits != 64) {
            throw AudioCodecError(AudioCodecError::UnsupportedBitDepth{containerBits, true});
        }
        layout.bits = containerBits;
        layout.containerBytes = containerBytesFor(containerBits);
        layout.encoding = containerBits == 32 ? Encoding::float32 : Encoding::float64;
    } else {
        throw AudioCodecError(AudioCodecError::UnsupportedFormatTag{tag});
    }
    if (blockAlign != layout.containerBytes * static_cast<std::size_t>(channels)) {
        throw AudioCodecError(AudioCodecError::MalformedChunk{
            "fmt ", "its block size of " + std::to_string(blockAlign) + " bytes does not match " +
                        std::to_string(channels) + " channel(s) of " + std::to_string(layout.containerBytes) +
                        " bytes"});
    }
    WAVFormat format;
    format.layout = layout;
    format.sampleRate = checkedSampleRate(static_cast<double>(rate));
    format.blockAlign = blockAlign;
    return format;
}

std::optional<AudioLoop> parseWAVLoop(ByteView smpl, std::size_t frames) {
    if (smpl.size() < 36 + 24) return std::nullopt;
    if (readU32LE(smpl.data() + 28) == 0) return std::nullopt;
    const AudioLoop loop{readU32LE(smpl.data() + 36 + 8), readU32LE(smpl.data() + 36 + 12)};
    if (!loop.fits(frames)) return std::nullopt;
    return loop;
}

AudioSample decodeWAV(ByteView file) {
    std::optional<Chunk> fmt, data, smpl;
    walkChunks(file, false, [&](const uint8_t* id, const Chunk& chunk) {
        if (hasFourCC(id, "fmt ") && !fmt) fmt = chunk;
        else if (hasFourCC(id, "data") && !data) data = chunk;
        else if (hasFourCC(id, "smpl") && !smpl) smpl = chunk;
    });
    if (!fmt) throw AudioCodecError(AudioCodecError::MissingChunk{"WAV", "fmt "});
    const WAVFormat format = parseWAVFormat(fmt->body);
    if (!data) throw AudioCodecError(AudioCodecError::MissingChunk{"WAV", "data"});
    // A partial frame at the end of the data is not a frame.
    const std::size_t frames = data->body.size() / format.blockAlign;
    if (frames == 0) throw AudioCodecError(AudioCodecError::NoFrames{});
    AudioSample sample = makeSample(data->body, frames, format.layout, format.sampleRate);
    if (smpl) sample.loop = parseWAVLoop(smpl->body, frames);
    return sample;
}

// ---- AIFF and AIFC

// IEEE 754 80-bit extended: sign, 15-bit exponent (bias 16383), 64-bit mantissa with an explicit
// integer bit.
double readExtended(const uint8_t* p) {
    const bool negative = p[0] & 0x80;
    const int exponent = (p[0] & 0x7F) << 8 | p[1];
    uint64_t mantissa = 0;
    for (int i = 0; i < 8; ++i) mantissa = mantissa << 8 | p[2 + i];
    double value;
    if (exponent == 0x7FFF) {
        value = (mantissa << 1) == 0 ? INFINITY : NAN;
    } else {
        value = std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
    }
    return negative ? -value : value;
}

struct AIFFFormat {
    SampleLayout layout;
    std::size_t frames = 0;
    int sampleRate = 0;
};

AIFFFormat parseAIFFFormat(ByteView comm, bool isAIFC) {
    const std::size_t minimum = isAIFC ? 22 : 18;
    if (comm.size() < minimum) {
        throw AudioCodecError(AudioCodecError::MalformedChunk{
            "COMM", "it is " + std::to_string(comm.size()) + " bytes long, shorter than the " +
                        std::to_string(minimum) + " bytes it must hold"});
    }
    const uint8_t* p = comm.data();
    const int channels = static_cast<int16_t>(readU16BE(p));
    const std::size_t frames = readU32BE(p + 2);
    int bits = static_cast<int16_t>(readU16BE(p + 6));
    const double rate = readExtended(p + 8);

    checkChannelCount(channels);
    AIFFFormat format;
    format.frames = frames;
    format.sampleRate = checkedSampleRate(rate);
    SampleLayout& layout = format.layout;
    layout.channels = channels;
    layout.endian = Endian::big;
    layout.encoding = Encoding::signedInteger;

    if (isAIFC) {
        const uint8_t* type = p + 18;
        if (hasFourCC(type, "NONE") || hasFourCC(type, "twos")) {
        } else if (hasFourCC(type, "sowt")) {
            layout.endian = Endian::little;
        } else if (hasFourCC(type, "in24")) {
            bits = 24;
        } else if (hasFourCC(type, "in32")) {
            bits = 32;
        } else if (hasFourCC(type, "raw ")) {
            bits = 8;
            layout.encoding = Encoding::unsignedInteger;
        } else if (hasFourCC(type, "fl32") || hasFourCC(type, "FL32")) {
            // The sample size of float files is not always filled in; the type decides.
            bits = 32;
            layout.encoding = Encoding::float32;
        } else if (hasFourCC(type, "fl64") || hasFourCC(type, "FL64")) {
            bits = 64;
            layout.encoding = Encoding::float64;
        } else {
            throw AudioCodecError(AudioCodecError::UnsupportedCompression{fourCCText(type)});
        }
    }
    if (layout.encoding == Encoding::signedInteger || layout.encoding == Encoding::unsignedInteger) {
        checkIntegerBits(bits);
    }
    layout.bits = bits;
    layout.containerBytes = containerBytesFor(bits);
    return format;
}

std::map<int, std::size_t> parseMarkers(ByteView mark) {
    std::map<int, std::size_t> positions;
    if (mark.size() < 2) return positions;
    const std::size_t count = readU16BE(mark.data());
    std::size_t offset = 2;
    for (std::size_t i = 0; i < count; ++i) {
        if (mark.size() - offset < 7) break;
        const int id = static_cast<int16_t>(readU16BE(mark.data() + offset));
        const std::size_t position = readU32BE(mark.data() + offset + 2);
        const std::size_t nameLength = mark[offset + 6];
        // The count byte and the text together take an even number of bytes.
        const std::size_t nameBytes = 1 + nameLength + ((1 + nameLength) & 1);
        positions.emplace(id, position);
        if (mark.size() - offset - 6 < nameBytes) break;
        offset += 6 + nameBytes;
    }
    return positions;
}

// Markers sit between frames; the loop plays from the begin marker up to, not including, the end
// marker.
std::optional<AudioLoop> parseAIFFLoop(const std::optional<Chunk>& mark, const std::optional<Chunk>& inst,
                                       std::size_t frames) {
    if (!mark || !inst || inst->body.size() < 20) return std::nullopt;
    const uint8_t* sustain = inst->body.data() + 8;
    if (readU16BE(sustain) == 0) return std::nullopt;
    const auto markers = parseMarkers(mark->body);
    const auto begin = markers.find(static_cast<int16_t>(readU16BE(sustain + 2)));
    const auto end = markers.find(static_cast<int16_t>(readU16BE(sustain + 4)));
    if (begin == markers.end() || end == markers.end()) return std::nullopt;
    if (end->second <= begin->second || end->second > frames) return std::nullopt;
    return AudioLoop{begin->second, end->second - 1};
}

AudioSample decodeAIFF(ByteView file, bool isAIFC) {
    std::optional<Chunk> comm, ssnd, mark, inst;
    walkChunks(file, true, [&](const uint8_t* id, const Chunk& chunk) {
        if (hasFourCC(id, "COMM") && !comm) comm = chunk;
        else if (hasFourCC(id, "SSND") && !ssnd) ssnd = chunk;
        else if (hasFourCC(id, "MARK") && !mark) mark = chunk;
        else if (hasFourCC(id, "INST") && !inst) inst = chunk;
    });
    const std::string container = isAIFC ? "AIFC" : "AIFF";
    if (!comm) throw AudioCodecError(AudioCodecError::MissingChunk{container, "COMM"});
    const AIFFFormat format = parseAIFFFormat(comm->body, isAIFC);
    if (format.frames == 0) throw AudioCodecError(AudioCodecError::NoFrames{});
    if (!ssnd) throw AudioCodecError(AudioCodecError::MissingChunk{container, "SSND"});
    if (ssnd->body.size() < 8) {
        throw AudioCodecError(AudioCodecError::MalformedChunk{
            "SSND", "it is " + std::to_string(ssnd->body.size()) + " bytes long, shorter than its 8-byte header"});
    }
    const std::size_t dataOffset = readU32BE(ssnd->body.data());
    if (dataOffset > ssnd->body.size() - 8) {
        throw AudioCodecError(AudioCodecError::MalformedChunk{
            "SSND", "its sound data would start " + std::to_string(dataOffset) + " bytes in, past the chunk's end"});
    }
    const ByteView data = ssnd->body.subspan(8 + dataOffset);
    const std::size_t frameBytes = format.layout.containerBytes * static_cast<std::size_t>(format.layout.channels);
    const std::size_t availableFrames = data.size() / frameBytes;
    if (availableFrames < format.frames) {
        throw AudioCodecError(AudioCodecError::TruncatedSoundData{format.frames, availableFrames});
    }
    AudioSample sample = makeSample(data, format.frames, format.layout, format.sampleRate);
    sample.loop = parseAIFFLoop(mark, inst, format.frames);
    return sample;
}

}  // namespace

AudioSample AudioFileDecoder::decode(ByteView file) {
    if (file.size() > maximumInputBytes) {
        throw AudioCodecError(AudioCodecError::InputTooLarge{file.size(), maximumInputBytes});
    }
    if (file.size() >= 12) {
        const uint8_t* p = file.data();
        if (hasFourCC(p, "RIFF") && hasFourCC(p + 8, "WAVE")) return decodeWAV(file);
        if (hasFourCC(p, "FORM") && hasFourCC(p + 8, "AIFF")) return decodeAIFF(file, false);
        if (hasFourCC(p, "FORM") && hasFourCC(p + 8, "AIFC")) return decodeAIFF(file, true);
    }
    throw AudioCodecError(AudioCodecError::UnrecognizedFormat{});
}

}  // namespace k7

#include "K7MIDI/SDS/SDSReceiveCompletion.h"

#include <array>
#include <cmath>
#include <limits>

namespace k7 {

namespace {

constexpr std::array<int, 16> commonRates{44100, 48000, 22050, 11025, 32000, 24000, 16000, 8000,
                                          96000, 88200, 12000, 6000,  4000,  5512,  176400, 192000};
constexpr uint8_t loopOff = 0x7F;

}  // namespace

std::optional<int> SDSReceiveCompletion::sampleRate(const SDSDumpHeaderMessage& header) {
    double rate = 0;
    if (const auto* classic = header.classic()) {
        const uint32_t period = classic->samplePeriodNanoseconds();
        for (int common : commonRates) {
            if (static_cast<uint32_t>(1'000'000'000LL / common) == period) return common;
        }
        rate = 1e9 / period;
    } else {
        rate = header.extended()->sampleRate();
    }
    const double rounded = std::round(rate);
    if (!(rounded >= 1) || rounded > std::numeric_limits<int>::max()) return std::nullopt;
    return static_cast<int>(rounded);
}

std::optional<AudioLoop> SDSReceiveCompletion::loop(const SDSDumpHeaderMessage& header) {
    uint64_t start = 0;
    uint64_t end = 0;
    uint8_t type = loopOff;
    if (const auto* classic = header.classic()) {
        start = classic->loopStart();
        end = classic->loopEnd();
        type = classic->loopType();
    } else {
        start = header.extended()->loopStart();
        end = header.extended()->loopEnd();
        type = header.extended()->loopType();
    }
    const AudioLoop result{static_cast<std::size_t>(start), static_cast<std::size_t>(end)};
    if (type == loopOff || !result.fits(static_cast<std::size_t>(header.announcedSampleWords()))) return std::nullopt;
    return result;
}

std::optional<SDSReceiveCompletion> SDSReceiveCompletion::make(SDSReceivedDump dump, SDSReceiveFormat format) {
    const int bits = dump.header.significantBits();
    std::vector<int32_t> normalized(dump.samples.size());
    for (std::size_t i = 0; i < normalized.size(); ++i) {
        normalized[i] = static_cast<int32_t>(static_cast<uint32_t>(dump.samples[i]) << (32 - bits));
    }

    std::optional<AudioSample> audio;
    if (format == SDSReceiveFormat::wav || format == SDSReceiveFormat::aiff) {
        const auto rate = sampleRate(dump.header);
        if (!rate) return std::nullopt;
        audio = AudioSample{*rate, {normalized}, bits, false, loop(dump.header)};
    }

    Bytes rawData;
    std::size_t total = 0;
    for (const Bytes& message : dump.messages) total += message.size();
    rawData.reserve(total);
    for (const Bytes& message : dump.messages) rawData.insert(rawData.end(), message.begin(), message.end());

    const uint16_t next = dump.nextSamplePosition();
    return SDSReceiveCompletion{format,
                                dump.header,
                                std::move(dump.sampleName),
                                std::move(dump.sps1UWName),
                                std::move(dump.samples),
                                {std::move(normalized)},
                                std::move(audio),
                                next,
                                std::move(dump.messages),
                                std::move(rawData)};
}

}  // namespace k7

#include "K7Core/DigiPRO/DigiPROEncoder.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "K7Core/DigiPRO/DigiPROEncodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/ElektronWire/ElektronMessagePrefixes.h"
#include "K7Core/ElektronWire/ElektronSevenBit.h"

namespace k7 {

// What is known (protocol notes, section B): the message layout, 7-bit encoding, checksum from the
// name onwards and the length field are confirmed by several independent implementations and by
// real banks; the payload as 2044 signed 24-bit big-endian points is agreed by two of them.
//
// What is chosen (section B.3/B.4, one emulator's generator, not confirmed by the maker): the 2044
// points are the cycle at nine resolutions, 1024 down to 4 points. Each table is resynthesised from
// the input's Fourier series: harmonics 1 ... min((N - 1) / 2, 511) for the full table, only those
// below half the table size for the smaller ones, never DC, so no table aliases. Everything is
// scaled so that the full table peaks at the level measured in factory banks, and the smaller tables
// get the high-harmonic lift measured there (the inverse of a 5-tap smoothing response). Points are
// rounded and clipped to 24 bits. The limit of 16384 input samples is this program's own; no
// source states one.

namespace {

constexpr std::size_t fullTableSize = 1024;
constexpr std::size_t maximumHarmonic = 511;

// Cosine and sine coefficients of harmonics 1 ... `harmonics` of one cycle of `samples`.
struct Spectrum {
    std::vector<double> cosine;
    std::vector<double> sine;
};

Spectrum analyse(std::span<const int32_t> samples, std::size_t harmonics) {
    const std::size_t n = samples.size();
    std::vector<double> cosTable(n), sinTable(n);
    for (std::size_t j = 0; j < n; ++j) {
        const double angle = 2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(n);
        cosTable[j] = std::cos(angle);
        sinTable[j] = std::sin(angle);
    }
    Spectrum spectrum{std::vector<double>(harmonics + 1), std::vector<double>(harmonics + 1)};
    for (std::size_t k = 1; k <= harmonics; ++k) {
        double c = 0, s = 0;
        std::size_t index = 0;  // k * j mod n, exact for any length
        for (std::size_t j = 0; j < n; ++j) {
            const double x = samples[j];
            c += x * cosTable[index];
            s += x * sinTable[index];
            index += k;
            if (index >= n) index -= n;
        }
        spectrum.cosine[k] = 2.0 * c / static_cast<double>(n);
        spectrum.sine[k] = 2.0 * s / static_cast<double>(n);
    }
    return spectrum;
}

double lift(std::size_t harmonic, std::size_t tableSize) {
    if (tableSize == fullTableSize) return 1.0;
    const double omega = 2.0 * std::numbers::pi * static_cast<double>(harmonic) / static_cast<double>(tableSize);
    const double response = 0.38022 + 2 * 0.20202 * std::cos(omega) + 2 * 0.10754 * std::cos(2 * omega);
    return 1.0 / response;
}

std::vector<double> resynthesise(const Spectrum& spectrum, std::size_t tableSize) {
    const std::size_t harmonics = std::min(spectrum.cosine.size() - 1, tableSize / 2 - 1);
    std::vector<double> cosTable(tableSize), sinTable(tableSize);
    for (std::size_t j = 0; j < tableSize; ++j) {
        const double angle = 2.0 * std::numbers::pi * static_cast<double>(j) / static_cast<double>(tableSize);
        cosTable[j] = std::cos(angle);
        sinTable[j] = std::sin(angle);
    }
    std::vector<double> table(tableSize, 0.0);
    for (std::size_t k = 1; k <= harmonics; ++k) {
        const double gain = lift(k, tableSize);
        const double c = spectrum.cosine[k] * gain, s = spectrum.sine[k] * gain;
        std::size_t index = 0;
        for (std::size_t m = 0; m < tableSize; ++m) {
            table[m] += c * cosTable[index] + s * sinTable[index];
            index += k;
            if (index >= tableSize) index -= tableSize;
        }
    }
    return table;
}

int32_t toPoint(double value) {
    const double limit = DigiPROWaveform::maximumPointValue;
    return static_cast<int32_t>(std::clamp(std::round(value), -limit, limit));
}

}  // namespace

Bytes DigiPROEncoder::encode(std::span<const int32_t> monoPCM32, int position, const SPS1UWFileName& name) {
    using Error = DigiPROEncodingError;
    if (monoPCM32.empty()) throw Error(Error::EmptySample{});
    if (monoPCM32.size() > maximumSampleCount) throw Error(Error::TooManySamples{monoPCM32.size(), maximumSampleCount});
    if (position < 0 || position > DigiPROWaveform::maximumPosition) throw Error(Error::InvalidPosition{position});

    const std::size_t harmonics = std::min((monoPCM32.size() - 1) / 2, maximumHarmonic);
    const Spectrum spectrum = analyse(monoPCM32, harmonics);
    std::vector<std::vector<double>> tables;
    for (std::size_t size : DigiPROWaveform::tableSizes) tables.push_back(resynthesise(spectrum, size));

    double peak = 0;
    for (double value : tables.front()) peak = std::max(peak, std::abs(value));
    // A cycle without any kept harmonic (DC only, or too short) renders as silence.
    const double scale = peak > 1e-9 ? factoryPeakLevel / peak : 0.0;

    Bytes raw;
    raw.reserve(DigiPROWaveform::rawPayloadByteCount);
    for (const auto& table : tables) {
        for (double value : table) {
            const auto point = static_cast<uint32_t>(toPoint(value * scale));
            raw.push_back(static_cast<uint8_t>(point >> 16));
            raw.push_back(static_cast<uint8_t>(point >> 8));
            raw.push_back(static_cast<uint8_t>(point));
        }
    }

    Bytes message(elektronDigiPROWaveformPrefix.begin(), elektronDigiPROWaveformPrefix.end());
    message.reserve(frameByteCount);
    message.push_back(static_cast<uint8_t>(position));
    message.insert(message.end(), name.bytes().begin(), name.bytes().end());
    ElektronSevenBit::encode(raw, message);
    const int checksum = DigiPROWaveform::checksum(message);
    message.push_back(static_cast<uint8_t>(checksum >> 7));
    message.push_back(static_cast<uint8_t>(checksum & 0x7F));
    message.push_back(static_cast<uint8_t>(DigiPROWaveform::lengthFieldValue >> 7));
    message.push_back(static_cast<uint8_t>(DigiPROWaveform::lengthFieldValue & 0x7F));
    message.push_back(sysExEnd);
    return message;
}

}  // namespace k7

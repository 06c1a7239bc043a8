#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <numeric>

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROEncoder.h"
#include "K7Core/DigiPRO/DigiPROEncodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"
#include "TestBytes.h"

namespace k7 {
namespace {

constexpr double pi = std::numbers::pi;

// One cycle of N samples made of the given (harmonic, amplitude) partials plus an offset.
std::vector<int32_t> cycle(std::size_t n, std::initializer_list<std::pair<int, double>> partials, double offset = 0) {
    std::vector<int32_t> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        double value = offset;
        for (auto [harmonic, amplitude] : partials) value += amplitude * std::sin(2 * pi * harmonic * double(i) / double(n));
        samples[i] = static_cast<int32_t>(std::lround(value * 2147483647.0));
    }
    return samples;
}

// The nine tables of a decoded waveform, full resolution first.
std::vector<std::vector<int32_t>> tables(const DigiPROWaveform& waveform) {
    const auto points = waveform.points();
    std::vector<std::vector<int32_t>> result;
    auto it = points.begin();
    for (std::size_t size : DigiPROWaveform::tableSizes) {
        result.emplace_back(it, it + static_cast<std::ptrdiff_t>(size));
        it += static_cast<std::ptrdiff_t>(size);
    }
    return result;
}

// Magnitude of harmonic k of a table, in the table's units.
double harmonicAmplitude(const std::vector<int32_t>& table, std::size_t k) {
    double c = 0, s = 0;
    for (std::size_t i = 0; i < table.size(); ++i) {
        c += table[i] * std::cos(2 * pi * double(k * i) / double(table.size()));
        s += table[i] * std::sin(2 * pi * double(k * i) / double(table.size()));
    }
    return 2 * std::hypot(c, s) / double(table.size());
}

const SPS1UWFileName saw = SPS1UWFileName::normalizing("SAW1.wav");

TEST(DigiPROEncoder, RoundTripsThroughTheDecoder) {
    const Bytes message = DigiPROEncoder::encode(cycle(600, {{1, 0.5}, {2, 0.25}}), 17, saw);
    ASSERT_EQ(message.size(), DigiPROEncoder::frameByteCount);
    const DigiPROWaveform waveform = DigiPROWaveform::decode(message);
    EXPECT_EQ(waveform.position, 17);
    EXPECT_EQ(waveform.name.text(), "SAW1");
    EXPECT_EQ(waveform.rawPayload.size(), 6132u);
    // Fixed fields: the opening, the length field 7017 and the end byte.
    EXPECT_TRUE(std::equal(ElektronSysEx::digiPROWaveformPrefix.begin(), ElektronSysEx::digiPROWaveformPrefix.end(),
                           message.begin()));
    EXPECT_EQ(Bytes(message.end() - 3, message.end()), (Bytes{0x36, 0x69, 0xF7}));
    // The checksum sums the name and the encoded payload, not the position.
    const unsigned sum = std::accumulate(message.begin() + 10, message.begin() + 7022, 0u);
    EXPECT_EQ(message[7022], (sum >> 7) & 0x7F);
    EXPECT_EQ(message[7023], sum & 0x7F);
    EXPECT_EQ(ElektronSysEx::validatedFamily(message), ElektronSysExFamily{elektron_family::DigiPROWaveform{}});
    // Changing the position byte retargets the waveform without touching the checksum.
    Bytes moved = message;
    moved[9] = 63;
    EXPECT_EQ(DigiPROWaveform::decode(moved).position, 63);
    EXPECT_EQ(DigiPROWaveform::decode(moved).rawPayload, waveform.rawPayload);
}

TEST(DigiPROEncoder, SineBecomesSineAtFactoryLevelInEveryTable) {
    for (std::size_t n : {3u, 600u, 1025u, 16384u}) {
        const auto decoded = tables(DigiPROWaveform::decode(DigiPROEncoder::encode(cycle(n, {{1, 0.9}}), 0, saw)));
        // Full resolution: the sine at the factory-bank peak of 795169, within rounding.
        for (std::size_t i = 0; i < 1024; ++i) {
            ASSERT_NEAR(decoded[0][i], 795169.0 * std::sin(2 * pi * double(i) / 1024), 1.5) << "N " << n << " point " << i;
        }
        // Smaller tables keep the phase and shape; their level is lifted for the playback filter.
        for (std::size_t t = 1; t < decoded.size(); ++t) {
            const auto& table = decoded[t];
            const double peak = *std::max_element(table.begin(), table.end());
            ASSERT_GT(peak, 795169.0 * 0.99);
            for (std::size_t i = 0; i < table.size(); ++i) {
                ASSERT_NEAR(table[i] / peak, std::sin(2 * pi * double(i) / double(table.size())), 1e-5)
                    << "N " << n << " table " << table.size() << " point " << i;
            }
        }
    }
}

TEST(DigiPROEncoder, TablesAreBandLimitedWithoutDCAndClipAt24Bits) {
    // Harmonic 90 fits tables of 256 points and more; in the 128-point table it would alias to 38.
    // The offset is DC, which no table may carry.
    const auto decoded = tables(DigiPROWaveform::decode(
        DigiPROEncoder::encode(cycle(200, {{3, 0.4}, {90, 0.4}}, 0.1), 5, saw)));
    for (const auto& table : decoded) {
        const double dc = std::accumulate(table.begin(), table.end(), 0.0) / double(table.size());
        EXPECT_NEAR(dc, 0.0, 1.0) << "table " << table.size();
        if (table.size() >= 8) {
            EXPECT_GT(harmonicAmplitude(table, 3), 100000.0) << "table " << table.size();
        }
        if (table.size() >= 256) {
            EXPECT_GT(harmonicAmplitude(table, 90), 100000.0) << "table " << table.size();
        } else if (table.size() > 90 % table.size()) {
            EXPECT_LT(harmonicAmplitude(table, 90 % table.size()), 2.0) << "table " << table.size();
        }
    }
    // Harmonics above (N - 1) / 2 cannot be told from lower ones in N samples and are dropped.
    const auto tiny = tables(DigiPROWaveform::decode(DigiPROEncoder::encode(std::vector<int32_t>{0, INT32_MAX}, 0, saw)));
    for (const auto& table : tiny) EXPECT_TRUE(std::all_of(table.begin(), table.end(), [](int32_t v) { return v == 0; }));
    // Harmonic 3 alone: the 8-point table lifts it past 24-bit full scale, where it clips.
    const auto lifted = tables(DigiPROWaveform::decode(DigiPROEncoder::encode(cycle(64, {{3, 1.0}}), 0, saw)));
    ASSERT_EQ(lifted[7].size(), 8u);
    EXPECT_EQ(*std::max_element(lifted[7].begin(), lifted[7].end()), 8388607);
    EXPECT_EQ(*std::min_element(lifted[7].begin(), lifted[7].end()), -8388607);
}

TEST(DigiPROEncoder, RefusesOutsideItsLimitsAndAcceptsThem) {
    using E = DigiPROEncodingError;
    const std::vector<std::tuple<std::size_t, int, E>> cases{
        {0, 0, E(E::EmptySample{})},
        {16385, 0, E(E::TooManySamples{16385, 16384})},
        {10, -1, E(E::InvalidPosition{-1})},
        {10, 64, E(E::InvalidPosition{64})},
    };
    for (const auto& [samples, position, expected] : cases) {
        const std::vector<int32_t> sample(samples, 1000);
        EXPECT_EQ(test::thrown<E>([&, position = position] { DigiPROEncoder::encode(sample, position, saw); }), expected);
    }
    EXPECT_NO_THROW(DigiPROEncoder::encode(cycle(16384, {{1, 1.0}}), 63, saw));
    EXPECT_NO_THROW(DigiPROEncoder::encode(std::vector<int32_t>{5}, 0, saw));
}

const Bytes& validMessage() {
    static const Bytes message = DigiPROEncoder::encode(cycle(300, {{1, 0.7}, {5, 0.2}}), 9, saw);
    return message;
}

TEST(DigiPROWaveform, RefusesDamagedMessages) {
    using DE = DigiPRODecodingError;
    const Bytes& valid = validMessage();
    const int stored = valid[7022] << 7 | valid[7023];
    const std::vector<std::pair<std::function<void(Bytes&)>, DE>> cases{
        {[](Bytes& m) { m.insert(m.begin() + 20, 0); }, DE(DE::InvalidLength{7027, 7028})},
        {[](Bytes& m) { m.clear(); }, DE(DE::InvalidLength{7027, 0})},
        {[](Bytes& m) { m[0] = 0x90; }, DE(DE::InvalidHeader{0, 0xF0, 0x90})},
        {[](Bytes& m) { m[5] = 0x01; }, DE(DE::InvalidHeader{5, 0x00, 0x01})},
        {[](Bytes& m) { m.back() = 0x00; }, DE(DE::InvalidEndByte{0x00})},
        {[](Bytes& m) { m[100] = 0xF7; }, DE(DE::NonSevenBitByte{100, 0xF7})},
        {[](Bytes& m) { m[9] = 0x80; }, DE(DE::NonSevenBitByte{9, 0x80})},
        {[](Bytes& m) { m[7022] |= 0x80; }, DE(DE::NonSevenBitByte{7022, static_cast<uint8_t>(valid[7022] | 0x80)})},
        {[](Bytes& m) { m[9] = 64; }, DE(DE::InvalidPosition{64})},
        {[](Bytes& m) { m[7025] = 0x6A; }, DE(DE::LengthFieldMismatch{7017, 7018})},
        {[](Bytes& m) { m[3000] ^= 0x01; },
         DE(DE::ChecksumMismatch{(stored + ((valid[3000] & 1) ? -1 : 1)) & 0x3FFF, stored})},
        {[](Bytes& m) { m[10] = 'X'; }, DE(DE::ChecksumMismatch{(stored + 'X' - 'S') & 0x3FFF, stored})},  // the name
        {[](Bytes& m) { m[7023] ^= 0x40; }, DE(DE::ChecksumMismatch{stored, stored ^ 0x40})},
    };
    for (const auto& [damage, expected] : cases) {
        Bytes message = valid;
        damage(message);
        EXPECT_EQ(test::thrown<DE>([&] { DigiPROWaveform::decode(message); }), expected);
        // A damaged waveform is never classified as one (it may still be some other Elektron message).
        EXPECT_NE(ElektronSysEx::validatedFamily(message), ElektronSysExFamily{elektron_family::DigiPROWaveform{}});
    }
    const DE incomplete(DE::InvalidLength{7027, 4000});
    EXPECT_STREQ(incomplete.what(), "The DigiPRO waveform message is 4000 bytes long, but 7027 bytes were expected.");
    EXPECT_EQ(incomplete.describe(), "invalidLength(expected: 7027, actual: 4000)");
}

}  // namespace
}  // namespace k7

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <limits>
#include <random>

#include "AudioTestSupport.h"
#include "K7Core/Audio/AudioFileDecoder.h"

namespace k7 {
namespace {

using namespace k7::test;

// The scaling of floating-point samples as documented: clamped to [-1, 1], scaled by 2^31 and
// rounded to nearest with ties to even, saturating at the top; NaN is silence.
int32_t nearestFullScale(double value) {
    if (std::isnan(value)) return 0;
    const double scaled = std::nearbyint(std::clamp(value, -1.0, 1.0) * 2147483648.0);
    return scaled >= 2147483647.0 ? INT32_MAX : static_cast<int32_t>(scaled);
}

// Mono files of the four floating-point encodings holding `values`.
std::vector<std::pair<std::string, Bytes>> floatFiles(const std::vector<double>& values) {
    const auto frames = static_cast<uint32_t>(values.size());
    return {
        {"WAV float32", riff({wavFmt(3, 1, 8000, 32, 4), riffChunk("data", floatSamples(values, 4, false))})},
        {"WAV float64", riff({wavFmt(3, 1, 8000, 64, 8), riffChunk("data", floatSamples(values, 8, false))})},
        {"AIFC fl32", form("AIFC", {aiffComm(1, frames, 32, 8000, "fl32"), aiffSsnd(floatSamples(values, 4, true))})},
        {"AIFC fl64", form("AIFC", {aiffComm(1, frames, 64, 8000, "fl64"), aiffSsnd(floatSamples(values, 8, true))})},
    };
}

std::vector<int32_t> expectedSamples(const std::string& name, const std::vector<double>& values) {
    std::vector<int32_t> out;
    const bool single = name.find("32") != std::string::npos;
    for (double value : values) {
        out.push_back(nearestFullScale(single ? static_cast<double>(static_cast<float>(value)) : value));
    }
    return out;
}

// Halfway cases round to even, neighbours of them to nearest, and everything at or past the ends
// clamps; infinities clamp and NaN of any sign or payload is silence, in every encoding.
TEST(AudioFloatScaling, RoundsHalfwayToEvenClampsAndSilencesNaN) {
    constexpr double step = 1.0 / 2147483648.0;
    std::vector<double> values{
        0.0, -0.0, 1.0, -1.0, 1.5, -1.5, 1e300, -1e300,
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
        std::numeric_limits<double>::signaling_NaN(), std::bit_cast<double>(0x7FF0000000000123ULL),
        std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min(),
        std::numeric_limits<double>::min(), 1.0 - step / 4, -1.0 + step / 4, 1.0 - step, -1.0 + step,
        std::nextafter(1.0, 0.0), std::nextafter(-1.0, 0.0), std::nextafter(1.0, 2.0), std::nextafter(-1.0, -2.0),
    };
    for (const double k : {0.0, 1.0, 2.0, 3.0, 1000.0, 1073741824.0, 2147483645.0, 2147483646.0, 2147483647.0}) {
        for (const double sign : {1.0, -1.0}) {
            const double half = sign * (k + 0.5) * step;
            values.insert(values.end(), {half, std::nextafter(half, 0.0), std::nextafter(half, sign * 2.0),
                                         sign * k * step, sign * (k + 0.25) * step, sign * (k + 0.75) * step});
        }
    }
    for (const auto& [name, file] : floatFiles(values)) {
        SCOPED_TRACE(name);
        const auto expected = expectedSamples(name, values);
        const auto decoded = AudioFileDecoder::decode(file).channels.at(0);
        ASSERT_EQ(decoded.size(), values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(decoded[i], expected[i]) << "value " << values[i] << " (" << std::hexfloat << values[i] << ")";
        }
    }
    // The extremes, spelled out.
    const Bytes extremes = floatFiles({0.5 * step, 1.5 * step, 1.0 - step / 4, -1.0, 1.0}).at(1).second;
    const auto decoded = AudioFileDecoder::decode(extremes);
    EXPECT_EQ(decoded.channels.at(0), (std::vector<int32_t>{0, 2, INT32_MAX, INT32_MIN, INT32_MAX}));
}

// Spread over every single-precision bit pattern, and random doubles around the range.
TEST(AudioFloatScaling, MatchesTheDefinitionAcrossTheWholeRange) {
    std::vector<double> singles, doubles;
    for (uint64_t pattern = 0; pattern <= UINT32_MAX; pattern += 4093) {
        singles.push_back(static_cast<double>(std::bit_cast<float>(static_cast<uint32_t>(pattern))));
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> around(-1.25, 1.25);
    for (int i = 0; i < 200000; ++i) doubles.push_back(around(random));
    for (const auto& [values, bits] : {std::pair{&singles, uint16_t{32}}, std::pair{&doubles, uint16_t{64}}}) {
        const Bytes data = floatSamples(*values, bits / 8, false);
        const Bytes file = riff({wavFmt(3, 1, 8000, bits, bits / 8), riffChunk("data", data)});
        const auto decoded = AudioFileDecoder::decode(file).channels.at(0);
        ASSERT_EQ(decoded.size(), values->size());
        std::size_t mismatches = 0;
        for (std::size_t i = 0; i < values->size(); ++i) {
            if (decoded[i] != nearestFullScale((*values)[i]) && ++mismatches <= 5) {
                ADD_FAILURE() << "value " << std::hexfloat << (*values)[i] << " gave " << decoded[i];
            }
        }
        EXPECT_EQ(mismatches, 0u) << bits << "-bit floats";
    }
}

}  // namespace
}  // namespace k7

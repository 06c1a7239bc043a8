#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "AudioTestSupport.h"
#include "K7Core/AudioFileDecoder.h"
#include "K7Core/AudioFileEncoder.h"

// Interoperability with an independent implementation: files written by sox are decoded here and
// compared with sox's own reading of them; files written here must be read by sox without a warning.

namespace k7 {
namespace {

namespace fs = std::filesystem;
using namespace k7::test;

// Runs a shell command with stderr merged into stdout; the output without its final line break.
std::pair<int, std::string> run(const std::string& command) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string output;
    char buffer[4096];
    for (std::size_t count; (count = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, count);
    const int status = pclose(pipe);
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return {status, output};
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::vector<int32_t> interleaved(const std::vector<std::vector<int32_t>>& channels) {
    std::vector<int32_t> values;
    for (std::size_t frame = 0; frame < channels.at(0).size(); ++frame) {
        for (const auto& channel : channels) values.push_back(channel[frame]);
    }
    return values;
}

class SoxInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (run("sox --version").first != 0) {
            const char* ci = std::getenv("CI");
            if (ci && std::string(ci) == "true") FAIL() << "sox is required in CI but could not be run";
            GTEST_SKIP() << "sox is not installed; the audio interoperability tests need it (scripts/bootstrap)";
        }
        std::string pattern = (fs::temp_directory_path() / "k7-sox-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override {
        if (!directory_.empty()) fs::remove_all(directory_);
    }

    // sox's own reading of a file as interleaved 32-bit samples.
    std::vector<int32_t> soxSamples(const fs::path& file) {
        const fs::path raw = directory_ / "reference.raw";
        const auto [status, output] = run("sox -D " + quoted(file) + " -t raw -e signed-integer -b 32 -L " + quoted(raw));
        EXPECT_EQ(status, 0) << output;
        const Bytes bytes = readFile(raw);
        std::vector<int32_t> values(bytes.size() / 4);
        std::memcpy(values.data(), bytes.data(), values.size() * 4);  // little-endian, as this machine
        return values;
    }
    std::string soxi(const std::string& option, const fs::path& file) {
        return run("soxi " + option + " " + quoted(file)).second;
    }

    fs::path directory_;
};

struct SoxWriteCase {
    const char* name;
    const char* options;  // sox output options
    int channels;
    int bits;
    bool floatingPoint;
    friend void PrintTo(const SoxWriteCase& c, std::ostream* os) { *os << c.name; }
};

class SoxWrittenFiles : public SoxInterop, public ::testing::WithParamInterface<SoxWriteCase> {};

TEST_P(SoxWrittenFiles, DecodeToWhatSoxReads) {
    const auto& c = GetParam();
    const fs::path file = directory_ / "generated";
    // White noise reaches every bit of every depth; the sine gives the second channel other content.
    const auto [status, output] = run("sox -D -R -n -r 22050 -c " + std::to_string(c.channels) + " " + c.options + " " +
                                      quoted(file) + " synth 0.05 whitenoise" + (c.channels == 2 ? " sine 661" : ""));
    ASSERT_EQ(status, 0) << output;

    const AudioSample sample = AudioFileDecoder::decode(readFile(file));
    EXPECT_EQ(sample.sampleRate, 22050);
    EXPECT_EQ(static_cast<int>(sample.channelCount()), c.channels);
    EXPECT_EQ(sample.sourceBitDepth, c.bits);
    EXPECT_EQ(sample.sourceWasFloatingPoint, c.floatingPoint);
    EXPECT_EQ(std::to_string(sample.frameCount()), soxi("-s", file));

    const auto reference = soxSamples(file);
    const auto decoded = interleaved(sample.channels);
    ASSERT_EQ(decoded.size(), reference.size());
    // Integer samples must match exactly; sox rounds floats to 32 bits slightly differently.
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (std::abs(int64_t{decoded[i]} - reference[i]) > (c.floatingPoint ? 1 : 0) && mismatches++ < 5) {
            ADD_FAILURE() << "sample " << i << ": decoded " << decoded[i] << ", sox " << reference[i];
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoxWrittenFiles,
                         ::testing::Values(SoxWriteCase{"wavUnsigned8", "-t wav -e unsigned-integer -b 8", 2, 8, false},
                                           SoxWriteCase{"wav16", "-t wav -e signed-integer -b 16", 2, 16, false},
                                           SoxWriteCase{"wav24Extensible", "-t wav -e signed-integer -b 24", 2, 24, false},
                                           SoxWriteCase{"wav24Plain", "-t wavpcm -e signed-integer -b 24", 1, 24, false},
                                           SoxWriteCase{"wav32Extensible", "-t wav -e signed-integer -b 32", 1, 32, false},
                                           SoxWriteCase{"wavFloat32", "-t wav -e floating-point -b 32", 2, 32, true},
                                           SoxWriteCase{"wavFloat64", "-t wav -e floating-point -b 64", 1, 64, true},
                                           SoxWriteCase{"aiff8", "-t aiff -b 8", 1, 8, false},
                                           SoxWriteCase{"aiff32", "-t aiff -b 32", 1, 32, false},
                                           SoxWriteCase{"aifcNone", "-t aifc -e signed-integer -b 16", 2, 16, false},
                                           SoxWriteCase{"aifcNone24", "-t aifc -e signed-integer -b 24", 1, 24, false},
                                           SoxWriteCase{"aifcFl32", "-t aifc -e floating-point -b 32", 2, 32, true},
                                           SoxWriteCase{"aifcFl64", "-t aifc -e floating-point -b 64", 1, 64, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class FilesWrittenHere : public SoxInterop, public ::testing::WithParamInterface<std::tuple<bool, int, int>> {};

TEST_P(FilesWrittenHere, ReadBySoxWithoutComplaint) {
    const auto [aiff, bits, channels] = GetParam();
    AudioSample sample = testSample(static_cast<std::size_t>(channels), 1001, AudioLoop{10, 500});
    sample.sampleRate = 32000;
    const fs::path file = directory_ / (aiff ? "written.aiff" : "written.wav");
    writeFile(file, aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(bits))
                         : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(bits), 31250u));

    // Anything sox prints while reading (at its default verbosity) is a complaint about the file.
    EXPECT_EQ(run("sox " + quoted(file) + " -n stat 2>&1 | grep -i -E 'warn|fail|error'").second, "") << "sox complained";
    EXPECT_EQ(soxi("-r", file), "32000");
    EXPECT_EQ(soxi("-c", file), std::to_string(channels));
    // sox reports the whole bytes a sample occupies, not the significant bits of an AIFF.
    EXPECT_EQ(soxi("-p", file), std::to_string((bits + 7) / 8 * 8));
    EXPECT_EQ(soxi("-s", file), "1001");
    // sox sees the same samples, reduced to the written bits.
    EXPECT_EQ(soxSamples(file), interleaved(keepTopBits(sample.channels, bits)));
}

INSTANTIATE_TEST_SUITE_P(Encodings, FilesWrittenHere,
                         ::testing::Values(std::tuple{false, 8, 1}, std::tuple{false, 16, 2}, std::tuple{false, 24, 1},
                                           std::tuple{false, 32, 2}, std::tuple{true, 12, 1}, std::tuple{true, 24, 1},
                                           std::tuple{true, 32, 2}),
                         [](const auto& info) {
                             return (std::get<0>(info.param) ? "aiff" : "wav") + std::to_string(std::get<1>(info.param)) +
                                    (std::get<2>(info.param) == 2 ? "Stereo" : "");
                         });

}  // namespace
}  // namespace k7

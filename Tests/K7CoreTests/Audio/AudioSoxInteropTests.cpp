#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "AudioTestSupport.h"
#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"

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

struct SoxCase {
    const char* name;
    const char* options;  // sox output options
    int channels;
    int bits;
    bool floatingPoint;
    friend void PrintTo(const SoxCase& c, std::ostream* os) { *os << c.name; }
};

class SoxRoundTrip : public ::testing::TestWithParam<SoxCase> {
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

// sox writes a file, which must decode to what sox reads of it; written back here in the same
// container and width, with a loop, sox must read it without complaint and see the same samples.
TEST_P(SoxRoundTrip, DecodesWhatSoxReadsAndWritesWhatSoxReadsBack) {
    const auto& c = GetParam();
    const fs::path file = directory_ / "generated";
    // White noise reaches every bit of every depth; the sine gives the second channel other content.
    const auto [status, output] = run("sox -D -R -n -r 22050 -c " + std::to_string(c.channels) + " " + c.options + " " +
                                      quoted(file) + " synth 0.05 whitenoise" + (c.channels == 2 ? " sine 661" : ""));
    ASSERT_EQ(status, 0) << output;
    AudioSample sample = AudioFileDecoder::decode(readFile(file));
    EXPECT_EQ(sample.sampleRate, 22050);
    EXPECT_EQ(static_cast<int>(sample.channelCount()), c.channels);
    EXPECT_EQ(sample.sourceBitDepth, c.bits);
    EXPECT_EQ(sample.sourceWasFloatingPoint, c.floatingPoint);
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
    if (c.floatingPoint) return;

    const bool aiff = std::string(c.options).find("-t ai") != std::string::npos;
    sample.loop = AudioLoop{10, 500};
    const fs::path written = directory_ / (aiff ? "written.aiff" : "written.wav");
    writeFile(written, aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(c.bits))
                            : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(c.bits)));
    // Anything sox prints while reading (at its default verbosity) is a complaint about the file.
    EXPECT_EQ(run("sox " + quoted(written) + " -n stat 2>&1 | grep -i -E 'warn|fail|error'").second, "");
    EXPECT_EQ(soxi("-r", written), "22050");
    EXPECT_EQ(soxi("-c", written), std::to_string(c.channels));
    EXPECT_EQ(soxi("-s", written), std::to_string(sample.frameCount()));
    EXPECT_EQ(soxSamples(written), decoded);
}

INSTANTIATE_TEST_SUITE_P(Formats, SoxRoundTrip,
                         ::testing::Values(SoxCase{"wavUnsigned8", "-t wav -e unsigned-integer -b 8", 2, 8, false},
                                           SoxCase{"wav16", "-t wav -e signed-integer -b 16", 2, 16, false},
                                           SoxCase{"wav24Extensible", "-t wav -e signed-integer -b 24", 2, 24, false},
                                           SoxCase{"wav24Plain", "-t wavpcm -e signed-integer -b 24", 1, 24, false},
                                           SoxCase{"wav32Extensible", "-t wav -e signed-integer -b 32", 1, 32, false},
                                           SoxCase{"wavFloat32", "-t wav -e floating-point -b 32", 2, 32, true},
                                           SoxCase{"wavFloat64", "-t wav -e floating-point -b 64", 1, 64, true},
                                           SoxCase{"aiff8", "-t aiff -b 8", 1, 8, false},
                                           SoxCase{"aiff32", "-t aiff -b 32", 2, 32, false},
                                           SoxCase{"aifcNone", "-t aifc -e signed-integer -b 16", 2, 16, false},
                                           SoxCase{"aifcNone24", "-t aifc -e signed-integer -b 24", 1, 24, false},
                                           SoxCase{"aifcFl32", "-t aifc -e floating-point -b 32", 2, 32, true},
                                           SoxCase{"aifcFl64", "-t aifc -e floating-point -b 64", 1, 64, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace k7

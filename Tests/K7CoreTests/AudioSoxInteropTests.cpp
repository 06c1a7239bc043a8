#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "AudioTestSupport.h"
#include "K7Core/AudioCodecError.h"
#include "K7Core/AudioFileDecoder.h"
#include "K7Core/AudioFileEncoder.h"

// Interoperability with an independent implementation: files written by sox are decoded here and
// compared with sox's own reading of them; files written here must be read by sox without a warning.

namespace k7 {
namespace {

namespace fs = std::filesystem;
using namespace k7::test;

struct CommandResult {
    int status;
    std::string output;
};

// Runs a shell command; stdout is captured, stderr is merged into it.
CommandResult run(const std::string& command) {
    CommandResult result{-1, {}};
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    std::size_t count;
    while ((count = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.output.append(buffer.data(), count);
    result.status = pclose(pipe);
    return result;
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

class SoxInterop : public ::testing::Test {
protected:
    void SetUp() override {
        if (run("sox --version").status != 0) {
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
        const auto result = run("sox -D " + quoted(file) + " -t raw -e signed-integer -b 32 -L " + quoted(raw));
        EXPECT_EQ(result.status, 0) << result.output;
        const Bytes bytes = readFile(raw);
        std::vector<int32_t> values(bytes.size() / 4);
        std::memcpy(values.data(), bytes.data(), values.size() * 4);  // little-endian, as this machine
        return values;
    }

    std::string soxi(const std::string& option, const fs::path& file) {
        auto result = run("soxi " + option + " " + quoted(file));
        EXPECT_EQ(result.status, 0) << result.output;
        while (!result.output.empty() && std::isspace(static_cast<unsigned char>(result.output.back()))) {
            result.output.pop_back();
        }
        return result.output;
    }

    fs::path directory_;
};

std::vector<int32_t> interleaved(const std::vector<std::vector<int32_t>>& channels) {
    std::vector<int32_t> values;
    for (std::size_t frame = 0; frame < channels.at(0).size(); ++frame) {
        for (const auto& channel : channels) values.push_back(channel[frame]);
    }
    return values;
}

struct SoxWriteCase {
    const char* name;
    const char* options;  // sox output options
    const char* extension;
    int channels;
    int bits;
    bool floatingPoint;
    friend void PrintTo(const SoxWriteCase& c, std::ostream* os) { *os << c.name; }
};

class SoxWrittenFiles : public SoxInterop, public ::testing::WithParamInterface<SoxWriteCase> {};

TEST_P(SoxWrittenFiles, DecodeToWhatSoxReads) {
    const auto& c = GetParam();
    const fs::path file = directory_ / (std::string("generated.") + c.extension);
    // White noise reaches every bit of every depth; the sine gives the second channel other content.
    const std::string synth = c.channels == 1 ? "synth 0.05 whitenoise" : "synth 0.05 whitenoise sine 661";
    const auto made = run("sox -D -R -n -r 22050 -c " + std::to_string(c.channels) + " " + c.options + " " +
                          quoted(file) + " " + synth);
    ASSERT_EQ(made.status, 0) << made.output;

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
    const int64_t tolerance = c.floatingPoint ? 1 : 0;
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (std::abs(static_cast<int64_t>(decoded[i]) - reference[i]) > tolerance && mismatches++ < 5) {
            ADD_FAILURE() << "sample " << i << ": decoded " << decoded[i] << ", sox " << reference[i];
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, SoxWrittenFiles,
    ::testing::Values(SoxWriteCase{"wavUnsigned8", "-t wav -e unsigned-integer -b 8", "wav", 2, 8, false},
                      SoxWriteCase{"wav16", "-t wav -e signed-integer -b 16", "wav", 2, 16, false},
                      SoxWriteCase{"wav24Extensible", "-t wav -e signed-integer -b 24", "wav", 2, 24, false},
                      SoxWriteCase{"wav24Plain", "-t wavpcm -e signed-integer -b 24", "wav", 1, 24, false},
                      SoxWriteCase{"wav32Extensible", "-t wav -e signed-integer -b 32", "wav", 1, 32, false},
                      SoxWriteCase{"wavFloat32", "-t wav -e floating-point -b 32", "wav", 2, 32, true},
                      SoxWriteCase{"wavFloat64", "-t wav -e floating-point -b 64", "wav", 1, 64, true},
                      SoxWriteCase{"aiff8", "-t aiff -b 8", "aiff", 1, 8, false},
                      SoxWriteCase{"aiff32", "-t aiff -b 32", "aiff", 1, 32, false},
                      SoxWriteCase{"aifcNone", "-t aifc -e signed-integer -b 16", "aifc", 2, 16, false},
                      SoxWriteCase{"aifcNone24", "-t aifc -e signed-integer -b 24", "aifc", 1, 24, false},
                      SoxWriteCase{"aifcFl32", "-t aifc -e floating-point -b 32", "aifc", 2, 32, true},
                      SoxWriteCase{"aifcFl64", "-t aifc -e floating-point -b 64", "aifc", 1, 64, true}),
    [](const auto& info) { return std::string(info.param.name); });

// sox does not write these AIFC types but reads them; hand-made files must read the same here.
TEST_F(SoxInterop, HandMadeTwosAndSowtReadAsSoxReadsThem) {
    for (const std::string type : {"twos", "sowt"}) {
        Bytes data;
        for (int16_t v : {0, 1000, -1000, 32767, -32768, 12345}) {
            data = concat({data, type == "sowt" ? le(static_cast<uint16_t>(v), 2) : be(static_cast<uint16_t>(v), 2)});
        }
        const fs::path file = directory_ / (type + ".aifc");
        writeFile(file, form("AIFC", {formChunk("FVER", be(0xA2805140, 4)), aiffComm(2, 3, 16, 8000, type), aiffSsnd(data)}));
        EXPECT_EQ(interleaved(AudioFileDecoder::decode(readFile(file)).channels), soxSamples(file)) << type;
    }
}

struct EncodeCase {
    const char* name;
    bool aiff;
    int bits;
    int channels;
    friend void PrintTo(const EncodeCase& c, std::ostream* os) { *os << c.name; }
};

class FilesWrittenHere : public SoxInterop, public ::testing::WithParamInterface<EncodeCase> {};

TEST_P(FilesWrittenHere, ReadBySoxWithoutComplaint) {
    const auto& c = GetParam();
    AudioSample sample = testSample(static_cast<std::size_t>(c.channels), 1001, AudioLoop{10, 500});
    sample.sampleRate = 32000;
    const Bytes bytes = c.aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(c.bits))
                               : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(c.bits), 31250u);
    const fs::path file = directory_ / (c.aiff ? "written.aiff" : "written.wav");
    writeFile(file, bytes);

    // Anything sox prints while reading (at its default verbosity) is a complaint about the file.
    const auto read = run("sox " + quoted(file) + " -n stat 2>&1 | grep -i -E 'warn|fail|error'");
    EXPECT_EQ(read.output, "") << "sox complained";
    EXPECT_EQ(soxi("-r", file), "32000");
    EXPECT_EQ(soxi("-c", file), std::to_string(c.channels));
    // sox reports the whole bytes a sample occupies, not the significant bits of an AIFF.
    EXPECT_EQ(soxi("-p", file), std::to_string((c.bits + 7) / 8 * 8));
    EXPECT_EQ(soxi("-s", file), "1001");

    // sox sees the same samples, reduced to the written bits.
    EXPECT_EQ(soxSamples(file), interleaved(keepTopBits(sample.channels, c.bits)));
}

INSTANTIATE_TEST_SUITE_P(Encodings, FilesWrittenHere,
                         ::testing::Values(EncodeCase{"wav8", false, 8, 1}, EncodeCase{"wav16Stereo", false, 16, 2},
                                           EncodeCase{"wav24", false, 24, 1}, EncodeCase{"wav32Stereo", false, 32, 2},
                                           EncodeCase{"aiff12", true, 12, 1},
                                           EncodeCase{"aiff24", true, 24, 1}, EncodeCase{"aiff32Stereo", true, 32, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace k7

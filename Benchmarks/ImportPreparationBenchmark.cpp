#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "V7Aruviv/Stores/AppModel.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own under the temporary folder, removed at the end.
class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "v764-import-benchmark-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
        path_ = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path write(const std::string& name, const k7::Bytes& bytes) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    fs::path path_;
};

void appendLE(k7::Bytes& bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Mono 16-bit PCM at 44100 Hz, `dataBytes` of samples.
k7::Bytes wav(uint32_t dataBytes) {
    k7::Bytes file;
    file.reserve(dataBytes + 44);
    for (char c : std::string("RIFF")) file.push_back(static_cast<uint8_t>(c));
    appendLE(file, 36 + dataBytes, 4);
    for (char c : std::string("WAVEfmt ")) file.push_back(static_cast<uint8_t>(c));
    appendLE(file, 16, 4);
    appendLE(file, 1, 2);
    appendLE(file, 1, 2);
    appendLE(file, 44100, 4);
    appendLE(file, 88200, 4);
    appendLE(file, 2, 2);
    appendLE(file, 16, 2);
    for (char c : std::string("data")) file.push_back(static_cast<uint8_t>(c));
    appendLE(file, dataBytes, 4);
    for (uint32_t i = 0; i < dataBytes; ++i) file.push_back(static_cast<uint8_t>(i * 31));
    return file;
}

void run(benchmark::State& state, const std::vector<fs::path>& urls, std::size_t expectedItems, int64_t bytes) {
    for (auto _ : state) {
        auto prepared = k7::AppModel::prepareImport(urls);
        if (prepared.items.size() != expectedItems) state.SkipWithError("the batch was not prepared whole");
        benchmark::DoNotOptimize(prepared);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}

// 1,000 files of one small Elektron message each (a Machinedrum kit header and 64 data bytes).
void BM_PrepareImportThousandSysExFiles(benchmark::State& state) {
    Folder folder;
    std::vector<fs::path> urls;
    int64_t bytes = 0;
    for (int i = 0; i < 1000; ++i) {
        k7::Bytes message{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x52};
        for (int k = 0; k < 64; ++k) message.push_back(static_cast<uint8_t>((i + k) & 0x7F));
        message.push_back(0xF7);
        bytes += static_cast<int64_t>(message.size());
        urls.push_back(folder.write("dump-" + std::to_string(i) + ".syx", message));
    }
    run(state, urls, 1000, bytes);
}

// One WAV of 100 MB: read in bounded chunks, sniffed and decoded.
void BM_PrepareImportHundredMegabyteWAV(benchmark::State& state) {
    Folder folder;
    const auto file = folder.write("long.wav", wav(100000000));
    run(state, {file}, 1, static_cast<int64_t>(fs::file_size(file)));
}

BENCHMARK(BM_PrepareImportThousandSysExFiles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PrepareImportHundredMegabyteWAV)->Unit(benchmark::kMillisecond);

}  // namespace

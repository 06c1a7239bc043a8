#pragma once

// The rig first: its simulated studio has a member named like Qt's emit macro.
#include "Support/Model/AppModelRig.h"

#include <QUuid>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "K7Core/Audio/AudioSample.h"
#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Models/TransferItem.h"

namespace k7::test {

// A model with nothing to detect at start-up, so it is idle from the first pump.
inline testing::AppModelRig::Options idleRig() {
    testing::AppModelRig::Options options;
    options.automaticallyDetectTurbo = false;
    return options;
}

// A fresh folder under the system's temporary folder, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "v7aruviv-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
        path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline void writeFile(const std::filesystem::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

inline std::optional<std::string> readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Every entry of a folder, hidden ones included, with a file's contents ("<folder>" for a folder):
// what "the folder as it was" means in a test.
inline std::map<std::string, std::string> snapshot(const std::filesystem::path& folder) {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        entries[name] = entry.is_directory() ? "<folder>" : readFile(entry.path()).value_or("<unreadable>");
    }
    return entries;
}

// A SysEx item as a receive leaves it: no file yet.
inline TransferItem receivedItem(const std::string& name, const std::string& contents) {
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = name;
    item.kind = TransferItem::Kind::sysEx;
    item.data = bytesOf(contents);
    item.byteCount = static_cast<int64_t>(item.data.size());
    item.state = TransferItem::State::Received{};
    return item;
}

// Audio decoded at 44.1 kHz with 16 source bits; a second channel when `right` is given.
inline TransferItem audioItem(const std::string& name, std::vector<int32_t> left,
                              std::optional<AudioLoop> loop = std::nullopt,
                              std::optional<std::vector<int32_t>> right = std::nullopt) {
    AudioSample audio;
    audio.sampleRate = 44100;
    audio.sourceBitDepth = 16;
    audio.channels.push_back(std::move(left));
    if (right) audio.channels.push_back(std::move(*right));
    audio.loop = loop;
    TransferItem item;
    item.id = QUuid::createUuid();
    item.displayName = name;
    item.kind = name.ends_with(".aif") ? TransferItem::Kind::aiff : TransferItem::Kind::wav;
    item.audioSample = std::move(audio);
    item.data = bytesOf("RIFF");
    item.byteCount = 4;
    return item;
}

// One period of a sawtooth per `period` samples, `count` samples in all, in 32-bit full scale.
inline std::vector<int32_t> sawtooth(std::size_t count, std::size_t period = 64) {
    std::vector<int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = static_cast<double>(i % period) / static_cast<double>(period);
        samples[i] = static_cast<int32_t>((phase * 2.0 - 1.0) * 1.0e9);
    }
    return samples;
}

}  // namespace k7::test

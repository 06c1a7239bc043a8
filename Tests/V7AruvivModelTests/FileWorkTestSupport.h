#pragma once

// Files, folders and items for the tests of saving and conversion.

#include "AppModelTestHelpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Audio/AudioSample.h"
#include "Support/Model/TemporaryFolder.h"
#include "V7Aruviv/Stores/PersistedOpenItem.h"
#include "V7Aruviv/Stores/SaveSystemCalls.h"

namespace k7::testing {

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
using FolderSnapshot = std::map<std::string, std::string>;
inline FolderSnapshot snapshot(const std::filesystem::path& folder) {
    FolderSnapshot entries;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        entries[name] = entry.is_directory() ? "<folder>" : readFile(entry.path()).value_or("<unreadable>");
    }
    return entries;
}

// Saving's own calls again once the case is over.
struct RestoredSystemCalls {
    SaveSystemCalls saved = SaveSystemCalls::current();
    ~RestoredSystemCalls() { SaveSystemCalls::current() = saved; }
};

// The ids of the items from `from` on.
inline std::set<QUuid> ids(const std::vector<TransferItem>& items, std::size_t from = 0) {
    std::set<QUuid> ids;
    for (std::size_t i = from; i < items.size(); ++i) ids.insert(items[i].id);
    return ids;
}

// The defaults key of the files to reopen, spelled out: a rename would lose every user's list.
inline const std::string openFileRecordsKey = "org.v764.open-file-records";

// A quiet studio that reopens the files at the next start.
inline AppModelRig::Options reopening() {
    auto options = withPeer(nullptr);
    options.preferences.reloadFiles = true;
    return options;
}

// The stored open-file records; nothing when none are stored. Each must decode.
inline std::optional<std::vector<PersistedOpenItem>> storedRecords(const InMemoryDefaultsStore& store) {
    const auto data = store.data(openFileRecordsKey);
    if (!data) return std::nullopt;
    const auto document = QJsonDocument::fromJson(
        QByteArray(reinterpret_cast<const char*>(data->data()), static_cast<qsizetype>(data->size())));
    EXPECT_TRUE(document.isArray());
    std::vector<PersistedOpenItem> records;
    for (const auto& value : document.array()) records.push_back(PersistedOpenItem::fromJSON(value).value());
    return records;
}

// A SysEx item as a receive leaves it: these bytes and no file yet.
inline TransferItem receivedItem(const std::string& name, const std::string& contents) {
    TransferItem item = sysExItem(name);
    item.sourceURL.reset();
    item.data = bytesOf(contents);
    item.byteCount = static_cast<int64_t>(item.data.size());
    item.state = TransferItem::State::Received{};
    return item;
}

// An opened WAV (or, for a name ending in .aif, AIFF) item holding these decoded 16-bit samples;
// a second channel when `right` is given.
inline TransferItem audioItem(const std::string& name, std::vector<int32_t> left,
                              std::optional<AudioLoop> loop = std::nullopt,
                              std::optional<std::vector<int32_t>> right = std::nullopt) {
    TransferItem item = name.ends_with(".aif") ? aiffItem(name) : wavItem(name);
    item.audioSample->channels = {std::move(left)};
    if (right) item.audioSample->channels.push_back(std::move(*right));
    item.audioSample->loop = loop;
    return item;
}

// A sawtooth of `period` samples, `count` samples in all, in 32-bit full scale.
inline std::vector<int32_t> sawtooth(std::size_t count, std::size_t period = 64) {
    std::vector<int32_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double phase = static_cast<double>(i % period) / static_cast<double>(period);
        samples[i] = static_cast<int32_t>((phase * 2.0 - 1.0) * 1.0e9);
    }
    return samples;
}

}  // namespace k7::testing

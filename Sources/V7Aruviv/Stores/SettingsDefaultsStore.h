#pragma once

#include <filesystem>
#include <memory>
#include <mutex>

#include "V7Aruviv/Stores/DefaultsStore.h"

class QSettings;

namespace k7 {

// The defaults store on disk, through QSettings.
class SettingsDefaultsStore final : public DefaultsStore {
public:
    // The user's own settings.
    static std::unique_ptr<SettingsDefaultsStore> standard();
    // A separate suite in its own file; `removeOnDestruction` deletes the file with the store, as
    // the throw-away suites of test processes want.
    static std::unique_ptr<SettingsDefaultsStore> suite(const std::filesystem::path& file, bool removeOnDestruction);

    ~SettingsDefaultsStore() override;

    std::optional<Bytes> data(const std::string& key) const override;
    bool boolean(const std::string& key) const override;
    void setData(const std::string& key, const Bytes& value) override;
    void setBoolean(const std::string& key, bool value) override;
    void remove(const std::string& key) override;

    // Where the store keeps its values.
    std::filesystem::path fileName() const;

private:
    SettingsDefaultsStore(std::unique_ptr<QSettings> settings, bool removeOnDestruction);

    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
    bool removeOnDestruction_;
};

}  // namespace k7

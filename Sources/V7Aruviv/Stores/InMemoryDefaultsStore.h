#pragma once

#include <map>
#include <mutex>
#include <variant>

#include "V7Aruviv/Stores/DefaultsStore.h"

namespace k7 {

// A defaults store that lives only as long as the object: for tests and for runs that must
// leave no trace.
class InMemoryDefaultsStore final : public DefaultsStore {
public:
    using Value = std::variant<Bytes, bool>;

    std::optional<Bytes> data(const std::string& key) const override;
    bool boolean(const std::string& key) const override;
    void setData(const std::string& key, const Bytes& value) override;
    void setBoolean(const std::string& key, bool value) override;
    void remove(const std::string& key) override;

    bool contains(const std::string& key) const;
    std::map<std::string, Value> snapshot() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, Value> values_;
};

}  // namespace k7

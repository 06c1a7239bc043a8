#include "V7Aruviv/Stores/InMemoryDefaultsStore.h"

namespace k7 {

std::optional<Bytes> InMemoryDefaultsStore::data(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) return std::nullopt;
    if (const auto* bytes = std::get_if<Bytes>(&found->second)) return *bytes;
    return std::nullopt;
}

bool InMemoryDefaultsStore::boolean(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) return false;
    const auto* value = std::get_if<bool>(&found->second);
    return value != nullptr && *value;
}

void InMemoryDefaultsStore::setData(const std::string& key, const Bytes& value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void InMemoryDefaultsStore::setBoolean(const std::string& key, bool value) {
    std::lock_guard lock(mutex_);
    values_[key] = value;
}

void InMemoryDefaultsStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

bool InMemoryDefaultsStore::contains(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return values_.contains(key);
}

std::map<std::string, InMemoryDefaultsStore::Value> InMemoryDefaultsStore::snapshot() const {
    std::lock_guard lock(mutex_);
    return values_;
}

}  // namespace k7

#pragma once

#include <optional>
#include <string>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// The per-user key-value store the model keeps its settings in. Implementations are safe to
// call from any thread.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // The bytes stored under `key`, or nothing when the key is absent or holds no data value.
    virtual std::optional<Bytes> data(const std::string& key) const = 0;
    // The Boolean stored under `key`; absent (or not a Boolean) reads as false.
    virtual bool boolean(const std::string& key) const = 0;

    virtual void setData(const std::string& key, const Bytes& value) = 0;
    virtual void setBoolean(const std::string& key, bool value) = 0;
    virtual void remove(const std::string& key) = 0;
};

}  // namespace k7

#pragma once

#include <functional>
#include <memory>
#include <mutex>

namespace k7 {

// A settable callback that may be replaced while another thread invokes it. Assignment and
// invocation are guarded by a lock; the call itself runs outside it, so a callback may replace
// itself or call back into its owner.
template <typename... Args>
class MIDICallback {
public:
    using Function = std::function<void(Args...)>;

    MIDICallback() = default;
    MIDICallback(const MIDICallback&) = delete;
    MIDICallback& operator=(const MIDICallback&) = delete;

    MIDICallback& operator=(Function function) {
        auto shared = function ? std::make_shared<const Function>(std::move(function)) : nullptr;
        std::lock_guard lock(mutex_);
        function_ = std::move(shared);
        return *this;
    }
    MIDICallback& operator=(std::nullptr_t) { return *this = Function(); }

    explicit operator bool() const {
        std::lock_guard lock(mutex_);
        return function_ != nullptr;
    }

    // The function as set now, to be called later elsewhere; null when none.
    std::shared_ptr<const Function> current() const {
        std::lock_guard lock(mutex_);
        return function_;
    }

    // Calls the current function, if any; true when there was one.
    bool operator()(Args... args) const {
        std::shared_ptr<const Function> function;
        {
            std::lock_guard lock(mutex_);
            function = function_;
        }
        if (!function) return false;
        (*function)(args...);
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const Function> function_;
};

}  // namespace k7

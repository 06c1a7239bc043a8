#pragma once

#include <memory>
#include <mutex>

namespace k7 {

class MIDIDiagnosticRecorder;

// The running capture's recorder, shared between the main thread, which attaches and detaches
// it, and every thread that reports events.
class AppModelDiagnosticSink {
public:
    std::shared_ptr<MIDIDiagnosticRecorder> recorder() const {
        std::lock_guard lock(mutex_);
        return recorder_;
    }
    void setRecorder(std::shared_ptr<MIDIDiagnosticRecorder> recorder) {
        std::lock_guard lock(mutex_);
        recorder_ = std::move(recorder);
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<MIDIDiagnosticRecorder> recorder_;
};

}  // namespace k7

#pragma once

#include <fstream>
#include <string>

namespace k7::testing {

// The address sanitizer keeps freed blocks aside before reusing them, and the thread sanitizer
// keeps shadow memory for every byte touched, so under either the peak says nothing of the copies
// the program holds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool sanitizerInflatesResidentPeak = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
inline constexpr bool sanitizerInflatesResidentPeak = true;
#else
inline constexpr bool sanitizerInflatesResidentPeak = false;
#endif
#else
inline constexpr bool sanitizerInflatesResidentPeak = false;
#endif

// How far the process's resident memory rises above where it stood when this was made, now and
// at its peak: the kernel's high-water mark is reset at construction. Header-only, so that the
// benchmarks share it without linking the test support.
class ResidentMemoryRise {
public:
    ResidentMemoryRise() {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.flush();
        start_ = statusKiB("VmRSS");
        valid_ = static_cast<bool>(clear) && start_ > 0;
    }

    // False where the system does not let the peak be read or reset.
    bool valid() const { return valid_; }
    double nowMiB() const { return (statusKiB("VmRSS") - start_) / 1024; }
    double peakMiB() const { return (statusKiB("VmHWM") - start_) / 1024; }

private:
    // A field of /proc/self/status in kibibytes ("VmRSS", "VmHWM"); -1 when it cannot be read.
    static double statusKiB(const std::string& field) {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind(field + ":", 0) == 0) return std::stod(line.substr(field.size() + 1));
        }
        return -1;
    }

    double start_ = -1;
    bool valid_ = false;
};

}  // namespace k7::testing

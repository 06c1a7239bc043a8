#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace k7 {

class AppModel;

// What the main window's content and the menus read of the model, copied once per refresh.
struct ContentState {
    struct Plan {
        std::string compactSummary;
        std::string fullSummary;
        bool hasWarning = false;
    };

    bool hasSelection = false;
    bool isSending = false;
    bool isReceiving = false;
    bool isFinishingReceive = false;
    bool isImporting = false;
    bool isExporting = false;
    bool isConverting = false;
    bool isTurboDetecting = false;
    bool turboNegotiationWaiting = false;
    bool configurationLocked = false;
    double importProgress = 0;
    double overallProgress = 0;
    int64_t receivedByteCount = 0;
    std::optional<double> transferRateBytesPerSecond;
    std::optional<double> estimatedSendTimeRemaining;
    bool receiveProgressIsDeterminate = false;
    std::string statusText;
    // The frozen plan while a send runs, else the live plan of the selection.
    std::optional<Plan> plan;
    int64_t totalMessageCount = 0;
    int64_t totalByteCount = 0;

    static ContentState of(const AppModel& model);
};

struct ButtonPresentation {
    std::string title;
    bool enabled = false;
    std::string toolTip;
    bool operator==(const ButtonPresentation&) const = default;
};

struct PlanLinePresentation {
    bool warning = false;  // the warning symbol and the summary in the primary colour
    std::string compactSummary;
    std::string fullSummary;  // tooltip and accessibility value
    bool operator==(const PlanLinePresentation&) const = default;
};

struct ProgressBarPresentation {
    bool determinate = false;
    double value = 0;  // of 1.0, when determinate
    std::string accessibleName;
    std::string accessibleValue;
    bool operator==(const ProgressBarPresentation&) const = default;
};

struct ContentPresentation {
    ButtonPresentation send;
    ButtonPresentation receive;
    ButtonPresentation addFiles;
    ButtonPresentation saveSelected;
    ButtonPresentation remove;
    ButtonPresentation settings;
    std::optional<PlanLinePresentation> planLine;
    std::string statusText;
    std::string statusDetail;  // the right-hand text of the status line
    std::optional<ProgressBarPresentation> progress;
};

// One entry of the application's menus.
struct MenuEntryPresentation {
    std::string title;
    bool enabled = false;
    bool operator==(const MenuEntryPresentation&) const = default;
};

struct MenuPresentation {
    MenuEntryPresentation about;
    MenuEntryPresentation settings;
    MenuEntryPresentation load;
    MenuEntryPresentation saveSelected;
    MenuEntryPresentation saveFileList;
    MenuEntryPresentation closeSelected;
    MenuEntryPresentation send;     // "Send" or "Stop Sending"
    MenuEntryPresentation receive;  // "Receive" or "Stop Receiving"
};

struct ContentPresenter {
    static constexpr const char* settingsRefusal =
        "Configuration is unavailable during an active transfer, import, save, or Turbo negotiation.";
    static constexpr const char* receiveHelp =
        "Complete Monomachine and Machinedrum backups are recognized, verified, and repaired automatically.";

    static ContentPresentation present(const ContentState& state);
    static MenuPresentation presentMenus(const ContentState& state);

    // "42% • 1.2 KB/s • ETA 0:12": the percentage, then the rate and the time left when known.
    static std::string sendProgressSummary(double overallProgress, std::optional<double> bytesPerSecond,
                                           std::optional<double> secondsRemaining);
    // A fraction as whole percent, halves away from zero; NaN counts as 0, and the fraction is
    // kept within 0...1 so that a stray value never shows more than 100.
    static int64_t percent(double fraction);
};

}  // namespace k7

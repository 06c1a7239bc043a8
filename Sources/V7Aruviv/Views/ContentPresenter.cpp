#include "V7Aruviv/Views/ContentPresenter.h"

#include <algorithm>
#include <cmath>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Support/K7Formatters.h"

namespace k7 {

ContentState ContentState::of(const AppModel& model) {
    ContentState state;
    state.hasSelection = !model.selection().empty();
    state.isSending = model.isSending();
    state.isReceiving = model.isReceiving();
    state.isFinishingReceive = model.isFinishingReceive();
    state.isImporting = model.isImporting();
    state.isExporting = model.isExporting();
    state.isConverting = model.isConverting();
    state.isTurboDetecting = model.isTurboDetecting();
    state.turboNegotiationWaiting = TurboNegotiation::isWaiting(model.turboState());
    state.configurationLocked = model.configurationLocked();
    state.importProgress = model.importProgress();
    state.overallProgress = model.overallProgress();
    state.receivedByteCount = model.receivedByteCount();
    state.transferRateBytesPerSecond = model.transferRateBytesPerSecond();
    state.estimatedSendTimeRemaining = model.estimatedSendTimeRemaining();
    state.receiveProgressIsDeterminate = model.receiveProgressIsDeterminate();
    state.statusText = model.statusText();
    const auto plan = model.frozenTransferPlan() ? model.frozenTransferPlan() : model.liveTransferPlan();
    if (plan) state.plan = Plan{plan->compactSummary, plan->fullSummary, plan->warning.has_value()};
    state.totalMessageCount = model.totalMessageCount();
    state.totalByteCount = model.totalByteCount();
    return state;
}

int64_t ContentPresenter::percent(double fraction) {
    if (std::isnan(fraction)) return 0;
    return std::llround(std::clamp(fraction, 0.0, 1.0) * 100);
}

std::string ContentPresenter::sendProgressSummary(double overallProgress, std::optional<double> bytesPerSecond,
                                                  std::optional<double> secondsRemaining) {
    std::string summary = std::to_string(percent(overallProgress)) + "%";
    if (bytesPerSecond) summary += " \u2022 " + K7Formatters::transferRate(*bytesPerSecond);
    if (secondsRemaining) summary += " \u2022 " + K7Formatters::estimatedTimeRemaining(*secondsRemaining);
    return summary;
}

ContentPresentation ContentPresenter::present(const ContentState& s) {
    ContentPresentation p;
    const bool turboBusy = s.isTurboDetecting || s.turboNegotiationWaiting;

    if (s.isSending) {
        p.send = {"Cancel", true, "Stop sending (Ctrl+Return)"};
    } else {
        const bool blocked = !s.hasSelection || s.isReceiving || turboBusy || s.isImporting || s.isExporting ||
                             s.isConverting;
        p.send = {"Send", !blocked, "Send the selected items (Ctrl+Return)"};
    }

    bool receiveDisabled;
    if (s.isFinishingReceive) {
        receiveDisabled = true;
    } else if (!(s.isSending || turboBusy || s.isImporting || s.isExporting || s.isConverting)) {
        receiveDisabled = false;
    } else {
        receiveDisabled = !s.isReceiving;
    }
    p.receive = {s.isFinishingReceive ? "Finishing\u2026" : (s.isReceiving ? "Stop" : "Receive"), !receiveDisabled,
                 receiveHelp};

    p.addFiles = {s.isImporting ? "Cancel Import" : "Add Files\u2026", !(s.isExporting || s.isConverting), ""};
    p.saveSelected = {"Save Selected\u2026",
                      s.hasSelection && !(s.isImporting || s.isExporting || s.isConverting), ""};
    p.remove = {"Remove",
                s.hasSelection && !(s.isSending || s.isReceiving || s.isImporting || s.isExporting || s.isConverting),
                ""};
    p.settings = {"Settings\u2026", !s.configurationLocked, ""};

    if (s.plan) p.planLine = PlanLinePresentation{s.plan->hasWarning, s.plan->compactSummary, s.plan->fullSummary};

    p.statusText = s.statusText;
    if (s.isReceiving) {
        p.statusDetail = std::to_string(s.receivedByteCount) + " bytes";
    } else if (s.isSending) {
        p.statusDetail = sendProgressSummary(s.overallProgress, s.transferRateBytesPerSecond, s.estimatedSendTimeRemaining);
    } else {
        p.statusDetail = K7Formatters::itemTotals(s.totalMessageCount, s.totalByteCount);
    }

    if (s.isExporting || s.isConverting) {
        p.progress = ProgressBarPresentation{false, 0, s.isConverting ? "File creation progress" : "Save progress", ""};
    } else if (s.isReceiving && !s.receiveProgressIsDeterminate) {
        p.progress = ProgressBarPresentation{false, 0, "Receive progress",
                                             "Waiting for an SDS header with the transfer size"};
    } else if (s.isSending || s.isReceiving || s.isImporting) {
        const double value = s.isImporting ? s.importProgress : s.overallProgress;
        p.progress = ProgressBarPresentation{true, std::isnan(value) ? 0 : std::clamp(value, 0.0, 1.0),
                                             s.isSending ? "Send progress" : "Transfer progress",
                                             std::to_string(percent(value)) + " percent"};
    }
    return p;
}

MenuPresentation ContentPresenter::presentMenus(const ContentState& s) {
    MenuPresentation m;
    const bool fileWork = s.isImporting || s.isExporting;
    m.about = {"About V7/64", true};
    m.settings = {"Settings\u2026", !s.configurationLocked};
    m.load = {"Load\u2026", !fileWork};
    m.saveSelected = {"Save Selected\u2026", s.hasSelection && !fileWork};
    m.saveFileList = {"Save File List\u2026", !fileWork};
    m.closeSelected = {"Close Selected", s.hasSelection && !(s.isSending || s.isReceiving || fileWork)};
    m.send = {s.isSending ? "Stop Sending" : "Send", s.isSending || !(s.isReceiving || fileWork)};
    m.receive = {s.isReceiving ? "Stop Receiving" : "Receive", s.isReceiving || !(s.isSending || fileWork)};
    return m;
}

}  // namespace k7

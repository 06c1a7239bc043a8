#include "V7Aruviv/Views/ContentPresenter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace k7 {
namespace {

enum Flag : unsigned {
    selected = 1 << 0, sending = 1 << 1, receiving = 1 << 2, finishing = 1 << 3, importing = 1 << 4,
    exporting = 1 << 5, converting = 1 << 6, detecting = 1 << 7, negotiating = 1 << 8, determinate = 1 << 9
};

ContentState state(unsigned flags) {
    ContentState s;
    s.hasSelection = flags & selected;
    s.isSending = flags & sending;
    s.isReceiving = flags & receiving;
    s.isFinishingReceive = flags & finishing;
    s.isImporting = flags & importing;
    s.isExporting = flags & exporting;
    s.isConverting = flags & converting;
    s.isTurboDetecting = flags & detecting;
    s.turboNegotiationWaiting = flags & negotiating;
    s.configurationLocked = (flags & (sending | receiving | negotiating | importing | exporting | converting)) != 0;
    s.receiveProgressIsDeterminate = flags & determinate;
    s.statusText = "Ready";
    return s;
}

// Each entry's title, "(off)" after a disabled one, joined by " | ".
template <typename Entry>
std::string describe(std::initializer_list<const Entry*> entries) {
    std::string text;
    for (const Entry* entry : entries) {
        if (!text.empty()) text += " | ";
        text += entry->title + (entry->enabled ? "" : " (off)");
    }
    return text;
}

TEST(ContentPresenter, ActionRowTitlesEnabledStatesAndTooltips) {
    const struct {
        const char* name;
        unsigned flags;
        std::string expected;
    } cases[] = {
        {"idle, empty list", 0,
         "Send (off) | Receive | Add Files\u2026 | Save Selected\u2026 (off) | Remove (off) | Settings\u2026"},
        {"idle with a selection", selected,
         "Send | Receive | Add Files\u2026 | Save Selected\u2026 | Remove | Settings\u2026"},
        {"sending, whatever the selection", sending,
         "Cancel | Receive (off) | Add Files\u2026 | Save Selected\u2026 (off) | Remove (off) | Settings\u2026 (off)"},
        {"sending while importing", sending | importing | selected,
         "Cancel | Receive (off) | Cancel Import | Save Selected\u2026 (off) | Remove (off) | Settings\u2026 (off)"},
        {"Turbo detection with a selection", detecting | selected,
         "Send (off) | Receive (off) | Add Files\u2026 | Save Selected\u2026 | Remove | Settings\u2026"},
        {"Turbo negotiation waiting", negotiating | selected,
         "Send (off) | Receive (off) | Add Files\u2026 | Save Selected\u2026 | Remove | Settings\u2026 (off)"},
        {"receiving", receiving | selected,
         "Send (off) | Stop | Add Files\u2026 | Save Selected\u2026 | Remove (off) | Settings\u2026 (off)"},
        {"receiving while a save runs: Stop stays enabled", receiving | exporting | selected,
         "Send (off) | Stop | Add Files\u2026 (off) | Save Selected\u2026 (off) | Remove (off) | Settings\u2026 (off)"},
        {"finishing a receive", receiving | finishing | selected,
         "Send (off) | Finishing\u2026 (off) | Add Files\u2026 | Save Selected\u2026 | "
         "Remove (off) | Settings\u2026 (off)"},
        {"importing", importing | selected,
         "Send (off) | Receive (off) | Cancel Import | Save Selected\u2026 (off) | "
         "Remove (off) | Settings\u2026 (off)"},
        {"converting", converting | selected,
         "Send (off) | Receive (off) | Add Files\u2026 (off) | Save Selected\u2026 (off) | "
         "Remove (off) | Settings\u2026 (off)"},
        {"exporting", exporting | selected,
         "Send (off) | Receive (off) | Add Files\u2026 (off) | Save Selected\u2026 (off) | "
         "Remove (off) | Settings\u2026 (off)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto p = ContentPresenter::present(state(c.flags));
        EXPECT_EQ(describe({&p.send, &p.receive, &p.addFiles, &p.saveSelected, &p.remove, &p.settings}), c.expected);
        EXPECT_EQ(p.receive.toolTip, ContentPresenter::receiveHelp);
        EXPECT_NE(p.send.toolTip.find("Ctrl+Return"), std::string::npos);
    }
}

TEST(ContentPresenter, StatusLineRightHandText) {
    const struct {
        const char* name;
        unsigned flags;
        double progress;
        std::optional<double> rate;
        std::optional<double> remaining;
        int64_t receivedBytes;
        std::string expected;
    } cases[] = {
        {"idle: the totals", 0, 0, {}, {}, 0, "Total: 3 messages, 1.5 KB"},
        {"receiving: bytes so far", receiving, 0, {}, {}, 0, "0 bytes"},
        {"receiving wins over sending", receiving | sending, 0.5, 100, 1, 4096, "4096 bytes"},
        {"sending without rate or time", sending, 0, {}, {}, 0, "0%"},
        {"sending, halves round away from zero", sending, 0.125, {}, {}, 0, "13%"},
        {"sending with rate", sending, 0.5, 3125, {}, 0, "50% \u2022 3 KB/s"},
        {"sending with time only", sending, 0.5, {}, 61, 0, "50% \u2022 ETA 1:01"},
        {"sending with both", sending, 1, 1500, 0.2, 0, "100% \u2022 2 KB/s \u2022 ETA 1s"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = state(c.flags);
        s.overallProgress = c.progress;
        s.transferRateBytesPerSecond = c.rate;
        s.estimatedSendTimeRemaining = c.remaining;
        s.receivedByteCount = c.receivedBytes;
        s.totalMessageCount = 3;
        s.totalByteCount = 1500;
        EXPECT_EQ(ContentPresenter::present(s).statusDetail, c.expected);
    }
}

TEST(ContentPresenter, ProgressBarChoice) {
    const struct {
        const char* name;
        unsigned flags;
        std::optional<ProgressBarPresentation> expected;
    } cases[] = {
        {"idle: no bar", 0, std::nullopt},
        {"converting", converting, ProgressBarPresentation{false, 0, "File creation progress", ""}},
        {"saving, whatever else runs", exporting | sending | receiving, ProgressBarPresentation{false, 0, "Save progress", ""}},
        {"receiving, size unknown", receiving,
         ProgressBarPresentation{false, 0, "Receive progress", "Waiting for an SDS header with the transfer size"}},
        {"receiving, size known", receiving | determinate,
         ProgressBarPresentation{true, 0.25, "Transfer progress", "25 percent"}},
        {"sending", sending, ProgressBarPresentation{true, 0.25, "Send progress", "25 percent"}},
        {"importing shows the import's progress", importing,
         ProgressBarPresentation{true, 0.75, "Transfer progress", "75 percent"}},
        {"Turbo detection alone: no bar", detecting, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = state(c.flags);
        s.overallProgress = 0.25;
        s.importProgress = 0.75;
        EXPECT_EQ(ContentPresenter::present(s).progress, c.expected);
    }
}

TEST(ContentPresenter, PlanLineFollowsThePlanAndItsWarning) {
    auto s = state(selected);
    EXPECT_FALSE(ContentPresenter::present(s).planLine);
    s.plan = ContentState::Plan{"2 files", "2 files in full", false};
    EXPECT_EQ(ContentPresenter::present(s).planLine, (PlanLinePresentation{false, "2 files", "2 files in full"}));
    s.plan->hasWarning = true;
    EXPECT_TRUE(ContentPresenter::present(s).planLine->warning);
}

TEST(ContentPresenter, PercentRoundsHalvesAwayFromZeroAndStaysInRange) {
    const struct {
        double fraction;
        int64_t expected;
    } cases[] = {{0, 0}, {0.004999, 0}, {0.005, 1}, {0.125, 13}, {0.5, 50}, {0.995, 100}, {1, 100},
                 {1.7, 100}, {-0.3, 0}, {std::nan(""), 0}, {INFINITY, 100}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fraction);
        EXPECT_EQ(ContentPresenter::percent(c.fraction), c.expected);
    }
}

TEST(ContentPresenter, MenuTitlesAndEnabledStates) {
    const struct {
        const char* name;
        unsigned flags;
        std::string expected;
    } cases[] = {
        {"idle, nothing selected", 0,
         "Settings\u2026 | Load\u2026 | Save Selected\u2026 (off) | Save File List\u2026 | Close Selected (off) | Send | "
         "Receive"},
        {"idle, selection", selected,
         "Settings\u2026 | Load\u2026 | Save Selected\u2026 | Save File List\u2026 | Close Selected | Send | Receive"},
        {"sending while importing: Stop Sending stays", sending | importing | selected,
         "Settings\u2026 (off) | Load\u2026 (off) | Save Selected\u2026 (off) | Save File List\u2026 (off) | "
         "Close Selected (off) | Stop Sending | Receive (off)"},
        {"receiving", receiving | selected,
         "Settings\u2026 (off) | Load\u2026 | Save Selected\u2026 | Save File List\u2026 | Close Selected (off) | "
         "Send (off) | Stop Receiving"},
        {"Turbo detection does not disable the menu's Send", detecting | selected,
         "Settings\u2026 | Load\u2026 | Save Selected\u2026 | Save File List\u2026 | Close Selected | Send | Receive"},
        {"converting leaves the menu's Send enabled", converting | selected,
         "Settings\u2026 (off) | Load\u2026 | Save Selected\u2026 | Save File List\u2026 | Close Selected | Send | "
         "Receive"},
        {"exporting", exporting | selected,
         "Settings\u2026 (off) | Load\u2026 (off) | Save Selected\u2026 (off) | Save File List\u2026 (off) | "
         "Close Selected (off) | Send (off) | Receive (off)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto m = ContentPresenter::presentMenus(state(c.flags));
        EXPECT_EQ(m.about, (MenuEntryPresentation{"About V7/64", true}));
        EXPECT_EQ(describe({&m.settings, &m.load, &m.saveSelected, &m.saveFileList, &m.closeSelected, &m.send,
                            &m.receive}),
                  c.expected);
    }
}

}  // namespace
}  // namespace k7

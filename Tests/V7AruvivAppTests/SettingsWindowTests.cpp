#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "V7Aruviv/Views/SettingsWindow.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

class SettingsWindowTest : public ::testing::Test {
protected:
    SettingsWindow& open() {
        auto* window = SettingsWindow::present(w.model(), w.window.get());
        w.pump();
        return *window;
    }
    AppPreferences stored() const { return AppPreferences::load(*w.rig.store); }

    WindowRig w;
};

TEST_F(SettingsWindowTest, TogglesAndSteppersWriteThePreferences) {
    auto& settings = open();
    const struct {
        const char* name;
        int tab;
        QCheckBox* box;
        bool AppPreferences::*field;
    } toggles[] = {
        {"reopen files", 1, settings.reloadFiles(), &AppPreferences::reloadFiles},
        {"handshake", 2, settings.handshake(), &AppPreferences::useHandshake},
        {"extended SDS", 2, settings.extendedSDS(), &AppPreferences::useExtendedSDS},
        {"SPS-1UW name", 2, settings.sps1uwName(), &AppPreferences::sendSPS1UWName},
    };
    for (const auto& t : toggles) {
        SCOPED_TRACE(t.name);
        settings.tabs()->setCurrentIndex(t.tab);
        w.pump();
        const bool before = w.rig->preferences().*t.field;
        QTest::mouseClick(t.box, Qt::LeftButton, Qt::NoModifier, QPoint(8, t.box->height() / 2));
        w.pump();
        EXPECT_EQ(w.rig->preferences().*t.field, !before);
        EXPECT_EQ(stored().*t.field, !before);
        EXPECT_EQ(t.box->isChecked(), !before);
    }

    QTest::keyClick(settings.deviceNumber(), Qt::Key_Up);
    QTest::keyClick(settings.delayTicks(), Qt::Key_Up);
    w.pump();
    EXPECT_EQ(stored().deviceNumber, 1);
    EXPECT_EQ(stored().delayTicks, 2);
    EXPECT_EQ(settings.delayTicks()->text(), "2 ticks");
    EXPECT_EQ(settings.delayTicks()->accessibleName(), "Inter-message delay: 2 ticks");

    QTest::keyClick(settings.delayTicks(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(settings.delayTicks()->text(), "1 tick");

    // The steppers stop at their ends.
    settings.deviceNumber()->setValue(127);
    QTest::keyClick(settings.deviceNumber(), Qt::Key_Up);
    settings.delayTicks()->setValue(0);
    QTest::keyClick(settings.delayTicks(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(stored().deviceNumber, 127);
    EXPECT_EQ(stored().delayTicks, 0);
}

TEST_F(SettingsWindowTest, PickersWriteOnlyWhatTheUserChose) {
    auto& settings = open();
    // Output "None" (row 0) in the studio: the studio's output is row 1.
    ASSERT_EQ(settings.outputPicker()->currentIndex(), 1);
    settings.outputPicker()->setFocus();
    QTest::keyClick(settings.outputPicker(), Qt::Key_Up);
    w.pump();
    EXPECT_EQ(stored().outputEndpointID, std::nullopt);
    QTest::keyClick(settings.outputPicker(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(stored().outputEndpointID, SimulatedStudio::outputID);

    settings.tabs()->setCurrentIndex(2);
    w.pump();
    QTest::keyClick(settings.receiveFormat(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(stored().receiveFormat, AppPreferences::ReceiveFormat::wav);

    settings.tabs()->setCurrentIndex(0);
    w.pump();
    QTest::keyClick(settings.turboLimitPicker(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(w.rig->preferences().turboLimit, AppPreferences::TurboLimit::x20);
}

TEST_F(SettingsWindowTest, RefreshingWritesNothingAndAGoneEndpointShowsNoRow) {
    auto& settings = open();
    QSignalSpy written(&w.model(), &AppModel::preferencesChanged);
    AppPreferences changed = w.rig->preferences();
    changed.deviceNumber = 42;
    changed.delayTicks = 7;
    changed.useHandshake = true;
    changed.receiveFormat = AppPreferences::ReceiveFormat::aiff;
    changed.inputEndpointID = 999;  // gone: no row shows
    w.rig->setPreferences(changed);
    w.rig->setEndpoints(w.rig->endpoints());
    w.pump();
    EXPECT_EQ(written.count(), 1);
    EXPECT_EQ(settings.deviceNumber()->value(), 42);
    EXPECT_EQ(settings.delayTicks()->text(), "7 ticks");
    EXPECT_TRUE(settings.handshake()->isChecked());
    EXPECT_EQ(settings.receiveFormat()->currentText(), "AIFF");
    EXPECT_EQ(settings.inputPicker()->currentIndex(), -1);
    EXPECT_EQ(settings.inputPicker()->currentText(), "");
}

TEST_F(SettingsWindowTest, LockedConfigurationLeavesOnlyCaptureAndSpeed) {
    auto& settings = open();
    w.rig->setIsSending(true);
    w.pump();
    for (QWidget* control : std::initializer_list<QWidget*>{settings.inputPicker(), settings.outputPicker(),
                                                           settings.turboLimitPicker(), settings.refreshButton(),
                                                           settings.reloadFiles()}) {
        SCOPED_TRACE(control->accessibleName().toStdString() + control->objectName().toStdString());
        EXPECT_FALSE(control->isEnabled());
    }
    EXPECT_FALSE(settings.transferTab()->isEnabled());
    EXPECT_TRUE(settings.diagnosticButton()->isEnabled());
    EXPECT_EQ(settings.activeSendSpeed()->text(), "1x");
    EXPECT_FALSE(settings.diagnosticStatus()->isVisibleTo(&settings));
}

// The window has no buttons: without a window manager, only the keyboard closes it.
TEST_F(SettingsWindowTest, EscapeAndTheCloseKeysCloseIt) {
    const KeyPress keys[] = {{"Escape", Qt::Key_Escape, Qt::NoModifier}, {"Ctrl+W", Qt::Key_W, Qt::ControlModifier}};
    for (const auto& k : keys) {
        for (const int tab : {0, 2}) {
            SCOPED_TRACE(std::string(k.name) + (tab == 0 ? " in a picker" : " in a number field"));
            auto& settings = open();
            settings.tabs()->setCurrentIndex(tab);
            QApplication::setActiveWindow(&settings);
            QWidget* control = tab == 0 ? static_cast<QWidget*>(settings.inputPicker()) : settings.deviceNumber();
            control->setFocus();
            w.pump();
            ASSERT_TRUE(settings.isVisible());
            QTest::keyClick(QApplication::focusWidget(), k.key, k.modifiers);
            w.pump();
            EXPECT_FALSE(settings.isVisible());
            EXPECT_TRUE(w.window->isVisible());
        }
    }
}

// The X server hands the key to the window with the keyboard focus, not to the open list: the
// first Escape is the list's alone.
TEST_F(SettingsWindowTest, EscapeWithAListOpenClosesOnlyTheList) {
    auto& first = open();
    const struct {
        const char* name;
        int tab;
        QComboBox* picker;
    } pickers[] = {
        {"MIDI Input", 0, first.inputPicker()},
        {"MIDI Output", 0, first.outputPicker()},
        {"Turbo Speed Limit", 0, first.turboLimitPicker()},
        {"Save received as", 2, first.receiveFormat()},
    };
    for (const auto& p : pickers) {
        SCOPED_TRACE(p.name);
        auto& settings = open();
        settings.tabs()->setCurrentIndex(p.tab);
        QApplication::setActiveWindow(&settings);
        p.picker->setFocus();
        w.pump();
        ASSERT_TRUE(p.picker->isEnabled());
        QTest::keyClick(settings.windowHandle(), Qt::Key_Space);
        w.pump();
        ASSERT_TRUE(p.picker->view()->isVisible()) << "Space did not open the list";

        QTest::keyClick(settings.windowHandle(), Qt::Key_Escape);
        w.pump();
        EXPECT_FALSE(p.picker->view()->isVisible());
        EXPECT_TRUE(settings.isVisible()) << "the window closed with the list";

        QTest::keyClick(settings.windowHandle(), Qt::Key_Escape);
        w.pump();
        EXPECT_FALSE(settings.isVisible());
    }
}

TEST_F(SettingsWindowTest, TabsAndTheButtonsThatAskTheModel) {
    auto& settings = open();
    QStringList tabs;
    for (int index = 0; index < settings.tabs()->count(); ++index) tabs << settings.tabs()->tabText(index);
    EXPECT_EQ(tabs, (QStringList{"MIDI", "General", "Transfer"}));
    EXPECT_NE(settings.turboLimitPicker()->toolTip().indexOf("this computer\u2019s send speed"), -1);

    QSignalSpy endpoints(&w.model(), &AppModel::endpointsChanged);
    QTest::mouseClick(settings.refreshButton(), Qt::LeftButton);
    EXPECT_EQ(endpoints.count(), 1);
    EXPECT_EQ(settings.inputPicker()->itemText(1), "Simulated In");

    EXPECT_EQ(settings.diagnosticButton()->text(), "Start Diagnostic Capture\u2026");
    w.rig.interaction->alertAnswers = {1};  // "Cancel" at the confirmation
    QTest::mouseClick(settings.diagnosticButton(), Qt::LeftButton);
    ASSERT_EQ(w.rig.interaction->alertsShown.size(), 1u);
    EXPECT_EQ(w.rig.interaction->alertsShown.front().message, "Start lossless MIDI diagnostic capture?");
}

}  // namespace
}  // namespace k7::testing

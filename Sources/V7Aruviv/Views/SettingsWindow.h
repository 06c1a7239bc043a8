#pragma once

#include <QWidget>

#include "V7Aruviv/Views/SettingsPresenter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTabWidget;

namespace k7 {

class AppModel;

// The settings: MIDI routing and the Turbo limit, start-up and diagnostic capture, and the
// transfer options. Every control shows the model's preferences and writes them back only when
// the user changes it.
class SettingsWindow final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsWindow(AppModel& model, QWidget* parent = nullptr);

    // Shows the window of `owner`, creating it on first use, and brings it to the front. The
    // window lives as long as `owner`; closing it only hides it.
    static SettingsWindow* present(AppModel& model, QWidget* owner);

    void refresh();

    QTabWidget* tabs() const { return tabs_; }
    QComboBox* inputPicker() const { return input_; }
    QComboBox* outputPicker() const { return output_; }
    QComboBox* turboLimitPicker() const { return turboLimit_; }
    QLabel* activeSendSpeed() const { return activeSendSpeed_; }
    QPushButton* refreshButton() const { return refreshDevices_; }
    QCheckBox* reloadFiles() const { return reloadFiles_; }
    QPushButton* diagnosticButton() const { return diagnostic_; }
    QLabel* diagnosticStatus() const { return diagnosticStatus_; }
    QWidget* transferTab() const { return transferTab_; }
    QCheckBox* handshake() const { return handshake_; }
    QCheckBox* extendedSDS() const { return extendedSDS_; }
    QCheckBox* sps1uwName() const { return sps1uwName_; }
    QSpinBox* deviceNumber() const { return deviceNumber_; }
    QSpinBox* delayTicks() const { return delayTicks_; }
    QComboBox* receiveFormat() const { return receiveFormat_; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void scheduleRefresh();

    AppModel& model_;
    QTabWidget* tabs_;
    QComboBox* input_;
    QComboBox* output_;
    QComboBox* turboLimit_;
    QLabel* activeSendSpeed_;
    QPushButton* refreshDevices_;
    QCheckBox* reloadFiles_;
    QPushButton* diagnostic_;
    QLabel* diagnosticStatus_;
    QWidget* transferTab_;
    QCheckBox* handshake_;
    QCheckBox* extendedSDS_;
    QCheckBox* sps1uwName_;
    QSpinBox* deviceNumber_;
    QSpinBox* delayTicks_;
    QComboBox* receiveFormat_;
    bool refreshPending_ = false;
};

}  // namespace k7

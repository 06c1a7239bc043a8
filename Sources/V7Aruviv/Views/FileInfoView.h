#pragma once

#include <QWidget>
#include <optional>

#include "V7Aruviv/Views/FileInfoPresenter.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace k7 {

class AppModel;
class LineLimitedLabel;
class TurboSpinner;

// The band under the file list: what the model says about the selection, the audio settings and
// file creation for audio items, the sample position and the Turbo button.
class FileInfoView final : public QWidget {
    Q_OBJECT

public:
    explicit FileInfoView(AppModel& model, QWidget* parent = nullptr);

    void refresh();
    void apply(const FileInfoPresentation& presentation);

    LineLimitedLabel* infoText() const { return infoText_; }
    QWidget* audioSettings() const { return audioSettings_; }
    QComboBox* loopMode() const { return loopMode_; }
    QComboBox* stereoMode() const { return stereoMode_; }
    QPushButton* sdsButton() const { return sdsButton_; }
    QPushButton* digiPROButton() const { return digiPROButton_; }
    QLineEdit* samplePosition() const { return samplePosition_; }
    QPushButton* turboButton() const { return turboButton_; }
    QLabel* turboStatus() const { return turboStatus_; }
    TurboIndicator turboIndicator() const { return indicator_; }

private:
    void samplePositionEdited();

    AppModel& model_;
    LineLimitedLabel* infoText_;
    QWidget* audioSettings_;
    QComboBox* loopMode_;
    QComboBox* stereoMode_;
    QPushButton* sdsButton_;
    QPushButton* digiPROButton_;
    QLineEdit* samplePosition_;
    QPushButton* turboButton_;
    TurboSpinner* spinner_;
    QLabel* turboIcon_;
    QLabel* turboStatus_;
    TurboIndicator indicator_ = TurboIndicator::idle;
    std::optional<bool> infoSecondary_;  // the colour last given to the information text
};

}  // namespace k7

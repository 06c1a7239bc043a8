#include "V7Aruviv/Views/FileInfoView.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Views/FileDrop.h"
#include "V7Aruviv/Views/LineLimitedLabel.h"
#include "V7Aruviv/Views/ModelCommand.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/TurboSpinner.h"
#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

namespace {

constexpr int audioControlWidth = 104;
constexpr int transferBoxWidth = 236;
constexpr int minimumBandHeight = 76;

QComboBox* picker(const std::vector<std::string>& titles, const char* accessibleName) {
    auto* box = new QComboBox;
    for (const auto& title : titles) box->addItem(qt(title));
    box->setAccessibleName(QString::fromUtf8(accessibleName));
    box->setFixedWidth(audioControlWidth);
    return box;
}

}  // namespace

FileInfoView::FileInfoView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      infoText_(new LineLimitedLabel(4)),
      audioSettings_(new QWidget),
      loopMode_(picker(FileInfoPresenter::loopModeTitles(), "Loop mode")),
      stereoMode_(picker(FileInfoPresenter::stereoModeTitles(), "Audio channel")),
      sdsButton_(new QPushButton(QStringLiteral("SDS"))),
      digiPROButton_(new QPushButton(QStringLiteral("DigiPRO"))),
      samplePosition_(new QLineEdit),
      turboButton_(new QPushButton),
      spinner_(new TurboSpinner),
      turboIcon_(new QLabel),
      turboStatus_(new QLabel) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    // "File Info": the text, then the audio settings for audio selections.
    auto* infoBox = new QGroupBox(QStringLiteral("File Info"));
    auto* infoRow = new QHBoxLayout(infoBox);
    infoRow->setSpacing(10);
    setCaptionFont(infoText_);
    infoText_->setMinimumHeight(minimumBandHeight);
    infoRow->addWidget(infoText_, 1, Qt::AlignTop);

    auto* audioRow = new QHBoxLayout(audioSettings_);
    audioRow->setContentsMargins(0, 0, 0, 0);
    audioRow->setSpacing(10);
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Sunken);
    audioRow->addWidget(divider);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    for (auto* button : {sdsButton_, digiPROButton_}) button->setFixedWidth(audioControlWidth);
    for (QWidget* control : std::initializer_list<QWidget*>{loopMode_, stereoMode_, sdsButton_, digiPROButton_}) {
        setCaptionFont(control);
    }
    grid->addWidget(loopMode_, 0, 0);
    grid->addWidget(sdsButton_, 0, 1);
    grid->addWidget(stereoMode_, 1, 0);
    grid->addWidget(digiPROButton_, 1, 1);
    audioRow->addLayout(grid);
    audioRow->setAlignment(grid, Qt::AlignTop);
    infoRow->addWidget(audioSettings_, 0, Qt::AlignTop);
    row->addWidget(infoBox, 1);

    // "Transfer": the sample position and the Turbo button.
    auto* transferBox = new QGroupBox(QStringLiteral("Transfer"));
    transferBox->setFixedWidth(transferBoxWidth);
    auto* transfer = new QVBoxLayout(transferBox);
    transfer->setSpacing(13);

    auto* positionRow = new QHBoxLayout;
    positionRow->setSpacing(8);
    auto* positionLabel = new QLabel(QStringLiteral("Sample Position"));
    positionRow->addWidget(positionLabel);
    positionRow->addStretch(1);
    samplePosition_->setFixedWidth(72);
    samplePosition_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    samplePosition_->setPlaceholderText(QStringLiteral("0"));
    samplePosition_->setAccessibleName(QStringLiteral("Sample Position"));
    new FileDragPassThrough(samplePosition_);
    positionRow->addWidget(samplePosition_);
    transfer->addLayout(positionRow);

    turboButton_->setFlat(true);
    turboButton_->setAccessibleName(QStringLiteral("Turbo"));
    auto* turboRow = new QHBoxLayout(turboButton_);
    turboRow->setContentsMargins(4, 0, 4, 0);
    turboRow->setSpacing(7);
    turboIcon_->setFixedSize(13, 13);
    auto* turboTitle = new QLabel(QStringLiteral("Turbo"));
    setTextColor(turboStatus_, secondaryTextColor(palette()));
    for (QWidget* part : std::initializer_list<QWidget*>{spinner_, turboIcon_, turboTitle, turboStatus_}) {
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    turboRow->addWidget(spinner_);
    turboRow->addWidget(turboIcon_);
    turboRow->addWidget(turboTitle);
    turboRow->addStretch(1);
    turboRow->addWidget(turboStatus_);
    turboButton_->setMinimumHeight(samplePosition_->sizeHint().height());
    transfer->addWidget(turboButton_);
    transfer->addStretch(1);
    transferBox->setMinimumHeight(minimumBandHeight);
    row->addWidget(transferBox, 0);

    connect(loopMode_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(TransferItem::allLoopModes.size())) return;
        runModelCommand(model_, [&] { model_.updateSelectedLoopMode(TransferItem::allLoopModes[static_cast<std::size_t>(index)]); });
    });
    connect(stereoMode_, &QComboBox::activated, this, [this](int index) {
        if (index < 0 || index >= static_cast<int>(TransferItem::allStereoModes.size())) return;
        runModelCommand(model_, [&] { model_.updateSelectedStereoMode(TransferItem::allStereoModes[static_cast<std::size_t>(index)]); });
    });
    connect(sdsButton_, &QPushButton::clicked, this, [this] { runModelCommand(model_, [&] { model_.convertSelectedToSDS(); }); });
    connect(digiPROButton_, &QPushButton::clicked, this,
            [this] { runModelCommand(model_, [&] { model_.convertSelectedToDigiPRO(); }); });
    connect(samplePosition_, &QLineEdit::editingFinished, this, &FileInfoView::samplePositionEdited);
    connect(turboButton_, &QPushButton::clicked, this, [this] { runModelCommand(model_, [&] { model_.negotiateTurbo(); }); });
}

void FileInfoView::refresh() { apply(FileInfoPresenter::present(FileInfoState::of(model_))); }

void FileInfoView::apply(const FileInfoPresentation& p) {
    infoText_->setText(qt(p.infoText));
    if (infoSecondary_ != p.infoIsSecondary) {
        infoSecondary_ = p.infoIsSecondary;
        setTextColor(infoText_, p.infoIsSecondary ? secondaryTextColor(palette()) : palette().color(QPalette::WindowText));
    }

    audioSettings_->setVisible(p.audioSettingsVisible);
    if (p.audioSettingsVisible) {
        audioSettings_->setEnabled(p.audioSettingsEnabled);
        loopMode_->setCurrentIndex(p.loopModeIndex);
        stereoMode_->setCurrentIndex(p.stereoModeIndex);
        sdsButton_->setEnabled(p.sdsEnabled);
        sdsButton_->setToolTip(qt(p.sdsHelp));
        digiPROButton_->setEnabled(p.digiPROEnabled);
        digiPROButton_->setToolTip(qt(p.digiPROHelp));
        digiPROButton_->setAccessibleDescription(qt(p.digiPROHelp));
    }

    samplePosition_->setEnabled(p.samplePositionEnabled);
    // What the user is typing stays until the edit ends.
    if (!(samplePosition_->hasFocus() && samplePosition_->isModified())) {
        const QString shown = QLocale().toString(static_cast<qlonglong>(p.samplePosition));
        if (samplePosition_->text() != shown) samplePosition_->setText(shown);
        samplePosition_->setModified(false);
    }

    turboButton_->setEnabled(p.turboEnabled);
    turboButton_->setToolTip(qt(p.turboHelp));
    turboButton_->setAccessibleDescription(qt(p.turboStatus));
    turboStatus_->setText(qt(p.turboStatus));
    indicator_ = p.turboIndicator;
    spinner_->setVisible(p.turboIndicator == TurboIndicator::busy);
    turboIcon_->setVisible(p.turboIndicator != TurboIndicator::busy);
    if (p.turboIndicator != TurboIndicator::busy) {
        // Active above x1 in colour; otherwise the same symbol greyed.
        const QIcon icon = style()->standardIcon(QStyle::SP_MediaSeekForward);
        turboIcon_->setPixmap(icon.pixmap(13, 13, p.turboIndicator == TurboIndicator::fast ? QIcon::Normal : QIcon::Disabled));
        turboIcon_->setAccessibleName(p.turboIndicator == TurboIndicator::fast ? QStringLiteral("Turbo active")
                                                                              : QStringLiteral("Turbo inactive"));
    }
}

void FileInfoView::samplePositionEdited() {
    if (!samplePosition_->isModified()) return;
    samplePosition_->setModified(false);
    const QString text = samplePosition_->text().trimmed();
    bool ok = false;
    qlonglong value = QLocale().toLongLong(text, &ok);
    if (!ok) value = QLocale::c().toLongLong(text, &ok);
    if (ok) {
        runModelCommand(model_, [&] { model_.setSamplePosition(value); });
    }
    // The field shows the model's value: clamped, or unchanged for text that is no number.
    samplePosition_->setText(QLocale().toString(static_cast<qlonglong>(model_.samplePosition())));
}

}  // namespace k7

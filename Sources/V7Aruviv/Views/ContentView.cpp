#include "V7Aruviv/Views/ContentView.h"

#include <QDragEnterEvent>
#include <QPointer>
#include <QTableView>
#include <algorithm>
#include <utility>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Views/FileDrop.h"
#include "V7Aruviv/Views/FileInfoView.h"
#include "V7Aruviv/Views/FileListView.h"
#include "V7Aruviv/Views/ModelCommand.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/StatusBlock.h"

namespace k7 {

namespace {

void applyButton(QPushButton* button, const ButtonPresentation& presentation) {
    const QString title = qt(presentation.title);
    if (button->text() != title) button->setText(title);
    button->setEnabled(presentation.enabled);
    button->setToolTip(qt(presentation.toolTip));
}

}  // namespace

ContentView::ContentView(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      send_(new QPushButton(QStringLiteral("Send"))),
      receive_(new QPushButton(QStringLiteral("Receive"))),
      addFiles_(new QPushButton(QStringLiteral("Add Files\u2026"))),
      saveSelected_(new QPushButton(QStringLiteral("Save Selected\u2026"))),
      remove_(new QPushButton(QStringLiteral("Remove"))),
      settings_(new QPushButton(QStringLiteral("Settings\u2026"))),
      fileList_(new FileListView(model)),
      fileInfo_(new FileInfoView(model)),
      status_(new StatusBlock) {
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(12);

    auto* actions = new QHBoxLayout;
    actions->setContentsMargins(0, 0, 0, 0);
    actions->setSpacing(12);
    // The side padding gives way first in a narrow window; then the buttons, which share the row
    // equally but never get narrower than their longest title.
    actions->addSpacerItem(new QSpacerItem(34 - 12, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    const std::pair<QPushButton*, const char*> longestTitles[] = {
        {send_, "Cancel"}, {receive_, "Finishing\u2026"}, {addFiles_, "Cancel Import"},
        {saveSelected_, "Save Selected\u2026"}, {remove_, "Remove"}, {settings_, "Settings\u2026"}};
    for (const auto& [button, title] : longestTitles) {
        button->setMinimumHeight(38);
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QString::fromUtf8(title)) + 20);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        actions->addWidget(button, 1);
    }
    actions->addSpacerItem(new QSpacerItem(34 - 12, 0, QSizePolicy::Preferred, QSizePolicy::Minimum));
    column->addLayout(actions);
    column->addWidget(fileList_, 1);
    column->addWidget(fileInfo_, 0);
    column->addWidget(status_, 0);

    // Titles and actions are chosen by the same flags at the moment of the click.
    connect(send_, &QPushButton::clicked, this, [this] {
        runModelCommand(model_, [&] { model_.isSending() ? model_.stopSending() : model_.sendSelected(); });
    });
    connect(receive_, &QPushButton::clicked, this, [this] { runModelCommand(model_, [&] { model_.toggleReceiving(); }); });
    connect(addFiles_, &QPushButton::clicked, this, [this] {
        runModelCommand(model_, [&] { model_.isImporting() ? model_.cancelImport() : model_.presentLoadPanel(); });
    });
    connect(saveSelected_, &QPushButton::clicked, this,
            [this] { runModelCommand(model_, [&] { model_.presentSavePanel(); }); });
    connect(remove_, &QPushButton::clicked, this, [this] { runModelCommand(model_, [&] { model_.removeSelected(); }); });
    connect(settings_, &QPushButton::clicked, this, [this] { openSettings(model_, presentSettings); });

    const auto later = [this] { scheduleRefresh(); };
    for (auto signal : {&AppModel::itemsChanged, &AppModel::selectionChanged, &AppModel::endpointsChanged,
                        &AppModel::preferencesChanged, &AppModel::samplePositionChanged, &AppModel::isSendingChanged,
                        &AppModel::isReceivingChanged, &AppModel::isFinishingReceiveChanged,
                        &AppModel::isImportingChanged, &AppModel::importProgressChanged, &AppModel::isExportingChanged,
                        &AppModel::isConvertingChanged, &AppModel::receivedByteCountChanged,
                        &AppModel::overallProgressChanged, &AppModel::transferRateBytesPerSecondChanged,
                        &AppModel::estimatedSendTimeRemainingChanged, &AppModel::receiveProgressIsDeterminateChanged,
                        &AppModel::statusTextChanged, &AppModel::turboStatusChanged,
                        &AppModel::diagnosticCaptureStatusChanged, &AppModel::frozenTransferPlanChanged,
                        &AppModel::turboStateChanged, &AppModel::isTurboDetectingChanged}) {
        connect(&model_, signal, this, later);
    }
    refresh();
}

void ContentView::openSettings(AppModel& model, const std::function<void()>& present) {
    if (model.configurationLocked()) {
        model.setAlertMessage(std::string(ContentPresenter::settingsRefusal));
        return;
    }
    if (present) present();
}

void ContentView::scheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_) refresh();
    });
}

void ContentView::refresh() {
    refreshPending_ = false;
    const QPointer<QWidget> focused = window()->focusWidget();
    const auto canKeepFocus = [&] { return focused && focused->isVisible() && focused->isEnabled(); };
    // The list looks after its own name field.
    const bool focusedHere = focused && isAncestorOf(focused) && !fileList_->isAncestorOf(focused) && canKeepFocus();
    state_ = ContentState::of(model_);
    presentation_ = ContentPresenter::present(state_);
    applyButton(send_, presentation_.send);
    applyButton(receive_, presentation_.receive);
    applyButton(addFiles_, presentation_.addFiles);
    applyButton(saveSelected_, presentation_.saveSelected);
    applyButton(remove_, presentation_.remove);
    applyButton(settings_, presentation_.settings);
    fileList_->refresh();
    fileInfo_->refresh();
    status_->apply(presentation_);
    // A control that goes with the selection or waits for the work it started (the pressed SDS
    // button of a WAV) hands the keyboard to the list, not to whatever control comes next.
    if (focusedHere && !canKeepFocus()) fileList_->table()->setFocus(Qt::OtherFocusReason);
    emit refreshed(state_);
}

void ContentView::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ContentView::dragMoveEvent(QDragMoveEvent* event) {
    if (!droppedFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ContentView::dropEvent(QDropEvent* event) {
    auto files = droppedFiles(event->mimeData());
    if (files.empty()) return;
    event->acceptProposedAction();
    runModelCommand(model_, [&] { model_.importFromUser(std::move(files)); });
}

}  // namespace k7

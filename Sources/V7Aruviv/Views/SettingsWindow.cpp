#include "V7Aruviv/Views/SettingsWindow.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QIcon>
#include <QKeyEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "K7MIDI/Transport/MIDITransporting.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Views/ModelCommand.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/ViewStyle.h"

namespace k7 {

namespace {

constexpr int windowWidth = 552;
constexpr int windowHeight = 422;

// The delay's stepper shows "1 tick" and "5 ticks" and reads the number typed in front.
class TickSpinBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override { return qt(SettingsPresenter::delayValueText(value)); }
    int valueFromText(const QString& text) const override { return leadingNumber(text).value_or(value()); }
    QValidator::State validate(QString& text, int&) const override {
        const auto number = leadingNumber(text);
        if (!number) return text.trimmed().isEmpty() ? QValidator::Intermediate : QValidator::Invalid;
        return *number >= minimum() && *number <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
    }

private:
    static std::optional<int> leadingNumber(const QString& text) {
        QString digits;
        for (const QChar c : text.trimmed()) {
            if (!c.isDigit()) break;
            digits += c;
        }
        bool ok = false;
        const int number = digits.toInt(&ok);
        return ok ? std::optional<int>(number) : std::nullopt;
    }
};

QGroupBox* section(const QString& title, QFormLayout*& form) {
    auto* box = new QGroupBox(title);
    form = new QFormLayout(box);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(9);
    return box;
}

void applyPicker(QComboBox* box, const PickerPresentation& picker) {
    bool same = box->count() == static_cast<int>(picker.rows.size());
    for (int row = 0; same && row < box->count(); ++row) same = box->itemText(row) == qt(picker.rows[static_cast<std::size_t>(row)]);
    if (!same) {
        box->clear();
        for (const auto& row : picker.rows) box->addItem(qt(row));
    }
    box->setCurrentIndex(picker.selectedRow);
    box->setEnabled(picker.enabled);
}

}  // namespace

SettingsWindow::SettingsWindow(AppModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      model_(model),
      tabs_(new QTabWidget),
      input_(new QComboBox),
      output_(new QComboBox),
      turboLimit_(new QComboBox),
      activeSendSpeed_(new QLabel),
      refreshDevices_(new QPushButton(QStringLiteral("Refresh MIDI Devices"))),
      reloadFiles_(new QCheckBox(QStringLiteral("Reopen files at launch"))),
      diagnostic_(new QPushButton),
      diagnosticStatus_(new QLabel),
      transferTab_(new QWidget),
      handshake_(new QCheckBox(QStringLiteral("SDS handshake"))),
      extendedSDS_(new QCheckBox(QStringLiteral("Use Extended SDS"))),
      sps1uwName_(new QCheckBox(QStringLiteral("Send SPS-1UW name"))),
      deviceNumber_(new QSpinBox),
      delayTicks_(new TickSpinBox),
      receiveFormat_(new QComboBox) {
    setWindowTitle(QStringLiteral("V7/64 Settings"));
    setFixedSize(windowWidth, windowHeight);
    // Never what keeps the program running once the main window is gone.
    setAttribute(Qt::WA_QuitOnClose, false);
    // It has no buttons: without these keys, only a window manager could close it.
    for (auto* shortcut : {new QShortcut(QKeySequence(Qt::Key_Escape), this), new QShortcut(QKeySequence::Close, this)}) {
        connect(shortcut, &QShortcut::activated, this, &QWidget::close);
    }

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    outer->addWidget(tabs_);

    // "MIDI"
    auto* midi = new QWidget;
    auto* midiColumn = new QVBoxLayout(midi);
    QFormLayout* routingForm = nullptr;
    auto* routing = section(QStringLiteral("Routing"), routingForm);
    for (auto* box : {input_, output_, turboLimit_}) box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    input_->setAccessibleName(QStringLiteral("MIDI Input"));
    output_->setAccessibleName(QStringLiteral("MIDI Output"));
    turboLimit_->setAccessibleName(QStringLiteral("Turbo Speed Limit"));
    turboLimit_->setToolTip(QString::fromUtf8(SettingsPresenter::turboLimitHelp));
    activeSendSpeed_->setAccessibleName(QStringLiteral("Active Send Speed"));
    routingForm->addRow(QStringLiteral("MIDI Input"), input_);
    routingForm->addRow(QStringLiteral("MIDI Output"), output_);
    routingForm->addRow(QStringLiteral("Turbo Speed Limit"), turboLimit_);
    routingForm->labelForField(turboLimit_)->setToolTip(QString::fromUtf8(SettingsPresenter::turboLimitHelp));
    routingForm->addRow(QStringLiteral("Active Send Speed"), activeSendSpeed_);
    midiColumn->addWidget(routing);
    auto* devices = new QGroupBox;
    auto* devicesRow = new QHBoxLayout(devices);
    devicesRow->addWidget(refreshDevices_);
    devicesRow->addStretch(1);
    midiColumn->addWidget(devices);
    midiColumn->addStretch(1);
    tabs_->addTab(midi, QIcon::fromTheme(QStringLiteral("audio-card")), QStringLiteral("MIDI"));

    // "General"
    auto* general = new QWidget;
    auto* generalColumn = new QVBoxLayout(general);
    QFormLayout* startupForm = nullptr;
    auto* startup = section(QStringLiteral("Startup"), startupForm);
    startupForm->addRow(reloadFiles_);
    generalColumn->addWidget(startup);
    QFormLayout* diagnosticsForm = nullptr;
    auto* diagnostics = section(QStringLiteral("Diagnostics"), diagnosticsForm);
    auto* diagnosticRow = new QHBoxLayout;
    diagnosticRow->addWidget(diagnostic_);
    diagnosticRow->addStretch(1);
    diagnosticsForm->addRow(diagnosticRow);
    setCaptionFont(diagnosticStatus_);
    setTextColor(diagnosticStatus_, warningColor());
    diagnosticStatus_->setWordWrap(true);
    diagnosticsForm->addRow(diagnosticStatus_);
    generalColumn->addWidget(diagnostics);
    generalColumn->addStretch(1);
    tabs_->addTab(general, QIcon::fromTheme(QStringLiteral("preferences-system")), QStringLiteral("General"));

    // "Transfer"
    auto* transferColumn = new QVBoxLayout(transferTab_);
    QFormLayout* transferForm = nullptr;
    auto* transfer = section(QStringLiteral("Transfer"), transferForm);
    transferForm->addRow(handshake_);
    transferForm->addRow(extendedSDS_);
    transferForm->addRow(sps1uwName_);
    deviceNumber_->setRange(0, SettingsPresenter::deviceNumberMaximum);
    delayTicks_->setRange(0, SettingsPresenter::delayTicksMaximum);
    for (auto* box : {deviceNumber_, delayTicks_}) {
        box->setFixedWidth(120);
        box->setKeyboardTracking(false);
    }
    transferForm->addRow(QStringLiteral("Device number:"), deviceNumber_);
    transferForm->addRow(QStringLiteral("Inter-message delay:"), delayTicks_);
    transferColumn->addWidget(transfer);
    QFormLayout* receivingForm = nullptr;
    auto* receiving = section(QStringLiteral("Receiving"), receivingForm);
    receiveFormat_->setAccessibleName(QStringLiteral("Save received as"));
    receivingForm->addRow(QStringLiteral("Save received as"), receiveFormat_);
    transferColumn->addWidget(receiving);
    transferColumn->addStretch(1);
    tabs_->addTab(transferTab_, QIcon::fromTheme(QStringLiteral("network-transmit-receive")), QStringLiteral("Transfer"));

    // An open list closes on Escape but lets the key on to the window's shortcut, which would close
    // the window with it: the list takes the key itself.
    for (auto* picker : findChildren<QComboBox*>()) picker->view()->installEventFilter(this);

    // Writes happen only on the user's edits; refreshes block these signals or do not raise them.
    connect(input_, &QComboBox::activated, this, [this](int row) {
        const auto& endpoints = model_.endpoints().inputs;
        if (!SettingsPresenter::isEndpointRow(endpoints, row)) return;
        const auto id = SettingsPresenter::endpointForRow(endpoints, row);
        writePreferences(model_, [&](AppPreferences& p) { p.inputEndpointID = id; });
    });
    connect(output_, &QComboBox::activated, this, [this](int row) {
        const auto& endpoints = model_.endpoints().outputs;
        if (!SettingsPresenter::isEndpointRow(endpoints, row)) return;
        const auto id = SettingsPresenter::endpointForRow(endpoints, row);
        writePreferences(model_, [&](AppPreferences& p) { p.outputEndpointID = id; });
    });
    connect(turboLimit_, &QComboBox::activated, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(AppPreferences::allTurboLimits.size())) return;
        runModelCommand(model_, [&] { model_.setTurboLimitFromUser(AppPreferences::allTurboLimits[static_cast<std::size_t>(row)]); });
    });
    connect(refreshDevices_, &QPushButton::clicked, this, [this] {
        runModelCommand(model_, [&] { model_.handleEndpointSnapshot(model_.transport().endpointSnapshot()); });
    });
    connect(reloadFiles_, &QCheckBox::clicked, this,
            [this](bool on) { writePreferences(model_, [&](AppPreferences& p) { p.reloadFiles = on; }); });
    connect(diagnostic_, &QPushButton::clicked, this, [this] { runModelCommand(model_, [&] { model_.toggleDiagnosticCapture(); }); });
    connect(handshake_, &QCheckBox::clicked, this,
            [this](bool on) { writePreferences(model_, [&](AppPreferences& p) { p.useHandshake = on; }); });
    connect(extendedSDS_, &QCheckBox::clicked, this,
            [this](bool on) { writePreferences(model_, [&](AppPreferences& p) { p.useExtendedSDS = on; }); });
    connect(sps1uwName_, &QCheckBox::clicked, this,
            [this](bool on) { writePreferences(model_, [&](AppPreferences& p) { p.sendSPS1UWName = on; }); });
    connect(deviceNumber_, &QSpinBox::valueChanged, this, [this](int value) {
        writePreferences(model_, [&](AppPreferences& p) { p.deviceNumber = SettingsPresenter::clampedDeviceNumber(value); });
    });
    connect(delayTicks_, &QSpinBox::valueChanged, this,
            [this](int value) { writePreferences(model_, [&](AppPreferences& p) { p.delayTicks = value; }); });
    connect(receiveFormat_, &QComboBox::activated, this, [this](int row) {
        if (row < 0 || row >= static_cast<int>(AppPreferences::allReceiveFormats.size())) return;
        writePreferences(model_, [&](AppPreferences& p) { p.receiveFormat = AppPreferences::allReceiveFormats[static_cast<std::size_t>(row)]; });
    });

    for (auto signal : {&AppModel::preferencesChanged, &AppModel::endpointsChanged, &AppModel::turboStatusChanged,
                        &AppModel::diagnosticCaptureStatusChanged, &AppModel::isSendingChanged,
                        &AppModel::isReceivingChanged, &AppModel::isImportingChanged, &AppModel::isExportingChanged,
                        &AppModel::isConvertingChanged, &AppModel::turboStateChanged, &AppModel::statusTextChanged}) {
        connect(&model_, signal, this, [this] { scheduleRefresh(); });
    }
    refresh();
}

bool SettingsWindow::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel)) {
        for (auto* picker : findChildren<QComboBox*>()) {
            if (picker->view() != object || !picker->view()->isVisible()) continue;
            picker->hidePopup();
            event->accept();
            return true;
        }
    }
    return QWidget::eventFilter(object, event);
}

SettingsWindow* SettingsWindow::present(AppModel& model, QWidget* owner) {
    auto* window = owner->findChild<SettingsWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) {
        window = new SettingsWindow(model, owner);
        const QRect screen = owner->screen() ? owner->screen()->availableGeometry() : QRect();
        if (screen.isValid()) window->move(screen.center() - window->rect().center());
    }
    window->refresh();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void SettingsWindow::scheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshPending_) refresh();
    });
}

void SettingsWindow::refresh() {
    refreshPending_ = false;
    const auto p = SettingsPresenter::present(SettingsState::of(model_));
    applyPicker(input_, p.input);
    applyPicker(output_, p.output);
    applyPicker(turboLimit_, p.turboLimit);
    activeSendSpeed_->setText(qt(p.activeSendSpeed));
    refreshDevices_->setEnabled(p.refreshEnabled);

    reloadFiles_->setChecked(p.reloadFiles);
    reloadFiles_->setEnabled(p.reloadFilesEnabled);
    diagnostic_->setText(qt(p.diagnosticButtonTitle));
    diagnosticStatus_->setVisible(p.diagnosticStatus.has_value());
    diagnosticStatus_->setText(qt(p.diagnosticStatus.value_or("")));

    transferTab_->setEnabled(p.transferEnabled);
    handshake_->setChecked(p.useHandshake);
    extendedSDS_->setChecked(p.useExtendedSDS);
    sps1uwName_->setChecked(p.sendSPS1UWName);
    {
        const QSignalBlocker deviceBlocker(deviceNumber_);
        const QSignalBlocker delayBlocker(delayTicks_);
        deviceNumber_->setValue(p.deviceNumber);
        delayTicks_->setValue(p.delayTicks);
    }
    deviceNumber_->setAccessibleName(qt(p.deviceNumberLabel));
    delayTicks_->setAccessibleName(qt(p.delayLabel));
    applyPicker(receiveFormat_, p.receiveFormat);
}

}  // namespace k7

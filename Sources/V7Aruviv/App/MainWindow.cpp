#include "V7Aruviv/App/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QTableView>

#include "K7Core/Support/K7CoreVersion.h"
#include "V7Aruviv/App/AppIcon.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Views/ContentView.h"
#include "V7Aruviv/Views/FileListView.h"
#include "V7Aruviv/Views/ModelCommand.h"
#include "V7Aruviv/Views/QtText.h"
#include "V7Aruviv/Views/SettingsWindow.h"

namespace k7 {

namespace {

void applyEntry(QAction* action, const MenuEntryPresentation& entry) {
    const QString title = qt(entry.title);
    if (action->text() != title) action->setText(title);
    action->setEnabled(entry.enabled);
}

}  // namespace

MainWindow::MainWindow(AppModel& model, QWidget* parent)
    : QMainWindow(parent), model_(model), content_(new ContentView(model)), alert_(new QMessageBox(this)) {
    setWindowTitle(QStringLiteral("V7/64"));
    setWindowIcon(appIcon());
    setCentralWidget(content_);
    setMinimumSize(675, 374);
    resize(820, 500);

    content_->presentSettings = [this] { SettingsWindow::present(model_, this); };
    // The first key goes to the list, not to the first button (Receive).
    content_->fileList()->table()->setFocus(Qt::OtherFocusReason);

    alert_->setWindowTitle(QStringLiteral("V7/64"));
    alert_->setWindowModality(Qt::WindowModal);
    alert_->setIcon(QMessageBox::Warning);
    alert_->setStandardButtons(QMessageBox::Ok);
    // However the alert closes, the model's message is done with.
    connect(alert_, &QMessageBox::finished, this, [this] {
        if (model_.alertMessage()) model_.setAlertMessage(std::nullopt);
    });
    connect(&model_, &AppModel::alertMessageChanged, this, &MainWindow::showAlert);

    buildMenus();
    connect(content_, &ContentView::refreshed, this, &MainWindow::applyMenus);
    applyMenus(content_->state());
    showAlert();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus() {
    auto command = [this](auto&& body) {
        return [this, body] { runModelCommand(model_, body); };
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    actions_.load = file->addAction(QStringLiteral("Load\u2026"));
    actions_.load->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(actions_.load, &QAction::triggered, this, command([this] { model_.presentLoadPanel(); }));
    file->addSeparator();
    actions_.saveSelected = file->addAction(QStringLiteral("Save Selected\u2026"));
    actions_.saveSelected->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(actions_.saveSelected, &QAction::triggered, this, command([this] { model_.presentSavePanel(); }));
    actions_.saveFileList = file->addAction(QStringLiteral("Save File List\u2026"));
    actions_.saveFileList->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(actions_.saveFileList, &QAction::triggered, this, command([this] { model_.presentSaveProjectPanel(); }));
    actions_.closeSelected = file->addAction(QStringLiteral("Close Selected"));
    // Text fields take these keys first (they accept the shortcut override), so editing a name or
    // a number never removes items.
    actions_.closeSelected->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)});
    connect(actions_.closeSelected, &QAction::triggered, this, command([this] { model_.removeSelected(); }));
    file->addSeparator();
    actions_.quit = file->addAction(QStringLiteral("Quit"));
    actions_.quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actions_.quit->setMenuRole(QAction::QuitRole);
    connect(actions_.quit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    actions_.settings = edit->addAction(QStringLiteral("Settings\u2026"));
    actions_.settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    actions_.settings->setMenuRole(QAction::PreferencesRole);
    connect(actions_.settings, &QAction::triggered, this, [this] { presentSettings(); });

    QMenu* transfer = menuBar()->addMenu(QStringLiteral("&Transfer"));
    actions_.send = transfer->addAction(QStringLiteral("Send"));
    // The menu owns Ctrl+Return: a second shortcut on the key in this window would cancel both.
    actions_.send->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    connect(actions_.send, &QAction::triggered, this,
            command([this] { model_.isSending() ? model_.stopSending() : model_.sendSelected(); }));
    actions_.receive = transfer->addAction(QStringLiteral("Receive"));
    actions_.receive->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    connect(actions_.receive, &QAction::triggered, this, command([this] { model_.toggleReceiving(); }));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    actions_.about = help->addAction(QStringLiteral("About V7/64"));
    actions_.about->setMenuRole(QAction::AboutRole);
    connect(actions_.about, &QAction::triggered, this, &MainWindow::showAbout);
}

void MainWindow::applyMenus(const ContentState& state) {
    const auto menus = ContentPresenter::presentMenus(state);
    applyEntry(actions_.about, menus.about);
    applyEntry(actions_.settings, menus.settings);
    applyEntry(actions_.load, menus.load);
    applyEntry(actions_.saveSelected, menus.saveSelected);
    applyEntry(actions_.saveFileList, menus.saveFileList);
    applyEntry(actions_.closeSelected, menus.closeSelected);
    applyEntry(actions_.send, menus.send);
    applyEntry(actions_.receive, menus.receive);
}

void MainWindow::presentSettings() {
    ContentView::openSettings(model_, [this] { SettingsWindow::present(model_, this); });
}

void MainWindow::showAlert() {
    const auto& message = model_.alertMessage();
    if (!message) {
        if (alert_->isVisible()) alert_->done(QMessageBox::Ok);
        return;
    }
    alert_->setText(qt(*message));
    if (!alert_->isVisible()) alert_->open();
}

QString MainWindow::aboutText() {
    return QStringLiteral("<h3>V7/64</h3><p>v") + qt(K7Core::version) +
           QStringLiteral("</p><p>Moves SysEx files, backups and audio samples between this computer and Elektron "
                          "instruments.</p><p>Built with Qt, ALSA, pugixml and nlohmann/json.</p>");
}

void MainWindow::showAbout() {
    QMessageBox box(this);
    box.setWindowTitle(QStringLiteral("About V7/64"));
    box.setIconPixmap(appIcon().pixmap(64, 64));
    box.setTextFormat(Qt::RichText);
    box.setText(aboutText());
    box.exec();
}

bool MainWindow::mayQuit() {
    // A question that fails keeps the window: quitting unasked could lose unsaved items.
    bool allowed = false;
    runModelCommand(model_, [&] { allowed = model_.shouldTerminateAfterUserConfirmation(); });
    return allowed;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!mayQuit()) {
        event->ignore();
        return;
    }
    event->accept();
    // Also ends the program when the settings window is still open.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace k7

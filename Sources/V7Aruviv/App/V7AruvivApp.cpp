#include "V7Aruviv/App/V7AruvivApp.h"

#include <QApplication>
#include <QSessionManager>

#include "V7Aruviv/App/MainWindow.h"
#include "V7Aruviv/App/QtMainScheduler.h"
#include "V7Aruviv/App/QtUserInteraction.h"
#include "V7Aruviv/Models/AppPreferences.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

V7AruvivApp::V7AruvivApp(AppLaunchOptions options)
    : options_(std::move(options)),
      scheduler_(std::make_shared<QtMainScheduler>()),
      interaction_(std::make_shared<QtUserInteraction>()) {
    connect(qApp, &QGuiApplication::commitDataRequest, this, &V7AruvivApp::commitData, Qt::DirectConnection);
}

V7AruvivApp::~V7AruvivApp() {
    window_.reset();
    model_.reset();
}

AppModelConfiguration V7AruvivApp::configuration(bool offlineHealthCheck, std::shared_ptr<Scheduler> mainScheduler,
                                                 std::shared_ptr<UserInteraction> interaction) {
    AppModelConfiguration configuration;
    configuration.turboResponseTimeout = 3.0;
    configuration.turboDetectionTimeout = 0.5;
    configuration.monomachineRepairMaximumAttempts = 8;
    configuration.monomachineRepairInterRequestDelay = 0.08;
    configuration.automaticallyDetectTurbo = true;
    // The process-wide store outlives every model: shared without ownership.
    configuration.preferencesStore = std::shared_ptr<DefaultsStore>(std::shared_ptr<DefaultsStore>(), &AppPreferences::defaultStore());
    configuration.offlineHealthCheck = offlineHealthCheck;
    configuration.mainScheduler = std::move(mainScheduler);
    configuration.userInteraction = std::move(interaction);
    return configuration;
}

void V7AruvivApp::start() {
    model_ = std::make_unique<AppModel>(configuration(options_.offlineHealthCheck, scheduler_, interaction_));
    window_ = std::make_unique<MainWindow>(*model_);
    interaction_->setWindow(window_.get());
    window_->show();
    if (!options_.files.empty()) model_->openURLs(options_.files);
}

void V7AruvivApp::openFromLaterStart(const std::vector<std::filesystem::path>& files) {
    if (model_ && window_) openFromLaterStart(*model_, *window_, files);
}

void V7AruvivApp::openFromLaterStart(AppModel& model, QWidget& window, const std::vector<std::filesystem::path>& files) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
    if (!files.empty()) model.openURLs(files);
}

void V7AruvivApp::commitData(QSessionManager& manager) {
    if (!window_) return;
    const bool mayAsk = manager.allowsInteraction();  // a leave to ask that must be given back
    const bool allowed = sessionMayEnd(*window_, mayAsk);
    if (mayAsk) manager.release();
    if (!allowed) manager.cancel();
}

bool V7AruvivApp::sessionMayEnd(MainWindow& window, bool mayAsk) {
    // Logging out asks like quitting; without leave to ask, the session ends as it must.
    return !mayAsk || window.mayQuit();
}

void V7AruvivApp::endWithoutAsking() {
    // Not quit(): that closes the windows first, and the main window's close asks.
    QCoreApplication::exit(0);
}

}  // namespace k7

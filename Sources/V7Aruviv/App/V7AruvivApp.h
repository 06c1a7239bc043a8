#pragma once

#include <QObject>
#include <filesystem>
#include <memory>
#include <vector>

#include "V7Aruviv/App/AppLaunchOptions.h"
#include "V7Aruviv/Stores/AppModelConfiguration.h"

class QSessionManager;
class QWidget;

namespace k7 {

class AppModel;
class MainWindow;
class QtMainScheduler;
class QtUserInteraction;

// The program: the main scheduler, the dialogs, the one model and the one window, the files of
// the command line and the quit guard at session logout. Made after the QApplication.
class V7AruvivApp final : public QObject {
    Q_OBJECT

public:
    explicit V7AruvivApp(AppLaunchOptions options);
    ~V7AruvivApp() override;

    // The configuration the program's model is made with.
    static AppModelConfiguration configuration(bool offlineHealthCheck, std::shared_ptr<Scheduler> mainScheduler,
                                               std::shared_ptr<UserInteraction> interaction);

    // Creates the model and the window, shows it and opens the command line's files.
    void start();

    // The files of a later start of the program: one delivery, in the window brought to the front.
    void openFromLaterStart(const std::vector<std::filesystem::path>& files);
    static void openFromLaterStart(AppModel& model, QWidget& window, const std::vector<std::filesystem::path>& files);

    // Whether the session may end now, asked of `window` as a quit when the session lets it ask.
    static bool sessionMayEnd(MainWindow& window, bool mayAsk);

    // Ends the program as a session end that may not ask (a termination signal): nothing is asked
    // and an open dialog gives up; every event loop returns 0. Destroying this object then stops
    // the work in progress, removes a folder save's staging folder and ends a diagnostic capture.
    static void endWithoutAsking();

    AppModel* model() const { return model_.get(); }
    MainWindow* window() const { return window_.get(); }

private:
    void commitData(QSessionManager& manager);

    AppLaunchOptions options_;
    std::shared_ptr<QtMainScheduler> scheduler_;
    std::shared_ptr<QtUserInteraction> interaction_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<MainWindow> window_;  // released before the model it shows
};

}  // namespace k7

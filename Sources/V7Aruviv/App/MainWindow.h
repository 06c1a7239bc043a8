#pragma once

#include <QMainWindow>
#include <QPointer>

#include "V7Aruviv/Views/ContentPresenter.h"

class QAction;
class QMessageBox;

namespace k7 {

class AppModel;
class ContentView;

// The one main window "V7/64": the content, the menus, the model's alert and the quit guard.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView* content() const { return content_; }
    QMessageBox* alertBox() const { return alert_; }

    struct Actions {
        QAction* about = nullptr;
        QAction* settings = nullptr;
        QAction* load = nullptr;
        QAction* saveSelected = nullptr;
        QAction* saveFileList = nullptr;
        QAction* closeSelected = nullptr;
        QAction* quit = nullptr;
        QAction* send = nullptr;
        QAction* receive = nullptr;
    };
    const Actions& actions() const { return actions_; }

    void presentSettings();
    void showAbout();
    // Asks the model whether the program may quit now; it shows its own alerts.
    bool mayQuit();

    // Credits of the About box.
    static QString aboutText();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void applyMenus(const ContentState& state);
    void showAlert();

    AppModel& model_;
    ContentView* content_;
    QMessageBox* alert_;
    Actions actions_;
};

}  // namespace k7

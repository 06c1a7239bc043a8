#pragma once

#include <QWidget>
#include <functional>

#include "V7Aruviv/Views/ContentPresenter.h"

class QPushButton;

namespace k7 {

class AppModel;
class FileInfoView;
class FileListView;
class StatusBlock;

// The main window's content: the action row, the file list, the file information and the status
// block. It redraws from the model after every published change, once per turn of the event loop,
// and accepts files dropped anywhere on it.
class ContentView final : public QWidget {
    Q_OBJECT

public:
    explicit ContentView(AppModel& model, QWidget* parent = nullptr);

    // Redraws now from the model's state (normally run by the event loop after a change).
    void refresh();
    const ContentPresentation& presentation() const { return presentation_; }
    const ContentState& state() const { return state_; }

    // What the Settings button does when the configuration is free.
    std::function<void()> presentSettings;

    QPushButton* sendButton() const { return send_; }
    QPushButton* receiveButton() const { return receive_; }
    QPushButton* addFilesButton() const { return addFiles_; }
    QPushButton* saveSelectedButton() const { return saveSelected_; }
    QPushButton* removeButton() const { return remove_; }
    QPushButton* settingsButton() const { return settings_; }
    FileListView* fileList() const { return fileList_; }
    FileInfoView* fileInfo() const { return fileInfo_; }
    StatusBlock* statusBlock() const { return status_; }

    // The Settings command of the button and the menu: refused while the configuration is locked.
    static void openSettings(AppModel& model, const std::function<void()>& present);

signals:
    // After every refresh, with the state it showed (the menus follow it).
    void refreshed(const k7::ContentState& state);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void scheduleRefresh();

    AppModel& model_;
    QPushButton* send_;
    QPushButton* receive_;
    QPushButton* addFiles_;
    QPushButton* saveSelected_;
    QPushButton* remove_;
    QPushButton* settings_;
    FileListView* fileList_;
    FileInfoView* fileInfo_;
    StatusBlock* status_;
    ContentState state_;
    ContentPresentation presentation_;
    bool refreshPending_ = false;
};

}  // namespace k7

#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTableView>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <memory>

#include "Support/Model/AppModelRig.h"
#include "Support/Model/SampleItems.h"
#include "V7Aruviv/App/MainWindow.h"
#include "V7Aruviv/Views/ContentView.h"
#include "V7Aruviv/Views/FileListTableModel.h"
#include "V7Aruviv/Views/FileListView.h"

namespace k7::testing {

// The real main window over the model rig: the model in virtual time, the widgets on the
// offscreen platform. `pump` runs the model's due work and Qt's events until both are quiet.
class WindowRig {
public:
    static AppModelRig::Options quietOptions() {
        AppModelRig::Options options;
        options.automaticallyDetectTurbo = false;
        return options;
    }

    explicit WindowRig(AppModelRig::Options options = quietOptions()) : rig(std::move(options)) { open(); }
    ~WindowRig() { window.reset(); }  // the window goes before the model it shows

    // The next launch: a new model over the same store and seams, and a new window.
    void relaunch() {
        window.reset();
        rig.restart();
        open();
    }

    void pump() {
        for (int round = 0; round < 4; ++round) {
            rig.settle();
            QApplication::processEvents();
        }
    }
    // Runs the model's virtual time until `done`, keeping the window current.
    bool runUntil(const std::function<bool()>& done) {
        const bool reached = rig.runUntil(done);
        pump();
        return reached;
    }

    AppModel& model() const { return *rig.model; }
    ContentView& content() const { return *window->content(); }
    FileListView& list() const { return *window->content()->fileList(); }
    QTableView& table() const { return *list().table(); }

    std::vector<TransferItem> show(std::vector<TransferItem> items) {
        rig->setItems(items);
        pump();
        return items;
    }
    QPoint rowCenter(int row) const { return table().visualRect(table().model()->index(row, 0)).center(); }
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        for (const auto& item : rig->items()) names.push_back(item.displayName);
        return names;
    }

    AppModelRig rig;
    std::unique_ptr<MainWindow> window;

private:
    void open() {
        window = std::make_unique<MainWindow>(*rig.model);
        window->resize(820, 500);
        window->show();
        // Shortcuts and focus work in the active window only.
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        pump();
    }
};

// A key and its modifiers, named for a test's trace.
struct KeyPress {
    const char* name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

// Three SysEx items: a Machinedrum kit, a Monomachine kit, a generic message.
inline std::vector<TransferItem> threeSysExItems() {
    return {SampleItems::sysEx("kick.syx", {SampleItems::elektronMessage(2, 40)}, "/tmp/kick.syx"),
            SampleItems::sysEx("mono.syx", {SampleItems::elektronMessage(3, 40)}, "/tmp/mono.syx"),
            SampleItems::sysEx("other.syx", {SampleItems::genericMessage(20)})};
}

// Writes `count` small SysEx files and returns their paths.
inline std::vector<std::filesystem::path> writeSysExFiles(const QTemporaryDir& folder, int count) {
    std::vector<std::filesystem::path> files;
    for (int n = 0; n < count; ++n) {
        const auto path = std::filesystem::path(folder.path().toStdString()) / ("file" + std::to_string(n) + ".syx");
        const auto bytes = SampleItems::elektronMessage(2, 30, static_cast<uint8_t>(n));
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        files.push_back(path);
    }
    return files;
}

// A menu's entries as shown: "---" for a separator, "(off)" after a disabled entry.
inline std::vector<std::string> menuEntries(const QMenu* menu) {
    std::vector<std::string> entries;
    if (!menu) return entries;
    for (QAction* action : menu->actions()) {
        const auto title = action->text().toStdString();
        entries.push_back(action->isSeparator() ? "---" : title + (action->isEnabled() ? "" : " (off)"));
    }
    return entries;
}

inline QAction* actionTitled(const QList<QAction*>& actions, const char* title) {
    for (QAction* action : actions) {
        if (action->text() == QString::fromUtf8(title)) return action;
    }
    return nullptr;
}

}  // namespace k7::testing


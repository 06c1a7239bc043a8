#include <QAbstractButton>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <fstream>

#include "FolderRemovedAtEnd.h"
#include "K7Core/Support/K7CoreVersion.h"
#include "V7Aruviv/App/AppLaunchOptions.h"
#include "V7Aruviv/App/V7AruvivApp.h"
#include "V7Aruviv/Views/FileInfoView.h"
#include "V7Aruviv/Views/SettingsWindow.h"
#include "V7Aruviv/Views/StatusBlock.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

TEST(MainWindow, TitleMenusKeysAndTheEmptyList) {
    WindowRig w;
    EXPECT_EQ(w.window->windowTitle(), "V7/64");
    const struct {
        const char* menu;
        std::vector<std::string> titles;
    } menus[] = {
        {"&File",
         {"Load\u2026", "---", "Save Selected\u2026 (off)", "Save File List\u2026", "Close Selected (off)", "---",
          "Quit"}},
        {"&Edit", {"Settings\u2026"}},
        {"&Transfer", {"Send", "Receive"}},
        {"&Help", {"About V7/64"}},
    };
    for (const auto& m : menus) {
        SCOPED_TRACE(m.menu);
        QAction* menu = actionTitled(w.window->menuBar()->actions(), m.menu);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menuEntries(menu->menu()), m.titles);
    }
    const auto& a = w.window->actions();
    const struct {
        QAction* action;
        QList<QKeySequence> keys;
    } shortcuts[] = {
        {a.load, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {a.saveSelected, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
        {a.saveFileList, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
        {a.closeSelected, {QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_Backspace)}},
        {a.quit, {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
        {a.settings, {QKeySequence(Qt::CTRL | Qt::Key_Comma)}},
        {a.send, {QKeySequence(Qt::CTRL | Qt::Key_Return)}},
        {a.receive, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)}},
        {a.about, {}},
    };
    for (const auto& s : shortcuts) {
        SCOPED_TRACE(s.action->text().toStdString());
        EXPECT_EQ(s.action->shortcuts(), s.keys);
    }
    // Ctrl+Return belongs to the menu alone; the Send button only names it.
    for (auto* button : w.window->findChildren<QAbstractButton*>()) EXPECT_TRUE(button->shortcut().isEmpty());
    EXPECT_NE(w.content().sendButton()->toolTip().indexOf("Ctrl+Return"), -1);

    EXPECT_TRUE(w.list().dropInvitation()->isVisible());
    EXPECT_EQ(w.list().dropInvitation()->text(), "Drop SysEx, WAV, AIFF, or K7 files here");
    EXPECT_EQ(w.content().statusBlock()->statusDetail()->text(), "Total: 0 messages, Zero KB");
    EXPECT_FALSE(w.content().statusBlock()->progressBar()->isVisible());
    EXPECT_FALSE(w.content().statusBlock()->planLine()->isVisible());
    EXPECT_FALSE(w.content().sendButton()->isEnabled());
    EXPECT_TRUE(w.content().receiveButton()->isEnabled());

    w.show({SampleItems::sysEx("one.syx", {SampleItems::elektronMessage(2, 10)})});
    EXPECT_FALSE(w.list().dropInvitation()->isVisible());
    EXPECT_EQ(w.content().statusBlock()->statusDetail()->text(), "Total: 1 message, 17 bytes");
}

TEST(MainWindow, PlanLineAndSendStateFollowTheModel) {
    WindowRig w;
    const auto items = w.show(threeSysExItems());
    w.rig->setSelection({items[0].id});
    w.pump();
    const auto plan = w.rig->liveTransferPlan();
    ASSERT_TRUE(plan);
    EXPECT_TRUE(w.content().statusBlock()->planLine()->isVisible());
    EXPECT_EQ(w.content().statusBlock()->planSummary()->text().toStdString(), plan->compactSummary);
    EXPECT_EQ(w.content().statusBlock()->planLine()->toolTip().toStdString(), plan->fullSummary);
    EXPECT_EQ(w.content().statusBlock()->planLine()->accessibleName(), "Transfer plan");

    // A running send shows its frozen plan, whatever is selected meanwhile.
    auto frozen = *plan;
    frozen.compactSummary = "the frozen plan";
    w.rig->setFrozenTransferPlan(frozen);
    w.rig->setIsSending(true);
    w.rig->setSelection({items[1].id});
    w.pump();
    EXPECT_EQ(w.content().statusBlock()->planSummary()->text(), "the frozen plan");
    EXPECT_EQ(w.content().sendButton()->text(), "Cancel");
    EXPECT_EQ(w.window->actions().send->text(), "Stop Sending");
    EXPECT_EQ(w.content().statusBlock()->statusDetail()->text(), "0%");
    EXPECT_EQ(w.content().statusBlock()->progressBar()->accessibleName(), "Send progress");
    EXPECT_FALSE(w.content().removeButton()->isEnabled());
}

TEST(MainWindow, TheModelsAlertAndACommandsExceptionShowInABoxThatOKClears) {
    WindowRig w;
    w.show(threeSysExItems());
    // The menu's Send is enabled with no selection; the model answers with its alert.
    w.window->actions().send->trigger();
    w.pump();
    ASSERT_TRUE(w.rig->alertMessage());
    QMessageBox* box = w.window->alertBox();
    ASSERT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), *w.rig->alertMessage());
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);

    w.rig->setAlertMessage("A newer problem.");
    w.pump();
    EXPECT_EQ(box->text(), "A newer problem.");

    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    w.pump();
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(w.rig->alertMessage());

    // Closed any other way, the message is cleared too.
    w.rig->setAlertMessage("Once more.");
    w.pump();
    ASSERT_TRUE(box->isVisible());
    box->reject();
    w.pump();
    EXPECT_FALSE(w.rig->alertMessage());

    // An exception out of a command is shown the same way instead of leaving through the event loop.
    w.rig.interaction->whileShowing = [] { throw std::runtime_error("The file panel failed."); };
    w.window->actions().load->trigger();
    w.pump();
    EXPECT_EQ(w.rig->alertMessage(), "The file panel failed.");
    EXPECT_TRUE(box->isVisible());
}

TEST(MainWindow, SettingsOpenOnceAndAreRefusedWhileLocked) {
    WindowRig w;
    w.rig->setIsSending(true);
    w.pump();
    EXPECT_FALSE(w.content().settingsButton()->isEnabled());
    EXPECT_FALSE(w.window->actions().settings->isEnabled());
    w.window->presentSettings();  // as if triggered all the same
    w.pump();
    EXPECT_EQ(w.rig->alertMessage(),
              "Configuration is unavailable during an active transfer, import, save, or Turbo negotiation.");
    EXPECT_TRUE(w.window->findChildren<SettingsWindow*>().isEmpty());

    w.window->alertBox()->accept();
    w.rig->setIsSending(false);
    w.pump();
    QTest::mouseClick(w.content().settingsButton(), Qt::LeftButton);
    w.window->actions().settings->trigger();
    w.pump();
    const auto windows = w.window->findChildren<SettingsWindow*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_TRUE(windows.front()->isVisible());
    EXPECT_EQ(windows.front()->windowTitle(), "V7/64 Settings");
    EXPECT_EQ(windows.front()->size(), QSize(552, 422));
    EXPECT_FALSE(windows.front()->testAttribute(Qt::WA_QuitOnClose));
}

TEST(MainWindow, QuitAsksAboutUnsavedItemsAndRefusesWhileBusy) {
    WindowRig w;
    auto items = threeSysExItems();  // the third has no file: received or generated
    w.show(items);

    w.rig.interaction->alertAnswers = {1};  // "Cancel"
    EXPECT_FALSE(w.window->close());
    EXPECT_TRUE(w.window->isVisible());
    ASSERT_EQ(w.rig.interaction->alertsShown.size(), 1u);
    EXPECT_EQ(w.rig.interaction->alertsShown.back().message, "Quit with 1 unsaved item?");

    w.rig->setIsSending(true);
    EXPECT_FALSE(w.window->close());
    EXPECT_EQ(w.rig.interaction->alertsShown.size(), 1u);  // refused without a question
    EXPECT_TRUE(w.rig->alertMessage());
    w.rig->setIsSending(false);
    w.rig->setAlertMessage(std::nullopt);
    w.pump();

    // A question that fails is no leave to quit.
    w.rig.interaction->whileShowing = [] { throw std::runtime_error("The question failed."); };
    EXPECT_FALSE(w.window->close());
    EXPECT_EQ(w.rig->alertMessage(), "The question failed.");
    w.rig->setAlertMessage(std::nullopt);
    w.pump();

    w.rig.interaction->alertAnswers = {0};  // "Quit Without Saving"
    EXPECT_TRUE(w.window->close());
}

// Logging out asks what quitting asks, but only when the session lets the program ask.
TEST(MainWindow, SessionLogoutAsksLikeQuittingWhenItMayAsk) {
    WindowRig w;
    w.show(threeSysExItems());  // one unsaved item
    const struct {
        const char* name;
        bool mayAsk;
        bool sending;
        std::deque<std::optional<std::size_t>> answers;
        bool mayEnd;
        std::size_t questions;
    } cases[] = {
        {"no leave to ask", false, false, {1}, true, 0},
        {"no leave to ask while sending", false, true, {}, true, 0},
        {"cancelled", true, false, {1}, false, 1},
        {"quit without saving", true, false, {0}, true, 1},
        {"sending", true, true, {}, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.rig->setIsSending(c.sending);
        w.rig.interaction->alertsShown.clear();
        w.rig.interaction->alertAnswers = c.answers;
        EXPECT_EQ(V7AruvivApp::sessionMayEnd(*w.window, c.mayAsk), c.mayEnd);
        EXPECT_EQ(w.rig.interaction->alertsShown.size(), c.questions);
        EXPECT_TRUE(w.window->isVisible());
        w.rig->setIsSending(false);
        w.rig->setAlertMessage(std::nullopt);
        w.pump();
    }
}

TEST(MainWindow, AboutShowsTheCoreVersion) {
    WindowRig w;
    ASSERT_FALSE(std::string(K7Core::version).empty());
    QString shown;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    w.window->actions().about->trigger();
    EXPECT_NE(shown.indexOf(QStringLiteral("<p>v") + QString::fromUtf8(K7Core::version) + QStringLiteral("</p>")), -1)
        << shown.toStdString();
}

TEST(MainWindow, DeleteClosesSelectedItemsButNotInsideTextFields) {
    WindowRig w;
    const auto items = w.show(threeSysExItems());
    w.rig->setSelection({items[0].id});
    w.pump();
    QSignalSpy closeSelected(w.window->actions().closeSelected, &QAction::triggered);

    auto* field = w.content().fileInfo()->samplePosition();
    w.window->activateWindow();
    field->setFocus();
    for (auto key : {Qt::Key_Delete, Qt::Key_Backspace}) QTest::keyClick(field, key);
    EXPECT_EQ(closeSelected.count(), 0);

    for (auto key : {Qt::Key_Delete, Qt::Key_Backspace}) {
        w.rig->setSelection({w.rig->items().front().id});
        w.pump();
        QApplication::setActiveWindow(w.window.get());
        w.table().setFocus();
        QTest::keyClick(&w.table(), key);
        w.pump();
    }
    EXPECT_EQ(closeSelected.count(), 2);
    EXPECT_EQ(w.names(), std::vector<std::string>{"other.syx"});
}

// The list is one stop of the window's Tab order, as any desktop list: Tab and Shift+Tab go round
// every control and back without touching the selection; the arrow keys move within the list.
TEST(MainWindow, TabLeavesTheFileListAndKeepsItsSelection) {
    WindowRig w;
    const auto items = w.show(threeSysExItems());
    const std::set<QUuid> second{items[1].id};
    const KeyPress directions[] = {{"Tab", Qt::Key_Tab, Qt::NoModifier}, {"Shift+Tab", Qt::Key_Backtab, Qt::ShiftModifier}};
    for (const auto& d : directions) {
        SCOPED_TRACE(d.name);
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
        w.pump();
        ASSERT_EQ(QApplication::focusWidget(), &w.table());
        ASSERT_EQ(w.rig->selection(), second);
        const auto press = [&] {
            QTest::keyClick(QApplication::focusWidget(), d.key, d.modifiers);
            w.pump();
        };
        press();
        EXPECT_NE(QApplication::focusWidget(), &w.table()) << "the focus stayed in the list";
        EXPECT_EQ(w.rig->selection(), second);
        std::set<QWidget*> reached{QApplication::focusWidget()};
        for (int presses = 1; presses < 40 && QApplication::focusWidget() != &w.table(); ++presses) {
            press();
            reached.insert(QApplication::focusWidget());
        }
        EXPECT_EQ(QApplication::focusWidget(), &w.table()) << "the focus never came back to the list";
        EXPECT_TRUE(reached.contains(w.content().fileInfo()->samplePosition()));
        EXPECT_TRUE(reached.contains(w.content().settingsButton()));
        EXPECT_EQ(w.rig->selection(), second);
    }

    // Nor does Ctrl+Tab walk the cells.
    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
    const auto cell = [&] { return std::pair(w.table().currentIndex().row(), w.table().currentIndex().column()); };
    const auto clicked = cell();
    QTest::keyClick(&w.table(), Qt::Key_Tab, Qt::ControlModifier);
    w.pump();
    EXPECT_EQ(cell(), clicked);
    EXPECT_EQ(w.rig->selection(), second);

    QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
    QTest::keyClick(&w.table(), Qt::Key_Down);
    w.pump();
    EXPECT_EQ(w.rig->selection(), (std::set<QUuid>{items[2].id}));
}

// The first key goes to the list, not to whichever button comes first.
TEST(MainWindow, OpensWithTheFocusInTheFileList) {
    WindowRig w;
    EXPECT_EQ(QApplication::focusWidget(), &w.table());
    w.relaunch();
    EXPECT_EQ(QApplication::focusWidget(), &w.table());
}

// Converting from the keyboard: the pressed button goes with the WAV's controls, and the keyboard
// goes to the list, whose current row is the new item.
TEST(MainWindow, AConversionFromTheKeyboardLeavesTheFocusInTheListOnTheNewItem) {
    const struct {
        const char* name;
        QPushButton* (FileInfoView::*button)() const;
    } buttons[] = {{"SDS", &FileInfoView::sdsButton}, {"DigiPRO", &FileInfoView::digiPROButton}};
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        WindowRig w;
        const auto items = w.show({SampleItems::sysEx("kick.syx", {SampleItems::elektronMessage(2, 40)}, "/tmp/kick.syx"),
                                   SampleItems::audio("tone.wav", TransferItem::Kind::wav, 0.01),
                                   SampleItems::sysEx("other.syx", {SampleItems::genericMessage(20)})});
        QTest::mouseClick(w.table().viewport(), Qt::LeftButton, Qt::NoModifier, w.rowCenter(1));
        w.pump();
        QPushButton* button = (w.content().fileInfo()->*b.button)();
        ASSERT_TRUE(button->isVisible());
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Space);
        QApplication::processEvents();  // the window shows the conversion under way before it ends
        ASSERT_TRUE(w.rig->isConverting());
        ASSERT_TRUE(w.runUntil([&] { return !w.rig->isConverting() && w.rig->items().size() == 4; }));
        const QUuid made = w.rig->items().back().id;
        ASSERT_EQ(w.rig->selection(), std::set<QUuid>{made});
        EXPECT_FALSE(button->isVisible());

        EXPECT_EQ(QApplication::focusWidget(), &w.table());
        EXPECT_EQ(w.table().currentIndex().row(), 3);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        w.pump();
        EXPECT_EQ(w.rig->selection(), std::set<QUuid>{items[2].id}) << "Up went on from the WAV";
    }
}

TEST(MainWindow, SamplePositionIsWrittenOnEditAndShowsTheClampedValue) {
    WindowRig w;
    auto* field = w.content().fileInfo()->samplePosition();
    const struct {
        const char* typed;
        int64_t expected;
    } cases[] = {{"20000", 16383}, {"-5", 0}, {"12", 12}, {"not a number", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromUtf8(c.typed));
        QTest::keyClick(field, Qt::Key_Return);
        w.pump();
        EXPECT_EQ(w.rig->samplePosition(), c.expected);
        EXPECT_EQ(field->text(), QLocale().toString(static_cast<qlonglong>(c.expected)));
    }
}

// Drags `file` onto `target` and drops it there; a file manager's drag also carries the path as text.
void dropFile(QWidget* target, const std::filesystem::path& file, bool withPathAsText = false) {
    const QString path = QString::fromStdString(file.string());
    QMimeData mime;
    // As a file manager sends it: the name's bytes percent-encoded, whatever their encoding.
    mime.setData(QStringLiteral("text/uri-list"),
                 "file://" + QByteArray::fromStdString(file.string()).toPercentEncoding("/") + "\r\n");
    if (withPathAsText) mime.setText(path);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    EXPECT_TRUE(dropped.isAccepted());
}

TEST(MainWindow, FilesOfTheCommandLineOrDroppedOnTheWindowOrTheListAreImported) {
    WindowRig w;
    QTemporaryDir folder;
    const auto files = writeSysExFiles(folder, 3);
    w.rig->openURLs(AppLaunchOptions::parse({"--offline-health-check", files[0].string()}, "/").files);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 1 && !w.rig->isImporting(); }));
    dropFile(&w.content(), files[1]);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 2 && !w.rig->isImporting(); }));
    dropFile(w.table().viewport(), files[2]);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 3 && !w.rig->isImporting(); }));
    EXPECT_EQ(w.table().model()->rowCount(), 3);
    EXPECT_EQ(w.names(), (std::vector<std::string>{"file0.syx", "file1.syx", "file2.syx"}));
}

// File managers' drags carry the paths as text too: on a text field they are imported, never typed.
TEST(MainWindow, FilesDroppedOnATextFieldAreImportedNotTyped) {
    WindowRig w;
    const auto items = w.show(threeSysExItems());
    QTemporaryDir folder;
    const auto files = writeSysExFiles(folder, 2);
    const struct {
        const char* name;
        std::function<QLineEdit*()> field;
    } fields[] = {
        {"the sample position", [&] { return w.content().fileInfo()->samplePosition(); }},
        {"the name field",
         [&] {
             w.list().beginRenaming(items[0].id);
             w.pump();
             return qobject_cast<QLineEdit*>(w.table().indexWidget(w.table().model()->index(0, 0)));
         }},
    };
    for (std::size_t index = 0; index < std::size(fields); ++index) {
        SCOPED_TRACE(fields[index].name);
        // A reset of the table during the import would delete the name field: fail then, not crash.
        const QPointer<QLineEdit> field = fields[index].field();
        ASSERT_FALSE(field.isNull());
        const std::string before = field->text().toStdString();
        dropFile(field, files[index], true);
        const std::size_t count = w.rig->items().size() + 1;
        EXPECT_TRUE(w.runUntil([&] { return w.rig->items().size() == count && !w.rig->isImporting(); }));
        EXPECT_EQ(w.names().back(), "file" + std::to_string(index) + ".syx");
        ASSERT_FALSE(field.isNull()) << "the field was deleted by the import";
        EXPECT_EQ(field->text().toStdString(), before);

        // Text alone is still the field's.
        QMimeData text;
        text.setText(QStringLiteral("12"));
        QDragEnterEvent textEnter(field->rect().center(), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &textEnter);
        EXPECT_TRUE(textEnter.isAccepted());
        QDragLeaveEvent leave;
        QApplication::sendEvent(field, &leave);
    }
}

// Started without ALSA, with the files of the last session to reopen: the alert saying why there
// is no MIDI stays on screen until dismissed, whatever the reopening brings.
TEST(MainWindow, TheStartUpAlertOutlastsTheReopenedFiles) {
    const auto sequencerMissing = MIDITransportError::system("snd_seq_open", -2);
    for (const bool fileGone : {false, true}) {
        SCOPED_TRACE(fileGone ? "a file gone" : "every file there");
        auto options = WindowRig::quietOptions();
        options.preferences.reloadFiles = true;
        options.transport = AppModelRig::Options::Transport::system;
        options.systemTransport = [&]() -> std::shared_ptr<MIDITransporting> { throw sequencerMissing; };
        WindowRig w(options);
        w.window->alertBox()->accept();
        QTemporaryDir folder;
        const auto files = writeSysExFiles(folder, 2);
        w.rig->importFromUser(files);
        ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 2 && !w.rig->isImporting(); }));
        if (fileGone) std::filesystem::remove(files[1]);

        w.relaunch();
        ASSERT_TRUE(w.runUntil([&] { return !w.rig->isImporting(); }));
        EXPECT_EQ(w.rig->items().size(), fileGone ? 1u : 2u);
        QMessageBox* box = w.window->alertBox();
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(box->text().startsWith(QString::fromStdString(sequencerMissing.message())));
        EXPECT_EQ(box->text().contains("file1.syx"), fileGone);
    }
}

// Stopped as soon as it started: the button reads "Cancel" and stops the send.
TEST(MainWindow, SendAndStopReachTheInstrument) {
    WindowRig w;
    std::vector<Bytes> long_;
    for (uint8_t n = 0; n < 40; ++n) long_.push_back(SampleItems::elektronMessage(2, 500, n));
    const auto items = w.show({SampleItems::sysEx("long.syx", long_, "/tmp/long.syx")});
    w.rig->setSelection({items[0].id});
    w.pump();
    QTest::mouseClick(w.content().sendButton(), Qt::LeftButton);
    QApplication::processEvents();  // the window redraws; the model's queues have not run yet
    ASSERT_TRUE(w.rig->isSending());
    ASSERT_EQ(w.content().sendButton()->text(), "Cancel");
    QTest::mouseClick(w.content().sendButton(), Qt::LeftButton);
    ASSERT_TRUE(w.runUntil([&] { return !w.rig->isSending(); }));
    const auto sent = w.rig.studio.sent();
    const auto longSent = std::count_if(sent.begin(), sent.end(), [&](const Bytes& message) {
        return std::find(long_.begin(), long_.end(), message) != long_.end();
    });
    EXPECT_LT(longSent, static_cast<std::ptrdiff_t>(long_.size()));
    EXPECT_TRUE(w.rig->items()[0].state.is<TransferItem::State::Cancelled>());
    EXPECT_EQ(w.content().sendButton()->text(), "Send");
}

TEST(MainWindow, ADroppedFileWhoseNameIsNotUTF8IsImported) {
    WindowRig w;
    QTemporaryDir folder;
    const FolderRemovedAtEnd removed(folder.path().toStdString());
    const auto file = std::filesystem::path(folder.path().toStdString()) / "Caf\xE9.syx";
    const Bytes bytes = SampleItems::elektronMessage(2, 30);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
    dropFile(&w.content(), file);
    ASSERT_TRUE(w.runUntil([&] { return w.rig->items().size() == 1 && !w.rig->isImporting(); }));
    EXPECT_EQ(w.rig->items()[0].sourceURL, file);
}

}  // namespace
}  // namespace k7::testing

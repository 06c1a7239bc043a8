#include <QAbstractButton>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include "V7Aruviv/App/QtUserInteraction.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

struct ShownBox {
    std::string text;
    std::vector<std::string> buttons;
    std::string defaultButton;
    std::string escapeButton;
};

// Does `answer` to the next message box the model opens, once it is on screen, and keeps what it
// showed. Gives up after a few turns of the loop, so that a box that never opens fails the test
// instead of catching a later one.
void answerNextBox(std::function<void(QMessageBox&)> answer, ShownBox& shown, int turns = 20) {
    QTimer::singleShot(0, [answer = std::move(answer), &shown, turns]() mutable {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) {
            if (turns > 0) answerNextBox(std::move(answer), shown, turns - 1);
            return;
        }
        shown.text = box->text().toStdString();
        for (QAbstractButton* button : box->buttons()) shown.buttons.push_back(button->text().toStdString());
        if (box->defaultButton()) shown.defaultButton = box->defaultButton()->text().toStdString();
        if (box->escapeButton()) shown.escapeButton = box->escapeButton()->text().toStdString();
        answer(*box);
    });
}

std::function<void(QMessageBox&)> pressKey(Qt::Key key) {
    return [key](QMessageBox& box) { QTest::keyClick(&box, key); };
}

std::function<void(QMessageBox&)> clickFirstButton() {
    return [](QMessageBox& box) { box.buttons().front()->click(); };
}

// The questions whose first answer loses unsaved work, asked through the program's own dialogs:
// Return and Escape keep the work; only the first button itself gives it up.
TEST(QtUserInteraction, ReturnAndEscapeKeepUnsavedWork) {
    enum class Command { quit, remove };
    const struct {
        const char* name;
        Command command;
        std::function<void(QMessageBox&)> answer;
        bool kept;
    } cases[] = {
        {"quit, Return", Command::quit, pressKey(Qt::Key_Return), true},
        {"quit, Enter", Command::quit, pressKey(Qt::Key_Enter), true},
        {"quit, Escape", Command::quit, pressKey(Qt::Key_Escape), true},
        {"quit, Quit Without Saving", Command::quit, clickFirstButton(), false},
        {"remove, Return", Command::remove, pressKey(Qt::Key_Return), true},
        {"remove, Escape", Command::remove, pressKey(Qt::Key_Escape), true},
        {"remove, Remove Unsaved", Command::remove, clickFirstButton(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto interaction = std::make_shared<QtUserInteraction>();
        auto options = WindowRig::quietOptions();
        options.userInteraction = interaction;
        WindowRig w(options);
        interaction->setWindow(w.window.get());
        const auto items = w.show(threeSysExItems());  // the third has no file
        w.rig->setSelection({items[2].id});
        w.pump();

        ShownBox shown;
        answerNextBox(c.answer, shown);
        bool gone = false;
        if (c.command == Command::quit) {
            gone = w.window->mayQuit();
        } else {
            w.window->actions().closeSelected->trigger();
            w.pump();
            gone = w.rig->items().size() == 2;
        }

        const bool quit = c.command == Command::quit;
        EXPECT_EQ(shown.text, quit ? "Quit with 1 unsaved item?" : "Remove unsaved other.syx?");
        EXPECT_EQ(shown.buttons,
                  (std::vector<std::string>{quit ? "Quit Without Saving" : "Remove Unsaved", "Cancel"}));
        EXPECT_EQ(shown.defaultButton, "Cancel");
        EXPECT_EQ(shown.escapeButton, "Cancel");
        EXPECT_EQ(gone, !c.kept);
        EXPECT_EQ(w.rig->items().size(), quit || c.kept ? 3u : 2u);
        if (!quit && c.kept) {
            EXPECT_EQ(w.rig->statusText(), "Remove cancelled; unsaved items were preserved");
        }
    }
}

}  // namespace
}  // namespace k7::testing

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "K7Core/Turbo/TurboFrame.h"
#include "V7Aruviv/Views/FileInfoView.h"
#include "WindowRig.h"

namespace k7::testing {
namespace {

class FileInfoViewTest : public ::testing::Test {
protected:
    FileInfoViewTest() {
        w.rig->setSelection({items[0].id});
        w.pump();
    }

    FileInfoView& info() const { return *w.content().fileInfo(); }
    const TransferItem& item(std::size_t index) const { return w.rig->items()[index]; }

    WindowRig w;
    std::vector<TransferItem> items = w.show({SampleItems::audio("tone.wav", TransferItem::Kind::wav, 0.01),
                                              SampleItems::audio("hum.aif", TransferItem::Kind::aiff, 0.01)});
};

// Each picker, stepped through its entries by the keyboard, writes every mode to the selected
// item alone.
TEST_F(FileInfoViewTest, TheLoopAndChannelPickersWriteToTheSelectedItem) {
    const struct {
        const char* name;
        QComboBox* picker;
        std::function<int(const TransferItem&)> mode;
        std::size_t count;
    } pickers[] = {
        {"loop", info().loopMode(), [](const TransferItem& i) { return static_cast<int>(i.loopMode); },
         TransferItem::allLoopModes.size()},
        {"channel", info().stereoMode(), [](const TransferItem& i) { return static_cast<int>(i.stereoMode); },
         TransferItem::allStereoModes.size()},
    };
    for (const auto& p : pickers) {
        SCOPED_TRACE(p.name);
        ASSERT_TRUE(p.picker->isVisible());
        ASSERT_TRUE(p.picker->isEnabled());
        const int untouched = p.mode(item(1));
        for (int index = 1; index < static_cast<int>(p.count); ++index) {
            QTest::keyClick(p.picker, Qt::Key_Down);
            w.pump();
            EXPECT_EQ(p.mode(item(0)), index);
            EXPECT_EQ(p.picker->currentIndex(), index);
        }
        QTest::keyClick(p.picker, Qt::Key_Home);
        w.pump();
        EXPECT_EQ(p.mode(item(0)), 0);
        EXPECT_EQ(p.mode(item(1)), untouched);
    }
}

TEST_F(FileInfoViewTest, TheSDSAndDigiPROButtonsAddTheConvertedItem) {
    const struct {
        const char* name;
        QPushButton* button;
        std::string made;
    } buttons[] = {
        {"SDS", info().sdsButton(), "tone-SDS.syx"},
        {"DigiPRO", info().digiPROButton(), "tone-DigiPRO.syx"},
    };
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.name);
        w.rig->setSelection({items[0].id});
        w.pump();
        ASSERT_TRUE(b.button->isEnabled());
        const auto count = w.rig->items().size();
        QTest::mouseClick(b.button, Qt::LeftButton);
        EXPECT_TRUE(w.rig->isConverting());
        ASSERT_TRUE(w.runUntil([&] { return !w.rig->isConverting(); }));
        ASSERT_EQ(w.rig->items().size(), count + 1);
        EXPECT_EQ(w.names().back(), b.made);
        EXPECT_FALSE(w.rig->alertMessage());
    }
}

TEST_F(FileInfoViewTest, TheTurboButtonAsksTheInterfaceForItsSpeed) {
    ASSERT_TRUE(info().turboButton()->isEnabled());
    QTest::mouseClick(info().turboButton(), Qt::LeftButton);
    w.pump();
    const auto sent = w.rig.wire().sentMessages();
    EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const auto& m) { return m.bytes == TurboFrame::query(); }), 1);
    EXPECT_EQ(info().turboIndicator(), TurboIndicator::busy);
}

}  // namespace
}  // namespace k7::testing

#include "RadioGroup.h"

#include <gtest/gtest.h>
#include <QRadioButton>
#include <QTest>

#include <stdexcept>
#include <vector>

#include "ModalWatcher.h"

namespace beamlink {
namespace {

// A shown group of three entries that records the index OnClick sees.
class RadioGroupTest : public ::testing::Test {
protected:
    void SetUp() override {
        group.setObjectName(QStringLiteral("RadioGroup1"));
        group.setItems({QStringLiteral("zero"), QStringLiteral("one"), QStringLiteral("two")});
        group.setItemIndex(0);
        group.OnClick = [this] { seen.push_back(group.ItemIndex()); };
        group.resize(160, 100);
        group.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&group));
    }
    // On the indicator, which every entry has whatever its text length.
    void click(int index) {
        QRadioButton* b = group.button(index);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
    std::vector<int> checked() const {
        std::vector<int> result;
        for (int i = 0; i < 3; ++i) {
            if (group.button(i)->isChecked()) {
                result.push_back(i);
            }
        }
        return result;
    }

    testing::ModalWatcher watcher;
    TRadioGroup group;
    std::vector<int> seen;
};

TEST_F(RadioGroupTest, ButtonsAreNamedAfterTheGroup) {
    EXPECT_EQ(group.button(2)->objectName(), QStringLiteral("RadioGroup1_2"));
    EXPECT_EQ(group.button(2)->text(), QStringLiteral("two"));
    group.setObjectName(QStringLiteral("Other"));
    EXPECT_EQ(group.button(0)->objectName(), QStringLiteral("Other_0"));
    EXPECT_EQ(group.button(3), nullptr);
}

TEST_F(RadioGroupTest, UserClickOnAnotherEntrySelectsItAndRunsOnClickOnce) {
    click(2);
    EXPECT_EQ(seen, std::vector<int>{2});
    EXPECT_EQ(group.ItemIndex(), 2);
    EXPECT_EQ(checked(), std::vector<int>{2});
}

TEST_F(RadioGroupTest, UserClickOnTheSelectedEntryDoesNothingAndKeepsItShown) {
    click(0);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(checked(), std::vector<int>{0});
}

TEST_F(RadioGroupTest, ArrowKeySelectsTheNextEntryLikeAClick) {
    group.button(0)->setFocus();
    QTest::keyClick(group.button(0), Qt::Key_Down);
    EXPECT_EQ(seen, std::vector<int>{1});
    EXPECT_EQ(checked(), std::vector<int>{1});
}

TEST_F(RadioGroupTest, FailingUserClickIsShownAndTheSelectionStays) {
    group.OnClick = [] { throw std::runtime_error("Unable to open com port (win error code: 2)"); };
    click(1);
    ASSERT_EQ(watcher.messageBoxes().size(), 1u);
    EXPECT_EQ(watcher.messageBoxes()[0].text,
              QStringLiteral("Unable to open com port (win error code: 2)"));
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(checked(), std::vector<int>{1});
}

TEST_F(RadioGroupTest, SetItemIndexFromCodeRunsOnClickDirectly) {
    group.setItemIndex(1);
    EXPECT_EQ(seen, std::vector<int>{1});
    group.setItemIndex(1);  // already selected
    EXPECT_EQ(seen, std::vector<int>{1});

    group.OnClick = [] { throw std::runtime_error("nested"); };
    EXPECT_THROW(group.setItemIndex(2), std::runtime_error);
    EXPECT_TRUE(watcher.messageBoxes().empty());
    EXPECT_EQ(group.ItemIndex(), 2);
}

TEST_F(RadioGroupTest, IndexOutsideTheEntriesSelectsNothing) {
    for (int index : {-1, 3, 99}) {
        group.OnClick = nullptr;
        group.setItemIndex(0);
        group.setItemIndex(index);
        EXPECT_EQ(group.ItemIndex(), -1) << index;
        EXPECT_TRUE(checked().empty()) << index;
    }
    // And a user click from there selects normally.
    group.OnClick = [this] { seen.push_back(group.ItemIndex()); };
    click(0);
    EXPECT_EQ(seen, std::vector<int>{0});
    EXPECT_EQ(checked(), std::vector<int>{0});
}

}  // namespace
}  // namespace beamlink

#pragma once
// A group of radio buttons with one selected index and one click event.
//
// A click by the user on an entry that is not selected selects it and runs OnClick through the
// application's error display. setItemIndex() from code selects and runs OnClick at once, by a
// direct call, so an error thrown there reaches the caller. A click on the selected entry does
// nothing.

#include <QGroupBox>
#include <QStringList>
#include <functional>
#include <vector>

class QRadioButton;

namespace beamlink {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ ItemIndex WRITE setItemIndex)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return items_; }
    void setItems(const QStringList& items);
    int ItemIndex() const { return index_; }
    // Selecting the entry that is already selected does nothing.
    void setItemIndex(int index);
    // The entry's button (its objectName is the group's name and the index), for tests.
    QRadioButton* button(int index) const;

    std::function<void()> OnClick;

private:
    void userClicked(int index);
    void nameButtons();
    void showSelection();

    QStringList items_;
    std::vector<QRadioButton*> buttons_;
    int index_ = -1;
};

}  // namespace beamlink

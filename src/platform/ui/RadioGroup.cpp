#include "RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

#include "ErrorDisplay.h"

namespace beamlink {

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {
    auto* layout = new QVBoxLayout(this);
    // Tight margins: the group is small and its entries are long.
    layout->setContentsMargins(8, 2, 4, 4);
    layout->setSpacing(0);
    connect(this, &QObject::objectNameChanged, this, [this] { nameButtons(); });
}

void TRadioGroup::nameButtons() {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        buttons_[i]->setObjectName(objectName() + QStringLiteral("_") + QString::number(i));
    }
}

void TRadioGroup::setItems(const QStringList& items) {
    for (QRadioButton* b : buttons_) {
        delete b;
    }
    buttons_.clear();
    items_ = items;
    for (int i = 0; i < items_.size(); ++i) {
        auto* b = new QRadioButton(items_[i], this);
        // Mouse clicks and arrow keys both end in clicked(); the selection is ours, not the
        // buttons', so a click on the selected entry cannot clear it.
        connect(b, &QRadioButton::clicked, this, [this, i] { userClicked(i); });
        layout()->addWidget(b);
        buttons_.push_back(b);
    }
    nameButtons();
    if (index_ >= static_cast<int>(buttons_.size())) {
        index_ = -1;
    }
    showSelection();
}

void TRadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= static_cast<int>(buttons_.size())) {
        index = -1;
    }
    if (index == index_) {
        return;
    }
    index_ = index;
    showSelection();
    // A direct call: an error must reach the action that selected the entry.
    if (OnClick) {
        OnClick();
    }
}

QRadioButton* TRadioGroup::button(int index) const {
    if (index < 0 || index >= static_cast<int>(buttons_.size())) {
        return nullptr;
    }
    return buttons_[static_cast<std::size_t>(index)];
}

void TRadioGroup::userClicked(int index) {
    if (index == index_) {
        showSelection();
        return;
    }
    index_ = index;
    showSelection();
    // The selection stays on the clicked entry even when its action fails.
    runWindowHandler(OnClick, window());
}

void TRadioGroup::showSelection() {
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        QRadioButton* b = buttons_[i];
        const bool selected = static_cast<int>(i) == index_;
        if (b->isChecked() != selected) {
            // An exclusive button refuses to be unchecked directly.
            b->setAutoExclusive(false);
            b->setChecked(selected);
            b->setAutoExclusive(true);
        }
    }
    // Focusing the group focuses its selected entry.
    QRadioButton* selected = button(index_);
    setFocusProxy(selected);
    setFocusPolicy(selected ? Qt::TabFocus : Qt::NoFocus);
}

}  // namespace beamlink

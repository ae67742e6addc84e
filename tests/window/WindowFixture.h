#pragma once
// Helpers for driving the real main window: its widgets by objectName, and user clicks on the
// radio group's entries.

#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <string>

#include "Main.h"
#include "RadioGroup.h"

namespace beamlink::testing {

inline TRadioGroup* radioGroup(TForm1& form) {
    return form.findChild<TRadioGroup*>(QStringLiteral("RadioGroup1"));
}

inline QLabel* label(TForm1& form, const char* name) {
    return form.findChild<QLabel*>(QString::fromLatin1(name));
}

inline std::string labelText(TForm1& form, const char* name) {
    return label(form, name)->text().toStdString();
}

// A mouse click on the entry's indicator, which every entry has whatever its text length.
inline void clickEntry(TForm1& form, int index) {
    QRadioButton* b = radioGroup(form)->button(index);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

inline bool showAndActivate(TForm1& form) {
    form.show();
    form.activateWindow();
    return QTest::qWaitForWindowActive(&form);
}

}  // namespace beamlink::testing

#include "ErrorDisplay.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

namespace beamlink {

QString applicationTitle(const QString& executablePath) {
    QString name = QFileInfo(executablePath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) {
        name.truncate(dot);
    }
    // The first character is a whole code point, which may be a surrogate pair.
    qsizetype first = name.isEmpty() ? 0 : 1;
    if (name.size() > 1 && name[0].isHighSurrogate() && name[1].isLowSurrogate()) {
        first = 2;
    }
    return name.left(first) + name.mid(first).toLower();
}

QString errorDisplayText(const std::string& message) {
    QString text = QString::fromStdString(message);
    if (!text.isEmpty() && text.back() > QLatin1Char('.')) {
        text += QLatin1Char('.');
    }
    return text;
}

void showException(const std::exception& error, QWidget* parent) {
    QMessageBox box(QMessageBox::Critical,
                    applicationTitle(QCoreApplication::applicationFilePath()),
                    errorDisplayText(error.what()), QMessageBox::Ok, parent);
    // A message is text, never markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool runWindowHandler(const std::function<void()>& handler, QWidget* parent) {
    try {
        if (handler) {
            handler();
        }
        return true;
    } catch (const std::exception& error) {
        showException(error, parent);
        return false;
    }
}

}  // namespace beamlink

#pragma once
// Answers modal dialogs from inside their own event loop and records what they showed: a message
// box gets OK, any other dialog is rejected. While a watcher lives, no modal dialog can hang a
// test.

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <vector>

namespace beamlink::testing {

struct SeenMessageBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
};

class ModalWatcher {
public:
    ModalWatcher() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { answer(); });
        timer_.start();
    }
    ModalWatcher(const ModalWatcher&) = delete;
    ModalWatcher& operator=(const ModalWatcher&) = delete;

    const std::vector<SeenMessageBox>& messageBoxes() const { return boxes_; }
    // Dialogs other than message boxes, by their objectName.
    const QStringList& rejectedDialogs() const { return rejected_; }

private:
    void answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                              box->textFormat()});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                ok->click();
            } else {
                box->reject();
            }
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            rejected_.push_back(dialog->objectName());
            dialog->reject();
        }
    }

    QTimer timer_;
    std::vector<SeenMessageBox> boxes_;
    QStringList rejected_;
};

}  // namespace beamlink::testing

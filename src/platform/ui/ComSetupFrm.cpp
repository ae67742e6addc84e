#include "ComSetupFrm.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "ComPort.h"
#include "PortList.h"
#include "Translate.h"
#include "ui_ComSetupFrm.h"

namespace beamlink {

namespace {

QString caption(const char* english) {
    return QString::fromUtf8(cportText(english));
}

QString itemText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// List items are values, never translated.
template <std::size_t N>
void fill(QComboBox* combo, const std::array<std::string_view, N>& texts,
          std::string_view current) {
    for (auto text : texts) {
        combo->addItem(itemText(text));
    }
    combo->setCurrentIndex(combo->findText(itemText(current)));
}

// The selected item as text, or nothing when no item is selected.
std::optional<std::string> selection(const QComboBox* combo) {
    if (combo->currentIndex() < 0) {
        return std::nullopt;
    }
    return combo->currentText().toStdString();
}

template <typename Enum>
void choose(const QComboBox* combo, std::optional<Enum> (*fromText)(std::string_view), Enum& out) {
    if (auto text = selection(combo)) {
        if (auto value = fromText(*text)) {
            out = *value;
        }
    }
}

}  // namespace

TComSetupFrm::TComSetupFrm(const PortSettings& current, const std::vector<std::string>& ports,
                           QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TComSetupFrm>()), current_(current) {
    ui_->setupUi(this);
    setWindowTitle(caption("Setup"));
    ui_->GroupBox1->setTitle(caption(" Settings "));
    ui_->Label1->setText(caption("Port"));
    ui_->Label2->setText(caption("Baud rate"));
    ui_->Label3->setText(caption("Data bits"));
    ui_->Label4->setText(caption("Stop bits"));
    ui_->Label5->setText(caption("Parity"));
    ui_->Label6->setText(caption("Flow control"));
    ui_->Button1->setText(caption("OK"));
    ui_->Button2->setText(caption("Cancel"));
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);

    for (const auto& port : ports) {
        ui_->Combo1->addItem(QString::fromStdString(port));
    }
    // A port that is not listed leaves the list with nothing selected.
    ui_->Combo1->setCurrentIndex(ui_->Combo1->findText(
        QString::fromStdString(current.Port), Qt::MatchFixedString | Qt::MatchCaseSensitive));
    fill(ui_->Combo2, kBaudRateTexts, toText(current.BaudRate));
    fill(ui_->Combo3, kDataBitsTexts, toText(current.DataBits));
    fill(ui_->Combo4, kStopBitsTexts, toText(current.StopBits));
    fill(ui_->Combo5, kParityTexts, toText(current.Parity.Bits));
    fill(ui_->Combo6, kFlowControlTexts, toText(current.FlowControl.summary()));

    // Centred on the screen rather than over the parent; an explicit move keeps Qt from
    // re-placing the dialog when it is shown.
    adjustSize();
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

TComSetupFrm::~TComSetupFrm() = default;

PortSettings TComSetupFrm::chosenSettings() const {
    PortSettings chosen = current_;
    // Nothing selected keeps the current name instead of emptying it.
    if (auto port = selection(ui_->Combo1)) {
        chosen.Port = *port;
    }
    choose(ui_->Combo2, baudRateFromText, chosen.BaudRate);
    choose(ui_->Combo3, dataBitsFromText, chosen.DataBits);
    choose(ui_->Combo4, stopBitsFromText, chosen.StopBits);
    choose(ui_->Combo5, parityFromText, chosen.Parity.Bits);
    TFlowControl flow = current_.FlowControl.summary();
    choose(ui_->Combo6, flowControlFromText, flow);
    chosen.FlowControl.apply(flow);
    return chosen;
}

bool ShowSetupDialog(TComPort& port, QWidget* parent) {
    TComSetupFrm dialog(port.settings(), listSerialPorts(), parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    port.setSettings(dialog.chosenSettings());
    return true;
}

}  // namespace beamlink
